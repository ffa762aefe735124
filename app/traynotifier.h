#pragma once

#include "platform/notifier.h"

#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace velkoria {

// Notifications as the tray icon's message, which Windows 10 and 11 show as a
// toast (older versions as a balloon by the icon). The tray tells only that
// "the message" was clicked, not which one: where it cannot be told, a click
// runs showAll instead of guessing.
std::unique_ptr<Notifier> createTrayNotifier(QSystemTrayIcon& tray, std::function<void()> showAll);

// The desktop's notifications: the tray icon's message on Windows (which then
// needs the tray icon shown), the session bus's notification service elsewhere.
std::unique_ptr<Notifier> createDesktopNotifier(QSystemTrayIcon& tray, std::function<void()> showAll);

} // namespace velkoria
