#include "app/programend.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace velkoria {

void ProgramEnd::beginEnding(int exitCode) {
    if (m_ending)
        return;
    m_ending = true;
    m_exitCode = exitCode;
    for (const auto& hook : m_hooks)
        hook();
}

void ProgramEnd::onEnding(std::function<void()> hook) {
    m_hooks.push_back(std::move(hook));
}

void ProgramEnd::onExit(std::function<void()> hook) {
    m_exitHooks.push_back(std::move(hook));
}

void ProgramEnd::runExitHooks() {
    for (const auto& hook : std::exchange(m_exitHooks, {}))
        hook();
}

void ProcessEnd::endNow(int exitCode) {
    // The program is gone for the user at once, its tray icon too (it would
    // stay in the notification area, dead, while the browser ends); what the
    // hooks finish (the browser's own ending, a few seconds at most) happens
    // out of sight.
    QList<QSystemTrayIcon*> trays;
    for (const QWidget* window : QApplication::topLevelWidgets())
        trays += window->findChildren<QSystemTrayIcon*>();
    // Hiding a tray icon may delete a window of its own (X11's): the windows
    // are listed again afterwards.
    for (QSystemTrayIcon* tray : trays)
        tray->hide();
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    runExitHooks();
    // Every file is written whole and closed before a handler returns, so there is
    // nothing to flush but the standard streams.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace velkoria
