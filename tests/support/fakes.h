#pragma once

#include "platform/messages.h"
#include "platform/shell.h"

#include <QStringList>
#include <functional>

namespace velkoria::test {

// Thrown by FakeProgramEnd in place of ending the process, so that a test sees
// the handler stop where the program would have ended.
struct ProgramEnded {
    int exitCode;
};

class FakeProgramEnd : public ProgramEnd {
public:
    [[noreturn]] void endNow(int exitCode) override {
        ended = true;
        code = exitCode;
        throw ProgramEnded{exitCode};
    }
    bool ended = false;
    int code = 0;
};

// Records every message box; onShow runs while the "box" is open (as a modal
// box would let timers tick).
class FakeMessageSink : public MessageSink {
public:
    void show(const QString& text) override {
        texts.append(text);
        if (onShow)
            onShow(text);
    }
    QStringList texts;
    std::function<void(const QString&)> onShow;
};

class FakeShell : public Shell {
public:
    bool openDocument(const QString& path) override {
        opened.append(path);
        return result;
    }
    QStringList opened;
    bool result = true;
};

} // namespace velkoria::test
