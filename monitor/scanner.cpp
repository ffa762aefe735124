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

// Where an ID can end: its closing double quote, or a character that no ID
// reaches past (a tag's angle bracket, white space, a line end). An ID that
// meets one of the others first has lost its quote: it gives no entry, rather
// than running on into the rest of the page.
bool endsId(QChar c) {
    return c == u'"' || c == u'<' || c == u'>' || c.isSpace();
}

// Where the link that holds a marker at pos begins: just after the quote, the
// equals sign or the white space that opens the attribute value, looking back
// no further than previousEnd (the end of the previous marker, so that every
// character is looked at once).
qsizetype findLinkStart(QStringView html, qsizetype pos, qsizetype previousEnd) {
    qsizetype start = pos;
    while (start > previousEnd && !endsId(html.at(start - 1)) && html.at(start - 1) != u'\'' &&
           html.at(start - 1) != u'=')
        --start;
    return start;
}

qsizetype findIdEnd(QStringView html, qsizetype from) {
    for (qsizetype i = from; i < html.size(); ++i)
        if (endsId(html.at(i)))
            return i;
    return -1;
}

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
    NextOccurrence nextIdEnd([&](qsizetype from) { return findIdEnd(html, from); });

    qsizetype next = -1;
    qsizetype previousEnd = 0;
    for (qsizetype pos = linkMatcher.indexIn(html, 0); pos >= 0; previousEnd = pos + n, pos = next) {
        next = linkMatcher.indexIn(html, pos + n);
        const qsizetype end = nextEnd.at(pos);
        if (end < 0)
            return; // no end marker after this link, so none after any later link either
        // The stretch [pos, end) holds the icon exactly when the first icon at or
        // after pos ends within it.
        const qsizetype icon = nextIcon.at(pos);
        if (icon < 0 || icon + iconLength > end)
            continue;
        const qsizetype idStart = pos + n;
        const qsizetype quote = nextIdEnd.at(pos);
        // No closing double quote within the link: no ID, no entry. Nor does an
        // ID reach into the next link, so IDs never overlap and together never
        // hold more than the page.
        if (quote < idStart || html.at(quote) != u'"' || (next >= 0 && quote > next))
            continue;
        if (results.newcount() >= ScanResults::kMaxEntries) {
            results.full = true;
            return;
        }
        results.newitem.append(html.sliced(idStart, quote - idStart).toString());
        results.newitemtitle.append(results.curtitle);
        const qsizetype linkStart = findLinkStart(html, pos, previousEnd);
        results.newitemlink.append(
            html.sliced(linkStart, quote - linkStart).toString().replace(QStringLiteral("&amp;"), QStringLiteral("&")));
    }
}

bool emptyBody(QStringView html) {
    const qsizetype open = html.indexOf(u"<body", 0, Qt::CaseInsensitive);
    if (open < 0)
        return false;
    // Only the white space after the tag is looked at, not the whole page.
    qsizetype at = html.indexOf(u'>', open);
    if (at < 0)
        return true;
    for (++at; at < html.size() && html[at].isSpace(); ++at) {
    }
    return at == html.size() || html.sliced(at).startsWith(u"</body", Qt::CaseInsensitive);
}

bool readjobpage(Browser& browser, ScanResults& results) {
    const QString html = browser.documentHtml();
    if (emptyBody(html))
        return false;
    findnewjobs(html, requestLinkMarker(), results);
    return true;
}

} // namespace velkoria
