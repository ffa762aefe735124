// The dialog 通知の設定… against real mail and web servers on loopback: the
// test button, what it says, and what 保存 writes.
#include "app/notifyfrm.h"
#include "platform/textfile.h"
#include "tests/support/notifyservers.h"
#include "tests/support/tempfolder.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

class NotifyFrmTest : public QObject {
    Q_OBJECT
private slots:
    void testButtonThenSave();
    void aBadValueIsShownNotLost();
};

void NotifyFrmTest::testButtonThenSave() {
    NotifyServers servers;
    QVERIFY(servers.start());
    TempProgramFolder folder;
    const QString ini = u"; 手で書いた設定\n[mail]\nserver=%1\nuser=velkoria\nfrom=velkoria@example.jp\n"
                        u"to=a@example.jp, b@example.jp\nca_file=%2\n[webhook]\nurl=%3\nca_file=%2\n"_qs.arg(
                            servers.url(u"smtp"_qs, servers.smtp), servers.caFile,
                            servers.url(u"https"_qs, servers.https, u"/hook"_qs));
    folder.write(u"velkoria.ini"_qs, ini.toUtf8());
    saveNotifySecrets({QString::fromLatin1(NotifyServers::kPassword), {}});
    NotifyFrm dialog(folder.file(u"velkoria.ini"_qs));
    dialog.show();
    auto* password = dialog.findChild<QLineEdit*>(u"mail_password"_qs);
    auto* sendTest = dialog.findChild<QPushButton*>(u"send_test"_qs);
    auto* result = dialog.findChild<QLabel*>(u"test_result"_qs);
    QCOMPARE(password->text(), QString::fromLatin1(NotifyServers::kPassword));

    QTest::mouseClick(sendTest, Qt::LeftButton);
    QVERIFY(!sendTest->isEnabled()); // the window goes on while the test is on its way
    QTRY_VERIFY_WITH_TIMEOUT(sendTest->isEnabled(), 15000);
    QCOMPARE(result->text(), u"メール: 送信しました。\nWebhook: 送信しました。"_qs);
    QCOMPARE(servers.mails().size(), 1);
    QCOMPARE(servers.mails().first().value(u"subject").toString(), u"Velkoria 送信テスト"_qs);
    QCOMPARE(servers.posts().size(), 1);

    password->setText(u"wrong-pass-987"_qs);
    dialog.findChild<QLineEdit*>(u"webhook_token"_qs)->setText(u"Bearer tk_secret"_qs);
    dialog.findChild<QLineEdit*>(u"webhook_header"_qs)->setText(u"Authorization"_qs);
    dialog.findChild<QLineEdit*>(u"filter_include"_qs)->setText(u"金型、溶接"_qs);
    QTest::mouseClick(sendTest, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(sendTest->isEnabled(), 15000);
    QVERIFY2(result->text().contains(
                 u"メール: 127.0.0.1 にログインできませんでした。ユーザー名かパスワードが違います。"_qs) &&
                 !result->text().contains(u"wrong-pass"_qs),
             qPrintable(result->text()));
    QCOMPARE(servers.posts().last().value(u"headers").toObject().value(u"Authorization").toString(),
             u"Bearer tk_secret"_qs);

    QTest::mouseClick(dialog.findChild<QPushButton*>(u"save_button"_qs), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const QString written = QString::fromUtf8(folder.read(u"velkoria.ini"_qs));
    QVERIFY(written.startsWith(u"; 手で書いた設定\n[mail]\n"_qs));
    QVERIFY(written.contains(u"header=Authorization\n"_qs) && written.contains(u"include=金型、溶接\n"_qs));
    QVERIFY(!written.contains(u"tk_secret"_qs) && !written.contains(u"wrong-pass"_qs));
    QCOMPARE(loadNotifySecrets(), (NotifySecrets{u"wrong-pass-987"_qs, u"Bearer tk_secret"_qs}));
}

void NotifyFrmTest::aBadValueIsShownNotLost() {
    TempProgramFolder folder;
    folder.write(u"velkoria.ini"_qs, "[mail]\nserver=smtp://mail.example.jp:587\nstarttls=yes\n");
    NotifyFrm dialog(folder.file(u"velkoria.ini"_qs));
    QVERIFY(dialog.findChild<QLabel*>(u"test_result"_qs)->text().contains(u"starttls"_qs));
    QCOMPARE(dialog.findChild<QLineEdit*>(u"mail_server"_qs)->text(), u"smtp://mail.example.jp:587"_qs);
}

QTEST_MAIN(NotifyFrmTest)
#include "notifyfrm_test.moc"
