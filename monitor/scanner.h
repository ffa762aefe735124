#pragma once

#include "browser/marketplace.h"
#include "platform/cdp/browser.h"

#include <QString>
#include <QStringList>
#include <QStringView>

namespace velkoria {

// The markers of a request-list page, matched exactly (case-sensitive) in the
// markup the browser writes out: the request link (requestLinkMarker(),
// browser/marketplace.h), the end of an entry and the new icon.
inline QString entryEndMarker() {
    return QStringLiteral("見積件数</FONT>");
}
inline QString newIconMarker() {
    return QStringLiteral("/img/new.gif");
}

// The scan results of one run: the new-marked requests found so far, in the
// order found, with the caption of the quick button whose page held it.
// Duplicates are kept. The tables hold kMaxEntries entries at most: a run
// that meets more stops collecting there.
struct ScanResults {
    static constexpr qsizetype kMaxEntries = 1000;
    // The longest text kept of a request's link (newitemtext).
    static constexpr qsizetype kMaxTextLength = 200;

    QStringList newitem;      // request IDs
    QStringList newitemtitle; // parallel to newitem: the quick button's caption
    QStringList newitemlink;  // parallel to newitem: the request's link as the page writes it
    QStringList newitemtext;  // parallel to newitem: the text of the request's link (its title), may be empty
    QString curtitle;         // caption of the quick button whose page is being scanned
    bool full = false;        // a new-marked request found no room: collecting stopped

    qsizetype newcount() const { return newitem.size(); }
    // Empties the tables for a new run; curtitle stays.
    void clear() {
        newitem.clear();
        newitemtitle.clear();
        newitemlink.clear();
        newitemtext.clear();
        full = false;
    }
};

// `findnewjobs`: appends to results every link marker (needle, non-empty) of
// the page text whose stretch up to the first end marker after it holds the
// new icon. The ID is the text from just after the marker up to the double
// quote that closes it; an ID never runs past its own link: a link in which
// a '<', a '>', white space, a line end or the next link marker comes before
// that quote (or which has no quote after it) adds nothing. The search for the next link resumes
// needle's length after the start of the current one, so a link that shares
// characters with the previous marker is not found; a link without an end
// marker after it adds nothing. With the tables full, the request that finds
// no room sets results.full and the page is left. Each entry also gets the
// text of the <a> element whose tag holds its marker (linkText). Runs in time
// and memory linear in the page text.
void findnewjobs(QStringView html, QStringView needle, ScanResults& results);

// The text of the <a> element whose opening tag holds the character at pos
// of the page text: its tags stripped, its character references decoded,
// its white space folded to single blanks (control characters count as
// white space), at most ScanResults::kMaxTextLength characters. Empty when
// pos lies in no <a> tag, or the link has no text. Looks at a bounded
// stretch of the page around pos, whatever the page holds.
QString linkText(QStringView html, qsizetype pos);

// `readjobpage`: the browser's current page through findnewjobs with the
// request-link marker. Browser failures (462 included) go to the caller.
// False, with nothing read, for a document whose body holds nothing (a site
// that answers with an empty body): no result page at all.
bool readjobpage(Browser& browser, ScanResults& results);

// Whether the markup's body element is there and holds nothing but white space.
bool emptyBody(QStringView html);

} // namespace velkoria
