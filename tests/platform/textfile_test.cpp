#include "platform/errors.h"
#include "platform/handler.h"
#include "platform/settings.h"
#include "platform/textfile.h"
#include "tests/support/fakes.h"
#include "tests/support/tempfolder.h"
#include "tests/windows/cp932cases.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

class TextFileTest : public QObject {
    Q_OBJECT
private slots:
    void lineEnds_data();
    void lineEnds();
    void codePage932RoundTrip();
    void codePage932Table_data();
    void codePage932Table();
    void undecodableBytesNameTheLine();
    void valuesAreWrittenUnchanged();
    void failedWritesKeepTheOldFile();
    void ownerOnlyFiles();
    void missingFileNamesTheFile();
    void settingsDefaultsAndValues();
    void malformedSettingsNameTheKey_data();
    void malformedSettingsNameTheKey();
    void uncaughtErrorShowsNumberAndEnds();
};

void TextFileTest::lineEnds_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << u"a\r\nb\r\n"_qs << QStringList{u"a"_qs, u"b"_qs};
    QTest::newRow("last line without end") << u"a\r\nb"_qs << QStringList{u"a"_qs, u"b"_qs};
    QTest::newRow("lone LF") << u"a\nb\n"_qs << QStringList{u"a"_qs, u"b"_qs};
    QTest::newRow("lone CR") << u"a\rb"_qs << QStringList{u"a"_qs, u"b"_qs};
    QTest::newRow("empty last line") << u"a\r\n\r\n"_qs << QStringList{u"a"_qs, QString()};
    QTest::newRow("CR CR LF") << u"a\r\r\nb"_qs << QStringList{u"a"_qs, QString(), u"b"_qs};
    QTest::newRow("empty file") << QString() << QStringList{};
    QTest::newRow("one bare line end") << u"\r\n"_qs << QStringList{QString()};
    QTest::newRow("spaces kept") << u" a ,b \r\n"_qs << QStringList{u" a ,b "_qs};
}

void TextFileTest::lineEnds() {
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(splitTextLines(text), lines);
}

void TextFileTest::codePage932RoundTrip() {
    TempProgramFolder folder;
    // Full-width and half-width Japanese, and the characters where code page
    // 932 differs from plain Shift_JIS (① ～ －).
    const QStringList lines{u"ホームページ制作"_qs, u"ﾃｽﾄｶﾃｺﾞﾘ"_qs, u"①～－"_qs, u"ASCII, \"quoted\" "_qs};
    writeTextLines(folder.file(u"t.txt"_qs), lines);
    const QByteArray bytes = folder.read(u"t.txt"_qs);
    QVERIFY(bytes.contains(QByteArray("\xC3\xBD\xC4", 3))); // ﾃｽﾄ: one byte each
    QVERIFY(bytes.contains(QByteArray("\x87\x40\x81\x60\x81\x7C\r\n", 8)));
    QVERIFY(bytes.endsWith("ASCII, \"quoted\" \r\n"));
    QCOMPARE(readTextLines(folder.file(u"t.txt"_qs)), lines);
}

// The same table passes through the Windows conversion under Wine (windows_test).
void TextFileTest::codePage932Table_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    for (const Cp932Case& c : cp932Cases)
        QTest::newRow(c.name) << int(c.kind) << QString::fromStdU16String(std::u16string(c.text))
                              << QByteArray(c.bytes.data(), qsizetype(c.bytes.size()));
}

void TextFileTest::codePage932Table() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QByteArray encoded;
    QString decoded;
    const bool encodes = encodeCp932(text, &encoded);
    const bool decodes = decodeCp932(bytes, &decoded);
    switch (Cp932Case::Kind(kind)) {
    case Cp932Case::Both:
        QVERIFY(encodes && decodes);
        QCOMPARE(encoded, bytes);
        QCOMPARE(decoded, text);
        break;
    case Cp932Case::EncodesTo:
        QVERIFY(encodes);
        QCOMPARE(encoded, bytes);
        break;
    case Cp932Case::DecodesTo:
        QVERIFY(decodes);
        QCOMPARE(decoded, text);
        break;
    case Cp932Case::Unencodable:
        QVERIFY(!encodes);
        break;
    case Cp932Case::Undecodable:
        QVERIFY(!decodes);
        break;
    }
}

void TextFileTest::undecodableBytesNameTheLine() {
    TempProgramFolder folder;
    folder.write(u"bad.txt"_qs, QByteArray("ok\r\n\x82\x8C\xA9\x82\r\nok\r\n"));
    try {
        readTextLines(folder.file(u"bad.txt"_qs));
        QFAIL("a lone lead byte was read");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(PathFileAccess));
        QVERIFY(e.description().contains(u"bad.txt"_qs));
        QVERIFY2(e.description().contains(u"2 行目"_qs), qPrintable(e.description()));
    }
}

void TextFileTest::valuesAreWrittenUnchanged() {
    TempProgramFolder folder;
    writeTextLines(folder.file(u"t.txt"_qs), {QString(), QString()});
    QCOMPARE(folder.read(u"t.txt"_qs), QByteArray("\r\n\r\n"));
    writeTextLines(folder.file(u"t.txt"_qs), {});
    QCOMPARE(folder.read(u"t.txt"_qs), QByteArray());
}

void TextFileTest::failedWritesKeepTheOldFile() {
    TempProgramFolder folder;
    const QString path = folder.file(u"keep.txt"_qs);
    writeTextLines(path, {u"old"_qs});
    const QByteArray old = folder.read(u"keep.txt"_qs);

    // A character that code page 932 cannot hold: nothing is written, and the
    // message names the file and the line but not the text.
    try {
        writeTextLines(path, {u"fine"_qs, u"secret\U0001F600"_qs});
        QFAIL("an emoji was written");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(PathFileAccess));
        QVERIFY(e.description().contains(u"keep.txt"_qs));
        QVERIFY(e.description().contains(u"2 行目"_qs));
        QVERIFY(!e.description().contains(u"secret"_qs));
    }
    QCOMPARE(folder.read(u"keep.txt"_qs), old);

    // A full disk: the old file stays whole and no temporary file is left behind.
    {
        DiskFull full;
        QVERIFY_THROWS_EXCEPTION(RuntimeError, writeTextLines(path, {QString(4096, u'x')}));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, writeTextLines(path, {QString(4096, u'x')}, FileAccess::OwnerOnly));
    }
    QCOMPARE(folder.read(u"keep.txt"_qs), old);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{u"keep.txt"_qs});
}

void TextFileTest::ownerOnlyFiles() {
    TempProgramFolder folder;
    const QString path = folder.file(u"secret.txt"_qs);
    writeTextLines(path, {u"a"_qs}, FileAccess::OwnerOnly);
    QCOMPARE(folder.read(u"secret.txt"_qs), QByteArray("a\r\n"));
    if (!accessListsKept())
        QSKIP("Wine keeps no access lists: the check kit shows them on a Windows PC");
    QVERIFY(!othersMayRead(path));
    // A file that was readable by others becomes owner-only at its next write.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther);
    writeTextLines(path, {u"b"_qs}, FileAccess::OwnerOnly);
    QVERIFY(!othersMayRead(path));
}

void TextFileTest::missingFileNamesTheFile() {
    TempProgramFolder folder;
    try {
        readTextLines(programFile(u"nothing.txt"_qs));
        QFAIL("no error");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.number(), int(FileNotFound));
        QVERIFY(e.description().contains(u"nothing.txt"_qs));
    }
}

void TextFileTest::settingsDefaultsAndValues() {
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

void TextFileTest::malformedSettingsNameTheKey_data() {
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
}

void TextFileTest::malformedSettingsNameTheKey() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, key);
    TempProgramFolder folder;
    folder.write(u"velkoria.ini"_qs, ini);
    try {
        loadSettings(folder.file(u"velkoria.ini"_qs));
        QFAIL("accepted");
    } catch (const RuntimeError& e) {
        QVERIFY2(e.description().contains(u"velkoria.ini"_qs) && e.description().contains(key),
                 qPrintable(e.description()));
    }
}

void TextFileTest::uncaughtErrorShowsNumberAndEnds() {
    FakeMessageSink messages;
    FakeProgramEnd end;
    bool after = false;
    try {
        runHandler(messages, end, [&] {
            throw makeError(InputPastEndOfFile, u"button_info.txt"_qs);
            after = true;
        });
        QFAIL("the program went on");
    } catch (const ProgramEnded& e) {
        QCOMPARE(e.exitCode, 1);
    }
    QVERIFY(!after);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(messages.texts.at(0).contains(u"62"_qs));
    QVERIFY(messages.texts.at(0).contains(u"button_info.txt"_qs));

    FakeMessageSink quiet;
    runHandler(quiet, end, [] {});
    QVERIFY(quiet.texts.isEmpty());
}

QTEST_GUILESS_MAIN(TextFileTest)
#include "textfile_test.moc"
