#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <optional>
#include <utility>

namespace velkoria {

// velkoria.ini as the user writes it: "key=value" lines under "[section]"
// headers, names matched without regard to case, ';' starting a comment.
// QSettings reads a backslash as an escape, a comma as a list separator and
// double quotes as quoting, and drops comments when it writes; the values
// read and written here are taken as they stand, and a write changes only the
// lines of its keys.

// The file's text, UTF-8 (a BOM dropped: Notepad writes one); empty when the
// file is missing or cannot be read. hadBom tells whether it had one.
QString readIniText(const QString& path, bool* hadBom = nullptr);

// What stands after the '=' of the first line of key in section, as it
// stands (comment included), or nothing when no line has the key.
std::optional<QStringView> rawIniValue(QStringView text, QStringView section, QStringView key);

// A value as written: up to the first ';' outside double quotes, trimmed, and
// without a pair of double quotes round the whole of it.
QString iniValueAsWritten(QStringView raw);

// How value is written so that iniValueAsWritten gives it back: as it is, or
// in double quotes; nothing when neither does (a line end in it, or quotes
// and ';' that no quoting keeps).
std::optional<QString> iniWritableValue(const QString& value);

// The text with these keys of section set: a key's line is replaced in place
// (a comment after its value kept), a missing key is added at the end of its
// section, a missing section at the end of the text. Every other line stays
// as it was, line ends included. The values must come from iniWritableValue.
QString withIniValues(const QString& text, QStringView section, const QList<std::pair<QString, QString>>& values);

// Writes the text whole and atomically in UTF-8 (with a BOM if asked).
// Throws RuntimeError naming the file when the write fails.
void writeIniText(const QString& path, const QString& text, bool bom);

} // namespace velkoria
