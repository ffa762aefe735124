#include "platform/errors.h"
#include "platform/textfile.h"
#include "tests/support/fakes.h"
#include "tests/support/tempfolder.h"
#include "tests/windows/cp932cases.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <optional>

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
    void readFailuresNameTheFileAndLine();
    void valuesAreWrittenUnchanged();
    void failedWritesKeepTheOldFile();
    void failedWritesSayWhyInJapanese_data();
    void failedWritesSayWhyInJapanese();
    void ownerOnlyFiles();
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
    // A file read no further than some lines gives the same lines first.
    TempProgramFolder folder;
    folder.writeCp932(u"t.txt"_qs, text);
    for (qsizetype n = 0; n <= lines.size(); ++n)
        QCOMPARE(readTextLines(folder.file(u"t.txt"_qs), n), lines.mid(0, n));
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

void TextFileTest::readFailuresNameTheFileAndLine() {
    TempProgramFolder folder;
    const RuntimeError missing = errorOf([] { readTextLines(programFile(u"nothing.txt"_qs)); });
    QCOMPARE(missing.number(), int(FileNotFound));
    QVERIFY(missing.description().contains(u"nothing.txt"_qs));
    folder.write(u"bad.txt"_qs, QByteArray("ok\r\n\x82\x8C\xA9\x82\r\nok\r\n"));
    const RuntimeError bad = errorOf([&] { readTextLines(folder.file(u"bad.txt"_qs)); });
    QCOMPARE(bad.number(), int(PathFileAccess));
    QVERIFY(bad.description().contains(u"bad.txt"_qs));
    QVERIFY2(bad.description().contains(u"2 行目"_qs), qPrintable(bad.description()));
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
    const RuntimeError e = errorOf([&] { writeTextLines(path, {u"fine"_qs, u"secret\U0001F600"_qs}); });
    QCOMPARE(e.number(), int(PathFileAccess));
    QVERIFY(e.description().contains(u"keep.txt"_qs) && e.description().contains(u"2 行目"_qs));
    QVERIFY(!e.description().contains(u"secret"_qs));
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

void TextFileTest::failedWritesSayWhyInJapanese_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("cause");
    QTest::newRow("read-only file") << u"read-only"_qs << u"ファイルが読み取り専用になっています"_qs;
    QTest::newRow("folder missing") << u"folder"_qs << u"フォルダが見つかりません"_qs;
    // DiskFull: a full disk here, a file that another program holds on Windows.
#if defined(Q_OS_WIN)
    QTest::newRow("file in use") << u"held"_qs << u"ファイルがほかのプログラムで使用中です"_qs;
#else
    QTest::newRow("disk full") << u"held"_qs << u"ディスクの空き容量が足りません"_qs;
#endif
}

void TextFileTest::failedWritesSayWhyInJapanese() {
    QFETCH(QString, fault);
    QFETCH(QString, cause);
    TempProgramFolder folder;
    QString path = folder.file(u"new_item.txt"_qs);
    writeTextLines(path, {u"1"_qs});
    if (fault == u"read-only"_qs) {
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        if (QFileInfo(path).isWritable())
            QSKIP("root writes read-only files");
    }
    if (fault == u"folder"_qs)
        path = folder.file(u"gone/new_item.txt"_qs);
    std::optional<DiskFull> full;
    if (fault == u"held"_qs)
        full.emplace();
    const QString text = errorOf([&] { writeTextLines(path, {QString(4096, u'2')}); }).description();
    full.reset();
    // The cause alone in the parentheses: no words of the system's in English.
    QVERIFY2(text.contains(u"（"_qs + cause + u"）"_qs), qPrintable(text));
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

QTEST_GUILESS_MAIN(TextFileTest)
#include "textfile_test.moc"
