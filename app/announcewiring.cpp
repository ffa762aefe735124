#include "app/announcewiring.h"

#include "platform/errors.h"
#include "platform/textfile.h"
#include "ui/messagebox.h"
#include "ui/windowslook.h"

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

namespace velkoria {

AnnounceWiring::AnnounceWiring(QWidget& window, MessageSink& messages, ProgramEnd& end, const Clock& clock, bool boxes,
                               const NotifierFactory& createNotifier, Actions actions)
    : m_window(window), m_clock(clock), m_started(clock.now()), m_actions(std::move(actions)),
      m_log(programFile(announcementsFileName())), m_menu(std::make_unique<QMenu>()),
      m_tray(new QSystemTrayIcon(window.windowIcon(), &window)) {
    try {
        m_log.load();
    } catch (const RuntimeError& error) {
        messages.show(error.description() + u'\n' +
                      QStringLiteral("新規案件の一覧は、このファイルが読めるようになるまで保存しません。"));
    }

    m_menu->setFont(designFont());
    m_menu->addAction(QStringLiteral("メインウィンドウを表示"), [this] { askShowWindow(); });
    m_menu->addAction(QStringLiteral("今すぐ検査"), [this] { m_actions.scanNow(); });
    m_menu->addAction(QStringLiteral("本日の新規案件"), [this] { askDayList(); });
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("終了"), [this] { m_actions.exit(); });
    m_tray->setObjectName(QStringLiteral("tray"));
    m_tray->setToolTip(programTitle());
    m_tray->setContextMenu(m_menu.get());
    QObject::connect(m_tray, &QSystemTrayIcon::activated, m_tray, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
            askShowWindow();
    });
    m_tray->show();
    // Not left behind in the notification area when the program ends.
    end.onExit([tray = QPointer<QSystemTrayIcon>(m_tray)] {
        if (tray)
            tray->hide();
    });

    if (createNotifier)
        m_notifier = createNotifier(*m_tray, [this] { askDayList(); });
    AnnouncementSink* desktop = this;
    m_announcer = std::make_unique<Announcer>(messages, m_log, clock, boxes, desktop);
}

AnnounceWiring::~AnnounceWiring() = default;

void AnnounceWiring::showList() {
    if (!m_list)
        m_list = std::make_unique<AnnouncementListWindow>(m_actions.open);
    refreshList();
    m_list->present();
}

void AnnounceWiring::listChanged() {
    refreshList();
}

void AnnounceWiring::callUser() {
    QApplication::alert(&m_window, 0);
}

void AnnounceWiring::notify(const QString& title, const QString& text, const QString& url) {
    if (m_notifier)
        m_notifier->notify(title, text, [open = m_actions.open, url] { open(url); });
}

void AnnounceWiring::notifyDayList(const QString& title, const QString& text) {
    if (m_notifier)
        m_notifier->notify(title, text, [this] { askDayList(); });
}

void AnnounceWiring::show(const QString& text) {
    if (m_notifier)
        m_notifier->notify(programTitle(), text, [this] { askShowWindow(); });
}

void AnnounceWiring::askShowWindow() {
    m_actions.ask(UserAction::ShowWindow, [this] { bringToFront(m_window); });
}

void AnnounceWiring::askDayList() {
    m_actions.ask(UserAction::ShowDayList, [this] { showList(); });
}

void AnnounceWiring::refreshList() {
    if (!m_list)
        return;
    const QDateTime now = m_clock.now();
    m_list->showAnnouncements(m_log.since(dayListStart(m_started, now)), now);
}

} // namespace velkoria
