// The request-list scanner on any page text. The first byte says how often
// the rest is repeated (up to 4096 times, at most 4 M characters), so that
// small inputs make pages of several megabytes. Besides what the sanitizers
// and the memory limits catch, the IDs (and the links) collected must never
// hold more text than the page: more would mean memory growing faster than the page;
// a link's text never exceeds its limit.
#include "monitor/scanner.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velkoria;
    if (size == 0)
        return 0;
    const QString piece = QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    const qsizetype repeats = qsizetype(1) << (data[0] % 13);
    QString html;
    for (qsizetype i = 0; i < repeats && html.size() + piece.size() <= 4 * 1024 * 1024; ++i)
        html += piece;
    ScanResults results;
    results.curtitle = QStringLiteral("ホームページ制作");
    findnewjobs(html, requestLinkMarker(), results);
    qsizetype total = 0, links = 0;
    for (const QString& id : results.newitem)
        total += id.size();
    for (const QString& link : results.newitemlink)
        links += link.size();
    for (const QString& text : results.newitemtext)
        if (text.size() > ScanResults::kMaxTextLength)
            std::abort();
    if (total > html.size() || links > html.size() || results.newitem.size() != results.newitemtitle.size() ||
        results.newitem.size() != results.newitemlink.size() || results.newitem.size() != results.newitemtext.size())
        std::abort();
    return 0;
}
