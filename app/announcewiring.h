#pragma once

#include "app/announcelist.h"
#include "app/programend.h"
#include "app/useractions.h"
#include "monitor/announcements.h"
#include "monitor/announcer.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/notifier.h"

#include <QDateTime>
#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace velkoria {

// What the main window gives the announcements: its tray icon with a menu
// (show the window, scan now, the day's announcements, exit), the desktop's
// notifications, the taskbar flash, and the list of announcements with its
// window and file: where the scan run's announcer announces besides the boxes.
// Each user action goes through the window's handlers.
class AnnounceWiring : private AnnouncementSink, private MessageSink {
public:
    // createDesktopNotifier's signature.
    using NotifierFactory = std::function<std::unique_ptr<Notifier>(QSystemTrayIcon&, std::function<void()>)>;
    struct Actions {
        std::function<void()> scanNow;                // as a click on Label3
        std::function<void()> exit;                   // as a click on Exit
        std::function<void(const QString& url)> open; // a request's page in the browser
        // Runs the wiring's own actions (showing a window) through the table
        // of the user's actions.
        std::function<void(UserAction action, std::function<void()> handler)> ask;
    };

    // Reads announcements.txt; one that cannot be read is said in a box. An
    // empty createNotifier shows no notifications.
    AnnounceWiring(QWidget& window, MessageSink& messages, ProgramEnd& end, const Clock& clock, bool boxes,
                   const NotifierFactory& createNotifier, Actions actions);
    ~AnnounceWiring() override;

    Announcer& announcer() { return *m_announcer; }
    // The scan run's messages when the boxes are off: a notification each,
    // titled as the program, whose click brings the main window to the front.
    MessageSink& notices() { return *this; }
    // The window of the day's announcements, shown or brought to the front.
    void showList();

private:
    // AnnouncementSink
    void listChanged() override;
    void callUser() override;
    void notify(const QString& title, const QString& text, const QString& url) override;
    void notifyDayList(const QString& title, const QString& text) override;
    // MessageSink: a notice.
    void show(const QString& text) override;

    void refreshList();
    // Through the table of the user's actions.
    void askShowWindow();
    void askDayList();

    QWidget& m_window;
    const Clock& m_clock;
    QDateTime m_started;
    Actions m_actions;
    AnnouncementLog m_log;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray;
    std::unique_ptr<Notifier> m_notifier;
    std::unique_ptr<Announcer> m_announcer;
    std::unique_ptr<AnnouncementListWindow> m_list;
};

} // namespace velkoria
