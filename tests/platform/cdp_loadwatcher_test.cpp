#include "platform/cdp/loadwatcher.h"

#include <QtTest>

using velkoria::cdp::LoadWatcher;

// The load watcher fed with event sequences recorded from Chromium (trimmed to
// the fields it reads; F is the main frame, OLD the loader of the document
// shown before, N the loader of the new navigation). A script line is
//   navigate [URL]                the program sends Page.navigate (to URL)
//   reply key=value ...           the Page.navigate reply
//   refused                       Page.navigate failed with a protocol error
//   check BUSY READY FAILED       expected busy(), readyState(), failed()
//   Method key=value ...          an event; status= goes into response.status
class LoadWatcherTest : public QObject {
    Q_OBJECT

    static QJsonObject fields(const QStringList& words) {
        QJsonObject object;
        for (const QString& word : words.mid(1)) {
            const QString key = word.section(u'=', 0, 0);
            const QString value = word.section(u'=', 1);
            if (key == QLatin1String("status"))
                object.insert(QStringLiteral("response"), QJsonObject{{QStringLiteral("status"), value.toInt()}});
            else
                object.insert(key, value);
        }
        return object;
    }

    static void run(const QStringList& script) {
        LoadWatcher watcher;
        watcher.setMainFrame(QStringLiteral("F"));
        int line = 0;
        for (const QString& step : script) {
            ++line;
            const QStringList words = step.split(u' ', Qt::SkipEmptyParts);
            const QString& verb = words.first();
            if (verb == QLatin1String("navigate")) {
                watcher.navigationRequested(words.value(1));
            } else if (verb == QLatin1String("reply")) {
                watcher.navigationAnswered(fields(words));
            } else if (verb == QLatin1String("refused")) {
                watcher.navigationRefused();
            } else if (verb == QLatin1String("check")) {
                const QString seen = QStringLiteral("%1 %2 %3")
                                         .arg(int(watcher.busy()))
                                         .arg(watcher.readyState())
                                         .arg(int(watcher.failed()));
                const QString expected = words.mid(1).join(u' ');
                QVERIFY2(
                    seen == expected,
                    qPrintable(
                        QStringLiteral("line %1: busy/ready/failed %2, expected %3").arg(line).arg(seen, expected)));
            } else {
                watcher.handleEvent(verb, fields(words));
            }
        }
    }

private slots:
    void sequences_data() {
        QTest::addColumn<QStringList>("script");

        QTest::newRow("nothing loaded yet: idle and complete") << QStringList{QStringLiteral("check 0 4 0")};

        // POST to a page the server delays: the old document's lifecycle events
        // arrive while the request waits and must not complete it.
        QTest::newRow("slow page, old document's events ignored") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("Network.requestWillBeSent requestId=N loaderId=N type=Document"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=OLD name=networkAlmostIdle"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=OLD name=networkIdle"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=OLD name=DOMContentLoaded"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=OLD name=load"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("Network.responseReceived requestId=N loaderId=N type=Document status=200"),
            QStringLiteral("reply frameId=F loaderId=N"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=init"),
            QStringLiteral("Page.frameNavigated frameId=F"),
            QStringLiteral("Network.loadingFinished requestId=N"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("Page.domContentEventFired"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=DOMContentLoaded"),
            QStringLiteral("check 1 3 0"),
            QStringLiteral("Page.loadEventFired"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=load"),
            // Complete at the load event: the frame's stop is not waited for.
            QStringLiteral("check 0 4 0"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 0 4 0"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=networkIdle"),
            QStringLiteral("check 0 4 0"),
        };

        QTest::newRow("status 500: loads the error body, failed") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("Network.responseReceived requestId=N loaderId=N type=Document status=500"),
            QStringLiteral("check 1 1 1"),
            QStringLiteral("reply frameId=F loaderId=N"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=init"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=DOMContentLoaded"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=load"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 0 4 1"),
        };

        QTest::newRow("refused connection: loadingFailed, errorText, error page") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("Network.requestWillBeSent requestId=N loaderId=N type=Document"),
            QStringLiteral("Network.loadingFailed requestId=N type=Document errorText=net::ERR_CONNECTION_REFUSED"),
            // Complete and failed, still busy while the error page loads.
            QStringLiteral("check 1 4 1"),
            QStringLiteral("reply frameId=F loaderId=N errorText=net::ERR_CONNECTION_REFUSED"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=init"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=DOMContentLoaded"),
            QStringLiteral("check 1 4 1"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=load"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 0 4 1"),
        };

        QTest::newRow("204: no new document, stopped without load, failed") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("Network.responseReceived requestId=N loaderId=N type=Document status=204"),
            QStringLiteral("Network.loadingFailed requestId=N type=Document errorText=net::ERR_ABORTED canceled=true"),
            QStringLiteral("reply frameId=F loaderId=N errorText=net::ERR_ABORTED"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 0 4 1"),
        };

        // The document that stays is not the page asked for.
        QTest::newRow("stopped without its load event: failed") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("reply frameId=F loaderId=N isDownload=true"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 0 4 1"),
        };

        QTest::newRow("errorText with nothing loading (invalid URL)") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("reply frameId=F errorText=Cannot_navigate_to_invalid_URL"),
            QStringLiteral("check 0 4 1"),
        };

        QTest::newRow("Page.navigate refused") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("refused"),
            QStringLiteral("check 0 4 1"),
        };

        // navigate while the previous page still loads: its stop comes after
        // the request and must not end the new navigation.
        QTest::newRow("stop of the previous load ignored") << QStringList{
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("reply frameId=F loaderId=N"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=load"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 0 4 0"),
        };

        QTest::newRow("child frames do not count") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStartedNavigating frameId=CHILD loaderId=C navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("reply frameId=F loaderId=N"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=DOMContentLoaded"),
            QStringLiteral("Page.frameStartedLoading frameId=CHILD"),
            QStringLiteral("Page.lifecycleEvent frameId=CHILD loaderId=N name=load"),
            QStringLiteral("Page.frameStoppedLoading frameId=CHILD"),
            QStringLiteral("check 1 3 0"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=load"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 0 4 0"),
        };

        // The reply names the loader; an earlier event may have named another.
        QTest::newRow("reply's loader wins") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=USER navigationType=differentDocument"),
            QStringLiteral("reply frameId=F loaderId=N"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=USER name=load"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=load"),
            QStringLiteral("check 0 4 0"),
        };

        // The page posts a form of its own just as the program navigates: the
        // program's navigation cancels it, which is no end of the program's.
        QTest::newRow("the page's own navigation to another address is not followed") << QStringList{
            QStringLiteral("navigate https://site/?act=login"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=PAGE url=http://site/ "
                           "navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("Network.loadingFailed requestId=PAGE"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N url=https://SITE/?act=login#top "
                           "navigationType=differentDocument"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=load"),
            QStringLiteral("check 0 4 0"),
        };

        QTest::newRow("same-document navigations do not name the loader") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=OLD navigationType=sameDocument"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=OLD name=load"),
            QStringLiteral("check 1 1 0"),
        };

        QTest::newRow("a new navigation clears the last failure") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("refused"),
            QStringLiteral("check 0 4 1"),
            QStringLiteral("navigate"),
            QStringLiteral("check 1 1 0"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.lifecycleEvent frameId=F loaderId=N name=load"),
            QStringLiteral("check 0 4 0"),
            // A late reply of the settled navigation changes nothing.
            QStringLiteral("reply frameId=F errorText=net::ERR_ABORTED"),
            QStringLiteral("check 0 4 0"),
        };

        QTest::newRow("the user's own navigation: busy while it loads") << QStringList{
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=U navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("check 1 4 0"),
            QStringLiteral("Page.frameStoppedLoading frameId=F"),
            QStringLiteral("check 0 4 0"),
        };

        QTest::newRow("renderer crash ends the wait, failed") << QStringList{
            QStringLiteral("navigate"),
            QStringLiteral("Page.frameStartedNavigating frameId=F loaderId=N navigationType=differentDocument"),
            QStringLiteral("Page.frameStartedLoading frameId=F"),
            QStringLiteral("Inspector.targetCrashed"),
            QStringLiteral("check 0 4 1"),
        };
    }

    void sequences() {
        QFETCH(QStringList, script);
        run(script);
    }
};

QTEST_GUILESS_MAIN(LoadWatcherTest)
#include "cdp_loadwatcher_test.moc"
