// Prints the figures of the browser connection: time from launch until the
// page is attached and hidden, and the CPU time the program's thread spends
// while it waits for a page that the server delays, with a window on the
// screen as the program has (its wait runs the event loop).
#include "platform/cdp/chromium.h"
#include "platform/errors.h"
#include "tests/platform/loopbackserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace velkoria;

namespace {

double cpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

BrowserOptions benchSettings() {
    BrowserOptions settings;
    settings.arguments = QStringList{QStringLiteral("--no-sandbox"), QStringLiteral("--test-type")};
    return settings;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QPushButton window(QStringLiteral("終了"));
    window.resize(200, 100);
    window.show();
    constexpr int kLaunches = 3;
    constexpr int kDelayMs = 3000;
    QTemporaryDir profiles;
    try {
        QList<qint64> fresh, reused;
        for (int i = 0; i < kLaunches; ++i) {
            QElapsedTimer clock;
            clock.start();
            launchBrowser(benchSettings(), profiles.filePath(QStringLiteral("fresh%1").arg(i)))->busy();
            fresh << clock.elapsed();
        }
        for (int i = 0; i < kLaunches; ++i) {
            QElapsedTimer clock;
            clock.start();
            launchBrowser(benchSettings(), profiles.filePath(QStringLiteral("reused")))->busy();
            reused << clock.elapsed();
        }
        std::sort(fresh.begin(), fresh.end());
        std::sort(reused.begin(), reused.end());
        std::printf("launch until the page is ready, median of %d: new profile %lld ms, existing profile %lld ms\n",
                    kLaunches, fresh[kLaunches / 2], reused[kLaunches / 2]);

        test::LoopbackServer server;
        server.respond("/delayed", {200, "text/html", "<html><body>late</body></html>", kDelayMs});
        auto browser = launchBrowser(benchSettings(), profiles.filePath(QStringLiteral("wait")));
        for (int round = 1; round <= 3; ++round) {
            browser->navigate(server.url(QStringLiteral("/delayed")), "x=1",
                              QStringLiteral("Content-Type: application/x-www-form-urlencoded\r\n"));
            const double threadBefore = cpuMs(RUSAGE_THREAD);
            const double processBefore = cpuMs(RUSAGE_SELF);
            QElapsedTimer clock;
            clock.start();
            int looks = 0;
            browser->waitUntil(std::chrono::seconds(30), [&] {
                ++looks;
                return !browser->busy() && browser->readyState() == 4;
            });
            const double wall = clock.elapsed();
            const double thread = cpuMs(RUSAGE_THREAD) - threadBefore;
            std::printf("wait %d for a page delayed %d ms: %.0f ms wall, program thread CPU %.1f ms (%.2f%%), "
                        "whole process CPU %.1f ms (incl. the test server), %d looks at the browser\n",
                        round, kDelayMs, wall, thread, 100.0 * thread / wall, cpuMs(RUSAGE_SELF) - processBefore,
                        looks);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
