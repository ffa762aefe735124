// Notifications on Windows: the tray icon's message, which Windows 10 and 11
// show as a toast (older versions as a balloon by the icon).
#include "platform/notifier.h"

#include <QObject>
#include <QSystemTrayIcon>

namespace velkoria {

namespace {

class TrayNotifier : public QObject, public Notifier {
public:
    explicit TrayNotifier(QSystemTrayIcon& tray) : m_tray(tray) {
        // The tray tells only that "the message" was clicked: a new message
        // takes the place of the one before, so the click is the latest one's.
        connect(&tray, &QSystemTrayIcon::messageClicked, this, [this] {
            if (m_clicked)
                m_clicked();
        });
    }

    void notify(const QString& title, const QString& text, std::function<void()> clicked) override {
        m_clicked = std::move(clicked);
        m_tray.showMessage(title, text, QSystemTrayIcon::Information);
    }

private:
    QSystemTrayIcon& m_tray;
    std::function<void()> m_clicked;
};

} // namespace

std::unique_ptr<Notifier> createDesktopNotifier(QSystemTrayIcon& tray) {
    return std::make_unique<TrayNotifier>(tray);
}

} // namespace velkoria
