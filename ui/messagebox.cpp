#include "ui/messagebox.h"

#include "ui/windowslook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace velkoria {

namespace {
// Room that a title bar takes besides its caption: the window icon and the
// minimise, maximise and close buttons, with their margins.
constexpr int kTitleBarRoom = 160;
} // namespace

void QtMessageSink::show(const QString& text) {
    // End-to-end tests read what the boxes said from this file; a user never sets it.
    static const QString logPath = qEnvironmentVariable("VELKORIA_MESSAGE_LOG");
    if (!logPath.isEmpty()) {
        QFile log(logPath);
        if (log.open(QIODevice::WriteOnly | QIODevice::Append))
            log.write(QString(QString(text).replace(u'\n', u' ') + u'\n').toUtf8());
    }
    QWidget* owner = m_owner && m_owner->isVisible() && !m_owner->isMinimized() ? m_owner.data() : nullptr;
    QMessageBox box(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("velkoriaMessage"));
    box.setFont(designFont());
    // A caption or a request title may look like markup; it is shown as written.
    box.setTextFormat(Qt::PlainText);
    // Some styles put an icon on the standard buttons; the box has none anywhere.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setIcon(QIcon());
    // A short text makes a narrow box, whose window manager then elides the
    // caption: keep the box as wide as its title bar needs.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const QFontMetrics titleFont(QApplication::font("QMdiSubWindowTitleBar"));
        const int width = titleFont.horizontalAdvance(programTitle()) + kTitleBarRoom;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    box.exec();
}

} // namespace velkoria
