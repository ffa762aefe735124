// Prints the figures of a scan run through the real browser against the
// marketplace simulator: the run's wall time next to the sum of its page
// loads as the program waits for them, next to the sum of the browser's own
// navigation times of the same pages (performance entries: the floor), and
// the CPU time of the program's own process during the run (the waits
// should cost next to nothing). Also the time from a quick-access
// click to the complete page next to the browser's own navigation timing.
// Needs a display: run it as
//   tests/support/with-display.sh BUILD/tools/bench/scan-bench BUILD
#include "app/settings.h"
#include "browser/marketplace.h"
#include "buttons/tables.h"
#include "monitor/scanrun.h"
#include "platform/cdp/cdpbrowser.h"
#include "platform/cdp/chromium.h"
#include "platform/errors.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace velkoria;

namespace {
double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

struct Silent : MessageSink {
    void show(const QString&) override { ++shown; }
    int shown = 0;
};
struct NoIndicators : ScanIndicators {
    void setScanning(bool) override {}
};

// The browser as the scan run uses it, adding up the browser's own timing of
// every page the run reads (read right after the page, outside the run's
// measured time).
class TimingBrowser : public Browser {
public:
    explicit TimingBrowser(cdp::CdpBrowser& inner) : m_inner(inner) {}
    void setVisible(bool visible) override { m_inner.setVisible(visible); }
    void setTop(int top) override { m_inner.setTop(top); }
    void navigate(const QString& url, const QByteArray& postData, const QString& headers) override {
        QElapsedTimer clock;
        clock.start();
        m_inner.navigate(url, postData, headers);
        inNavigate += clock.nsecsElapsed() / 1e6;
    }
    bool busy() override { return m_inner.busy(); }
    int readyState() override { return m_inner.readyState(); }
    bool lastLoadFailed() override { return m_inner.lastLoadFailed(); }
    void stopPage() override { m_inner.stopPage(); }
    bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) override {
        return m_inner.waitUntil(limit, done);
    }
    QString documentHtml() override {
        QElapsedTimer read;
        read.start();
        QString html = m_inner.documentHtml();
        inHtml += read.nsecsElapsed() / 1e6;
        QElapsedTimer clock;
        clock.start();
        navigationSum += m_inner.evaluate(u"performance.getEntriesByType('navigation')[0].duration"_qs).toDouble();
        overhead += clock.nsecsElapsed() / 1e6;
        return html;
    }
    double navigationSum = 0; // ms
    double overhead = 0;      // ms spent reading the timing
    double inNavigate = 0;    // ms in navigate() (starting the POST)
    double inHtml = 0;        // ms reading the markup

private:
    cdp::CdpBrowser& m_inner;
};

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: scan-bench BUILD_DIR\n");
        return 2;
    }
    const QString build = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir folder;
    setProgramFolder(folder.path());

    QProcess sim;
    sim.start(build + u"/market-sim", {u"--http-port"_qs, u"0"_qs, u"--https-port"_qs, u"0"_qs, u"--categories"_qs,
                                       QStringLiteral(VELKORIA_SOURCE_DIR) + u"/data/category.txt"_qs});
    if (!sim.waitForReadyRead(20000))
        return 1;
    const auto ready = QRegularExpression(u"http=(\\d+)"_qs).match(QString::fromUtf8(sim.readLine()));
    Settings settings;
    settings.searchUrl = u"http://127.0.0.1:%1/"_qs.arg(ready.captured(1));
    settings.arguments = {u"--no-sandbox"_qs, u"--test-type"_qs};

    try {
        auto browser = launchBrowser(browserOptions(settings), folder.filePath(u"browser-profile"_qs));
        Silent messages;
        NoIndicators indicators;
        Marketplace market(*browser, marketplaceSite(settings), messages);
        const QStringList keys{u"web_site"_qs,     u"system_dev"_qs, u"smartphone_app"_qs, u"ec_site"_qs,
                               u"server_infra"_qs, u"it_support"_qs, u"security"_qs};
        ButtonInfo buttons;
        for (int n = 1; n <= kButtonSlots; ++n)
            buttons.slot(n) = {keys.at(n - 1), u"it"_qs, keys.at(n - 1)};
        const SystemClock clock;
        ScanRun run(market, buttons, indicators, messages, clock, [] { return u"registered"_qs; });
        run.scanjobs(); // warm-up: first loads, the seen-request file
        auto* cdpBrowser = dynamic_cast<cdp::CdpBrowser*>(browser.get());
        if (!cdpBrowser)
            return 1;
        TimingBrowser timing(*cdpBrowser);
        Marketplace timedMarket(timing, marketplaceSite(settings), messages);
        ScanRun timedRun(timedMarket, buttons, indicators, messages, clock, [] { return u"registered"_qs; });
        const int rounds = qMax(1, qEnvironmentVariableIntValue("SCAN_BENCH_ROUNDS"));

        QList<double> walls, sums, cpus, clicks, navigations, floors, ratios, starts, reads;
        for (int round = 0; round < qMax(5, rounds); ++round) {
            double sum = 0;
            for (const QString& key : keys) {
                QElapsedTimer clock;
                clock.start();
                market.newjob(key, u"registered"_qs);
                market.waitpage();
                const double click = clock.nsecsElapsed() / 1e6;
                sum += click;
                if (key == keys.first()) {
                    clicks << click;
                    // The browser's own timing of the same navigation.
                    if (auto* cdp = dynamic_cast<cdp::CdpBrowser*>(browser.get()))
                        navigations
                            << cdp->evaluate(u"performance.getEntriesByType('navigation')[0].duration"_qs).toDouble();
                }
            }
            sums << sum;
            const double cpuBefore = cpuMs();
            timing.navigationSum = timing.overhead = timing.inNavigate = timing.inHtml = 0;
            QElapsedTimer clock;
            clock.start();
            timedRun.scanjobs();
            const double wall = clock.nsecsElapsed() / 1e6 - timing.overhead;
            walls << wall;
            cpus << cpuMs() - cpuBefore;
            floors << timing.navigationSum;
            ratios << wall / timing.navigationSum;
            starts << timing.inNavigate;
            reads << timing.inHtml;
        }
        std::printf(
            "quick-access search, median of 5: click to complete %.1f ms; browser's navigation timing %.1f ms\n",
            median(clicks), navigations.isEmpty() ? -1.0 : median(navigations));
        std::printf("scan run of 7 categories, median of %d: wall %.1f ms, sum of the 7 page loads %.1f ms, "
                    "program CPU during the run %.1f ms (%.1f%% of the wall time)\n",
                    int(walls.size()), median(walls), median(sums), median(cpus), 100.0 * median(cpus) / median(walls));
        std::printf("scan run against the floor: wall %.1f ms, sum of the browser's own navigation times of its "
                    "pages %.1f ms, ratio %.2f (median of the runs' ratios)\n",
                    median(walls), median(floors), median(ratios));
        std::printf("of the run's wall time: starting the 7 navigations %.1f ms, reading the 7 pages' markup %.1f ms\n",
                    median(starts), median(reads));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    sim.closeWriteChannel();
    sim.waitForFinished(3000);
    return 0;
}
