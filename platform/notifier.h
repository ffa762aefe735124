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
// tray to be shown. Where the desktop cannot tell which of several
// notifications was clicked (the tray's message), a click runs showAll
// instead of guessing.
std::unique_ptr<Notifier> createDesktopNotifier(QSystemTrayIcon& tray, std::function<void()> showAll);

} // namespace velkoria
