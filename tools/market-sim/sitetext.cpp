#include "sitetext.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace marketsim {

namespace {
// Code page 932, by the name that says so (ICU gives "Shift_JIS" the same table).
constexpr const char* kCodePage = "windows-31j";

QString decodeFormPart(QByteArray part) {
    part.replace('+', ' ');
    return decodeSiteText(QByteArray::fromPercentEncoding(part));
}
} // namespace

QString decodeSiteText(const QByteArray& bytes) {
    QStringDecoder decoder(kCodePage, QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

QByteArray encodeSiteText(const QString& text) {
    QStringEncoder encoder(kCodePage, QStringEncoder::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    // As the site writes what its code page lacks (an emoji, é): a numeric
    // character reference, which the browser reads back as the character.
    bytes.clear();
    for (const char32_t c : text.toUcs4()) {
        QStringEncoder one(kCodePage, QStringEncoder::Flag::Stateless);
        const QByteArray encoded = one.encode(QString::fromUcs4(&c, 1));
        if (one.hasError())
            bytes += "&#" + QByteArray::number(quint32(c)) + ';';
        else
            bytes += encoded;
    }
    return bytes;
}

QList<std::pair<QString, QString>> parseForm(const QByteArray& body) {
    QList<std::pair<QString, QString>> form;
    for (const QByteArray& field : body.split('&')) {
        if (field.isEmpty())
            continue;
        const qsizetype equals = field.indexOf('=');
        if (equals < 0)
            form.append({decodeFormPart(field), QString()});
        else
            form.append({decodeFormPart(field.left(equals)), decodeFormPart(field.mid(equals + 1))});
    }
    return form;
}

QString formValue(const QList<std::pair<QString, QString>>& form, const QString& name) {
    for (const auto& [fieldName, value] : form) {
        if (fieldName == name)
            return value;
    }
    return {};
}

} // namespace marketsim
