// The announcements' sends built for Windows (libcurl with Schannel, the DLL
// of the program folder) under Wine, against real servers on loopback: plain
// SMTP and HTTP deliver. Wine's Schannel refuses a self-signed certificate
// even when it is given as the file to trust, so STARTTLS is only tried and
// its answer shown: certificate checks are tested on Linux (sender_test).
#include "tests/support/notifyservers.h"
#include "tests/windows/wineprefix.h"

#include <QtTest>

using namespace velkoria::test;

class WindowsNotifyTest : public QObject {
    Q_OBJECT
private slots:
    void testMessagesThroughSchannel();
};

void WindowsNotifyTest::testMessagesThroughSchannel() {
    NotifyServers servers;
    QVERIFY(servers.start());
    const WinePrefix wine;
    const QString failures = wine.make();
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
    const WinePrefix::Result result =
        wine.run(QStringLiteral(VELKORIA_NOTIFYCHECK),
                 {servers.url(u"smtp"_qs, servers.plain), servers.url(u"http"_qs, servers.http, u"/hook"_qs),
                  servers.url(u"smtp"_qs, servers.smtp), wine.windowsPath(servers.caFile)},
                 120000);
    qInfo().noquote() << result.output;
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.output));
    QVERIFY(result.output.contains(u"mail: 送信しました。"_qs));
    QCOMPARE(servers.mails().size() >= 1, true);
    const QJsonObject mail = servers.mails().first();
    QCOMPARE(mail.value(u"subject").toString(), u"Velkoria 送信テスト"_qs);
    QCOMPARE(mail.value(u"rcpt_tos").toVariant().toStringList(), (QStringList{u"a@example.jp"_qs, u"b@example.jp"_qs}));
    QCOMPARE(servers.posts().size(), 1);
    QCOMPARE(servers.posts().first().value(u"headers").toObject().value(u"X-ChatWorkToken").toString(), u"tok-wine"_qs);
    // Never "sent" without a certificate check: sent (a real PC) or refused (Wine).
    QVERIFY(result.output.contains(u"starttls: 送信しました。"_qs) ||
            result.output.contains(u"starttls: 127.0.0.1 の証明書"_qs) ||
            result.output.contains(u"starttls: 127.0.0.1 と暗号化した接続ができませんでした"_qs));
}

QTEST_GUILESS_MAIN(WindowsNotifyTest)
#include "windows_notify_test.moc"
