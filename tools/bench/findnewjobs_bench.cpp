// Speed of findnewjobs on result pages generated in the site's style.
//
//   realistic    entries of the request list, every 7th new-marked
//   links-after  a realistic first tenth, then thousands of request links
//                (with icons and quotes) after the last end marker
//   one-stretch  thousands of request links before one end marker at the very
//                end, the icon just before it: every link is an entry
//   unquoted     20,000 new-marked entries whose links lost their closing
//                quote, one quote at the very end of the page: the IDs must
//                not run on to it (memory would grow with the square of the page)
//   one-link     thousands of new-marked request links inside the text of
//                one huge link: each entry's text is looked for within a
//                bounded stretch, not through the whole link
//   reference    the procedure searching again from every link, for comparison
//
// Throughput is page text per second, counted in bytes of the text as held in
// memory (2 bytes per character).
#include "monitor/scanner.h"

#include <benchmark/benchmark.h>

using namespace velkoria;

namespace {

const QString kTitles[] = {QStringLiteral("ホームページ制作"), QStringLiteral("ロゴデザインのお見積り"),
                           QStringLiteral("業務システム開発（Web）"), QStringLiteral("翻訳 英→日 技術文書")};

QString entry(int id, bool isNew) {
    return QStringLiteral("<TR><TD><A href=\"/browse/request/%1\">%2</A>%3</TD>"
                          "<TD><FONT size=\"2\">見積件数</FONT> %4件</TD><TD>2026/12/%5 締切</TD></TR>\n")
        .arg(id)
        .arg(kTitles[id % 4])
        .arg(isNew ? QStringLiteral(" <IMG src=\"/img/new.gif\">") : QString())
        .arg(id % 9)
        .arg(1 + id % 28);
}

const QString kHead = QStringLiteral("<HTML><HEAD><TITLE>案件検索結果</TITLE></HEAD><BODY>"
                                     "<FORM action=\"/\" method=\"post\"><TABLE border=\"0\">\n");
const QString kFoot = QStringLiteral("</TABLE></FORM><A href=\"/browse/request/help\">ヘルプ</A></BODY></HTML>");

QString realistic(qsizetype size) {
    QString html = kHead;
    for (int id = 10000; html.size() < size - kFoot.size(); ++id)
        html += entry(id, id % 7 == 0);
    return html + kFoot;
}

QString linksAfterLastEnd(qsizetype size) {
    QString html = realistic(size / 10);
    for (int id = 50000; html.size() < size; ++id)
        html += QStringLiteral("<A href=\"/browse/request/%1\">%2</A> <IMG src=\"/img/new.gif\"><BR>\n")
                    .arg(id)
                    .arg(kTitles[id % 4]);
    return html;
}

QString oneStretch(qsizetype size) {
    QString html = kHead;
    for (int id = 10000; html.size() < size - 200; ++id)
        html += QStringLiteral("<A href=\"/browse/request/%1\">%2</A><BR>\n").arg(id).arg(kTitles[id % 4]);
    return html + QStringLiteral("<IMG src=\"/img/new.gif\"><FONT size=\"2\">見積件数</FONT>") + kFoot;
}

QString unquoted(int links) {
    QString html = kHead;
    for (int id = 10000; id < 10000 + links; ++id)
        html += QStringLiteral("<TR><TD><A href=/browse/request/%1>%2</A> <IMG src=\"/img/new.gif\"></TD>"
                               "<TD><FONT size=\"2\">見積件数</FONT></TD></TR>\n")
                    .arg(id)
                    .arg(kTitles[id % 4]);
    return html + kFoot;
}

// The procedure as first written: the end marker and the icon searched again
// from every link.
void referenceScan(const QString& html, const QString& needle, ScanResults& results) {
    const qsizetype n = needle.size();
    const QString end = entryEndMarker();
    const QString icon = newIconMarker();
    for (qsizetype pos = html.indexOf(needle); pos >= 0; pos = html.indexOf(needle, pos + n)) {
        const qsizetype quote = html.indexOf(u'"', pos);
        const qsizetype mark = html.indexOf(end, pos);
        if (mark >= 0 && QStringView(html).sliced(pos, mark - pos).contains(icon) && quote >= pos + n) {
            results.newitem.append(html.mid(pos + n, quote - pos - n));
            results.newitemtitle.append(results.curtitle);
        }
    }
}

QString oneLink(qsizetype size) {
    QString html = kHead + QStringLiteral("<A href=\"/browse/request/1\">");
    for (int id = 10000; html.size() < size - 200; ++id)
        html += QStringLiteral("/browse/request/%1\" %2 ").arg(id).arg(kTitles[id % 4]);
    return html + QStringLiteral("<IMG src=\"/img/new.gif\"></A><FONT size=\"2\">見積件数</FONT>") + kFoot;
}

QString makePage(int kind, qsizetype size) {
    switch (kind) {
    case 0:
        return realistic(size);
    case 1:
        return linksAfterLastEnd(size);
    case 3:
        return unquoted(int(size));
    case 4:
        return oneLink(size);
    default:
        return oneStretch(size);
    }
}

template <bool Reference> void scanPage(benchmark::State& state) {
    const QString html = makePage(int(state.range(0)), state.range(1));
    const QString needle = requestLinkMarker();
    qsizetype found = 0;
    for (auto _ : state) {
        ScanResults results;
        if constexpr (Reference)
            referenceScan(html, needle, results);
        else
            findnewjobs(html, needle, results);
        found = results.newcount();
        benchmark::DoNotOptimize(results.newitem.data());
    }
    state.SetBytesProcessed(state.iterations() * html.size() * qsizetype(sizeof(QChar)));
    state.counters["entries"] = double(found);
    state.counters["links"] = double(html.count(needle));
}

constexpr qsizetype kMB = 1 << 20;

void pages(benchmark::internal::Benchmark* b) {
    b->ArgNames({"page", "chars"});
    for (int kind : {0, 1, 2})
        for (qsizetype size : {kMB / 2, 5 * kMB / 2}) // 1 MB and 5 MB of text
            b->Args({kind, size});
    b->Args({3, 20000}); // here "chars" counts links
    b->Args({4, kMB / 2});
    b->Unit(benchmark::kMillisecond);
}

void referencePages(benchmark::internal::Benchmark* b) {
    b->ArgNames({"page", "chars"});
    for (int kind : {0, 1, 2})
        b->Args({kind, kMB / 2});
    b->Unit(benchmark::kMillisecond)->Iterations(1);
}

} // namespace

BENCHMARK(scanPage<false>)->Name("findnewjobs")->Apply(pages);
BENCHMARK(scanPage<true>)->Name("reference")->Apply(referencePages);

BENCHMARK_MAIN();
