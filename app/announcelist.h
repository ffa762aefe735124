#pragma once

#include "monitor/announcements.h"

#include <QWidget>
#include <functional>

class QTreeWidget;

namespace velkoria {

// The window of the day's announcements: time, caption, request ID and title,
// newest first. A double click or Enter on a row opens that request's page.
class AnnouncementListWindow : public QWidget {
    Q_OBJECT
public:
    explicit AnnouncementListWindow(std::function<void(const QString& url)> open);

    // Shows these announcements (newest first) in place of the rows before;
    // now tells which of them are today's.
    void showAnnouncements(const QList<Announcement>& announcements, const QDateTime& now);
    // Shows the window, or brings it to the front.
    void present();

private:
    QTreeWidget* m_list;
    std::function<void(const QString& url)> m_open;
};

} // namespace velkoria
