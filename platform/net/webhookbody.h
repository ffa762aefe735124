#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace velkoria {

// The body of a webhook's POST, from a template with the placeholders
// {count} (the number of requests), {text} (a heading and the requests) and
// {items} (the requests alone). A template that begins (after blanks) with
// '{' (not a placeholder's) or '[' is JSON: the values go in JSON-escaped. One that begins with
// "name=" is a form (as Chatwork takes it): the values go in percent-encoded.
// Any other is plain text (as ntfy takes it).
enum class WebhookBodyKind { Json, Form, Text };

inline QString defaultWebhookTemplate() {
    return QStringLiteral("{\"text\": \"{text}\"}");
}

WebhookBodyKind webhookBodyKind(QStringView bodyTemplate);

struct WebhookBody {
    QByteArray body;
    QByteArray contentType;
};

// An empty template is the default one.
WebhookBody fillWebhookTemplate(const QString& bodyTemplate, int count, const QString& text, const QString& items);

// Why a JSON template does not give JSON (with a sample text), in Japanese;
// empty when it does, or when the template is not JSON.
QString webhookTemplateProblem(const QString& bodyTemplate);

} // namespace velkoria
