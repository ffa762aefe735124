#include "app/useractions.h"

#include "app/handler.h"

#include <iterator>
#include <utility>

namespace velkoria {

namespace {

struct Row {
    UserAction action;
    WhenBusy whenBusy;
};

// The user's actions, in the order of UserAction. Nothing the user asks for is
// dropped: a click, a key, a typed cycle or a notification that comes while a
// page loads or a box is up is done when that work has ended, as the system's
// input queue would hand it over late but whole.
constexpr Row kActions[] = {
    // Ending is never held back by a queue.
    {UserAction::Exit, WhenBusy::AfterTheBox},
    {UserAction::CloseBox, WhenBusy::AfterTheBox},
    // Neither uses the browser nor waits. The account is saved at once so that
    // leaving a box on the way to Exit saves it before the end.
    {UserAction::Blink, WhenBusy::AtOnce},
    {UserAction::SaveAccount, WhenBusy::AtOnce},
    // Showing one of the program's own windows. The settings of the mail and
    // the webhook open at once, during a scan too: a user who has just heard
    // that the mail does not get through mends it without waiting for the
    // pages, and the dialog touches nothing that the run uses (a save applies
    // to the next hand-over; its test sends beside the window).
    {UserAction::ShowWindow, WhenBusy::AtOnce},
    {UserAction::ShowDayList, WhenBusy::AtOnce},
    {UserAction::NotifySettings, WhenBusy::AtOnce},
    // Work with the browser, the quick-button table or the schedule.
    {UserAction::QuickButton, WhenBusy::AfterRunning},
    {UserAction::MyBusiness, WhenBusy::AfterRunning},
    {UserAction::Help, WhenBusy::AfterRunning},
    {UserAction::Edit, WhenBusy::AfterRunning},
    {UserAction::EditorClear, WhenBusy::AfterRunning},
    {UserAction::EditorSave, WhenBusy::AfterRunning},
    {UserAction::EditorCancel, WhenBusy::AfterRunning},
    {UserAction::EditorClose, WhenBusy::AfterRunning},
    {UserAction::ScanNow, WhenBusy::AfterRunning},
    {UserAction::ScheduleTick, WhenBusy::DroppedWhileScanning},
    {UserAction::OpenRequest, WhenBusy::AfterRunning},
    // A box of its own: never inside a scan's page wait, which it would hold up.
    {UserAction::RemoteReport, WhenBusy::AfterRunning},
    {UserAction::SortOption, WhenBusy::AfterRunning},
    {UserAction::CycleChange, WhenBusy::AfterRunning},
    {UserAction::CycleLostFocus, WhenBusy::AfterRunning},
    {UserAction::BrowserStartFailure, WhenBusy::AfterRunning},
};

constexpr bool everyActionInItsPlace() {
    for (size_t i = 0; i < std::size(kActions); ++i)
        if (kActions[i].action != UserAction(i))
            return false;
    return std::size(kActions) == size_t(UserAction::BrowserStartFailure) + 1;
}
static_assert(everyActionInItsPlace(), "one row per UserAction, in its order");

} // namespace

WhenBusy whenBusy(UserAction action) {
    return kActions[size_t(action)].whenBusy;
}

UserActions::UserActions(MessageSink& messages, ProgramEnd& end, std::function<void(bool)> waiting)
    : m_boxes(*this, messages), m_end(end), m_waiting(std::move(waiting)) {}

UserActions::~UserActions() {
    giveUpQueue();
}

void UserActions::request(UserAction action, const QString& control, std::function<void()> handler,
                          std::function<void(bool)> pressed) {
    // Nothing runs or waits behind the box that ends the program.
    if (m_end.ending())
        return;
    switch (whenBusy(action)) {
    case WhenBusy::AfterTheBox:
        if (m_boxes.open > 0) {
            m_endAfterBox = Queued{action, control, std::move(handler), {}};
            return;
        }
        run(action, handler);
        return;
    case WhenBusy::AtOnce:
        run(action, handler);
        return;
    case WhenBusy::DroppedWhileScanning:
        if (scanning())
            return;
        [[fallthrough]];
    case WhenBusy::AfterRunning:
        if (busy() || !m_queue.empty()) {
            enqueue(Queued{action, control, std::move(handler), std::move(pressed)});
            return;
        }
        run(action, handler);
        return;
    }
}

bool UserActions::scanning() const {
    for (UserAction a : m_running)
        if (a == UserAction::ScanNow || a == UserAction::ScheduleTick)
            return true;
    return false;
}

void UserActions::enqueue(Queued item) {
    if (item.pressed)
        item.pressed(true);
    for (Queued& waiting : m_queue) {
        if (waiting.action == item.action && waiting.control == item.control) {
            // Asked for again: once, in its first place, with what was given last.
            waiting.handler = std::move(item.handler);
            if (item.pressed)
                waiting.pressed = std::move(item.pressed);
            return;
        }
    }
    m_queue.push_back(std::move(item));
    if (m_queue.size() == 1 && m_waiting)
        m_waiting(true);
}

void UserActions::run(UserAction action, const std::function<void()>& handler) {
    m_running.push_back(action);
    try {
        runHandler(m_boxes, m_end, handler);
    } catch (...) {
        // Only the end of the program leaves runHandler (a test's fake end
        // throws): what waited goes with it.
        m_running.pop_back();
        giveUpQueue();
        throw;
    }
    m_running.pop_back();
    if (m_running.empty())
        runQueue();
}

void UserActions::runQueue() {
    // The queue runs from the outermost work's end only, one action after the
    // other; what is asked for meanwhile joins its end.
    if (m_runningQueue)
        return;
    m_runningQueue = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_runningQueue};
    while (!m_queue.empty() && !m_end.ending()) {
        Queued next = std::move(m_queue.front());
        m_queue.pop_front();
        if (m_queue.empty() && m_waiting)
            m_waiting(false);
        if (next.pressed)
            next.pressed(false);
        run(next.action, next.handler);
    }
}

void UserActions::giveUpQueue() {
    m_endAfterBox.reset();
    if (m_queue.empty())
        return;
    for (Queued& q : std::exchange(m_queue, {}))
        if (q.pressed)
            q.pressed(false);
    if (m_waiting)
        m_waiting(false);
}

void UserActions::boxClosed() {
    if (!m_endAfterBox || m_end.ending())
        return;
    const Queued end = *std::exchange(m_endAfterBox, std::nullopt);
    run(end.action, end.handler);
}

void UserActions::CountedBoxes::show(const QString& text) {
    ++open;
    try {
        m_inner.show(text);
    } catch (...) {
        --open;
        throw;
    }
    if (--open == 0)
        m_owner.boxClosed();
}

} // namespace velkoria
