#include "app/mainfrm.h"
#include "platform/chromium.h"
#include "platform/handler.h"
#include "platform/notifier.h"
#include "platform/textfile.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

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
    QApplication app(argc, argv);
    QApplication::setApplicationName(programTitle());

    QtMessageSink messages;
    ProcessEnd end;
    DesktopShell shell;
    SystemClock clock;
    MainFrm window(MainServices{
        messages, end, shell, clock,
        [](const Settings& settings) { return launchBrowser(settings, programFile(browserProfileFolderName())); },
        createDesktopNotifier});
    messages.setOwner(&window);
    runHandler(messages, end, [&] { window.formLoad(); });
    window.show();
    return app.exec();
}
