#pragma once

#include "platform/messages.h"

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace velkoria {

// The caption of every window and message box of the program.
inline QString programTitle() {
    return QStringLiteral("Velkoria");
}

// The icon of every window of the program and of its tray icon: each size
// drawn for itself (16 to 256 pixels), so that it is sharp at any scaling.
// Empty where the program's resources are not linked in (unit tests).
QIcon programIcon();

// The window system's modal message box.
class QtMessageSink : public MessageSink {
public:
    void show(const QString& text) override;
    // The window a box opens above while that window is on screen (not
    // minimised): a box never hides behind the program's own windows.
    void setOwner(QWidget* owner) { m_owner = owner; }

private:
    QPointer<QWidget> m_owner;
};

} // namespace velkoria
