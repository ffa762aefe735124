#pragma once

#include "platform/browser.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/settings.h"

#include <QByteArray>
#include <QString>
#include <chrono>

namespace velkoria {

// The closed-browser message; the program ends when the user has dismissed it.
inline QString closedBrowserMessage() {
    return QStringLiteral("インターネットエクスプローラが終了しています。Velkoriaを終了します");
}

// The one header line every POST adds.
inline QString postHeader() {
    return QStringLiteral("Content-Type: application/x-www-form-urlencoded\r\n");
}

// The query of the login request, appended to the login base URL.
inline QString loginQuery() {
    return QStringLiteral("?menu=my_top&act=login&query=menu%3Dmy_top%26act%3Dtop");
}

// `sorttype` from the sort options: "limited" for the deadline option, "bidding"
// for the number of quotations (it wins if both report selected), else "registered".
QString sorttype(bool limitedSelected, bool biddingSelected);

// Form values in code page 932. A character that code page 932 cannot hold
// throws RuntimeError (overflow) with a message saying which field it is in,
// without quoting the value.
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

// The error number of a value that cannot be sent: an overflow, as a value
// that does not fit the form's bytes.
inline constexpr int kUnsendableValue = Overflow;

enum class PageLoad { Complete, Failed, TimedOut };

// `waitpage`: returns when the browser is idle with a complete document, or
// when the time limit runs out (the load then counts as failed). Blocks on the
// browser's next message instead of spinning; the program's own events are not
// processed meanwhile. A browser that goes away throws RuntimeError(462) at once.
PageLoad waitpage(Browser& browser, std::chrono::milliseconds limit);

// The marketplace requests through the one browser.
class Marketplace {
public:
    Marketplace(Browser& browser, const Settings& settings, MessageSink& messages, ProgramEnd& end);

    // `newjob`: posts the category search and returns at once. Throws
    // RuntimeError for a key that cannot be sent (nothing is sent then).
    void newjob(const QString& key, const QString& sort);
    // `mybussines`: shows the browser and posts the login; no wait.
    void mybussines(const QString& id, const QString& password);
    // `waitpage` with the configured time limit.
    PageLoad waitpage();
    // `waitpage` with the configured time limit or atMost, whichever is shorter.
    PageLoad waitpage(std::chrono::milliseconds atMost);

    // `Command1_Click`: shows the browser, posts the slot's search and waits.
    void quickAccess(const QString& key, const QString& sort);
    // `my_bussines_Click`. A value that cannot be sent gets a message and nothing is sent.
    void myBusiness(const QString& id, const QString& password);

    // True while a quick-access click is waiting for its page.
    bool waiting() const { return m_waiting; }

    Browser& browser() { return m_browser; }

private:
    // `postpage`: navigates with the body; a closed browser ends the program,
    // any other failure of the navigation is ignored.
    void postpage(const QString& url, const QByteArray& body);
    [[noreturn]] void closedBrowser();

    Browser& m_browser;
    Settings m_settings;
    MessageSink& m_messages;
    ProgramEnd& m_end;
    bool m_waiting = false;
};

} // namespace velkoria
