#include "browser/marketplace.h"

#include "platform/errors.h"
#include "platform/textfile.h"

#include <QUrl>

namespace velkoria {

QString sorttype(bool limitedSelected, bool biddingSelected) {
    QString sort = QStringLiteral("registered");
    if (limitedSelected)
        sort = QStringLiteral("limited");
    if (biddingSelected)
        sort = QStringLiteral("bidding");
    return sort;
}

UnsendableValueError::UnsendableValueError(const QString& fieldName)
    : RuntimeError(Overflow, QStringLiteral("%1 に Shift_JIS で送れない文字（絵文字など）が含まれています。"
                                            "その文字を取り除いてください。何も送信していません。")
                                 .arg(fieldName)) {}

namespace {
QByteArray toCp932(const QString& value, const QString& fieldName) {
    QByteArray bytes;
    if (!encodeCp932(value, &bytes))
        throw UnsendableValueError(fieldName);
    return bytes;
}

void appendPercent(QByteArray& out, unsigned char byte) {
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[byte >> 4];
    out += hex[byte & 0xF];
}
} // namespace

QByteArray encodeFormValue(const QString& value, const QString& fieldName) {
    const QByteArray bytes = toCp932(value, fieldName);
    QByteArray out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '*' || b == '-' ||
            b == '.' || b == '_')
            out += c;
        else if (b == ' ')
            out += '+';
        else
            appendPercent(out, b);
    }
    return out;
}

QByteArray encodeSiteToken(const QString& key, const QString& fieldName) {
    const QByteArray bytes = toCp932(key, fieldName);
    QByteArray out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == ' ')
            out += '+';
        else if (b >= 0x80)
            appendPercent(out, b);
        else
            out += c;
    }
    return out;
}

QByteArray searchBody(const QString& key, const QString& sort) {
    return "menu=browse&act=search_request&type=category&key=" +
           encodeSiteToken(key, QStringLiteral("カテゴリのキー")) + "&condition=present&sort_type=" + sort.toLatin1() +
           "&sort_button=display";
}

QByteArray loginBody(const QString& id, const QString& password) {
    return "email=" + encodeFormValue(id, QStringLiteral("ID")) +
           "&pass1=" + encodeFormValue(password, QStringLiteral("パスワード")) + "&sbmLogin=next";
}

PageLoad waitForPage(Browser& browser, std::chrono::milliseconds limit) {
    if (!browser.waitUntil(limit, [&browser] { return !browser.busy() && browser.readyState() == 4; }))
        return PageLoad::TimedOut;
    return browser.lastLoadFailed() ? PageLoad::Failed : PageLoad::Complete;
}

Marketplace::Marketplace(Browser& browser, MarketplaceSite site, MessageSink& messages)
    : m_browser(browser), m_site(std::move(site)), m_messages(messages) {}

void Marketplace::postpage(const QString& url, const QByteArray& body) {
    try {
        m_browser.navigate(url, body, body.isEmpty() ? QString() : postHeader());
    } catch (const BrowserCommandError&) {
        // Any other failure of the navigation is ignored: the caller goes on,
        // and its wait finds the page not loaded.
    }
}

void Marketplace::newjob(const QString& key, const QString& sort) {
    postpage(m_site.searchUrl, searchBody(key, sort));
}

void Marketplace::mybussines(const QString& id, const QString& password) {
    const QByteArray body = loginBody(id, password);
    m_browser.setVisible(true);
    postpage(m_site.loginUrl + loginQuery(), body);
}

namespace {

// An address as the browser writes it, for comparison: no fragment, "/" for
// an empty path, the host in lower case. The scheme and the port do not
// count: the site (or the browser, for a host it knows to be HTTPS only) may
// move the search from http to https, and that is still the search.
QUrl comparable(const QString& address) {
    QUrl url = QUrl(address).adjusted(QUrl::RemoveFragment | QUrl::NormalizePathSegments | QUrl::RemoveScheme |
                                      QUrl::RemovePort);
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    url.setHost(url.host().toLower());
    return url;
}

} // namespace

bool Marketplace::searchLeftForAnotherPage() {
    const QString at = m_browser.documentUrl();
    return !at.isEmpty() && comparable(at) != comparable(m_site.searchUrl);
}

PageLoad Marketplace::waitpage() {
    return waitForPage(m_browser, std::chrono::seconds(m_site.loadTimeoutSeconds));
}

PageLoad Marketplace::waitpage(std::chrono::milliseconds atMost) {
    const std::chrono::milliseconds configured = std::chrono::seconds(m_site.loadTimeoutSeconds);
    return waitForPage(m_browser, std::min(configured, atMost));
}

void Marketplace::quickAccess(const QString& key, const QString& sort) {
    m_browser.setVisible(true);
    try {
        newjob(key, sort);
    } catch (const UnsendableValueError& error) {
        // Nothing was sent; say why instead of failing silently.
        m_messages.show(error.description());
    }
    waitpage();
}

QString Marketplace::requestUrl(const QString& link, const QString& id) const {
    const QUrl site(m_site.searchUrl);
    const QUrl resolved = site.resolved(QUrl(link));
    const QString scheme = resolved.scheme();
    if ((scheme == u"http" || scheme == u"https") && resolved.host().compare(site.host(), Qt::CaseInsensitive) == 0) {
        QUrl url = resolved;
        url.setScheme(site.scheme());
        url.setAuthority(site.authority());
        if (url.isValid() && url.path().startsWith(u'/'))
            return url.toString(QUrl::FullyEncoded);
    }
    QUrl url = site;
    url.setQuery(QString());
    url.setFragment(QString());
    // Decoded: a "?", "#" or "%" in the ID is part of the path, not the end of it.
    url.setPath(requestLinkMarker() + id, QUrl::DecodedMode);
    return url.toString(QUrl::FullyEncoded);
}

void Marketplace::openRequest(const QString& url) {
    m_browser.setVisible(true);
    postpage(requestUrl(url, {}), {});
    waitpage();
}

} // namespace velkoria
