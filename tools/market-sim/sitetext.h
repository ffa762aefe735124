#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace marketsim {

// The site's pages and form values are in code page 932 (Shift_JIS with the Windows extensions).
QString decodeSiteText(const QByteArray& bytes);
QByteArray encodeSiteText(const QString& text);

// A form-urlencoded body as name/value pairs in body order: "+" is a space, %XX a byte, and the
// bytes of each name and value are code page 932 text.
QList<std::pair<QString, QString>> parseForm(const QByteArray& body);
QString formValue(const QList<std::pair<QString, QString>>& form, const QString& name);

} // namespace marketsim
