// Prints how long the built program takes to end when the user presses Exit or
// closes its window while a scan waits for a page that the site never sends
// (the simulator stalls it): from the click or the key to the process's end.
// Needs a display with a window manager: run it as
//   tests/support/with-display.sh BUILD/tools/bench/exit-bench [ROUNDS]
#include "tests/support/programrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace velkoria::test;

namespace {

// Milliseconds from the user's action to the program's end, or -1 when it did
// not end within 10 s.
double endDuringAStalledPage(bool closeBox) {
    Simulator sim;
    if (!sim.start() || !sim.command(QStringLiteral("fail system_dev stall always")).startsWith(u"OK"))
        return -1;
    ProgramRun run;
    run.prepare(sim, 60);
    if (!run.start())
        return -1;
    run.clickScanLabel();
    // The second category's page is being waited for, for up to a minute.
    if (!waitFor([&] { return !sim.requestsWithBody("key=system_dev").isEmpty(); }))
        return -1;
    QThread::msleep(500);
    // Everything but the action itself is done before the clock starts.
    const QPoint exit = run.clientOrigin() + QPoint(100, 152);
    runTool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), run.window()});
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(exit.x()), QString::number(exit.y())});
    QElapsedTimer clock;
    clock.start();
    if (closeBox)
        run.key(QStringLiteral("alt+F4"));
    else
        runTool(QStringLiteral("xdotool"), {QStringLiteral("click"), QStringLiteral("1")});
    if (run.waitForEnd(10000) < 0)
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    for (const bool closeBox : {false, true}) {
        QList<double> times;
        int failed = 0;
        for (int i = 0; i < rounds; ++i) {
            const double ms = endDuringAStalledPage(closeBox);
            if (ms < 0)
                ++failed;
            else
                times << ms;
        }
        std::sort(times.begin(), times.end());
        std::printf("%s during a stalled page, %d rounds: median %.0f ms, max %.0f ms; %d did not end\n",
                    closeBox ? "closing the window (Alt+F4)" : "Exit button", rounds,
                    times.isEmpty() ? -1.0 : times.at(times.size() / 2), times.isEmpty() ? -1.0 : times.last(), failed);
        std::fflush(stdout);
    }
    return 0;
}
