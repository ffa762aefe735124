#pragma once

#include <QString>
#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace velkoria {

// The desktop's notifications: a small message in the notification area that
// stays visible beside other programs' windows and can be clicked.
class Notifier {
public:
    virtual ~Notifier() = default;
    // Shows a notification and returns at once; nothing waits for the
    // desktop. clicked runs (on the user-interface thread) when the user
    // clicks it, for as long as the desktop offers it. A desktop without a
    // notification service shows nothing.
    virtual void notify(const QString& title, const QString& text, std::function<void()> clicked) = 0;
};

// The platform's notifications: the freedesktop notification service on the
// session bus (Linux), or the tray icon's message (Windows), which then needs
// tray to be shown.
std::unique_ptr<Notifier> createDesktopNotifier(QSystemTrayIcon& tray);

} // namespace velkoria
