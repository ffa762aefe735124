#include "browser/marketplace.h"
#include "platform/errors.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/fakes.h"

#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

namespace {
MarketplaceSite testSettings() {
    MarketplaceSite s;
    s.searchUrl = u"http://127.0.0.1:8080/"_qs;
    s.loginUrl = u"https://127.0.0.1:8443/"_qs;
    s.loadTimeoutSeconds = 1;
    return s;
}
} // namespace

class MarketplaceTest : public QObject {
    Q_OBJECT
private slots:
    void sortOptions();
    void formValues_data();
    void formValues();
    void siteTokens_data();
    void siteTokens();
    void unsendableValuesNameTheFieldNotTheValue();
    void bodies();
    void waitEndsOnCompleteFailedOrLimit();
    void quickAccessPostsTheSearchAndWaits();
    void quickAccessWithUnsendableKey();
    void myBusinessPostsTheLogin();
    void myBusinessWithUnsendablePassword();
    void requestPagesStayOnTheSite_data();
    void requestPagesStayOnTheSite();
    void aSearchThatEndsElsewhereIsNoResultPage_data();
    void aSearchThatEndsElsewhereIsNoResultPage();
};

void MarketplaceTest::sortOptions() {
    QCOMPARE(sorttype(false, false), u"registered"_qs);
    QCOMPARE(sorttype(true, false), u"limited"_qs);
    QCOMPARE(sorttype(false, true), u"bidding"_qs);
    QCOMPARE(sorttype(true, true), u"bidding"_qs);
}

void MarketplaceTest::formValues_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("kept") << u"Az09*-._"_qs << QByteArray("Az09*-._");
    QTest::newRow("space") << u"a b"_qs << QByteArray("a+b");
    QTest::newRow("field injection") << u"p&sbmLogin=x"_qs << QByteArray("p%26sbmLogin%3Dx");
    QTest::newRow("plus and percent") << u"+%41"_qs << QByteArray("%2B%2541");
    QTest::newRow("mail") << u"demo@zandorp.example"_qs << QByteArray("demo%40zandorp.example");
    QTest::newRow("japanese") << u"山田"_qs << QByteArray("%8ER%93c"); // trail bytes that are letters stay letters
    QTest::newRow("half-width kana") << u"ﾃｽﾄ"_qs << QByteArray("%C3%BD%C4");
    QTest::newRow("full-width space") << u"\u3000"_qs << QByteArray("%81%40");
}

void MarketplaceTest::formValues() {
    QFETCH(QString, value);
    QFETCH(QByteArray, encoded);
    QCOMPARE(encodeFormValue(value, u"ID"_qs), encoded);
}

void MarketplaceTest::siteTokens_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("plain") << u"web_site"_qs << QByteArray("web_site");
    QTest::newRow("space") << u"web site"_qs << QByteArray("web+site");
    QTest::newRow("signs unchanged") << u"a&b=c+d%20"_qs << QByteArray("a&b=c+d%20");
    QTest::newRow("kana bytes") << u"ﾃｽﾄ"_qs << QByteArray("%C3%BD%C4");
    QTest::newRow("double-byte") << u"印刷"_qs << QByteArray("%88%F3%8D%FC");
}

void MarketplaceTest::siteTokens() {
    QFETCH(QString, key);
    QFETCH(QByteArray, encoded);
    QCOMPARE(encodeSiteToken(key, u"key"_qs), encoded);
}

void MarketplaceTest::unsendableValuesNameTheFieldNotTheValue() {
    const RuntimeError e = errorOf([] { loginBody(u"id"_qs, u"hunter2\U0001F600"_qs); });
    QCOMPARE(e.number(), int(Overflow));
    QVERIFY(e.description().contains(u"パスワード"_qs) && !e.description().contains(u"hunter2"_qs));
    QVERIFY_THROWS_EXCEPTION(UnsendableValueError, searchBody(u"\U0001F600"_qs, u"registered"_qs));
}

void MarketplaceTest::bodies() {
    QCOMPARE(searchBody(u"web_site"_qs, u"limited"_qs),
             QByteArray("menu=browse&act=search_request&type=category&key=web_site&condition=present"
                        "&sort_type=limited&sort_button=display"));
    QVERIFY(searchBody(QString(), u"registered"_qs).contains("&key=&condition=present"));
    QCOMPARE(loginBody(QString(), QString()), QByteArray("email=&pass1=&sbmLogin=next"));
    QCOMPARE(loginBody(u"a b"_qs, u"x&y"_qs), QByteArray("email=a+b&pass1=x%26y&sbmLogin=next"));
    // No length limit: a long password is sent whole.
    QCOMPARE(loginBody(u"i"_qs, QString(40000, u'p')).size(), 40000 + 28);
}

void MarketplaceTest::waitEndsOnCompleteFailedOrLimit() {
    FakeBrowser browser;
    // Idle with a complete document: one read of each, no time.
    const QDateTime start = browser.clock.now();
    QCOMPARE(waitForPage(browser, std::chrono::seconds(1)), PageLoad::Complete);
    QCOMPARE(browser.calls.count(u"busy"_qs), 1);
    QCOMPARE(browser.calls.count(u"readyState"_qs), 1);
    QCOMPARE(browser.clock.now(), start);

    // Loading: the wait ends when the page is there, not at its limit.
    browser.navigate(u"u"_qs, {}, {});
    QCOMPARE(waitForPage(browser, std::chrono::seconds(1)), PageLoad::Complete);
    QCOMPARE(browser.clock.now(), start.addMSecs(browser.loadMs));

    browser.pageFor = [](const FakeBrowser::Navigation&) { return FakeBrowser::Page{{}, true}; };
    browser.navigate(u"u"_qs, {}, {});
    QCOMPARE(waitForPage(browser, std::chrono::seconds(1)), PageLoad::Failed);

    browser.pageFor = [](const FakeBrowser::Navigation&) { return FakeBrowser::Page{{}, false, true}; };
    browser.navigate(u"u"_qs, {}, {});
    const QDateTime stalled = browser.clock.now();
    QCOMPARE(waitForPage(browser, std::chrono::milliseconds(50)), PageLoad::TimedOut);
    QCOMPARE(browser.clock.now(), stalled.addMSecs(50));
}

void MarketplaceTest::quickAccessPostsTheSearchAndWaits() {
    FakeBrowser browser;
    browser.visible = false;
    FakeMessageSink messages;
    Marketplace market(browser, testSettings(), messages);
    market.quickAccess(u"printing"_qs, u"bidding"_qs);
    QCOMPARE(browser.calls.first(), u"visible 1"_qs);
    QCOMPARE(browser.navigations.size(), 1);
    const auto& nav = browser.navigations.first();
    QCOMPARE(nav.url, u"http://127.0.0.1:8080/"_qs);
    QCOMPARE(nav.headers, u"Content-Type: application/x-www-form-urlencoded\r\n"_qs);
    QVERIFY(nav.body.contains("&key=printing&condition=present&sort_type=bidding&"));
    QCOMPARE(browser.calls.last(), u"readyState"_qs); // returned after the page completed
    QVERIFY(messages.texts.isEmpty());
}

void MarketplaceTest::quickAccessWithUnsendableKey() {
    FakeBrowser browser;
    FakeMessageSink messages;
    Marketplace market(browser, testSettings(), messages);
    market.quickAccess(u"key\U0001F600"_qs, u"registered"_qs);
    QVERIFY(browser.visible);
    QVERIFY(browser.navigations.isEmpty());
    QCOMPARE(messages.texts.size(), 1);
}

void MarketplaceTest::myBusinessPostsTheLogin() {
    FakeBrowser browser;
    browser.visible = false;
    FakeMessageSink messages;
    Marketplace market(browser, testSettings(), messages);
    market.mybussines(u"demo@zandorp.example"_qs, u"a&b=c"_qs);
    QVERIFY(browser.visible);
    QCOMPARE(browser.navigations.size(), 1);
    QCOMPARE(browser.navigations.first().url,
             u"https://127.0.0.1:8443/?menu=my_top&act=login&query=menu%3Dmy_top%26act%3Dtop"_qs);
    QCOMPARE(browser.navigations.first().body,
             QByteArray("email=demo%40zandorp.example&pass1=a%26b%3Dc&sbmLogin=next"));
    QVERIFY(!browser.calls.contains(u"wait"_qs)); // no wait follows the login
}

void MarketplaceTest::myBusinessWithUnsendablePassword() {
    FakeBrowser browser;
    browser.visible = false;
    FakeMessageSink messages;
    Marketplace market(browser, testSettings(), messages);
    QVERIFY_THROWS_EXCEPTION(UnsendableValueError, market.mybussines(u"id"_qs, u"\U0001F511"_qs));
    QVERIFY(!browser.visible); // nothing shown, nothing sent
    QVERIFY(browser.navigations.isEmpty());
}

void MarketplaceTest::requestPagesStayOnTheSite_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("path");
    QTest::newRow("the site's own link") << u"/browse/request/48211"_qs << u"/browse/request/48211"_qs;
    QTest::newRow("relative") << u"browse/request/1?a=b&c=d"_qs << u"/browse/request/1?a=b&c=d"_qs;
    QTest::newRow("another host") << u"https://evil.example/browse/request/1"_qs << u"/browse/request/1"_qs;
    QTest::newRow("user and password") << u"http://user:pw@evil.example/browse/request/1"_qs << u"/browse/request/1"_qs;
    QTest::newRow("no scheme") << u"//evil.example/browse/request/1"_qs << u"/browse/request/1"_qs;
    QTest::newRow("backslashes") << u"\\\\evil.example\\browse/request/1"_qs << QString();
    QTest::newRow("percent-encoded scheme") << u"javascript%3Aalert(1)"_qs << u"/javascript%3Aalert(1)"_qs;
    QTest::newRow("2 MB") << u"/browse/request/"_qs + QString(2 << 20, u'9') << QString();
    // Links that lead to no page: the site's page of the ID (the text after the marker).
    QTest::newRow("javascript") << u"javascript:open('/browse/request/1')"_qs << u"/browse/request/1')"_qs;
    QTest::newRow("data") << u"data:text/html,<b>/browse/request/1"_qs << u"/browse/request/1"_qs;
    QTest::newRow("mail") << u"mailto:a@evil.example?/browse/request/1"_qs << u"/browse/request/1"_qs;
    QTest::newRow("an ID with signs") << u"javascript:/browse/request/1?x#y%41"_qs
                                      << u"/browse/request/1%3Fx%23y%2541"_qs;
}

// Where a notification or the day's list may send the browser: the search
// site's own pages, whatever the link says.
void MarketplaceTest::requestPagesStayOnTheSite() {
    QFETCH(QString, link);
    QFETCH(QString, path);
    FakeBrowser browser;
    FakeMessageSink messages;
    Marketplace market(browser, testSettings(), messages);
    const QUrl url(market.requestUrl(link, link.section(requestLinkMarker(), -1)));
    QVERIFY2(url.isValid() && url.scheme() == u"http"_qs && url.host() == u"127.0.0.1"_qs && url.port() == 8080 &&
                 url.userInfo().isEmpty(),
             qPrintable(url.toString().left(200)));
    if (!path.isNull())
        QCOMPARE(url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded), path);
    market.openRequest(url.toString(QUrl::FullyEncoded));
    QCOMPARE(browser.navigations.size(), 1);
    QCOMPARE(browser.navigations.first().url, url.toString(QUrl::FullyEncoded));
    QVERIFY(browser.navigations.first().body.isEmpty());
}

QTEST_GUILESS_MAIN(MarketplaceTest)
#include "marketplace_test.moc"

void MarketplaceTest::aSearchThatEndsElsewhereIsNoResultPage_data() {
    QTest::addColumn<QString>("ended"); // where the search's document ended (search URL http://127.0.0.1:8080/)
    QTest::addColumn<bool>("elsewhere");
    QTest::newRow("the search") << u"http://127.0.0.1:8080/"_qs << false;
    QTest::newRow("no path, a fragment") << u"http://127.0.0.1:8080#top"_qs << false;
    // Moved to https by the site or the browser: still the search.
    QTest::newRow("https") << u"https://127.0.0.1/"_qs << false;
    QTest::newRow("the login page") << u"http://127.0.0.1:8080/?menu=my_top&act=login_form"_qs << true;
    QTest::newRow("another path") << u"http://127.0.0.1:8080/login"_qs << true;
    QTest::newRow("another host") << u"https://login.example/"_qs << true;
}

void MarketplaceTest::aSearchThatEndsElsewhereIsNoResultPage() {
    QFETCH(QString, ended);
    QFETCH(bool, elsewhere);
    FakeBrowser browser;
    browser.pageFor = [&](const FakeBrowser::Navigation&) {
        FakeBrowser::Page page;
        page.url = ended;
        return page;
    };
    FakeMessageSink messages;
    Marketplace market(browser, testSettings(), messages);
    market.newjob(u"web_site"_qs, sorttype(false, false));
    QCOMPARE(market.searchLeftForAnotherPage(), elsewhere);
}
