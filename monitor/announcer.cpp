#include "monitor/announcer.h"

#include "platform/errors.h"

#include <QHash>
#include <QStringList>

namespace velkoria {

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
        m_sink->callUser();
        if (requests.size() > kOwnNotifications) {
            // Each caption once, with its count, in the order of the pages.
            QStringList captions;
            QHash<QString, int> counts;
            for (const Announcement& request : requests)
                if (counts[request.caption]++ == 0)
                    captions.append(request.caption);
            QStringList lines;
            for (const QString& caption : captions)
                lines.append(QStringLiteral("%1: %2 件").arg(caption).arg(counts.value(caption)));
            m_sink->notifyDayList(newRequestsTitle(requests.size()), lines.join(u'\n'));
        } else {
            for (const Announcement& request : requests)
                m_sink->notify(newRequestTitle(request.caption), request.id, request.url);
        }
    }
    if (m_boxes)
        for (const Announcement& request : requests)
            m_messages.show(newRequestMessage(request.caption));
    return saveFailure;
}

} // namespace velkoria
