#include "app/handler.h"
#include "app/mainfrm.h"
#include "app/settings.h"
#include "app/traynotifier.h"
#include "platform/cdp/chromium.h"
#include "platform/textfile.h"
#include "ui/messagebox.h"

#if defined(Q_OS_WIN)
#include "platform/win/runningmark.h"
#endif

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

using namespace velkoria;

namespace {
// Qt's own failure without a display is a long platform-plugin message and an
// abort; say it in one line instead.
bool haveDisplay() {
#if defined(Q_OS_LINUX)
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
#else
    return true;
#endif
}
} // namespace

int main(int argc, char* argv[]) {
    if (!haveDisplay()) {
        std::fputs("velkoria: 画面がありません (no display: set DISPLAY, or run it in a desktop session).\n", stderr);
        return 2;
    }
#if defined(Q_OS_WIN)
    // Setup and uninstall wait for the program's end before they touch its files.
    win::markRunning();
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(programTitle());
    QApplication::setWindowIcon(programIcon());

    // The browser takes longest to come up: it is launched first, and the
    // window is built, its files read and shown while the browser starts. A
    // launch that fails at once (no browser, a profile folder it cannot use,
    // bad settings) is told where start-up comes to the browser: after what
    // the data files have to say, which the user can mend first.
    std::unique_ptr<Browser> browser;
    std::exception_ptr launchFailure;
    try {
        browser = launchBrowser(browserOptions(loadSettings(programFile(settingsFileName()))),
                                programFile(browserProfileFolderName()));
    } catch (...) {
        launchFailure = std::current_exception();
    }

    QtMessageSink messages;
    ProcessEnd end;
    // Should start-up fail before it takes the browser, the browser still gets
    // its moment to end on the way out.
    end.onExit([&browser] { browser.reset(); });
    DesktopShell shell;
    SystemClock clock;
    // Start-up reads the same settings again for the rest of the program.
    MainFrm window(MainServices{messages, end, shell, clock,
                                [&] {
                                    if (launchFailure)
                                        std::rethrow_exception(launchFailure);
                                    return std::move(browser);
                                },
                                createDesktopNotifier});
    messages.setOwner(&window);
    runHandler(messages, end, [&] { window.formLoad(); });
    window.show();
    return app.exec();
}
