// notifycheck SMTP-URL HTTP-URL [STARTTLS-URL CA-FILE]: the test message of the
// settings dialog through libcurl with Windows' Schannel, run under Wine by
// windows_notify_test against the loopback servers: a mail over plain SMTP
// and a webhook POST over HTTP, then (given) a mail over STARTTLS with the
// test's certificate to trust. Prints one line per send ("mail: ...",
// "webhook: ...", "starttls: ...") and ends with 0 when the first two were sent.
#include "monitor/remotenotices.h"

#include <QCoreApplication>
#include <cstdio>

using namespace velkoria;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 && args.size() != 5) {
        std::fputs("usage: notifycheck SMTP-URL HTTP-URL [STARTTLS-URL CA-FILE]\n", stderr);
        return 2;
    }
    NotifySettings settings;
    settings.mailServer = args.at(1);
    settings.mailStartTls = false;
    settings.mailFrom = QStringLiteral("Velkoria 通知 <velkoria@example.jp>");
    settings.mailTo = QStringLiteral("a@example.jp, b@example.jp");
    settings.webhookUrl = args.at(2);
    settings.webhookBody = QStringLiteral("{\"content\": \"{text}\"}");
    settings.webhookHeader = QStringLiteral("X-ChatWorkToken");
    const NotifySecrets secrets{QString(), QStringLiteral("tok-wine")};
    const SendResult mail = sendTestMail(settings, secrets);
    const SendResult webhook = sendTestWebhook(settings, secrets);
    std::printf("mail: %s\nwebhook: %s\n", sendResultText(mail).toUtf8().constData(),
                sendResultText(webhook).toUtf8().constData());
    if (args.size() == 5) {
        settings.mailServer = args.at(3);
        settings.mailStartTls = true;
        settings.mailUser = QStringLiteral("velkoria");
        settings.mailCaFile = args.at(4);
        const SendResult tls = sendTestMail(settings, {QStringLiteral("secret-pass-123"), QString()});
        std::printf("starttls: %s\n", sendResultText(tls).toUtf8().constData());
    }
    return mail.ok() && webhook.ok() ? 0 : 1;
}
