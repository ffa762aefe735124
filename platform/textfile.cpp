#include "platform/textfile.h"

#include "platform/cp932lookalikes.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <cerrno>

#if defined(Q_OS_WIN)
// Qt's Windows packages may come without ICU: the system's own tables.
#include "platform/win/cp932.h"
#include "platform/win/owneronly.h"
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace velkoria {

namespace {
QString g_programFolder;

#if !defined(Q_OS_WIN)
// ICU's "Shift_JIS" converter in Qt follows the Windows code page 932 mapping
// (the one the browser and Windows use); glibc's plain SHIFT_JIS does not.
constexpr const char* kCodePage = "windows-31j";
#endif

QString fileNameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

// The step of an atomic save that failed: making the new copy, writing it,
// or putting it in the file's place.
enum class SaveStep { Open, Write, Commit };

// Why a save failed: the usual causes in the user's words, any other in the
// system's. code is errno right after the failed step (POSIX; 0 elsewhere or
// when unknown); on Windows the step tells what the system's text does not.
QString saveFailureCause(const QString& path, SaveStep step, qint64 size, int code, const QString& systemText) {
    const QFileInfo file(path);
    if (!file.absoluteDir().exists())
        return QStringLiteral("フォルダが見つかりません");
    if (file.exists() && !file.isWritable())
        return QStringLiteral("ファイルが読み取り専用になっています");
    const QString diskFull = QStringLiteral("ディスクの空き容量が足りません");
    const QStorageInfo storage(file.absolutePath());
    if (step != SaveStep::Open && storage.isValid() && storage.bytesAvailable() >= 0 &&
        storage.bytesAvailable() < size + 64 * 1024)
        return diskFull;
#if defined(Q_OS_WIN)
    Q_UNUSED(code);
    // A new file in the folder is refused by its access list; the copy does
    // not replace the file while another program holds it open (an editor,
    // a backup; a virus scanner only for longer than the write waits).
    if (step == SaveStep::Open)
        return QStringLiteral("フォルダに書き込む権限がありません");
    if (step == SaveStep::Commit)
        return QStringLiteral("ファイルがほかのプログラムで使用中です");
#else
    // EFBIG: the file is larger than this process may write, as good as full.
    if (code == ENOSPC || code == EDQUOT || code == EFBIG)
        return diskFull;
    if (code == EACCES || code == EPERM)
        return QStringLiteral("フォルダに書き込む権限がありません");
#endif
    return systemText;
}

RuntimeError saveFailure(const QString& path, const QString& reason) {
    return RuntimeError(PathFileAccess,
                        QStringLiteral("ファイル %1 を保存できません（%2）。元のファイルはそのまま残っています。")
                            .arg(fileNameOf(path), reason));
}

#if !defined(Q_OS_WIN)
// errno as the failed call left it.
int lastErrorCode() {
    return errno;
}
#endif
} // namespace

QString programFolder() {
    if (!g_programFolder.isEmpty())
        return g_programFolder;
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString& folder) {
    g_programFolder = folder;
}

QString programFile(const QString& name) {
    return programFolder() + u'/' + name;
}

#if defined(Q_OS_WIN)

bool encodeCp932(const QString& text, QByteArray* bytes) {
    std::string out;
    if (!win::encodeCp932(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())),
                          out))
        return false;
    *bytes = QByteArray(out.data(), qsizetype(out.size()));
    return true;
}

bool decodeCp932(const QByteArray& bytes, QString* text) {
    std::u16string out;
    if (!win::decodeCp932(std::string_view(bytes.constData(), size_t(bytes.size())), out))
        return false;
    *text = QString::fromStdU16String(out);
    return true;
}

#else

bool encodeCp932(const QString& text, QByteArray* bytes) {
    QString typed = text;
    for (const Cp932LookAlike& pair : cp932LookAlikes)
        typed.replace(QChar(pair.typed), QChar(pair.written));
    QStringEncoder encoder(kCodePage, QStringEncoder::Flag::Stateless);
    // The encoder turns a character without a code into '?' and flags the error;
    // count on the flag, not on the bytes.
    QByteArray out = encoder.encode(typed);
    if (encoder.hasError())
        return false;
    *bytes = out;
    return true;
}

bool decodeCp932(const QByteArray& bytes, QString* text) {
    QStringDecoder decoder(kCodePage, QStringDecoder::Flag::Stateless);
    QString out = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    *text = out;
    return true;
}

#endif

QString storableText(const QString& text) {
    QByteArray bytes;
    if (!encodeCp932(text, &bytes)) {
        bytes.clear();
        for (const char32_t c : text.toUcs4()) {
            QByteArray one;
            bytes += encodeCp932(QString::fromUcs4(&c, 1), &one) ? one : QByteArray("?");
        }
    }
    QString back;
    decodeCp932(bytes, &back);
    return back;
}

namespace {

// The number of the first line (by the rule of splitTextLines) whose bytes are
// not code page 932. CR and LF are never part of a two-byte character, so the
// bytes can be split before decoding.
int firstBadLine(const QByteArray& bytes) {
    int line = 1;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes.at(i) != '\r' && bytes.at(i) != '\n')
            continue;
        QString ignored;
        if (!decodeCp932(bytes.mid(start, i - start), &ignored))
            return line;
        if (i + 1 < bytes.size() && bytes.at(i) == '\r' && bytes.at(i + 1) == '\n')
            ++i;
        start = i + 1;
        ++line;
    }
    return line;
}

} // namespace

QStringList splitTextLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            lines.append(text.mid(start, i - start));
            if (i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        } else if (c == u'\n') {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

namespace {

// The file's bytes up to the end of its maxLines-th line (all of them when
// maxLines is negative), read a block at a time.
QByteArray readLeadingLines(QFile& file, qsizetype maxLines) {
    if (maxLines < 0)
        return file.readAll();
    QByteArray bytes;
    qsizetype lines = 0;
    for (qsizetype i = 0; lines < maxLines;) {
        if (i == bytes.size()) {
            const QByteArray block = file.read(64 * 1024);
            if (block.isEmpty())
                break;
            bytes += block;
        }
        const char c = bytes.at(i++);
        // A line ends at CR, at LF, or at the LF of a CR LF (counted at its CR).
        if (c == '\r' || (c == '\n' && (i < 2 || bytes.at(i - 2) != '\r')))
            ++lines;
        if (lines == maxLines)
            bytes.truncate(i);
    }
    return bytes;
}

} // namespace

QStringList readTextLines(const QString& path, qsizetype maxLines) {
    QFile file(path);
    if (!file.exists())
        throw makeError(FileNotFound, QStringLiteral("ファイル: %1").arg(fileNameOf(path)));
    if (!file.open(QIODevice::ReadOnly))
        throw makeError(PathFileAccess,
                        QStringLiteral("ファイル %1 を読み込めません（%2）").arg(fileNameOf(path), file.errorString()));
    const QByteArray bytes = readLeadingLines(file, maxLines);
    if (file.error() != QFileDevice::NoError)
        throw makeError(PathFileAccess,
                        QStringLiteral("ファイル %1 を読み込めません（%2）").arg(fileNameOf(path), file.errorString()));
    // A byte that is not code page 932 is refused, not replaced: a file read
    // and written again would otherwise lose what was there.
    QString text;
    if (!decodeCp932(bytes, &text))
        throw makeError(PathFileAccess,
                        QStringLiteral("ファイル %1 を読み込めません: %2 行目に Shift_JIS でない文字があります。")
                            .arg(fileNameOf(path))
                            .arg(firstBadLine(bytes)));
    return splitTextLines(text);
}

void writeTextLines(const QString& path, const QStringList& lines, FileAccess access) {
    QByteArray bytes;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line;
        if (!encodeCp932(lines.at(i), &line))
            throw RuntimeError(
                PathFileAccess,
                QStringLiteral("ファイル %1 を保存できません: %2 行目に Shift_JIS で書けない文字があります。"
                               "元のファイルはそのまま残っています。")
                    .arg(fileNameOf(path))
                    .arg(i + 1));
        bytes += line;
        bytes += "\r\n";
    }
    writeFileBytes(path, bytes, access);
}

void writeFileBytes(const QString& path, const QByteArray& bytes, FileAccess access) {
#if defined(Q_OS_WIN)
    // A file of its own beside the old one, moved into its place, so that the
    // account file gets its access list (its owner alone) when its new copy is
    // created, and so that a file held a moment by a virus scanner is waited
    // for (QSaveFile neither does one nor allows the other).
    win::WriteFailure failure;
    if (!win::writeFileWhole(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString(),
                             std::string_view(bytes.constData(), size_t(bytes.size())), access == FileAccess::OwnerOnly,
                             &failure)) {
        const SaveStep step = failure.step == win::WriteStep::Create  ? SaveStep::Open
                              : failure.step == win::WriteStep::Write ? SaveStep::Write
                                                                      : SaveStep::Commit;
        throw saveFailure(path, saveFailureCause(path, step, bytes.size(), 0, QString::fromStdWString(failure.reason)));
    }
#else
    QSaveFile file(path);
    // errno is taken before anything else can change it.
    const auto fail = [&](SaveStep step) {
        const int code = lastErrorCode();
        const QString systemText = file.errorString();
        if (step != SaveStep::Commit)
            file.cancelWriting();
        return saveFailure(path, saveFailureCause(path, step, bytes.size(), code, systemText));
    };
    // Unbuffered, so that a short write (a full disk) shows in write()'s count
    // instead of being lost in a buffer flushed at commit.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw fail(SaveStep::Open);
    if (access == FileAccess::OwnerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    errno = 0;
    if (file.write(bytes) != bytes.size())
        throw fail(SaveStep::Write);
    errno = 0;
    if (!file.commit())
        throw fail(SaveStep::Commit);
#endif
}

} // namespace velkoria
