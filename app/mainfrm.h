#pragma once

#include "app/announcewiring.h"
#include "app/monitorwiring.h"
#include "app/notifyfrm.h"
#include "app/programend.h"
#include "app/settings.h"
#include "app/useractions.h"
#include "browser/marketplace.h"
#include "buttons/editbuttonfrm.h"
#include "buttons/quickbuttonview.h"
#include "buttons/tables.h"
#include "monitor/remotenotices.h"
#include "monitor/scanrun.h"
#include "monitor/schedule.h"
#include "platform/cdp/browser.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "ui/twips.h"

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class QAbstractButton;
class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace velkoria {

class HeldButtons;

// What the main window needs from outside: message boxes, the end of the
// process, the desktop shell, the clock, the browser (takeBrowser hands it
// over at start-up's browser step: the program launches it earlier, or throws
// its launch failure) and a way to reach the desktop's notifications (none: no
// notifications).
struct MainServices {
    MessageSink& messages;
    ProgramEnd& end;
    Shell& shell;
    const Clock& clock;
    std::function<std::unique_ptr<Browser>()> takeBrowser;
    AnnounceWiring::NotifierFactory createNotifier = {};
};

// `mainfrm`: the main window. Its handlers read the controls and call the
// plain logic of the other folders. Every event of its own, of the editor and
// of the announcements reaches its handler through the table of the user's
// actions (UserActions).
class MainFrm : public QMainWindow, public QuickButtonView {
    Q_OBJECT
public:
    explicit MainFrm(MainServices services, QWidget* parent = nullptr);
    ~MainFrm() override;

    // The start-up sequence (the window's Load). A failure throws RuntimeError;
    // the window must then not be shown. The real-time inspection controls are
    // wired once the browser exists. Nothing here waits for the browser.
    void formLoad();

    void showQuickButton(int n, const QString& caption, bool visible) override;

    // Event handlers, public so that tests can call them as the events would.
    void Command1_Click(int index);
    void my_bussines_Click();
    void Command2_Click();
    void edit_button_Click();
    void whelp_Click();
    // The menu item 通知の設定…: the dialog notifyfrm, modeless, one at a time.
    void wnotify_Click();
    void Text1_LostFocus();

    const CategoryTable& category() const { return m_category; }
    EditButtonForm* editor() { return m_editor.data(); }
    // The inspection group as the scan run shows its state; null before start-up.
    MonitorWiring* monitor() { return m_monitor.get(); }
    // The schedule and the announcements; null before start-up.
    const ScanSchedule* schedule() const { return m_schedule.get(); }
    AnnounceWiring* announcements() { return m_announce.get(); }
    // The announcements away from the PC; null before start-up.
    RemoteNotices* remoteNotices() { return m_remote.get(); }
    NotifyFrm* notifyfrm() { return m_notifyfrm.data(); }
    // The sort order that the searches and scans use: the selected option, as
    // soon as its selection has been handled.
    QString currentSortType() const;
    // The program's message boxes, as every handler shows them.
    MessageSink& messages() { return m_actions.messages(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    // The design's size at the top-left of the screen's available area, or as
    // much of it as the area holds, the client area scrolling (app/windowfit.h);
    // move false keeps the window where it is.
    void placeOnScreen(bool move);
    // Fits its size again once it is framed, looking every 50 ms for at most
    // looksLeft times.
    void placeWhenFramed(int looksLeft);
    void wireInspection();
    // The announcements away from the PC: the settings read, each run's hand-over
    // and the reports of a channel that does not get through.
    void wireRemoteNotices();
    void applyNotifySettings(const NotifySettings& settings, const NotifySecrets& secrets);
    // A report of the mail or the webhook, said as the scan run's messages are.
    void sayRemoteReport(const QString& text);
    // The selected sort option is the group's one tab stop.
    void keepTabStopOnSelectedOption();
    // Asks for an action of the user (UserActions::request); a button pressed
    // for it stays down while the action waits.
    void ask(UserAction action, const QString& control, QAbstractButton* button, std::function<void()> handler);
    // Hands the editor's actions to the table.
    void dispatchEditor(EditorAction action, int row, QAbstractButton* button, std::function<void()> handler);

    MainServices m_services;
    UserActions m_actions;
    HeldButtons* m_held = nullptr;
    ButtonInfo m_buttoninfo;
    CategoryTable m_category;
    Settings m_settings;
    std::unique_ptr<Browser> m_browser;
    std::unique_ptr<Marketplace> m_marketplace;
    std::unique_ptr<MonitorWiring> m_monitor;
    std::unique_ptr<ScanRun> m_scanRun;
    std::unique_ptr<ScanSchedule> m_schedule;
    std::unique_ptr<AnnounceWiring> m_announce;
    QPointer<EditButtonForm> m_editor;
    std::unique_ptr<RemoteNotices> m_remote;
    QPointer<NotifyFrm> m_notifyfrm;

    QPushButton* m_myBussines = nullptr;
    std::array<QLineEdit*, 2> m_text1{};
    QPushButton* m_command2 = nullptr;
    std::array<QPushButton*, 8> m_command1{}; // 1 to 7
    std::array<QRadioButton*, 3> m_option1{};
    int m_sortOption = 0; // the option whose selection was handled last
    QPushButton* m_editButton = nullptr;
    QLabel* m_label2 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QLabel* m_label3 = nullptr;
    QTimer* m_timer1 = nullptr;
    QTimer* m_timer2 = nullptr;
    QAction* m_whelp = nullptr;
    QAction* m_wnotify = nullptr;
    QMargins m_placedFrame; // the frame the window was placed with
};

} // namespace velkoria
