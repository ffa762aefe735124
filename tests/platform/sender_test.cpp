// Mail and webhook sends through libcurl against real servers on loopback:
// what each failure tells the user, with no secret in it, and what arrives.
#include "platform/net/sender.h"
#include "platform/net/webhookbody.h"
#include "tests/support/notifyservers.h"

#include <QJsonDocument>
#include <QTcpServer>
#include <QUrlQuery>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

class SenderTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_servers.start()); }
    void mailFailures_data();
    void mailFailures();
    void webhookBodies_data();
    void webhookBodies();

private:
    NotifyServers m_servers;
};

void SenderTest::mailFailures_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("trustTestCa");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("words");
    const NotifyServers& s = m_servers;
    // A port that was free a moment ago: nothing listens there.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const int closedPort = closed.serverPort();
    closed.close();
    const QString good = QString::fromLatin1(NotifyServers::kPassword);
    QTest::newRow("sent with STARTTLS") << s.url(u"smtp"_qs, s.smtp) << true << good << true << int(SendStatus::Sent)
                                        << u"送信しました"_qs;
    QTest::newRow("wrong password") << s.url(u"smtp"_qs, s.smtp) << true << u"wrong-pass-987"_qs << true
                                    << int(SendStatus::LoginDenied) << u"パスワードが違います"_qs;
    QTest::newRow("self-signed certificate not trusted")
        << s.url(u"smtps"_qs, s.smtps) << true << good << false << int(SendStatus::CertificateUntrusted)
        << u"証明書を信頼できない"_qs;
    QTest::newRow("STARTTLS demanded, not offered")
        << s.url(u"smtp"_qs, s.plain) << true << good << true << int(SendStatus::NoStartTls) << u"STARTTLS"_qs;
    QTest::newRow("implicit TLS on a plain port")
        << s.url(u"smtps"_qs, s.plain) << true << good << true << int(SendStatus::TlsFailed) << u"smtps://"_qs;
    QTest::newRow("nothing listens") << s.url(u"smtp"_qs, closedPort) << true << good << true
                                     << int(SendStatus::ConnectFailed) << u"ポート番号"_qs;
    QTest::newRow("server never answers")
        << s.url(u"smtp"_qs, s.dead) << true << good << true << int(SendStatus::TimedOut) << u"応答しませんでした"_qs;
}

void SenderTest::mailFailures() {
    QFETCH(QString, url);
    QFETCH(bool, startTls);
    QFETCH(QString, password);
    QFETCH(bool, trustTestCa);
    QFETCH(int, status);
    QFETCH(QString, words);
    const MailServer server{url, startTls, QString::fromLatin1(NotifyServers::kUser), password,
                            trustTestCa ? m_servers.caFile : QString()};
    const QByteArray message = "From: a@example.jp\r\nTo: b@example.jp\r\nSubject: x\r\n\r\n.leading dot\r\n";
    const SendResult result =
        sendMail(server, u"a@example.jp"_qs, {u"b@example.jp"_qs}, message, nullptr, std::chrono::seconds(2));
    const QString text = sendResultText(result);
    QCOMPARE(int(result.status), status);
    QVERIFY2(text.contains(words) && text.contains(u"127.0.0.1"_qs) || result.ok(), qPrintable(text));
    QVERIFY2(!text.contains(password) && !result.detail.contains(password), qPrintable(text));
}

void SenderTest::webhookBodies_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("bodyTemplate");
    QTest::addColumn<QString>("field"); // where the text arrives: a JSON key, a form field, or the whole body
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<int>("status");
    const NotifyServers& s = m_servers;
    const QString hook = s.url(u"https"_qs, s.https, u"/services/T0/B0/SECRETPATH?token=SECRETQUERY"_qs);
    QTest::newRow("default JSON (Slack)")
        << hook << QString() << u"text"_qs << QByteArray("application/json") << int(SendStatus::Sent);
    QTest::newRow("Discord") << hook << u" {\"content\": \"{text}\", \"n\": {count}}"_qs << u"content"_qs
                             << QByteArray("application/json") << int(SendStatus::Sent);
    QTest::newRow("Chatwork form over http")
        << s.url(u"http"_qs, s.http, u"/v2/rooms/1/messages"_qs) << u"body={text}&self_unread=0"_qs << u"body"_qs
        << QByteArray("application/x-www-form-urlencoded") << int(SendStatus::Sent);
    QTest::newRow("ntfy plain text") << s.url(u"https"_qs, s.https, u"/mytopic"_qs) << u"{text}"_qs << QString()
                                     << QByteArray("text/plain; charset=utf-8") << int(SendStatus::Sent);
    QTest::newRow("refused, URL kept secret")
        << s.url(u"https"_qs, s.https, u"/status/403?token=SECRETQUERY"_qs) << QString() << u"text"_qs
        << QByteArray("application/json") << int(SendStatus::ServerRefused);
}

void SenderTest::webhookBodies() {
    QFETCH(QString, url);
    QFETCH(QString, bodyTemplate);
    QFETCH(QString, field);
    QFETCH(QByteArray, contentType);
    QFETCH(int, status);
    // Quotes, a backslash, a line end, an ampersand and a placeholder's name in the text.
    const QString text = u"新規案件 1 件\n【金型】\"A&B\" \\ {count} 100%\nhttps://h/browse/request/1?a=1&b=2"_qs;
    const WebhookBody body = fillWebhookTemplate(bodyTemplate, 1, text, text);
    const qsizetype before = m_servers.posts().size();
    const SendResult result =
        postHttp({url, body.body, body.contentType, u"X-ChatWorkToken"_qs, u"tok-SECRETTOKEN"_qs, m_servers.caFile});
    QCOMPARE(int(result.status), status);
    const QString said = sendResultText(result);
    for (const QString& secret : {u"SECRETPATH"_qs, u"SECRETQUERY"_qs, u"SECRETTOKEN"_qs})
        QVERIFY2(!said.contains(secret), qPrintable(said));
    QCOMPARE(m_servers.posts().size(), before + 1);
    const QJsonObject post = m_servers.posts().last();
    const QJsonObject headers = post.value(u"headers").toObject();
    QCOMPARE(headers.value(u"Content-Type").toString().toLatin1(), contentType);
    QCOMPARE(headers.value(u"X-ChatWorkToken").toString(), u"tok-SECRETTOKEN"_qs);
    const QString received = post.value(u"body").toString();
    QString arrived = received;
    if (contentType == "application/json")
        arrived = QJsonDocument::fromJson(received.toUtf8()).object().value(field).toString();
    else if (contentType.startsWith("application/x-www-form"))
        arrived = QUrlQuery(received).queryItemValue(field, QUrl::FullyDecoded);
    QCOMPARE(arrived, text);
}

QTEST_GUILESS_MAIN(SenderTest)
#include "sender_test.moc"
