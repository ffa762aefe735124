// wine-run PROGRAM [ARGUMENTS...]: runs a Windows program that shows no window
// (a unit test) under Wine in a prefix of its own, prints what it wrote and
// ends with its exit code (124 when it ran into the limit of
// VELKORIA_WINE_LIMIT seconds, default 280: ctest's own limit comes later).

#include "tests/windows/wineprefix.h"

#include <QCoreApplication>
#include <cstdio>

using velkoria::test::WinePrefix;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fputs("usage: wine-run PROGRAM [ARGUMENTS...]\n", stderr);
        return 2;
    }
    const QString program = arguments.takeFirst();
    // Nothing on a screen: Wine makes its prefix without a window, too.
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    const int limitSeconds =
        qEnvironmentVariableIsSet("VELKORIA_WINE_LIMIT") ? qEnvironmentVariableIntValue("VELKORIA_WINE_LIMIT") : 280;
    const WinePrefix prefix;
    if (!prefix.isValid()) {
        std::fputs("wine-run: no temporary folder for the Wine prefix\n", stderr);
        return 2;
    }
    // A prefix that cannot be made is Wine's failure, told as such.
    if (const QString failures = prefix.make(); !failures.isEmpty()) {
        std::fprintf(stdout, "wine-run: no Wine prefix\n%s", failures.toUtf8().constData());
        return 125;
    }
    const WinePrefix::Result result = prefix.run(program, arguments, limitSeconds * 1000);
    std::fputs(result.output.toUtf8().constData(), stdout);
    if (!result.finished) {
        std::fprintf(stdout, "wine-run: %s did not end within %d s\n", qPrintable(program), limitSeconds);
        return 124;
    }
    return result.exitCode;
}
