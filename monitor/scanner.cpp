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

// How far linkText looks: back from a marker to the '<' of its tag and on to
// the tag's '>', then through the link's content. A link longer than that
// gives the text found so far: the work per entry is bounded, whatever the page.
constexpr qsizetype kTagReach = 2048;
constexpr qsizetype kContentReach = 8192;

bool isHtmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Characters that a title shows as a blank: white space, the no-break space,
// line separators, and control characters (which have no place in a title,
// a mail header or a line of a list).
bool foldsToBlank(char32_t c) {
    return c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0x2028 || c == 0x2029;
}

// Text with its white space folded to single blanks and trimmed, cut at a
// length without splitting a surrogate pair.
class FoldedText {
public:
    explicit FoldedText(qsizetype maxLength) : m_max(maxLength) {}
    void add(char32_t c) {
        if (m_full)
            return;
        if (foldsToBlank(c)) {
            m_blank = !m_text.isEmpty();
            return;
        }
        const qsizetype units = (c > 0xFFFF ? 2 : 1) + (m_blank ? 1 : 0);
        if (m_text.size() + units > m_max) {
            m_full = true;
            return;
        }
        if (m_blank)
            m_text += u' ';
        m_blank = false;
        if (QChar::requiresSurrogates(c)) {
            m_text += QChar(QChar::highSurrogate(c));
            m_text += QChar(QChar::lowSurrogate(c));
        } else
            m_text += QChar(char16_t(c));
    }
    bool full() const { return m_full; }
    QString take() { return std::move(m_text); }

private:
    qsizetype m_max;
    QString m_text;
    bool m_blank = false;
    bool m_full = false;
};

// The character reference at html[i] ('&'), read no further than limit: the
// named ones a page's serializer writes and numeric ones. Returns the number
// of characters it takes (0: no reference, the '&' stands for itself).
qsizetype readReference(QStringView html, qsizetype i, qsizetype limit, char32_t* c) {
    static const struct {
        QStringView name;
        char32_t c;
    } named[] = {{u"amp;", u'&'},  {u"lt;", u'<'},    {u"gt;", u'>'},
                 {u"quot;", u'"'}, {u"apos;", u'\''}, {u"nbsp;", 0xA0}};
    const QStringView rest = html.sliced(i + 1, std::min(limit, html.size()) - i - 1);
    for (const auto& n : named)
        if (rest.startsWith(n.name)) {
            *c = n.c;
            return 1 + n.name.size();
        }
    if (!rest.startsWith(u'#'))
        return 0;
    const bool hex = rest.size() > 1 && (rest.at(1) == u'x' || rest.at(1) == u'X');
    const qsizetype digitsStart = hex ? 2 : 1;
    qsizetype end = digitsStart;
    char32_t value = 0;
    // Up to 8 digits: enough for any code point (with leading zeros), no overflow.
    while (end < rest.size() && end - digitsStart < 8) {
        const char16_t d = rest.at(end).unicode();
        char32_t digit = 0;
        if (d >= u'0' && d <= u'9')
            digit = d - u'0';
        else if (hex && d >= u'a' && d <= u'f')
            digit = 10 + d - u'a';
        else if (hex && d >= u'A' && d <= u'F')
            digit = 10 + d - u'A';
        else
            break;
        value = value * (hex ? 16 : 10) + digit;
        ++end;
    }
    if (end == digitsStart || end >= rest.size() || rest.at(end) != u';')
        return 0;
    *c = (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) ? char32_t(0xFFFD) : value;
    return 1 + end + 1;
}

// Where the tag that opens at lt ('<') ends: its '>' outside quoted attribute
// values, or -1 when there is none before limit.
qsizetype findTagEnd(QStringView html, qsizetype lt, qsizetype limit) {
    QChar quote;
    bool afterEquals = false;
    for (qsizetype i = lt + 1; i < limit; ++i) {
        const QChar c = html.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'>') {
            return i;
        } else if ((c == u'"' || c == u'\'') && afterEquals) {
            quote = c;
            afterEquals = false;
        } else if (!isHtmlSpace(c)) {
            afterEquals = c == u'=';
        }
    }
    return -1;
}

qsizetype findIdEnd(QStringView html, qsizetype from) {
    for (qsizetype i = from; i < html.size(); ++i)
        if (endsId(html.at(i)))
            return i;
    return -1;
}

} // namespace

QString linkText(QStringView html, qsizetype pos) {
    // The '<' before pos must open an <a> tag that reaches past pos (a '>'
    // inside a quoted attribute value does not end it).
    qsizetype lt = pos;
    const qsizetype backLimit = std::max<qsizetype>(0, pos - kTagReach);
    while (lt > backLimit && html.at(lt) != u'<')
        --lt;
    if (html.at(lt) != u'<' || lt + 2 >= html.size() || (html.at(lt + 1) != u'a' && html.at(lt + 1) != u'A') ||
        !isHtmlSpace(html.at(lt + 2)))
        return {};
    const qsizetype gt = findTagEnd(html, lt, std::min(html.size(), pos + kTagReach));
    if (gt < pos)
        return {};
    const qsizetype limit = std::min(html.size(), gt + 1 + kContentReach);
    FoldedText text(ScanResults::kMaxTextLength);
    for (qsizetype i = gt + 1; i < limit && !text.full();) {
        const QChar c = html.at(i);
        if (c == u'<') {
            const QStringView tag = html.sliced(i, limit - i);
            if (tag.startsWith(u"</a", Qt::CaseInsensitive) &&
                (tag.size() == 3 || tag.at(3) == u'>' || tag.at(3) == u'/' || isHtmlSpace(tag.at(3))))
                break;
            if (tag.startsWith(u"<!--")) {
                const qsizetype close = tag.indexOf(u"-->", 4);
                i = close < 0 ? limit : i + close + 3;
            } else {
                const qsizetype close = findTagEnd(html, i, limit);
                i = close < 0 ? limit : close + 1;
            }
            continue;
        }
        if (c == u'&') {
            char32_t decoded = 0;
            if (const qsizetype taken = readReference(html, i, limit, &decoded)) {
                text.add(decoded);
                i += taken;
                continue;
            }
        }
        if (c.isHighSurrogate() && i + 1 < limit && html.at(i + 1).isLowSurrogate()) {
            text.add(QChar::surrogateToUcs4(c, html.at(i + 1)));
            i += 2;
            continue;
        }
        text.add(c.isSurrogate() ? char32_t(0xFFFD) : char32_t(c.unicode()));
        ++i;
    }
    return text.take();
}

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
        results.newitemtext.append(linkText(html, pos));
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
