#include "monitor/announcer.h"

#include "platform/errors.h"

#include <QHash>
#include <QStringList>

namespace velkoria {

namespace {

// The one notification for many requests: each caption once with its count, in
// the order of the pages, then the titles as the room allows.
QString manyRequestsText(const QList<Announcement>& requests) {
    QStringList captions;
    QHash<QString, int> counts;
    for (const Announcement& request : requests)
        if (counts[request.caption]++ == 0)
            captions.append(request.caption);
    QStringList lines;
    for (const QString& caption : captions)
        lines.append(QStringLiteral("%1: %2 件").arg(caption).arg(counts.value(caption)));
    QString text = lines.join(u'\n');
    for (const Announcement& request : requests) {
        if (request.title.isEmpty())
            continue;
        const QString line = QStringLiteral("\n・") + request.title;
        if (text.size() + line.size() > Announcer::kNotificationText)
            break;
        text += line;
    }
    return text;
}

} // namespace

Announcer::Announcer(MessageSink& messages, AnnouncementLog& log, const Clock& clock, bool boxes,
                     AnnouncementSink* sink)
    : m_messages(messages), m_log(log), m_clock(clock), m_boxes(boxes), m_sink(sink) {}

QString Announcer::announce(QList<Announcement> requests) {
    if (requests.isEmpty())
        return {};
    const QDateTime now = m_clock.now();
    for (Announcement& request : requests)
        request.time = now;
    QString saveFailure;
    try {
        m_log.add(requests);
        m_saveFailureShown = false;
    } catch (const RuntimeError& error) {
        // Said once, not at every run: the list goes on in the window.
        if (!m_saveFailureShown)
            saveFailure = error.description();
        m_saveFailureShown = true;
    }
    if (m_sink) {
        m_sink->listChanged();
        QList<Announcement> shown;
        for (const Announcement& request : std::as_const(requests))
            if (m_filter.passes(request.title))
                shown.append(request);
        // A box calls the user anyway; without one, only what passes the filter does.
        if (!shown.isEmpty() || m_boxes)
            m_sink->callUser();
        if (shown.size() > kOwnNotifications) {
            m_sink->notifyDayList(newRequestsTitle(shown.size()), manyRequestsText(shown));
        } else {
            for (const Announcement& request : std::as_const(shown))
                m_sink->notify(newRequestTitle(request.caption), newRequestText(request.id, request.title),
                               request.url);
        }
    }
    if (m_boxes)
        for (const Announcement& request : requests)
            m_messages.show(newRequestMessage(request.caption));
    return saveFailure;
}

} // namespace velkoria
