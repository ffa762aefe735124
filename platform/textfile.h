#pragma once

#include <QString>
#include <QStringList>

namespace velkoria {

// The program folder: the folder of the running executable. Tests may point it elsewhere.
QString programFolder();
void setProgramFolder(const QString& folder);
// program folder + name
QString programFile(const QString& name);

// Text files of the program: code page 932 (Shift_JIS), every line ended by CR LF.
//
// Reading a line takes the characters up to the next CR and skips that CR and one
// LF after it. A lone LF also ends a line (files edited by hand), and a last line
// without a line end is still a line.
//
// With maxLines zero or more, the first maxLines lines only: the rest of the
// file is neither read nor checked.
//
// Throws RuntimeError: FileNotFound for a missing file, PathFileAccess for one
// that cannot be read or holds bytes that are not code page 932. The
// descriptions name the file (and the line).
QStringList readTextLines(const QString& path, qsizetype maxLines = -1);

// Splits decoded file text into lines by the rule above.
QStringList splitTextLines(const QString& text);

enum class FileAccess { Normal, OwnerOnly };

// Replaces the whole file with the lines, each followed by CR LF. The write is
// atomic: on any failure (folder not writable, disk full, a character that code
// page 932 cannot hold) the old file stays whole and RuntimeError(PathFileAccess)
// is thrown with a description that names the file and the cause: the usual
// ones (a read-only file, a full disk, no permission, a missing folder, a file
// in use) in Japanese, others in the system's words. OwnerOnly makes the file
// readable and writable by its owner alone where the platform allows.
void writeTextLines(const QString& path, const QStringList& lines, FileAccess access = FileAccess::Normal);
// The same atomic write of bytes as they are (files in other encodings).
void writeFileBytes(const QString& path, const QByteArray& bytes, FileAccess access = FileAccess::Normal);

// Code page 932 conversions, the same on every system (ICU's windows-31j, or
// the system's tables on Windows). encodeCp932 returns false when a character
// has no code; characters typed outside Windows where Windows types a look-alike
// (WAVE DASH for FULLWIDTH TILDE and the like, platform/cp932lookalikes.h) are
// written as the look-alike. decodeCp932 with a text returns false for bytes
// that are not code page 932.
bool encodeCp932(const QString& text, QByteArray* bytes);
bool decodeCp932(const QByteArray& bytes, QString* text);

// The text as a text file of the program gives it back once written: a
// character that code page 932 has no code for becomes "?", a look-alike the
// character written. A value taken from a page (a request ID) is written and
// compared this way, so that it can always be written and a line read back
// equals it.
QString storableText(const QString& text);

} // namespace velkoria
