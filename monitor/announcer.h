#pragma once

#include "monitor/announcements.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/notifier.h"

#include <QString>
#include <functional>

namespace velkoria {

// The title of a request's notification.
inline QString newRequestTitle(const QString& caption) {
    return QStringLiteral("新規案件: ") + caption;
}

// Announces one unseen request of a scan run, in this order: an entry in the
// list of announcements (and its file), the program's taskbar button flashing
// until the user comes, a notification (title "新規案件: " and the caption,
// text the ID) whose click opens the request's page, and, unless the boxes are
// turned off, the box "新規案件:" and the caption, which the run waits for.
// Without boxes nothing waits for the user, so monitoring goes on while the
// user is away.
class Announcer {
public:
    // What the desktop and the window offer; an empty member is left out.
    struct Desktop {
        Notifier* notifier = nullptr;
        std::function<void()> callUser;               // flashes the taskbar button
        std::function<void(const QString& url)> open; // opens a request's page, as a quick button does
        std::function<void()> listChanged;            // the list has a new entry
    };

    Announcer(MessageSink& messages, AnnouncementLog& log, const Clock& clock, bool boxes, Desktop desktop);

    void announce(const QString& caption, const QString& id, const QString& url);

private:
    MessageSink& m_messages;
    AnnouncementLog& m_log;
    const Clock& m_clock;
    bool m_boxes;
    Desktop m_desktop;
    // A failed write of the list's file has been said, and none has worked since.
    bool m_saveFailureShown = false;
};

} // namespace velkoria
