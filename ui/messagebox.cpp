#include "ui/messagebox.h"

#include "ui/windowslook.h"

#if defined(Q_OS_WIN)
#include "platform/win/foreground.h"
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIcon>
#include <QMessageBox>
#include <QSpacerItem>
#include <QWindow>
#include <algorithm>

namespace velkoria {

namespace {
// Room that a title bar takes besides its caption: the window icon and the
// minimise, maximise and close buttons, with their margins.
constexpr int kTitleBarRoom = 160;

// A box shown without taking the keyboard takes it once the user clicks it,
// so that Enter closes it as it would close any other box. (A modal window
// that may take the keyboard is activated the moment it shows.)
class KeyboardOnClick : public QObject {
public:
    explicit KeyboardOnClick(QWidget& box) : m_box(box) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const bool click =
            event->type() == QEvent::MouseButtonPress || event->type() == QEvent::NonClientAreaMouseButtonPress;
        QWindow* window = m_box.windowHandle();
        if (click && window && (window->flags() & Qt::WindowDoesNotAcceptFocus)) {
            window->setFlag(Qt::WindowDoesNotAcceptFocus, false);
            m_box.activateWindow();
        }
        return false;
    }

private:
    QWidget& m_box;
};

// Whether the user works in another program: on Windows a window of another
// process is in the foreground; elsewhere the program has a window on the
// screen and none of its windows is active.
bool anotherProgramActive() {
#if defined(Q_OS_WIN)
    return win::otherProgramInForeground();
#else
    if (QGuiApplication::applicationState() == Qt::ApplicationActive)
        return false;
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [](const QWidget* w) { return w->isVisible(); });
#endif
}
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
    // A box that opens while the user works in another program (a scan on its
    // schedule) would open behind that program, seen only in the taskbar, and
    // no scan runs while it is up: it stands above every window instead, and
    // leaves the keyboard where it is (what the user types goes on going to
    // that program) until the user clicks it.
    KeyboardOnClick keyboardOnClick(box);
    if (anotherProgramActive()) {
        box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
        box.setAttribute(Qt::WA_ShowWithoutActivating);
        box.installEventFilter(&keyboardOnClick);
    }
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

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
        const QString file = QStringLiteral(":/icons/velkoria-%1.png").arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

} // namespace velkoria
