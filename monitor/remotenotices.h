#pragma once

#include "monitor/noticesettings.h"
#include "monitor/titlefilter.h"
#include "platform/net/mailmessage.h"
#include "platform/net/sender.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

class QThread;

namespace velkoria {

// One unseen request of a scan run, as it is told away from the PC.
struct NoticeItem {
    QString caption; // the quick button's caption
    QString title;   // the text of the request's link; may be empty
    QString id;
    QString url; // the request's page
};

// The mail of one run's requests: subject "新規案件 N 件: " and the first
// title (its caption when it has none); the body lists caption, title, ID and
// page of each.
MailText noticeMail(const QList<NoticeItem>& items);
// The webhook's {text}: a heading line and the requests; {items}: the
// requests alone. Both end with "ほか N 件" where kWebhookTextLimit cuts them
// (chat apps take a few thousand characters at most).
constexpr qsizetype kWebhookTextLimit = 1200;
QString noticeText(const QList<NoticeItem>& items);
QString noticeItemsText(const QList<NoticeItem>& items);

// The sends, blocking (for a worker thread): a run's requests, and the test
// message of the settings dialog. The settings must be configured for the channel.
SendResult sendNoticeMail(const NotifySettings& settings, const NotifySecrets& secrets, const QList<NoticeItem>& items,
                          const std::atomic_bool* cancel = nullptr);
SendResult sendNoticeWebhook(const NotifySettings& settings, const NotifySecrets& secrets,
                             const QList<NoticeItem>& items, const std::atomic_bool* cancel = nullptr);
SendResult sendTestMail(const NotifySettings& settings, const NotifySecrets& secrets,
                        const std::atomic_bool* cancel = nullptr);
SendResult sendTestWebhook(const NotifySettings& settings, const NotifySecrets& secrets,
                           const std::atomic_bool* cancel = nullptr);

// The requests waiting for one channel (mail or webhook), sent one batch at a
// time on a worker thread, beside the scan: post() returns at once. A failed
// batch goes back in front of what waits and is sent again at the next
// post(), together with that run's requests; a batch that went through is
// never sent again, and what comes while a batch is on its way waits for it.
// kFailureStreak failures in a row give one report, and the first success
// after it another. At most kMaxPending requests wait; the oldest go first.
class NoticeOutbox : public QObject {
    Q_OBJECT
public:
    // Runs on the worker thread; cancel is set when the outbox goes away.
    using Send = std::function<SendResult(const QList<NoticeItem>& items, const std::atomic_bool& cancel)>;
    static constexpr int kFailureStreak = 3;
    static constexpr qsizetype kMaxPending = 1000;

    // channel names the channel in the reports ("メール", "Webhook").
    NoticeOutbox(const QString& channel, Send send, QObject* parent = nullptr);
    // Gives up a send on its way (within about a second) and waits for it.
    ~NoticeOutbox() override;

    // The requests of one run (none: a retry of what waits).
    void post(const QList<NoticeItem>& items);
    // The send of the next batches (new settings).
    void setSend(Send send) { m_send = std::move(send); }

    qsizetype waiting() const { return m_waiting.size(); }
    bool sending() const { return m_thread != nullptr; }

signals:
    // A batch of count requests has been sent or has failed.
    void finished(const velkoria::SendResult& result, qsizetype count);
    // A message for the user: the channel does not get through, or does again.
    void report(const QString& message);

private:
    void startSend();
    void sendDone(const SendResult& result);

    QString m_channel;
    Send m_send;
    QList<NoticeItem> m_waiting;
    QList<NoticeItem> m_inFlight;
    QThread* m_thread = nullptr;
    std::atomic_bool m_cancel{false};
    int m_failures = 0;
    bool m_reported = false;
};

QString channelBrokenMessage(const QString& channel, const SendResult& result);
QString channelMendedMessage(const QString& channel);

// The announcements away from the PC: each scan run's unseen requests, after
// the filter words, to the mail and the webhook that the settings configure.
class RemoteNotices : public QObject {
    Q_OBJECT
public:
    explicit RemoteNotices(QObject* parent = nullptr);

    // New settings: a channel no longer configured is dropped with what waits
    // for it; one that stays keeps its waiting requests for its new settings.
    void configure(const NotifySettings& settings, const NotifySecrets& secrets);
    // One run's unseen requests in table order; returns at once.
    void scanFinished(const QList<NoticeItem>& unseen);

    // The filter words, for the notifications on the PC too.
    const TitleFilter& filter() const { return m_filter; }
    NoticeOutbox* mailOutbox() const { return m_mail; }
    NoticeOutbox* webhookOutbox() const { return m_webhook; }

signals:
    // A channel does not get through, or does again (NoticeOutbox::report).
    void report(const QString& message);

private:
    void setChannel(NoticeOutbox*& outbox, bool configured, const QString& channel, NoticeOutbox::Send send);

    TitleFilter m_filter;
    NoticeOutbox* m_mail = nullptr;
    NoticeOutbox* m_webhook = nullptr;
};

} // namespace velkoria
