#include "monitor/remotenotices.h"

#include "platform/net/webhookbody.h"

#include <QMetaObject>
#include <QThread>

namespace velkoria {

namespace {

QString displayTitle(const NoticeItem& item) {
    return item.title.isEmpty() ? item.caption : item.title;
}

// One request in a chat message: 【caption】title (ID) and its page.
QString itemLine(const NoticeItem& item) {
    return QStringLiteral("【%1】%2 (%3)\n%4").arg(item.caption, item.title, item.id, item.url);
}

// The requests for a chat message, as many as fit in limit characters.
QString itemLines(const QList<NoticeItem>& items, qsizetype limit) {
    QString text;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString line = itemLine(items.at(i));
        const QString rest = QStringLiteral("\nほか %1 件").arg(items.size() - i);
        if (text.size() + 1 + line.size() + (i + 1 < items.size() ? rest.size() : 0) > limit) {
            // Not even the first one fits: its beginning, so that something is said.
            if (i == 0)
                text = line.left(std::max<qsizetype>(0, limit - rest.size()));
            return text + rest;
        }
        if (!text.isEmpty())
            text += u'\n';
        text += line;
    }
    return text;
}

QString heading(const QList<NoticeItem>& items) {
    return QStringLiteral("新規案件 %1 件").arg(items.size());
}

std::optional<MailText> mailOf(const NotifySettings& settings) {
    const auto from = parseMailAddress(settings.mailFrom);
    const auto to = parseMailAddresses(settings.mailTo);
    if (!from || !to)
        return std::nullopt;
    MailText mail;
    mail.from = *from;
    mail.to = *to;
    return mail;
}

SendResult sendMailText(const NotifySettings& settings, const NotifySecrets& secrets, const QString& subject,
                        const QString& body, const std::atomic_bool* cancel) {
    std::optional<MailText> mail = mailOf(settings);
    if (!mail) {
        SendResult result;
        result.detail = QStringLiteral("差出人か宛先のメールアドレスがありません");
        return result;
    }
    mail->subject = subject;
    mail->body = body;
    QStringList to;
    for (const MailAddress& address : mail->to)
        to.append(address.address);
    const MailServer server{settings.mailServer, settings.mailStartTls, settings.mailUser, secrets.mailPassword,
                            settings.mailCaFile};
    return sendMail(server, mail->from.address, to, composeMail(*mail), cancel);
}

SendResult postWebhook(const NotifySettings& settings, const NotifySecrets& secrets, int count, const QString& text,
                       const QString& items, const std::atomic_bool* cancel) {
    const WebhookBody body = fillWebhookTemplate(settings.webhookBody, count, text, items);
    const QString value =
        secrets.webhookHeaderValue.isEmpty() ? settings.webhookHeaderValueInFile() : secrets.webhookHeaderValue;
    return postHttp(
        {settings.webhookUrl, body.body, body.contentType, settings.webhookHeaderName(), value, settings.webhookCaFile},
        cancel);
}

} // namespace

MailText noticeMail(const QList<NoticeItem>& items) {
    MailText mail;
    mail.subject = QStringLiteral("新規案件 %1 件: ").arg(items.size()) +
                   (items.isEmpty() ? QString() : displayTitle(items.first()));
    mail.body = QStringLiteral("Velkoria が新規案件を %1 件見つけました。\n").arg(items.size());
    for (const NoticeItem& item : items)
        mail.body += QStringLiteral("\n【%1】%2\n案件番号: %3\n%4\n").arg(item.caption, item.title, item.id, item.url);
    return mail;
}

QString noticeText(const QList<NoticeItem>& items) {
    const QString head = heading(items);
    return head + u'\n' + itemLines(items, kWebhookTextLimit - head.size() - 1);
}

QString noticeItemsText(const QList<NoticeItem>& items) {
    return itemLines(items, kWebhookTextLimit);
}

SendResult sendNoticeMail(const NotifySettings& settings, const NotifySecrets& secrets, const QList<NoticeItem>& items,
                          const std::atomic_bool* cancel) {
    const MailText text = noticeMail(items);
    return sendMailText(settings, secrets, text.subject, text.body, cancel);
}

SendResult sendNoticeWebhook(const NotifySettings& settings, const NotifySecrets& secrets,
                             const QList<NoticeItem>& items, const std::atomic_bool* cancel) {
    return postWebhook(settings, secrets, int(items.size()), noticeText(items), noticeItemsText(items), cancel);
}

SendResult sendTestMail(const NotifySettings& settings, const NotifySecrets& secrets, const std::atomic_bool* cancel) {
    return sendMailText(settings, secrets, QStringLiteral("Velkoria 送信テスト"),
                        QStringLiteral("Velkoria の通知の設定を確かめるテストメッセージです。\n"
                                       "このメールが届いていれば、新規案件のお知らせもこの宛先に届きます。\n"),
                        cancel);
}

SendResult sendTestWebhook(const NotifySettings& settings, const NotifySecrets& secrets,
                           const std::atomic_bool* cancel) {
    const QString text = QStringLiteral("Velkoria 送信テスト: このメッセージが届いていれば、"
                                        "新規案件のお知らせもここに届きます。");
    return postWebhook(settings, secrets, 0, text, text, cancel);
}

QString channelBrokenMessage(const QString& channel, const SendResult& result) {
    return QStringLiteral("%1: 新規案件のお知らせを %2 回続けて送れませんでした。%3\n"
                          "送れなかったお知らせは、次のスキャンのときに送り直します。")
        .arg(channel)
        .arg(NoticeOutbox::kFailureStreak)
        .arg(sendResultText(result));
}

QString channelMendedMessage(const QString& channel) {
    return QStringLiteral("%1: 新規案件のお知らせをまた送れるようになりました。").arg(channel);
}

NoticeOutbox::NoticeOutbox(const QString& channel, Send send, QObject* parent)
    : QObject(parent), m_channel(channel), m_send(std::move(send)) {}

NoticeOutbox::~NoticeOutbox() {
    if (!m_thread)
        return;
    m_cancel = true;
    m_thread->wait();
    delete m_thread;
}

void NoticeOutbox::post(const QList<NoticeItem>& items) {
    m_waiting += items;
    if (m_waiting.size() > kMaxPending)
        m_waiting.remove(0, m_waiting.size() - kMaxPending);
    if (!m_thread)
        startSend();
}

void NoticeOutbox::startSend() {
    if (m_waiting.isEmpty() || !m_send)
        return;
    m_inFlight.swap(m_waiting);
    m_waiting.clear();
    m_thread = QThread::create([this, items = m_inFlight, send = m_send] {
        const SendResult result = send(items, m_cancel);
        QMetaObject::invokeMethod(
            this, [this, result] { sendDone(result); }, Qt::QueuedConnection);
    });
    m_thread->start();
}

void NoticeOutbox::sendDone(const SendResult& result) {
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    const qsizetype count = m_inFlight.size();
    if (result.ok()) {
        m_inFlight.clear();
        m_failures = 0;
        if (m_reported)
            emit report(channelMendedMessage(m_channel));
        m_reported = false;
        emit finished(result, count);
        // What came while this batch was on its way belongs to a run that has
        // already happened: it goes now.
        startSend();
        return;
    }
    // Back in front of what came meanwhile, to go with the next run's requests.
    m_waiting = m_inFlight + m_waiting;
    m_inFlight.clear();
    if (m_waiting.size() > kMaxPending)
        m_waiting.remove(0, m_waiting.size() - kMaxPending);
    if (++m_failures >= kFailureStreak && !m_reported) {
        m_reported = true;
        emit report(channelBrokenMessage(m_channel, result));
    }
    emit finished(result, count);
}

RemoteNotices::RemoteNotices(QObject* parent) : QObject(parent) {}

void RemoteNotices::setChannel(NoticeOutbox*& outbox, bool configured, const QString& channel,
                               NoticeOutbox::Send send) {
    if (!configured) {
        delete outbox;
        outbox = nullptr;
        return;
    }
    if (outbox) {
        outbox->setSend(std::move(send));
        return;
    }
    outbox = new NoticeOutbox(channel, std::move(send), this);
    connect(outbox, &NoticeOutbox::report, this, &RemoteNotices::report);
}

void RemoteNotices::configure(const NotifySettings& settings, const NotifySecrets& secrets) {
    m_filter = TitleFilter(settings.filterInclude, settings.filterExclude);
    setChannel(m_mail, settings.mailConfigured(), QStringLiteral("メール"),
               [settings, secrets](const QList<NoticeItem>& items, const std::atomic_bool& cancel) {
                   return sendNoticeMail(settings, secrets, items, &cancel);
               });
    setChannel(m_webhook, settings.webhookConfigured(), QStringLiteral("Webhook"),
               [settings, secrets](const QList<NoticeItem>& items, const std::atomic_bool& cancel) {
                   return sendNoticeWebhook(settings, secrets, items, &cancel);
               });
}

void RemoteNotices::scanFinished(const QList<NoticeItem>& unseen) {
    QList<NoticeItem> passing;
    for (const NoticeItem& item : unseen)
        if (m_filter.passes(item.title))
            passing.append(item);
    for (NoticeOutbox* outbox : {m_mail, m_webhook})
        if (outbox)
            outbox->post(passing);
}

} // namespace velkoria
