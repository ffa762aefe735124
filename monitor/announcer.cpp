#include "monitor/announcer.h"

#include "platform/errors.h"

namespace velkoria {

Announcer::Announcer(MessageSink& messages, AnnouncementLog& log, const Clock& clock, bool boxes,
                     AnnouncementSink* sink)
    : m_messages(messages), m_log(log), m_clock(clock), m_boxes(boxes), m_sink(sink) {}

void Announcer::announce(const QString& caption, const QString& id, const QString& url) {
    QString saveFailure;
    try {
        m_log.add({m_clock.now(), caption, id, url});
        m_saveFailureShown = false;
    } catch (const RuntimeError& error) {
        // Said once, not at every request: the list goes on in the window.
        if (!m_saveFailureShown)
            saveFailure = error.description();
        m_saveFailureShown = true;
    }
    if (m_sink) {
        m_sink->listChanged();
        m_sink->callUser();
        m_sink->notify(newRequestTitle(caption), id, url);
    }
    if (m_boxes)
        m_messages.show(newRequestMessage(caption));
    if (!saveFailure.isEmpty())
        m_messages.show(saveFailure);
}

} // namespace velkoria
