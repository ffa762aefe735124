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
    return encoder.encode(text);
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
