#pragma once

#include <QString>

class QWidget;

namespace velkoria {

// Modal message boxes: OK button only, no icon, captioned "Velkoria".
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows the text and returns when the user has dismissed the box.
    virtual void show(const QString& text) = 0;
};

class QtMessageSink : public MessageSink {
public:
    void show(const QString& text) override;
};

// The caption of every window and message box of the program.
inline QString programTitle() {
    return QStringLiteral("Velkoria");
}

// Ends the process at once: no further event of any window runs and nothing is saved.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    [[noreturn]] virtual void endNow(int exitCode) = 0;
};

class ProcessEnd : public ProgramEnd {
public:
    [[noreturn]] void endNow(int exitCode) override;
};

} // namespace velkoria
