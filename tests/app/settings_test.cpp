// velkoria.ini: the settings left to the installation, with their defaults.
#include "app/settings.h"
#include "platform/errors.h"
#include "tests/support/fakes.h"
#include "tests/support/tempfolder.h"

#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void settingsDefaultsAndValues();
    void malformedSettingsNameTheKey_data();
    void malformedSettingsNameTheKey();
};

void SettingsTest::settingsDefaultsAndValues() {
    TempProgramFolder folder;
    const Settings defaults = loadSettings(folder.file(u"velkoria.ini"_qs));
    QCOMPARE(defaults.searchUrl, u"http://www.zandorp.jp/"_qs);
    QCOMPARE(defaults.loginUrl, u"https://www.zandorp.jp/"_qs);
    QCOMPARE(defaults.loadTimeoutSeconds, 60);

    folder.write(u"velkoria.ini"_qs, "[marketplace]\nsearch_url=http://127.0.0.1:8080/\nlogin_url=https://h:8443\n"
                                     "[browser]\narguments=--no-sandbox --flag=a,b  --dir=D:\\tmp\\x ; ok\n"
                                     "executable=\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\"\n"
                                     "load_timeout_seconds=5\n");
    const Settings s = loadSettings(folder.file(u"velkoria.ini"_qs));
    QCOMPARE(s.searchUrl, u"http://127.0.0.1:8080/"_qs);
    QCOMPARE(s.loginUrl, u"https://h:8443/"_qs); // the root's slash added
    // Windows paths as written: a backslash is no escape.
    QCOMPARE(s.arguments, (QStringList{u"--no-sandbox"_qs, u"--flag=a,b"_qs, u"--dir=D:\\tmp\\x"_qs}));
    QCOMPARE(s.executable, u"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe"_qs);
    QCOMPARE(s.loadTimeoutSeconds, 5);
}

void SettingsTest::malformedSettingsNameTheKey_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("key");
    QTest::newRow("search over https") << QByteArray("[marketplace]\nsearch_url=https://h/\n") << u"search_url"_qs;
    QTest::newRow("login without host") << QByteArray("[marketplace]\nlogin_url=https:///\n") << u"login_url"_qs;
    QTest::newRow("search with a path") << QByteArray("[marketplace]\nsearch_url=http://h/search\n")
                                        << u"search_url"_qs;
    QTest::newRow("search with query") << QByteArray("[marketplace]\nsearch_url=http://h/?a=1\n") << u"search_url"_qs;
    QTest::newRow("timeout not a number")
        << QByteArray("[browser]\nload_timeout_seconds=soon\n") << u"load_timeout_seconds"_qs;
    QTest::newRow("timeout zero") << QByteArray("[browser]\nload_timeout_seconds=0\n") << u"load_timeout_seconds"_qs;
    QTest::newRow("boxes neither true nor false") << QByteArray("[announce]\nboxes=off\n") << u"boxes"_qs;
}

void SettingsTest::malformedSettingsNameTheKey() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, key);
    TempProgramFolder folder;
    folder.write(u"velkoria.ini"_qs, ini);
    const RuntimeError e = errorOf([&] { loadSettings(folder.file(u"velkoria.ini"_qs)); });
    QVERIFY2(e.description().contains(u"velkoria.ini"_qs) && e.description().contains(key),
             qPrintable(e.description()));
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
