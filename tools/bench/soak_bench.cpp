// Soak: the built program scans again and again against the marketplace
// simulator, with new requests added as it goes, and prints the program's
// resident memory, open descriptors and threads at the start and the end.
// Then one run with a very large result page: the program's peak resident
// memory during that run and its resident memory after it, both above its
// idle figure before the run.
// Needs a display: run it as
//   tests/support/with-display.sh BUILD/tools/bench/soak-bench [SCANS] [LARGE_MB]
// SCANS defaults to 300 (a short run: 20), LARGE_MB to 50 (0: no large page).
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
    qint64 peakKb = -1; // the high-water mark of the resident memory
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
            else if (line.startsWith("VmHWM:"))
                f.peakKb = line.mid(6).trimmed().split(' ').value(0).toLongLong();
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

// One run of the program whose printing category answers with a page of
// megabytes more entries; prints the peak and the memory after it.
bool largePageRun(Simulator& sim, ProgramRun& run, int megabytes) {
    sim.command(QStringLiteral("page printing large %1").arg(megabytes));
    QThread::sleep(2); // idle
    const qint64 pid = run.processId();
    const Figures idle = figuresOf(pid);
    // Resets the high-water mark to the present resident memory.
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1) {
        std::fprintf(stderr, "cannot reset the peak memory figure of the program\n");
        return false;
    }
    clear.close();
    QElapsedTimer clock;
    clock.start();
    const bool finished = !run.scan().contains(QStringLiteral("(unfinished)"));
    const qint64 ms = clock.elapsed();
    const Figures peak = figuresOf(pid);
    QThread::sleep(2);
    const Figures after = figuresOf(pid);
    sim.command(QStringLiteral("page printing plain"));
    std::printf("run with a %d MB page (%s, %.1f s): idle RSS %lld kB; peak %+lld kB above idle (%.2f x the page); "
                "after the run %+lld kB above idle\n",
                megabytes, finished ? "finished" : "did not finish", ms / 1000.0, idle.rssKb, peak.peakKb - idle.rssKb,
                (peak.peakKb - idle.rssKb) / 1024.0 / megabytes, after.rssKb - idle.rssKb);
    std::fflush(stdout);
    return finished;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int scans = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 300;
    const int largeMb = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 50;
    Simulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    ProgramRun run;
    run.prepare(sim, 90); // the large page takes the browser a while
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
    if (largeMb > 0 && !largePageRun(sim, run, largeMb))
        return 1;
    return 0;
}
