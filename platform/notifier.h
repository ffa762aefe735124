#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

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

#if !defined(Q_OS_WIN)
// The desktop's notification service on the session bus
// (org.freedesktop.Notifications: GNOME, KDE, Xfce, dunst and others).
std::unique_ptr<Notifier> createSessionBusNotifier();
#endif

} // namespace velkoria
