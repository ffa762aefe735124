#pragma once

#include "app/programend.h"
#include "platform/messages.h"

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace velkoria {

// Everything that makes the program work besides start-up: what the user does
// in its windows, the tray and the notifications, and the program's own ticks.
enum class UserAction {
    Exit,                // Command2 (終了), the tray's 終了
    CloseBox,            // closing the main window
    Blink,               // Timer2
    SaveAccount,         // leaving Text1(0) or Text1(1)
    ShowWindow,          // the tray icon clicked, the tray's メインウィンドウを表示
    ShowDayList,         // the tray's 本日の新規案件; a notification that stands for several
    NotifySettings,      // the menu item 通知の設定… (wnotify)
    QuickButton,         // Command1(1) to Command1(7)
    MyBusiness,          // my_bussines
    Help,                // the menu item whelp
    Edit,                // edit_button
    EditorClear,         // the editor's クリア, Command3(0) to Command3(6)
    EditorSave,          // the editor's 保存
    EditorCancel,        // the editor's キャンセル
    EditorClose,         // the editor's close box
    ScanNow,             // a click on Label3, the tray's 今すぐ検査
    ScheduleTick,        // Timer1
    OpenRequest,         // a notification clicked, a row of the day's list opened
    RemoteReport,        // the mail or the webhook does not get through, or does again
    SortOption,          // Option1(0) to Option1(2)
    CycleChange,         // Text2 changed
    CycleLostFocus,      // Text2 left
    BrowserStartFailure, // the browser failed its start after the window was shown
};

// What becomes of an action that comes while other work runs: a handler that
// waits for the browser or for a message box (their event loops deliver every
// event, see platform/wait.cpp).
enum class WhenBusy {
    // Runs inside the running work: it needs no browser and waits for nothing.
    AtOnce,
    // Ends the program at once; while a message box is up, as soon as the box
    // is closed, as a Windows program does.
    AfterTheBox,
    // Waits until the running work has ended, then runs in the order given.
    AfterRunning,
    // As AfterRunning, but dropped while a scan runs: the schedule's next tick
    // comes anyway.
    DroppedWhileScanning,
};

// The table of the user's actions (useractions.cpp).
WhenBusy whenBusy(UserAction action);

// Runs the user's actions as the table says, each through the error boundary
// of runHandler (app/handler.h). What waits is held in one queue: the
// same action of the same control (Command1(3), the request of one URL) asked
// for again while it waits counts once, in its first place, and runs the
// handler given last. The queue runs as soon as the outermost work has ended;
// when the program ends, what waits goes with it.
class UserActions {
public:
    // waiting(true) when something has been queued, waiting(false) when the
    // queue is empty again: the busy cursor over the program's windows.
    UserActions(MessageSink& messages, ProgramEnd& end, std::function<void(bool)> waiting = {});
    ~UserActions();

    // Runs handler now or later. control tells the controls of one action
    // apart (an index, a URL). pressed(true) is called when the action is
    // queued, pressed(false) as it starts or is given up: a button that shows
    // it has been heard.
    void request(UserAction action, const QString& control, std::function<void()> handler,
                 std::function<void(bool)> pressed = {});

    // The program's message boxes, counted: an action that ends the program
    // waits for an open one. Every box of the program goes through here.
    MessageSink& messages() { return m_boxes; }

    // Work is running (a handler is on the stack).
    bool busy() const { return !m_running.empty(); }
    // Actions waiting for the running work.
    qsizetype queued() const { return qsizetype(m_queue.size()); }

private:
    struct Queued {
        UserAction action;
        QString control;
        std::function<void()> handler;
        std::function<void(bool)> pressed;
    };
    class CountedBoxes : public MessageSink {
    public:
        CountedBoxes(UserActions& owner, MessageSink& inner) : m_owner(owner), m_inner(inner) {}
        void show(const QString& text) override;
        int open = 0;

    private:
        UserActions& m_owner;
        MessageSink& m_inner;
    };

    bool scanning() const;
    void enqueue(Queued item);
    // Runs one handler in the error boundary; the outermost one then runs the queue.
    void run(UserAction action, const std::function<void()>& handler);
    void runQueue();
    void giveUpQueue();
    void boxClosed();

    CountedBoxes m_boxes;
    ProgramEnd& m_end;
    std::function<void(bool)> m_waiting;
    std::vector<UserAction> m_running;
    std::deque<Queued> m_queue;
    bool m_runningQueue = false;
    // An end of the program asked for while a box was up.
    std::optional<Queued> m_endAfterBox;
};

} // namespace velkoria
