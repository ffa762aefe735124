// Soak: the built program scans again and again against the marketplace
// simulator, with new requests added as it goes, and prints the program's
// resident memory, open descriptors and threads at the start and the end.
// Needs a display: run it as
//   tests/support/with-display.sh BUILD/tools/bench/soak-bench [SCANS]
// SCANS defaults to 300; a short run: 20.
#include "tests/support/programrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cstdio>

using namespace velkoria::test;

namespace {

struct Figures {
    qint64 rssKb = -1;
    int descriptors = -1;
    int threads = -1;
};

Figures figuresOf(qint64 pid) {
    Figures f;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                f.rssKb = line.mid(6).trimmed().split(' ').value(0).toLongLong();
            else if (line.startsWith("Threads:"))
                f.threads = line.mid(8).trimmed().toInt();
        }
    }
    f.descriptors =
        int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::System).size());
    return f;
}

void print(const char* when, int scans, const Figures& f) {
    std::printf("%-6s after %4d scans: RSS %7lld kB, %3d open descriptors, %2d threads\n", when, scans, f.rssKb,
                f.descriptors, f.threads);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int scans = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 300;
    Simulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    ProgramRun run;
    run.prepare(sim, 20);
    if (!run.start()) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    // The first two runs fill the browser's caches and the seen-request file.
    run.scan();
    run.scan();
    const Figures start = figuresOf(run.processId());
    print("start", 2, start);
    QElapsedTimer clock;
    clock.start();
    int done = 2;
    int failed = 0;
    for (int i = 1; i <= scans; ++i) {
        // A new request now and then, in a category the program watches.
        if (i % 5 == 0)
            sim.command(QStringLiteral("add printing %1").arg(800000 + i));
        if (run.scan().contains(QStringLiteral("(unfinished)")))
            ++failed;
        ++done;
        if (i % 50 == 0)
            print("", done, figuresOf(run.processId()));
        if (!run.running()) {
            std::fprintf(stderr, "the program ended after %d scans\n", done);
            return 1;
        }
    }
    const Figures end = figuresOf(run.processId());
    print("end", done, end);
    std::printf("growth over %d scans (%.0f s): RSS %+lld kB, descriptors %+d, threads %+d; %d scans did not finish\n",
                scans, clock.elapsed() / 1000.0, end.rssKb - start.rssKb, end.descriptors - start.descriptors,
                end.threads - start.threads, failed);
    return 0;
}
