#pragma once

#include "monitor/announcements.h"
#include "platform/clock.h"
#include "platform/messages.h"

#include <QString>
#include <functional>

namespace velkoria {

// The announcement of one unseen request in a box: the quick button's caption, not the ID.
inline QString newRequestMessage(const QString& caption) {
    return QStringLiteral("新規案件:") + caption;
}

// The title of a request's notification.
inline QString newRequestTitle(const QString& caption) {
    return QStringLiteral("新規案件: ") + caption;
}

// Where an unseen request is announced besides its box: on the desktop and in
// the program's windows (app/announcewiring.h); tests record the calls.
class AnnouncementSink {
public:
    virtual ~AnnouncementSink() = default;
    // The list of announcements has a new entry (its file is written).
    virtual void listChanged() = 0;
    // Calls the user: the program's taskbar button flashes until the user comes.
    virtual void callUser() = 0;
    // A notification; a click on it opens the request's page at url.
    virtual void notify(const QString& title, const QString& text, const QString& url) = 0;
};

// Announces one unseen request of a scan run, in this order: an entry in the
// list of announcements (and its file), the program's taskbar button flashing
// until the user comes, a notification (title "新規案件: " and the caption,
// text the ID) whose click opens the request's page, and, unless the boxes are
// turned off, the box "新規案件:" and the caption, which the run waits for.
// Without boxes nothing waits for the user, so monitoring goes on while the
// user is away.
class Announcer {
public:
    // sink may be null: the list and the boxes only.
    Announcer(MessageSink& messages, AnnouncementLog& log, const Clock& clock, bool boxes, AnnouncementSink* sink);

    void announce(const QString& caption, const QString& id, const QString& url);

private:
    MessageSink& m_messages;
    AnnouncementLog& m_log;
    const Clock& m_clock;
    bool m_boxes;
    AnnouncementSink* m_sink;
    // A failed write of the list's file has been said, and none has worked since.
    bool m_saveFailureShown = false;
};

} // namespace velkoria
