#include "app/waitpump.h"

#include "platform/waitpump.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace velkoria {

namespace {

bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// Installed on the application only while the pump runs.
class WaitFilter : public QObject {
public:
    explicit WaitFilter(QWidget* exitButton) : m_exitButton(exitButton) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (isInput(event->type())) {
            // Input reaches the window first and is then handed to the widget:
            // the widget decides.
            if (!watched->isWidgetType())
                return false;
            // A message box that opened inside the wait (a failed save when
            // the focus left an account box on the way to Exit) must be
            // answerable, or it and the wait behind it would look frozen.
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && static_cast<QWidget*>(watched)->window() == modal)
                return false;
            return watched != m_exitButton.data();
        }
        // The program's timers (the scan schedule among them) do not tick
        // inside a wait: a tick would start work inside it. The tick is
        // dropped; the next one comes as usual.
        if (event->type() == QEvent::Timer && qobject_cast<QTimer*>(watched))
            return true;
        return false;
    }

private:
    QPointer<QWidget> m_exitButton;
};

} // namespace

void installWaitPump(QWidget* exitButton) {
    auto* filter = new WaitFilter(exitButton);
    filter->setParent(qApp);
    setWaitPump([filter] {
        qApp->installEventFilter(filter);
        struct Remove {
            QObject* filter;
            ~Remove() { qApp->removeEventFilter(filter); }
        } remove{filter};
        // The browser's own pipe is read by the wait itself, not here.
        QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    });
}

} // namespace velkoria
