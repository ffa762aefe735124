#include "platform/net/webhookbody.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QUrl>

namespace velkoria {

namespace {

// The text as it stands inside a JSON string's quotes, escaped by Qt's writer.
QString jsonEscaped(const QString& text) {
    const QByteArray quoted = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(quoted.mid(2, quoted.size() - 4)); // without [" and "]
}

} // namespace

WebhookBodyKind webhookBodyKind(QStringView bodyTemplate) {
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9_.-]+="));
    const QStringView trimmed = bodyTemplate.trimmed();
    const bool placeholderFirst =
        trimmed.startsWith(u"{text}") || trimmed.startsWith(u"{items}") || trimmed.startsWith(u"{count}");
    if ((trimmed.startsWith(u'{') && !placeholderFirst) || trimmed.startsWith(u'['))
        return WebhookBodyKind::Json;
    if (form.match(trimmed.toString()).hasMatch())
        return WebhookBodyKind::Form;
    return WebhookBodyKind::Text;
}

WebhookBody fillWebhookTemplate(const QString& bodyTemplate, int count, const QString& text, const QString& items) {
    const QString& pattern = bodyTemplate.trimmed().isEmpty() ? defaultWebhookTemplate() : bodyTemplate;
    const WebhookBodyKind kind = webhookBodyKind(pattern);
    const auto value = [&](const QString& plain) -> QString {
        switch (kind) {
        case WebhookBodyKind::Json:
            return jsonEscaped(plain);
        case WebhookBodyKind::Form:
            return QString::fromLatin1(QUrl::toPercentEncoding(plain));
        case WebhookBodyKind::Text:
            break;
        }
        return plain;
    };
    const struct {
        QStringView name;
        QString value;
    } placeholders[] = {{u"{count}", QString::number(count)}, {u"{text}", value(text)}, {u"{items}", value(items)}};
    // One pass: a value that holds a placeholder's name stays as it is.
    QString out;
    for (qsizetype i = 0; i < pattern.size();) {
        bool replaced = false;
        if (pattern.at(i) == u'{')
            for (const auto& p : placeholders)
                if (QStringView(pattern).sliced(i).startsWith(p.name)) {
                    out += p.value;
                    i += p.name.size();
                    replaced = true;
                    break;
                }
        if (!replaced)
            out += pattern.at(i++);
    }
    switch (kind) {
    case WebhookBodyKind::Json:
        return {out.toUtf8(), "application/json"};
    case WebhookBodyKind::Form:
        return {out.toUtf8(), "application/x-www-form-urlencoded"};
    case WebhookBodyKind::Text:
        break;
    }
    return {out.toUtf8(), "text/plain; charset=utf-8"};
}

QString webhookTemplateProblem(const QString& bodyTemplate) {
    if (webhookBodyKind(bodyTemplate) != WebhookBodyKind::Json)
        return {};
    const WebhookBody body =
        fillWebhookTemplate(bodyTemplate, 1, QStringLiteral("新規 \"案件\"\n"), QStringLiteral("新規 \"案件\"\n"));
    QJsonParseError error;
    QJsonDocument::fromJson(body.body, &error);
    if (error.error == QJsonParseError::NoError)
        return {};
    return QStringLiteral("JSON として読めません (%1)。{text} と {items} は \"…\" の中に書いてください")
        .arg(error.errorString());
}

} // namespace velkoria
