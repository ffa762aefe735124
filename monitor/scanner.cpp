#include "monitor/scanner.h"

#include <QStringMatcher>

namespace velkoria {

namespace {

// The position of the first occurrence of something at or after a position,
// remembered between calls whose positions never decrease: a remembered
// occurrence at or after the new position is still the first one, and "none"
// stays none. So every part of the page is searched at most once.
template <typename Find> class NextOccurrence {
public:
    explicit NextOccurrence(Find find) : m_find(find) {}
    // The position, or -1 when there is none.
    qsizetype at(qsizetype from) {
        if (m_pos != kNone && m_pos < from)
            m_pos = m_find(from);
        return m_pos;
    }

private:
    static constexpr qsizetype kNone = -1;
    Find m_find;
    qsizetype m_pos = -2; // not searched yet
};

} // namespace

void findnewjobs(QStringView html, QStringView needle, ScanResults& results) {
    if (needle.isEmpty())
        return;
    static const QStringMatcher endMatcher(entryEndMarker());
    static const QStringMatcher iconMatcher(newIconMarker());
    const qsizetype iconLength = newIconMarker().size();
    const QStringMatcher linkMatcher(needle);
    const qsizetype n = needle.size();

    NextOccurrence nextEnd([&](qsizetype from) { return endMatcher.indexIn(html, from); });
    NextOccurrence nextIcon([&](qsizetype from) { return iconMatcher.indexIn(html, from); });
    NextOccurrence nextQuote([&](qsizetype from) { return html.indexOf(u'"', from); });

    for (qsizetype pos = linkMatcher.indexIn(html, 0); pos >= 0; pos = linkMatcher.indexIn(html, pos + n)) {
        const qsizetype end = nextEnd.at(pos);
        if (end < 0)
            return; // no end marker after this link, so none after any later link either
        // The stretch [pos, end) holds the icon exactly when the first icon at or
        // after pos ends within it.
        const qsizetype icon = nextIcon.at(pos);
        if (icon < 0 || icon + iconLength > end)
            continue;
        const qsizetype idStart = pos + n;
        const qsizetype quote = nextQuote.at(pos);
        if (quote < idStart)
            continue; // no double quote after the marker: no ID, no entry
        results.newitem.append(html.sliced(idStart, quote - idStart).toString());
        results.newitemtitle.append(results.curtitle);
    }
}

void readjobpage(Browser& browser, ScanResults& results) {
    const QString html = browser.documentHtml();
    findnewjobs(html, requestLinkMarker(), results);
}

} // namespace velkoria
