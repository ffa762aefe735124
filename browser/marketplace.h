#pragma once

#include "platform/cdp/browser.h"
#include "platform/errors.h"
#include "platform/messages.h"

#include <QByteArray>
#include <QString>
#include <chrono>

namespace velkoria {

// The one header line every POST adds.
inline QString postHeader() {
    return QStringLiteral("Content-Type: application/x-www-form-urlencoded\r\n");
}

// The query of the login request, appended to the login base URL.
inline QString loginQuery() {
    return QStringLiteral("?menu=my_top&act=login&query=menu%3Dmy_top%26act%3Dtop");
}

// Where the site's request pages lie: their path is this followed by the
// request's ID. It is also the request link's marker on a result page.
inline QString requestLinkMarker() {
    return QStringLiteral("/browse/request/");
}

// `sorttype` from the sort options: "limited" for the deadline option, "bidding"
// for the number of quotations (it wins if both report selected), else "registered".
QString sorttype(bool limitedSelected, bool biddingSelected);

// A value that code page 932 cannot hold, so that it cannot be sent: an
// overflow, as a value that does not fit the form's bytes. Its description
// names the field, never the value. Nothing has been sent when it is thrown.
class UnsendableValueError : public RuntimeError {
public:
    explicit UnsendableValueError(const QString& fieldName);
};

// Form values in code page 932. A character that code page 932 cannot hold
// throws UnsendableValueError.
//
// encodeFormValue: letters, digits and *-._ as they are, space as "+", every
// other byte as %XX; for the account ID and the password.
QByteArray encodeFormValue(const QString& value, const QString& fieldName);
// encodeSiteToken: the category key as the site's own token: space as "+",
// non-ASCII characters as their code page 932 bytes in %XX, everything else
// (including & = + %) unchanged.
QByteArray encodeSiteToken(const QString& key, const QString& fieldName);

// The two request bodies.
QByteArray searchBody(const QString& key, const QString& sort);
QByteArray loginBody(const QString& id, const QString& password);

// Where the marketplace's two requests go, and how long a page may take.
struct MarketplaceSite {
    QString searchUrl; // the category search is POSTed here (http)
    QString loginUrl;  // the login query is appended to this (https)
    int loadTimeoutSeconds = 60;
};

enum class PageLoad { Complete, Failed, TimedOut };

// The wait of `waitpage`: returns when the browser is idle with a complete
// document, or when the time limit runs out. The browser's wait keeps the
// program's windows painting and looks at the browser only when the program's
// event loop has delivered something, never in a busy loop. A browser that
// goes away throws BrowserGoneError at once.
PageLoad waitForPage(Browser& browser, std::chrono::milliseconds limit);

// The marketplace requests through the one browser.
class Marketplace {
public:
    // A closed browser makes every member throw BrowserGoneError.
    Marketplace(Browser& browser, MarketplaceSite site, MessageSink& messages);

    // `newjob`: posts the category search and returns at once. A key that
    // cannot be sent throws UnsendableValueError.
    void newjob(const QString& key, const QString& sort);
    // `mybussines`: shows the browser and posts the login; no wait. An ID or a
    // password that cannot be sent throws UnsendableValueError before the
    // browser is shown.
    void mybussines(const QString& id, const QString& password);
    // `waitpage`: waitForPage with the configured time limit.
    PageLoad waitpage();
    // `waitpage` with the configured time limit or atMost, whichever is shorter.
    PageLoad waitpage(std::chrono::milliseconds atMost);

    // Whether the search's document ended at another address than the search
    // was posted to: the site sent it elsewhere (a logged-out session goes to
    // the login page), so the page is no result page. False when the browser
    // does not know the address.
    bool searchLeftForAnotherPage();

    // `Command1_Click`: shows the browser, posts the slot's search and waits.
    // A key that cannot be sent gets a message and nothing is sent.
    void quickAccess(const QString& key, const QString& sort);

    // The page of a request, from its link as a list page writes it and its
    // ID: always on the search URL's site. A web link to the site's host (or
    // a relative one) keeps its path and query; any other (another host, a
    // javascript: or data: link, one that gives no address) gives the site's
    // page of the ID, requestLinkMarker() and the ID, so the request can
    // still be opened and listed.
    QString requestUrl(const QString& link, const QString& id) const;
    // Shows the browser, loads the request's page (a plain GET) and waits, as
    // a quick button does. url is one that requestUrl made (one edited into
    // the list's file by hand stays on the site all the same).
    void openRequest(const QString& url);

    Browser& browser() { return m_browser; }

private:
    // `postpage`: navigates with the body (an empty one: a plain GET, without
    // the form's header); any failure of the navigation but the closed
    // browser is ignored.
    void postpage(const QString& url, const QByteArray& body);

    Browser& m_browser;
    MarketplaceSite m_site;
    MessageSink& m_messages;
};

} // namespace velkoria
