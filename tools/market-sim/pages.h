#pragma once

#include "catalog.h"

#include <QList>
#include <QString>

namespace marketsim {

// The site's pages as text; the server sends them in code page 932.

// What a category's result page carries besides its list, so that tests can
// ask for the pages that trouble a client: a script that never ends, a
// JavaScript dialog, more new-marked entries than a scan collects, a very
// large page, a page that keeps navigating itself.
struct PageTrouble {
    enum Kind { None, EndlessScript, Alert, Confirm, Prompt, Entries, Large, Tamper, Navigate };
    Kind kind = None;
    int amount = 0; // Entries: how many; Large: megabytes of filler rows
};

struct SearchPage {
    QString key;
    QString caption; // empty: the page names the key instead
    SortType sort = SortType::Registered;
    QList<MarketRequest> requests;
    QList<PopularLink> popular;
    bool upperCaseTags = false;
    PageTrouble trouble;
};

// The result list of a category search. Every entry is one table row: the request link with the
// ID directly followed by a double quote, the new icon (new requests only) inside the row, and
// the row ending with the quote count cell "見積件数" in a FONT element. The "popular requests"
// box after the list repeats the link and the icon but never the quote count cell. A trouble
// adds its rows to the list (new-marked entries with IDs from 700001 up, or filler rows that are
// not new) or its script at the very end of the body.
QString searchResultPage(const SearchPage& page);
QString requestEntry(const MarketRequest& request);

QString requestDetailPage(const QString& id, const MarketRequest* request);
QString myTopPage(const QString& account);
QString loginFailedPage();
QString topPage();
QString serverErrorPage();
QString notFoundPage();
QString badRequestPage();

// Writes the tag names of the page in capitals, as older pages of the site do; attribute names,
// values and text stay as they are.
QString withUpperCaseTags(const QString& html);

} // namespace marketsim
