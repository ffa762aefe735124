// Black-box tests of the marketplace simulator: the built executable is started and spoken to over
// loopback HTTP/HTTPS and its stdin/stdout command channel.

#include "platform/textfile.h"
#include "tests/support/programrun.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSslKey>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace velkoria;
using namespace velkoria::test;

namespace {

struct Response {
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray contentType;
    QByteArray body;
    QList<QNetworkCookie> cookies;
    QByteArray peerSpki; // base64 SHA-256 of the server certificate's public key (HTTPS)
    QStringList peerIpNames;
    QString text() const { return fromCp932(body); }
};

struct Entry {
    QString id;
    bool isNew = false;
    QString deadline;
    int quotes = 0;
};

const QByteArray kLoginQuery = "menu=my_top&act=login&query=menu%3Dmy_top%26act%3Dtop";

QByteArray searchBody(const QByteArray& keyToken, const QByteArray& sort = "registered") {
    return "menu=browse&act=search_request&type=category&key=" + keyToken + "&condition=present&sort_type=" + sort +
           "&sort_button=display";
}

// The result entries, read case-insensitively as a browser would see them.
QList<Entry> entries(const QString& page) {
    static const QRegularExpression row(
        u"<tr><td><a href=\"/browse/request/([^\"]*)\">[^<]*</a>( <img src=\"/img/new\\.gif\" alt=\"NEW\">)?</td>"
        u"<td>締切 (\\d{4}/\\d\\d/\\d\\d)</td><td><font size=\"2\">見積件数</font> (\\d+)件</td></tr>"_s,
        QRegularExpression::CaseInsensitiveOption);
    QList<Entry> list;
    for (const QRegularExpressionMatch& m : row.globalMatch(page))
        list.append({m.captured(1), m.hasCaptured(2), m.captured(3), m.captured(4).toInt()});
    return list;
}

QStringList ids(const QList<Entry>& list, bool newOnly = false) {
    QStringList result;
    for (const Entry& entry : list) {
        if (!newOnly || entry.isNew)
            result.append(entry.id);
    }
    return result;
}

// The program's page scanner: a request link counts when the new icon lies between it and the
// next "見積件数</FONT>"; the ID runs up to the next double quote.
QStringList scanNewRequests(const QString& html) {
    const QString needle = u"/browse/request/"_s;
    QStringList found;
    for (qsizetype pos = html.indexOf(needle); pos >= 0; pos = html.indexOf(needle, pos + needle.size())) {
        const qsizetype quote = html.indexOf(u'"', pos);
        const qsizetype mark = html.indexOf(u"見積件数</FONT>", pos);
        if (mark >= 0 && QStringView(html).mid(pos, mark - pos).contains(u"/img/new.gif"))
            found.append(html.mid(pos + needle.size(), quote - pos - needle.size()));
    }
    return found;
}

} // namespace

class MarketSimTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readyLine();
    void searchPages_data();
    void searchPages();
    void sortOrders();
    void tagCaseDiffersBetweenCategories();
    void sameSeedSamePages();
    void login();
    void logRecordsRawRequests();
    void addAndClear();
    void failures();
    void delay();
    void addEvery();
    void otherPaths();
    void startupErrors();
    void exitsOnEndOfInputAndQuit();

private:
    Response send(const QUrl& url, const QByteArray& body, bool post = true);
    Response search(Simulator& sim, const QByteArray& keyToken, const QByteArray& sort = "registered") {
        return send(sim.url(), searchBody(keyToken, sort));
    }
    QByteArray rawExchange(Simulator& sim, const QByteArray& body, bool* closed);

    QTemporaryDir m_dir;
    QString m_categories;
    QNetworkAccessManager m_network;
    Simulator m_sim;
};

Response MarketSimTest::send(const QUrl& url, const QByteArray& body, bool post) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    QNetworkReply* reply = post ? m_network.post(request, body) : m_network.get(request);
    Response response;
    connect(reply, &QNetworkReply::sslErrors, reply, [&, reply](const QList<QSslError>&) {
        const QSslCertificate cert = reply->sslConfiguration().peerCertificate();
        response.peerSpki = QCryptographicHash::hash(cert.publicKey().toDer(), QCryptographicHash::Sha256).toBase64();
        response.peerIpNames = cert.subjectAlternativeNames().values(QSsl::IpAddressEntry);
        reply->ignoreSslErrors(); // self-signed: the test checks its key instead
    });
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    response.error = reply->error();
    response.contentType = reply->rawHeader("Content-Type");
    response.body = reply->readAll();
    response.cookies = reply->header(QNetworkRequest::SetCookieHeader).value<QList<QNetworkCookie>>();
    reply->abort();
    reply->deleteLater();
    return response;
}

// Sends a search over a bare connection and returns what came back within a second.
QByteArray MarketSimTest::rawExchange(Simulator& sim, const QByteArray& body, bool* closed) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, sim.httpPort);
    if (!socket.waitForConnected(3000))
        return "no connection";
    socket.write("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                 "Content-Length: " +
                 QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray received;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 1000 && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(100);
        received += socket.readAll();
    }
    received += socket.readAll();
    *closed = socket.state() != QAbstractSocket::ConnectedState;
    return received;
}

void MarketSimTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_categories = m_dir.filePath(u"category.txt"_s);
    QFile file(m_categories);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(cp932(u"web_site,it,ホームページ制作\r\n翻訳,office,翻訳・通訳\r\nbig data,it,ビッグデータ分析\r\n"
                     u"photo,design,写真撮影\r\nvideo,design,映像・動画制作\r\nlogo_design,design,ロゴ制作\r\n"_s));
    file.close();
    QVERIFY(m_sim.start(
        {u"--categories"_s, m_categories, u"--account"_s, u"山田@zandorp.example"_s, u"--password"_s, u"pass word"_s}));
}

void MarketSimTest::readyLine() {
    QVERIFY(m_sim.httpPort != 0);
    QVERIFY(m_sim.httpsPort != 0);
    QVERIFY(m_sim.httpPort != m_sim.httpsPort);
    QCOMPARE(QByteArray::fromBase64(m_sim.spki.toLatin1()).size(), 32);
}

void MarketSimTest::searchPages_data() {
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<QString>("caption");
    QTest::newRow("ascii key") << QByteArray("web_site") << u"ホームページ制作"_s;
    QTest::newRow("code page 932 key") << QByteArray("%96%7C%96%F3") << u"翻訳・通訳"_s;
    QTest::newRow("key with a space") << QByteArray("big+data") << u"ビッグデータ分析"_s;
}

void MarketSimTest::searchPages() {
    QFETCH(QByteArray, token);
    QFETCH(QString, caption);
    const Response response = search(m_sim, token);
    QCOMPARE(response.status, 200);
    QCOMPARE(response.contentType, QByteArray("text/html; charset=Shift_JIS"));
    const QString page = response.text();
    QVERIFY(page.contains(caption));
    const QList<Entry> list = entries(page);
    QVERIFY2(list.size() >= 8 && list.size() <= 20, qPrintable(QString::number(list.size())));
    const QStringList all = ids(list);
    QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), list.size());
    const QStringList newIds = ids(list, true);
    QVERIFY(!newIds.isEmpty() && newIds.size() < list.size());
    // The footer repeats links and icons after the last entry; only the entries may count.
    QVERIFY(page.count(u"/img/new.gif"_s) > newIds.size());
    QVERIFY(page.count(u"/browse/request/"_s) > list.size());
    QString endMarkerInCapitals = page;
    endMarkerInCapitals.replace(u"見積件数</font>"_s, u"見積件数</FONT>"_s);
    QCOMPARE(scanNewRequests(endMarkerInCapitals), newIds);

    const Response unknown = search(m_sim, "no_such_key");
    QCOMPARE(unknown.status, 200);
    QVERIFY(unknown.text().contains(u"該当する案件はありません"_s));
    QVERIFY(entries(unknown.text()).isEmpty());
}

void MarketSimTest::sortOrders() {
    const QList<Entry> registered = entries(search(m_sim, "photo", "registered").text());
    const QList<Entry> limited = entries(search(m_sim, "photo", "limited").text());
    const QList<Entry> bidding = entries(search(m_sim, "photo", "bidding").text());
    QStringList a = ids(registered), b = ids(limited), c = ids(bidding);
    QVERIFY(!a.isEmpty());
    QVERIFY(a != b || a != c);
    a.sort(), b.sort(), c.sort();
    QCOMPARE(b, a);
    QCOMPARE(c, a);
    // Newest first: the new-marked requests are the latest registered.
    const QStringList newIds = ids(registered, true);
    QCOMPARE(ids(registered).mid(0, newIds.size()), newIds);
    for (qsizetype i = 1; i < limited.size(); ++i)
        QVERIFY(limited[i - 1].deadline <= limited[i].deadline);
    for (qsizetype i = 1; i < bidding.size(); ++i)
        QVERIFY(bidding[i - 1].quotes >= bidding[i].quotes);
}

void MarketSimTest::tagCaseDiffersBetweenCategories() {
    QSet<bool> upperCase;
    for (const QByteArray key : {"web_site", "photo", "video", "logo_design", "big+data"}) {
        const QString page = search(m_sim, key).text();
        QVERIFY(page.contains(u"見積件数</FONT>"_s) != page.contains(u"見積件数</font>"_s));
        upperCase.insert(page.contains(u"<TR><TD>"_s));
    }
    QCOMPARE(upperCase.size(), 2);
}

void MarketSimTest::sameSeedSamePages() {
    Simulator same, other;
    QVERIFY(same.start({u"--categories"_s, m_categories}));
    QVERIFY(other.start({u"--categories"_s, m_categories, u"--seed"_s, u"99"_s}));
    const QByteArray page = search(m_sim, "video", "limited").body;
    QCOMPARE(search(same, "video", "limited").body, page);
    QVERIFY(search(other, "video", "limited").body != page);
}

void MarketSimTest::login() {
    const QUrl url(u"https://127.0.0.1:%1/?%2"_s.arg(m_sim.httpsPort).arg(QString::fromLatin1(kLoginQuery)));
    const Response right = send(url, "email=%8ER%93c%40zandorp.example&pass1=pass+word&sbmLogin=next");
    QCOMPARE(right.status, 200);
    QCOMPARE(right.peerSpki, m_sim.spki.toLatin1());
    QVERIFY(right.peerIpNames.contains(u"127.0.0.1"_s));
    QVERIFY(right.text().contains(u"山田@zandorp.example"_s));
    QCOMPARE(right.cookies.size(), 1);
    QVERIFY(right.cookies[0].isSecure());

    for (const QByteArray body : {QByteArray("email=%8ER%93c%40zandorp.example&pass1=pass%20wor&sbmLogin=next"),
                                  QByteArray("email=&pass1=&sbmLogin=next")}) {
        const Response wrong = send(url, body);
        QCOMPARE(wrong.status, 200);
        QVERIFY(wrong.text().contains(u"ログインに失敗しました"_s));
        QVERIFY(wrong.cookies.isEmpty());
    }
}

void MarketSimTest::logRecordsRawRequests() {
    // Raw bytes that are no valid form text must still be logged exactly.
    const QByteArray body = searchBody("%96%7C\x96\xF3+x%2", "limited");
    QCOMPARE(search(m_sim, "%96%7C\x96\xF3+x%2", "limited").status, 200);
    const QUrl loginUrl(u"https://127.0.0.1:%1/?%2"_s.arg(m_sim.httpsPort).arg(QString::fromLatin1(kLoginQuery)));
    QCOMPARE(send(loginUrl, "email=a&pass1=b&sbmLogin=next").status, 200);

    const QList<QJsonObject> logged = m_sim.requests();
    QVERIFY(logged.size() >= 2);
    const QJsonObject searchEntry = logged.at(logged.size() - 2);
    QCOMPARE(searchEntry.value(u"scheme"_s).toString(), u"http"_s);
    QCOMPARE(searchEntry.value(u"method"_s).toString(), u"POST"_s);
    QCOMPARE(searchEntry.value(u"path"_s).toString(), u"/"_s);
    QCOMPARE(searchEntry.value(u"query"_s).toString(), QString());
    QCOMPARE(searchEntry.value(u"body_hex"_s).toString().toLatin1(), body.toHex());
    QCOMPARE(searchEntry.value(u"body_len"_s).toInt(), body.size());
    QCOMPARE(searchEntry.value(u"headers"_s).toObject().value(u"Content-Type"_s).toString(),
             u"application/x-www-form-urlencoded"_s);
    QVERIFY(!searchEntry.value(u"time"_s).toString().isEmpty());
    const QJsonObject loginEntry = logged.last();
    QCOMPARE(loginEntry.value(u"scheme"_s).toString(), u"https"_s);
    QCOMPARE(loginEntry.value(u"query"_s).toString().toLatin1(), kLoginQuery);
}

void MarketSimTest::addAndClear() {
    QCOMPARE(m_sim.command(u"add web_site 777"_s), u"OK add web_site 777"_s);
    const QList<Entry> registered = entries(search(m_sim, "web_site").text());
    QCOMPARE(registered.first().id, u"777"_s);
    QVERIFY(registered.first().isNew);
    QVERIFY(ids(entries(search(m_sim, "web_site", "bidding").text())).contains(u"777"_s));

    QCOMPARE(m_sim.command(u"add 翻訳 A-1"_s), u"OK add 翻訳 A-1"_s);
    QCOMPARE(entries(search(m_sim, "%96%7C%96%F3").text()).first().id, u"A-1"_s);
    // What code page 932 lacks is written as a character reference.
    QCOMPARE(m_sim.command(u"add logo_design 7\U0001F600\u00E9"_s), u"OK add logo_design 7\U0001F600\u00E9"_s);
    QVERIFY(search(m_sim, "logo_design").body.contains("/browse/request/7&#128512;&#233;\""));

    QCOMPARE(m_sim.command(u"clear logo_design"_s), u"OK clear logo_design"_s);
    const QString cleared = search(m_sim, "logo_design").text();
    QVERIFY(entries(cleared).isEmpty());
    QVERIFY(cleared.contains(u"該当する案件はありません"_s));

    QVERIFY(m_sim.command(u"add web_site"_s).startsWith(u"ERR "_s));
    for (const QString& id : {u"a\"b"_s, u"a<b"_s, u"a&b"_s, u"a/b"_s, u"a?b"_s})
        QVERIFY(m_sim.command(u"add web_site "_s + id).startsWith(u"ERR "_s));
    QVERIFY(m_sim.command(u"fail web_site slow"_s).startsWith(u"ERR "_s));
    QVERIFY(m_sim.command(u"jump"_s).startsWith(u"ERR "_s));
}

void MarketSimTest::failures() {
    QCOMPARE(m_sim.command(u"fail video 500 2"_s), u"OK fail video 500 2"_s);
    QCOMPARE(search(m_sim, "web_site").status, 200); // other categories are unaffected
    for (int i = 0; i < 2; ++i) {
        const Response failed = search(m_sim, "video");
        QCOMPARE(failed.status, 500);
        QVERIFY(failed.text().contains(u"500"_s));
    }
    QCOMPARE(search(m_sim, "video").status, 200);

    bool closed = false;
    QVERIFY(m_sim.command(u"fail video drop"_s).startsWith(u"OK"_s));
    QCOMPARE(rawExchange(m_sim, searchBody("video"), &closed), QByteArray());
    QVERIFY(closed);

    QVERIFY(m_sim.command(u"fail video stall always"_s).startsWith(u"OK"_s));
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(rawExchange(m_sim, searchBody("video"), &closed), QByteArray());
        QVERIFY(!closed);
    }
    QVERIFY(m_sim.command(u"fail video stall 0"_s).startsWith(u"OK"_s));
    QVERIFY(rawExchange(m_sim, searchBody("video"), &closed).startsWith("HTTP/1.1 200"));
}

void MarketSimTest::delay() {
    QCOMPARE(m_sim.command(u"delay photo 400"_s), u"OK delay photo 400"_s);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(search(m_sim, "photo").status, 200);
    QVERIFY(timer.elapsed() >= 400);
    QCOMPARE(m_sim.command(u"delay photo 0"_s), u"OK delay photo 0"_s);
    QCOMPARE(search(m_sim, "photo").status, 200);
}

void MarketSimTest::addEvery() {
    Simulator sim;
    QVERIFY(sim.start({u"--categories"_s, m_categories, u"--add-every"_s, u"1"_s}));
    const QString before = entries(search(sim, "video").text()).first().id;
    QTRY_VERIFY_WITH_TIMEOUT(entries(search(sim, "video").text()).first().id != before, 5000);
    const Entry added = entries(search(sim, "video").text()).first();
    QVERIFY(added.isNew);
    QVERIFY(added.id.toInt() > 90000);
    // Every listed category gets one, not only those searched before.
    QVERIFY(entries(search(sim, "logo_design").text()).first().id.toInt() > 90000);
}

void MarketSimTest::otherPaths() {
    const Response icon = send(m_sim.url(u"/img/new.gif"_s), {}, false);
    QCOMPARE(icon.status, 200);
    QCOMPARE(icon.contentType, QByteArray("image/gif"));
    const QImage image = QImage::fromData(icon.body, "GIF");
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(18, 9));

    const QString id = entries(search(m_sim, "web_site").text()).last().id;
    const Response detail = send(m_sim.url(u"/browse/request/"_s + id), {}, false);
    QCOMPARE(detail.status, 200);
    QVERIFY(detail.text().contains(id));

    QCOMPARE(send(m_sim.url(u"/nothing"_s), {}, false).status, 404);
    QCOMPARE(send(m_sim.url(u"/browse/"_s), {}, false).status, 404);
}

void MarketSimTest::startupErrors() {
    QProcess process;
    process.start(builtSimulator(), {u"--categories"_s, m_dir.filePath(u"missing.txt"_s)});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(u"missing.txt"_s));

    QFile bad(m_dir.filePath(u"bad.txt"_s));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("a,b,c\r\nno commas\r\n");
    bad.close();
    process.start(builtSimulator(), {u"--categories"_s, bad.fileName()});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    const QString message = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(message.contains(u"bad.txt"_s) && message.contains(u"2 行目"_s), qPrintable(message));
}

void MarketSimTest::exitsOnEndOfInputAndQuit() {
    Simulator sim;
    QVERIFY(sim.start({}));
    sim.process().closeWriteChannel();
    QVERIFY(sim.process().waitForFinished(3000));
    QCOMPARE(sim.process().exitCode(), 0);

    QCOMPARE(m_sim.command(u"quit"_s), u"OK quit"_s);
    QVERIFY(m_sim.process().waitForFinished(3000));
}

QTEST_GUILESS_MAIN(MarketSimTest)
#include "market_sim_test.moc"
