#include "app/traynotifier.h"

#include <QObject>
#include <QSystemTrayIcon>

namespace velkoria {

namespace {

class TrayNotifier : public QObject, public Notifier {
public:
    TrayNotifier(QSystemTrayIcon& tray, std::function<void()> showAll) : m_tray(tray), m_showAll(std::move(showAll)) {
        // The tray tells only that "the message" was clicked, not which one:
        // with one shown since the last click it is that one; with more (one
        // still on screen, another in the notification centre) it could be
        // any of them, so the click shows them all rather than open the
        // wrong request.
        connect(&tray, &QSystemTrayIcon::messageClicked, this, [this] {
            const bool one = m_shown == 1;
            m_shown = 0;
            if (one && m_clicked)
                m_clicked();
            else if (m_showAll)
                m_showAll();
        });
    }

    void notify(const QString& title, const QString& text, std::function<void()> clicked) override {
        m_clicked = std::move(clicked);
        ++m_shown;
        m_tray.showMessage(title, text, QSystemTrayIcon::Information);
    }

private:
    QSystemTrayIcon& m_tray;
    std::function<void()> m_showAll;
    std::function<void()> m_clicked;
    int m_shown = 0; // messages shown since the last click
};

} // namespace

std::unique_ptr<Notifier> createTrayNotifier(QSystemTrayIcon& tray, std::function<void()> showAll) {
    return std::make_unique<TrayNotifier>(tray, std::move(showAll));
}

std::unique_ptr<Notifier> createDesktopNotifier(QSystemTrayIcon& tray, std::function<void()> showAll) {
#if defined(Q_OS_WIN)
    return createTrayNotifier(tray, std::move(showAll));
#else
    return createSessionBusNotifier();
#endif
}

} // namespace velkoria
