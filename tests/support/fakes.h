#pragma once

#include "buttons/quickbuttonview.h"
#include "platform/cdp/errors.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/shell.h"

#include <QStringList>
#include <array>
#include <functional>

namespace velkoria::test {

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

// A clock that moves only when a test (or a fake browser's wait) moves it.
class FakeClock : public Clock {
public:
    QDateTime now() const override { return m_now; }
    void setNow(const QDateTime& now) { m_now = now; }

private:
    QDateTime m_now{QDate(2026, 1, 5), QTime(9, 0)};
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

// The main window's quick buttons, as the table code and the editor set them.
class FakeQuickButtons : public QuickButtonView {
public:
    void showQuickButton(int n, const QString& caption, bool visible) override {
        captions[static_cast<size_t>(n)] = caption;
        visibles[static_cast<size_t>(n)] = visible;
        ++calls;
    }
    std::array<QString, 8> captions; // 1 to 7
    std::array<bool, 8> visibles{};
    int calls = 0;
};

// The RuntimeError that action throws; number 0 when it throws none.
inline RuntimeError errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return error;
    }
    return RuntimeError(0, QString());
}

// The BrowserError that action throws: its kind and its (English) text; an
// empty text when it throws none.
struct BrowserFailure {
    BrowserError::Kind kind = BrowserError::Kind::Gone;
    QString text;
};
inline BrowserFailure browserErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const BrowserError& error) {
        return {error.kind(), QString::fromUtf8(error.what())};
    }
    return {};
}

} // namespace velkoria::test
