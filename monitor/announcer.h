#pragma once

#include "monitor/announcements.h"
#include "monitor/titlefilter.h"
#include "platform/clock.h"
#include "platform/messages.h"

#include <QList>
#include <QString>

namespace velkoria {

// The announcement of one unseen request in a box: the quick button's caption, not the ID.
inline QString newRequestMessage(const QString& caption) {
    return QStringLiteral("新規案件:") + caption;
}

// The title of a request's notification.
inline QString newRequestTitle(const QString& caption) {
    return QStringLiteral("新規案件: ") + caption;
}

// The text of a request's notification: its ID, and its title on a line of its own.
inline QString newRequestText(const QString& id, const QString& title) {
    return title.isEmpty() ? id : id + u'\n' + title;
}

// The title of the one notification of a run that announces many requests.
inline QString newRequestsTitle(qsizetype count) {
    return QStringLiteral("新規案件 %1 件").arg(count);
}

// Where unseen requests are announced besides their boxes: on the desktop and
// in the program's windows (app/announcewiring.h); tests record the calls.
class AnnouncementSink {
public:
    virtual ~AnnouncementSink() = default;
    // The list of announcements has new entries (its file is written).
    virtual void listChanged() = 0;
    // Calls the user: the program's taskbar button flashes until the user comes.
    virtual void callUser() = 0;
    // A notification; a click on it opens the request's page at url.
    virtual void notify(const QString& title, const QString& text, const QString& url) = 0;
    // A notification whose click opens the day's list of announcements.
    virtual void notifyDayList(const QString& title, const QString& text) = 0;
};

// Announces the unseen requests of a scan run, in this order: their entries in
// the list of announcements (its file written once), the program's taskbar
// button flashing until the user comes, the notifications, and, unless the
// boxes are turned off, the box "新規案件:" and the caption for each request,
// which the run waits for. Up to kOwnNotifications requests get a notification
// each (title "新規案件: " and the caption, text the ID and the title) whose
// click opens the request's page; more get one notification, "新規案件 N 件",
// with the count per caption and as many titles as kNotificationText leaves
// room for, whose click opens the day's list: a first run after installing may
// find a thousand, and a desktop flooded with as many notifications loses them
// (and other programs' too). Without boxes nothing waits for the user, so
// monitoring goes on while the user is away.
//
// The filter words decide which requests get notifications and call the user
// (the flash when no box does); the list and the boxes have every request.
class Announcer {
public:
    static constexpr qsizetype kOwnNotifications = 3;
    // The longest text of the one notification for many: Windows shows 255
    // characters of a notification's text at most.
    static constexpr qsizetype kNotificationText = 250;

    // sink may be null: the list and the boxes only. messages shows the boxes.
    Announcer(MessageSink& messages, AnnouncementLog& log, const Clock& clock, bool boxes, AnnouncementSink* sink);

    // The run's unseen requests in the order found: caption, ID and page of
    // each (their time is the announcer's). Nothing happens for none. Returns
    // what the run has to say after the boxes: a failed write of the list's
    // file (the first of a series), else nothing.
    [[nodiscard]] QString announce(QList<Announcement> requests);
    // The filter words of the notifications (none at first: every request).
    void setFilter(TitleFilter filter) { m_filter = std::move(filter); }

private:
    MessageSink& m_messages;
    AnnouncementLog& m_log;
    const Clock& m_clock;
    bool m_boxes;
    AnnouncementSink* m_sink;
    TitleFilter m_filter;
    // A failed write of the list's file has been said, and none has worked since.
    bool m_saveFailureShown = false;
};

} // namespace velkoria
