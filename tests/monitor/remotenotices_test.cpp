// The announcements away from the PC: the filter words, the outbox of a
// channel against a scripted send, and whole runs against a real mail server
// on loopback.
#include "monitor/remotenotices.h"
#include "tests/support/notifyservers.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

Q_DECLARE_METATYPE(velkoria::SendResult)

namespace {

QList<NoticeItem> items(const QString& prefix, int count) {
    QList<NoticeItem> list;
    for (int i = 1; i <= count; ++i)
        list.append({u"金型"_qs, prefix + u" の案件 "_qs + QString::number(i), prefix + QString::number(i),
                     u"http://www.zandorp.jp/browse/request/"_qs + prefix + QString::number(i)});
    return list;
}

QStringList ids(const QList<NoticeItem>& list) {
    QStringList out;
    for (const NoticeItem& item : list)
        out.append(item.id);
    return out;
}

// A send that records each batch, answers as scripted, and can be held.
struct ScriptedSend {
    QList<QStringList> batches;
    QList<SendStatus> answers;
    QSemaphore* hold = nullptr;
    NoticeOutbox::Send send() {
        return [this](const QList<NoticeItem>& batch, const std::atomic_bool&) {
            if (hold)
                hold->acquire();
            batches.append(ids(batch));
            SendResult result;
            result.host = u"mail.example.jp"_qs;
            result.status = answers.isEmpty() ? SendStatus::Sent : answers.takeFirst();
            return result;
        };
    }
};

} // namespace

class RemoteNoticesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<SendResult>(); }
    void filterWords_data();
    void filterWords();
    void failuresAreRetriedAndReportedOnce();
    void aBatchOnItsWayIsNotSentTwice();
    void oneMailPerRunToEveryAddress();
    void wrongPasswordThenBothRunsOnce();

private:
    NotifySettings mailSettings(const NotifyServers& servers, int port, const QString& scheme) const;
};

void RemoteNoticesTest::filterWords_data() {
    QTest::addColumn<QString>("include");
    QTest::addColumn<QString>("exclude");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("passes");
    QTest::newRow("no words") << QString() << QString() << u"何でも"_qs << true;
    QTest::newRow("include holds") << u"金型 溶接"_qs << QString() << u"プレス金型の設計"_qs << true;
    QTest::newRow("include misses") << u"金型 溶接"_qs << QString() << u"ホームページ制作"_qs << false;
    QTest::newRow("exclude holds") << QString() << u"見積のみ"_qs << u"見積のみの案件"_qs << false;
    QTest::newRow("include and exclude hold") << u"金型"_qs << u"海外"_qs << u"海外の金型"_qs << false;
    QTest::newRow("no title passes both") << u"金型"_qs << u"海外"_qs << QString() << true;
    QTest::newRow("width and case") << u"ＣＡＤ"_qs << QString() << u"cad図面の作成"_qs << true;
    QTest::newRow("half-width kana") << u"ｶﾀﾛｸﾞ"_qs << QString() << u"カタログ印刷"_qs << true;
    QTest::newRow("full-width separators") << u"溶接、塗装，組立　検査"_qs << QString() << u"外装の塗装"_qs << true;
    QTest::newRow("exclude in another case") << QString() << u"web"_qs << u"ＷＥＢサイト"_qs << false;
    QTest::newRow("only separators") << u" 、, "_qs << QString() << u"何でも"_qs << true;
}

void RemoteNoticesTest::filterWords() {
    QFETCH(QString, include);
    QFETCH(QString, exclude);
    QFETCH(QString, title);
    QFETCH(bool, passes);
    QCOMPARE(TitleFilter(include, exclude).passes(title), passes);
}

void RemoteNoticesTest::failuresAreRetriedAndReportedOnce() {
    ScriptedSend script;
    script.answers = {SendStatus::LoginDenied, SendStatus::TimedOut, SendStatus::TimedOut,
                      SendStatus::TimedOut,    SendStatus::Sent,     SendStatus::Sent};
    NoticeOutbox outbox(u"メール"_qs, script.send());
    QSignalSpy finished(&outbox, &NoticeOutbox::finished);
    QSignalSpy reports(&outbox, &NoticeOutbox::report);
    const auto run = [&](const QList<NoticeItem>& list) {
        const qsizetype before = finished.size();
        outbox.post(list);
        QTRY_COMPARE(finished.size(), before + 1);
    };
    run(items(u"a"_qs, 2));
    run(items(u"b"_qs, 1)); // the failed batch goes with the next run's
    run({});                // a run without requests retries too
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports.at(0).at(0).toString().contains(u"3 回続けて"_qs));
    QVERIFY(reports.at(0).at(0).toString().contains(u"10 秒以内に応答しませんでした"_qs));
    run(items(u"c"_qs, 1)); // the fourth failure says nothing more
    QCOMPARE(reports.size(), 1);
    run(items(u"d"_qs, 1));
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports.at(1).at(0).toString(), channelMendedMessage(u"メール"_qs));
    QCOMPARE(outbox.waiting(), 0);
    run(items(u"e"_qs, 1)); // what went through is never sent again
    const QStringList all{u"a1"_qs, u"a2"_qs, u"b1"_qs, u"c1"_qs, u"d1"_qs};
    QCOMPARE(script.batches, (QList<QStringList>{all.mid(0, 2), all.mid(0, 3), all.mid(0, 3), all.mid(0, 4), all,
                                                 QStringList{u"e1"_qs}}));
}

void RemoteNoticesTest::aBatchOnItsWayIsNotSentTwice() {
    QSemaphore hold;
    ScriptedSend script;
    script.hold = &hold;
    NoticeOutbox outbox(u"Webhook"_qs, script.send());
    QSignalSpy finished(&outbox, &NoticeOutbox::finished);
    outbox.post(items(u"a"_qs, 2));
    QVERIFY(outbox.sending());
    // Two more runs while the first batch hangs: they wait, the oldest of
    // them dropped beyond the limit.
    outbox.post(items(u"b"_qs, 700));
    outbox.post(items(u"c"_qs, 700));
    QCOMPARE(outbox.waiting(), NoticeOutbox::kMaxPending);
    hold.release(2);
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(script.batches.size(), 2);
    QCOMPARE(script.batches.at(0), (QStringList{u"a1"_qs, u"a2"_qs}));
    QCOMPARE(script.batches.at(1).size(), NoticeOutbox::kMaxPending);
    QCOMPARE(script.batches.at(1).first(), u"b401"_qs);
    QCOMPARE(script.batches.at(1).last(), u"c700"_qs);
}

NotifySettings RemoteNoticesTest::mailSettings(const NotifyServers& servers, int port, const QString& scheme) const {
    NotifySettings settings;
    settings.mailServer = servers.url(scheme, port);
    settings.mailUser = QString::fromLatin1(NotifyServers::kUser);
    settings.mailFrom = u"Velkoria 通知 <velkoria@example.jp>"_qs;
    settings.mailTo = u"a@example.jp、 山田 太郎 <b@example.jp>, c@example.jp"_qs;
    settings.mailCaFile = servers.caFile;
    return settings;
}

void RemoteNoticesTest::oneMailPerRunToEveryAddress() {
    NotifyServers servers;
    QVERIFY(servers.start());
    NotifySettings settings = mailSettings(servers, servers.smtps, u"smtps"_qs);
    settings.filterExclude = u"海外"_qs;
    RemoteNotices notices;
    notices.configure(settings, {QString::fromLatin1(NotifyServers::kPassword), {}});
    QList<NoticeItem> run = items(u"r"_qs, 3);
    // A long first title (folded encoded words, a surrogate pair near a cut)
    // and one that the filter words keep back.
    run[0].title = u"射出成形用の金型😀"_qs.repeated(20);
    run.insert(1, {u"金型"_qs, u"海外工場向け"_qs, u"x9"_qs, u"http://www.zandorp.jp/browse/request/x9"_qs});
    notices.scanFinished(run);
    QTRY_COMPARE_WITH_TIMEOUT(servers.mails().size(), 1, 15000);
    const QJsonObject mail = servers.mails().first();
    QCOMPARE(mail.value(u"rcpt_tos").toVariant().toStringList(),
             (QStringList{u"a@example.jp"_qs, u"b@example.jp"_qs, u"c@example.jp"_qs}));
    QVERIFY(mail.value(u"tls").toBool() && mail.value(u"auth").toBool());
    QCOMPARE(mail.value(u"subject").toString(), u"新規案件 3 件: "_qs + run[0].title);
    const QJsonObject headers = mail.value(u"headers").toObject();
    QCOMPARE(headers.value(u"From").toString(), u"Velkoria 通知 <velkoria@example.jp>"_qs);
    QVERIFY(headers.contains(u"Date") && headers.value(u"Message-ID").toString().endsWith(u"@example.jp>"));
    QCOMPARE(mail.value(u"charset").toString(), u"utf-8"_qs);
    const QString body = mail.value(u"body").toString();
    for (const NoticeItem& item : {run[0], run[2], run[3]})
        QVERIFY2(body.contains(item.title) && body.contains(item.url) && body.contains(item.id), qPrintable(body));
    QVERIFY(!body.contains(u"x9"_qs));
    // The raw header is plain ASCII: Japanese only as encoded words.
    QVERIFY(!mail.value(u"raw_headers").toString().contains(QChar(0xFFFD)));
}

void RemoteNoticesTest::wrongPasswordThenBothRunsOnce() {
    NotifyServers servers;
    QVERIFY(servers.start());
    const NotifySettings settings = mailSettings(servers, servers.smtp, u"smtp"_qs);
    RemoteNotices notices;
    notices.configure(settings, {u"wrong-pass-987"_qs, {}});
    QSignalSpy finished(notices.mailOutbox(), &NoticeOutbox::finished);
    notices.scanFinished(items(u"a"_qs, 2));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 15000);
    const SendResult refused = finished.at(0).at(0).value<SendResult>();
    QCOMPARE(refused.status, SendStatus::LoginDenied);
    QVERIFY(sendResultText(refused).contains(u"ユーザー名かパスワードが違います"_qs));
    QVERIFY(!sendResultText(refused).contains(u"wrong-pass"_qs));
    // The password mended before the next run: both runs' requests in one mail.
    notices.configure(settings, {QString::fromLatin1(NotifyServers::kPassword), {}});
    notices.scanFinished(items(u"b"_qs, 1));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 15000);
    QVERIFY(finished.at(1).at(0).value<SendResult>().ok());
    notices.scanFinished({});
    QTest::qWait(200);
    QCOMPARE(servers.mails().size(), 1);
    const QJsonObject mail = servers.mails().first();
    QCOMPARE(mail.value(u"subject").toString(), u"新規案件 3 件: a の案件 1"_qs);
    for (const QString& id : {u"a1"_qs, u"a2"_qs, u"b1"_qs})
        QCOMPARE(mail.value(u"body").toString().count(u"案件番号: "_qs + id + u'\n'), 1);
}

QTEST_GUILESS_MAIN(RemoteNoticesTest)
#include "remotenotices_test.moc"
