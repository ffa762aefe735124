// What the announcements away from the PC cost the scan run that hands them
// over, with a mail server that takes the connection and never answers:
//
//   hand-over/first   scanFinished starting the send on its worker thread
//   hand-over/queued  scanFinished while that send hangs (the run's requests wait)
//   dead-send         the send itself on the worker thread: ends at its time limit
//
// Run BUILD/tools/bench/bench_notify (about 15 s: the dead send takes 10).
#include "monitor/remotenotices.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <benchmark/benchmark.h>

using namespace velkoria;

namespace {

// Listens without ever accepting: the system completes the connection, no
// greeting ever comes.
QTcpServer& deadServer() {
    static QTcpServer server;
    if (!server.isListening())
        server.listen(QHostAddress::LocalHost);
    return server;
}

NotifySettings deadMail() {
    NotifySettings settings;
    settings.mailServer = QStringLiteral("smtp://127.0.0.1:%1").arg(deadServer().serverPort());
    settings.mailFrom = QStringLiteral("velkoria@example.jp");
    settings.mailTo = QStringLiteral("a@example.jp");
    return settings;
}

QList<NoticeItem> run() {
    QList<NoticeItem> items;
    for (int i = 0; i < 3; ++i)
        items.append({QStringLiteral("金型"), QStringLiteral("プレス金型の設計"), QString::number(48211 + i),
                      QStringLiteral("http://www.zandorp.jp/browse/request/%1").arg(48211 + i)});
    return items;
}

void handOverFirst(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto* notices = new RemoteNotices;
        notices->configure(deadMail(), {});
        state.ResumeTiming();
        notices->scanFinished(run());
        state.PauseTiming();
        delete notices; // gives the hanging send up
        state.ResumeTiming();
    }
}

void handOverQueued(benchmark::State& state) {
    RemoteNotices notices;
    notices.configure(deadMail(), {});
    notices.scanFinished(run());
    for (auto _ : state)
        notices.scanFinished(run());
}

void deadSend(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(sendNoticeMail(deadMail(), {}, run()).status);
}

} // namespace

BENCHMARK(handOverFirst)->Name("hand-over/first")->Unit(benchmark::kMicrosecond)->Iterations(20);
BENCHMARK(handOverQueued)->Name("hand-over/queued")->Unit(benchmark::kMicrosecond);
BENCHMARK(deadSend)->Name("dead-send")->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
