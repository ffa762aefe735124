#include "monitor/announcer.h"

#include "monitor/scanrun.h"
#include "platform/errors.h"

namespace velkoria {

Announcer::Announcer(MessageSink& messages, AnnouncementLog& log, const Clock& clock, bool boxes, Desktop desktop)
    : m_messages(messages), m_log(log), m_clock(clock), m_boxes(boxes), m_desktop(std::move(desktop)) {}

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
    if (m_desktop.listChanged)
        m_desktop.listChanged();
    if (m_desktop.callUser)
        m_desktop.callUser();
    if (m_desktop.notifier)
        m_desktop.notifier->notify(newRequestTitle(caption), id, [open = m_desktop.open, url] {
            if (open)
                open(url);
        });
    if (m_boxes)
        m_messages.show(newRequestMessage(caption));
    if (!saveFailure.isEmpty())
        m_messages.show(saveFailure);
}

} // namespace velkoria
