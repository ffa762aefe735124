// velkoria.exe for real under Wine: a program folder with its DLLs, the fake
// browser of win32/fakebrowser.cpp as its browser (velkoria.ini's executable),
// a virtual display with a window manager; xdotool drives Wine's windows.
#include "tests/support/notifyservers.h"
#include "tests/support/programrun.h"
#include "tests/support/tempfolder.h"
#include "tests/windows/wineprefix.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <QtTest>

using namespace velkoria::test;

namespace {

enum class Action {
    QuickButton,
    QuickButtonBeforeTheBrowserAnswers,
    MyBusiness,
    Scan,
    BrowserExits,
    Exit,
    CloseBoxWhileBrowserHangs,
    StartFails
};

const QString kClosedBrowser = u"インターネットエクスプローラが終了しています。Velkoriaを終了します"_qs;

// The installation's first two bound categories: two new-marked requests and
// one without the mark, then one whose ID is Japanese (written in code page 932).
const QByteArray kWebSitePage = "<HTML><HEAD></HEAD><BODY><TABLE><TBODY>"
                                "<TR><TD><A href=\"/browse/request/1001\">a</A><IMG src=\"/img/new.gif\"></TD>"
                                "<TD><FONT>見積件数</FONT></TD></TR>"
                                "<TR><TD><A href=\"/browse/request/1002\">b</A></TD><TD><FONT>見積件数</FONT></TD></TR>"
                                "<TR><TD><A href=\"/browse/request/1003\">c</A><IMG src=\"/img/new.gif\"></TD>"
                                "<TD><FONT>見積件数</FONT></TD></TR></TBODY></TABLE></BODY></HTML>";
const QByteArray kSystemDevPage = "<HTML><HEAD></HEAD><BODY><A href=\"/browse/request/2001号\">d</A>"
                                  "<IMG src=\"/img/new.gif\"><FONT>見積件数</FONT></BODY></HTML>";

bool put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void keys(const QString& window, const QStringList& names) {
    // Keys go to the active window: Wine's own idea of it follows X's a moment later.
    runTool(u"xdotool"_qs, {u"windowactivate"_qs, u"--sync"_qs, window});
    waitFor([&] { return runTool(u"xdotool"_qs, {u"getactivewindow"_qs}) == window; }, 5000);
    QThread::msleep(300);
    runTool(u"xdotool"_qs, QStringList{u"key"_qs, u"--delay"_qs, u"100"_qs} + names);
}

// The messages the fake browser received, parsed.
QList<QJsonObject> received(const QString& controlFolder) {
    QList<QJsonObject> out;
    for (const QByteArray& line : fileBytes(controlFolder + u"/received.log"_qs).split('\n'))
        if (!line.isEmpty())
            out.append(QJsonDocument::fromJson(line).object());
    return out;
}

// The bodies the program had the fake browser POST, with the URL of each.
QStringList posted(const QString& controlFolder) {
    QStringList out;
    QString url;
    for (const QJsonObject& m : received(controlFolder)) {
        const QJsonObject params = m.value(u"params"_qs).toObject();
        if (m.value(u"method"_qs) == u"Page.navigate"_qs)
            url = params.value(u"url"_qs).toString();
        if (m.value(u"method"_qs) == u"Fetch.continueRequest"_qs && params.value(u"method"_qs) == u"POST"_qs)
            out.append(url + u' ' +
                       QString::fromLatin1(QByteArray::fromBase64(params.value(u"postData"_qs).toString().toLatin1())));
    }
    return out;
}

} // namespace

class WindowsE2eTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void program_data();
    void program();

private:
    WinePrefix m_prefix;
};

void WindowsE2eTest::initTestCase() {
    QVERIFY(m_prefix.isValid());
    // The prefix is made first (several seconds).
    const QString failures = m_prefix.make();
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
}

void WindowsE2eTest::program_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<bool>("nonAscii"); // the program folder is C:\Users\山田\Velkoria
    QTest::newRow("quick button") << Action::QuickButton << false;
    QTest::newRow("quick button, non-ASCII folder") << Action::QuickButton << true;
    QTest::newRow("quick button before the browser answers") << Action::QuickButtonBeforeTheBrowserAnswers << false;
    QTest::newRow("My Business") << Action::MyBusiness << false;
    QTest::newRow("scan, non-ASCII folder") << Action::Scan << true;
    QTest::newRow("browser exits") << Action::BrowserExits << false;
    QTest::newRow("Exit lets the browser end") << Action::Exit << false;
    QTest::newRow("close box while the browser hangs") << Action::CloseBoxWhileBrowserHangs << false;
    QTest::newRow("browser fails to start") << Action::StartFails << true;
}

void WindowsE2eTest::program() {
    QFETCH(Action, action);
    QFETCH(bool, nonAscii);
    ProgramRun run;
    // C:\Users\山田\Velkoria in the prefix is a link to the temporary folder.
    const QString folder = nonAscii ? u"C:\\Users\\山田\\Velkoria"_qs : m_prefix.windowsPath(run.folder());
    if (nonAscii) {
        const QString link = m_prefix.path() + u"/drive_c/users/山田/Velkoria"_qs;
        QVERIFY(QDir().mkpath(QFileInfo(link).absolutePath()));
        QFile::remove(link);
        QVERIFY(QFile::link(run.folder(), link));
    }
    for (QDirIterator it(QStringLiteral(VELKORIA_WINDOWS_PROGRAM), QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString from = it.next();
        const QString to = run.file(QDir(QStringLiteral(VELKORIA_WINDOWS_PROGRAM)).relativeFilePath(from));
        QDir().mkpath(QFileInfo(to).absolutePath());
        QVERIFY(QFile::copy(from, to));
    }
    QTemporaryDir control;
    QVERIFY(put(run.file(u"velkoria.ini"_qs),
                u"[marketplace]\nsearch_url=http://search.test/\nlogin_url=https://login.test/\n"
                "[browser]\nexecutable=%1\nload_timeout_seconds=10\n"_qs
                    .arg(m_prefix.windowsPath(QStringLiteral(VELKORIA_FAKEBROWSER)))
                    .toUtf8()));
    QVERIFY(put(run.file(u"zandorp_id.txt"_qs), cp932(u"山田 太郎@例\r\np&w=1+2%3\r\n"_qs)));
    QVERIFY(put(control.filePath(u"page-web_site.html"_qs), kWebSitePage));
    QVERIFY(put(control.filePath(u"page-system_dev.html"_qs), kSystemDevPage));
    const QString startError = u"[ERROR] C:\\Users\\山田\\Velkoria\\browser-profile を開けません"_qs;
    if (action == Action::StartFails)
        QVERIFY(put(control.filePath(u"start-error.txt"_qs), startError.toUtf8() + '\n'));
    if (action == Action::QuickButtonBeforeTheBrowserAnswers)
        QVERIFY(put(control.filePath(u"start-delay.txt"_qs), "8000"));
    // The scan's requests away from the PC: plain SMTP (Wine's Schannel takes
    // no self-signed certificate) and HTTP with a token header from the secrets.
    NotifyServers servers;
    if (action == Action::Scan) {
        QVERIFY(servers.start());
        QFile ini(run.file(u"velkoria.ini"_qs));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write(u"[mail]\nserver=%1\nstarttls=false\nfrom=velkoria@example.jp\nto=a@example.jp\n"
                  "[webhook]\nurl=%2\nheader=X-ChatWorkToken\n"_qs
                      .arg(servers.url(u"smtp"_qs, servers.plain), servers.url(u"http"_qs, servers.http, u"/hook"_qs))
                      .toUtf8());
        ini.close();
        QVERIFY(put(run.file(u"notify_secrets.txt"_qs), "webhook_header=tok-wine\r\n"));
    }

    m_prefix.setEnvironment(u"VELKORIA_MESSAGE_LOG"_qs, folder + u"\\messages.log"_qs);
    m_prefix.setEnvironment(u"FAKEBROWSER_DIR"_qs, m_prefix.windowsPath(control.path()));
    // Set by a compatibility option on the program: the browser must not get it.
    m_prefix.setEnvironment(u"__COMPAT_LAYER"_qs, u"RunAsInvoker"_qs);
    run.setStarter([&](QProcess& process) { m_prefix.start(process, folder + u"\\velkoria.exe"_qs); });
    QVERIFY(run.start(120000));

    // The browser got its switches for Windows, and not the variable. No
    // logging: it would open a console window for each helper process.
    QVERIFY(waitFor([&] { return QFile::exists(control.filePath(u"started.txt"_qs)); }));
    const QStringList started = QString::fromUtf8(fileBytes(control.filePath(u"started.txt"_qs))).split(u'\n');
    for (const QString& expected : QStringList{u"--do-not-de-elevate"_qs, u"--edge-skip-compat-layer-relaunch"_qs,
                                               u"--hide-crash-restore-bubble"_qs,
                                               u"--user-data-dir="_qs + folder + QString(u"\\browser-profile"_qs)})
        QVERIFY2(started.contains(expected, Qt::CaseInsensitive), qPrintable(expected));
    QVERIFY2(!started.join(u' ').contains(u"__COMPAT_LAYER"_qs), qPrintable(started.join(u' ')));
    QVERIFY2(!started.join(u' ').contains(u"--enable-logging"_qs), qPrintable(started.join(u' ')));

    const QString quickButton1 = u"http://search.test/ menu=browse&act=search_request&type=category&key=web_site"
                                 "&condition=present&sort_type=registered&sort_button=display"_qs;
    switch (action) {
    case Action::QuickButton:
    case Action::QuickButtonBeforeTheBrowserAnswers:
        // Focus starts on My Business; Tab passes the account boxes and Exit,
        // then the quick buttons from the bottom up (5 and 7 are unbound).
        keys(run.window(), QStringList(8, u"Tab"_qs) << u"space"_qs);
        if (action == Action::QuickButtonBeforeTheBrowserAnswers)
            QVERIFY(received(control.path()).isEmpty()); // the browser has read nothing yet
        QVERIFY2(waitFor([&] { return posted(control.path()) == QStringList{quickButton1}; }),
                 qPrintable(posted(control.path()).join(u'\n')));
        break;
    case Action::MyBusiness:
        keys(run.window(), {u"space"_qs});
        QVERIFY(waitFor([&] {
            return posted(control.path()) ==
                   QStringList{u"https://login.test/?menu=my_top&act=login&query=menu%3Dmy_top%26act%3Dtop "
                               "email=%8ER%93c+%91%BE%98Y%40%97%E1&pass1=p%26w%3D1%2B2%253&sbmLogin=next"_qs};
        }));
        break;
    case Action::Scan: {
        run.clickScanLabel();
        int dismissed = 0;
        QVERIFY(waitFor(
            [&] {
                if (run.messages().size() > dismissed && run.dismissMessage())
                    ++dismissed;
                return QFile::exists(run.file(u"new_item.txt"_qs)) && dismissed == run.messages().size();
            },
            90000));
        QCOMPARE(run.messages(), (QStringList{u"新規案件:ホームページ制作"_qs, u"新規案件:ホームページ制作"_qs,
                                              u"新規案件:システム開発"_qs}));
        QCOMPARE(fileBytes(run.file(u"new_item.txt"_qs)), cp932(u"1001\r\n1003\r\n2001号\r\n"_qs));
        QVERIFY(run.running());
        // One mail and one POST for the run, with the titles, through libcurl and Schannel.
        QVERIFY(waitFor([&] { return servers.mails().size() == 1 && servers.posts().size() == 1; }, 30000));
        QCOMPARE(servers.mails().first()[u"subject"_qs].toString(), u"新規案件 3 件: a"_qs);
        const QString body = servers.mails().first()[u"body"_qs].toString();
        for (const QString& entry :
             {u"【ホームページ制作】a\n案件番号: 1001\nhttp://search.test/browse/request/1001"_qs,
              u"【ホームページ制作】c\n案件番号: 1003"_qs, u"【システム開発】d\n案件番号: 2001号"_qs})
            QVERIFY2(body.contains(entry), qPrintable(body));
        const QJsonObject post = servers.posts().first();
        QCOMPARE(post[u"headers"_qs].toObject()[u"X-ChatWorkToken"_qs].toString(), u"tok-wine"_qs);
        QVERIFY2(post[u"body"_qs].toString().contains(u"【システム開発】d (2001号)"_qs),
                 qPrintable(post[u"body"_qs].toString()));
        break;
    }
    case Action::BrowserExits:
        QVERIFY(put(control.filePath(u"exit"_qs), {}));
        QThread::msleep(500);
        keys(run.window(), QStringList(8, u"Tab"_qs) << u"space"_qs);
        QVERIFY(run.waitForMessages(1, 30000));
        QCOMPARE(run.messages(), QStringList{kClosedBrowser});
        QVERIFY(run.dismissMessage());
        QCOMPARE(run.waitForEnd(30000), 0);
        break;
    case Action::Exit:
    case Action::CloseBoxWhileBrowserHangs: {
        // Without an X tray, Wine shows the tray icon in a window of its own.
        const auto trayShown = [] { return !findWindows({u"--name"_qs, u"^Wine System Tray$"_qs}).isEmpty(); };
        QVERIFY(waitFor(trayShown));
        QElapsedTimer clock;
        if (action == Action::Exit) {
            // Focus starts on My Business: Tab Tab Tab is Exit.
            keys(run.window(), {u"Tab"_qs, u"Tab"_qs, u"Tab"_qs, u"space"_qs});
            clock.start();
        } else {
            QVERIFY(put(control.filePath(u"stall"_qs), {}));
            QThread::msleep(500);
            keys(run.window(), {u"alt+F4"_qs});
            clock.start();
            // The tray icon goes with the window, while the browser that
            // hangs is still given its time (the job ends it at the limit).
            QVERIFY(waitFor([&] { return !trayShown(); }, 10000));
            qInfo("tray icon gone %lld ms after the close box", clock.elapsed());
            QVERIFY(!runTool(u"pgrep"_qs, {u"-f"_qs, u"fakebrowser.exe"_qs}).isEmpty());
        }
        QCOMPARE(run.waitForEnd(30000), 0);
        qInfo("program ended %lld ms after the click", clock.elapsed());
        // The browser was asked to close, saw its input end and finished its
        // own ending (a browser that hangs is ended by the job object with
        // the program).
        QVERIFY(received(control.path()).last().value(u"method"_qs) == u"Browser.close"_qs);
        QCOMPARE(QFile::exists(control.filePath(u"ended"_qs)), action == Action::Exit);
        break;
    }
    case Action::StartFails:
        // The browser's exit code and whatever it wrote all the same (UTF-8)
        // go with the launch failure, in a box over the main window that was
        // shown meanwhile.
        QVERIFY(run.waitForMessages(1, 30000));
        QVERIFY2(run.messages().first().contains(startError), qPrintable(run.messages().first()));
        QVERIFY2(run.messages().first().contains(u"終了コード: 1"_qs), qPrintable(run.messages().first()));
        QVERIFY(run.dismissMessage());
        QCOMPARE(run.waitForEnd(30000), 1);
        break;
    }
    if (action == Action::QuickButton || action == Action::QuickButtonBeforeTheBrowserAnswers ||
        action == Action::MyBusiness)
        QVERIFY(run.running() && run.messages().isEmpty());
}

QTEST_GUILESS_MAIN(WindowsE2eTest)
#include "windows_e2e_test.moc"
