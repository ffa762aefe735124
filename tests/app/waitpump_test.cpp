#include "app/waitpump.h"
#include "platform/waitpump.h"

#include <QDialog>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

using namespace velkoria;

namespace {

class CountingWidget : public QWidget {
public:
    int paints = 0;
    int closes = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
    void closeEvent(QCloseEvent* event) override {
        ++closes;
        event->ignore();
    }
};

void postClick(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            widget, new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
}

} // namespace

// What the program's windows do while it waits for the browser.
class WaitPumpTest : public QObject {
    Q_OBJECT
private slots:
    void paintsAndClosesButDropsInputAndTimers() {
        CountingWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* exitButton = new QPushButton(QStringLiteral("終了"));
        auto* other = new QPushButton(QStringLiteral("other"));
        layout->addWidget(exitButton);
        layout->addWidget(other);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        installWaitPump(exitButton);
        const auto unset = qScopeGuard([] { setWaitPump({}); });

        int exits = 0;
        int others = 0;
        int ticks = 0;
        connect(exitButton, &QPushButton::clicked, this, [&] { ++exits; });
        connect(other, &QPushButton::clicked, this, [&] { ++others; });
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(0);

        const int paintsBefore = window.paints;
        window.update();
        postClick(other);
        QCoreApplication::postEvent(&window, new QCloseEvent);
        runWaitPump();
        QVERIFY(window.paints > paintsBefore);
        QCOMPARE(window.closes, 1);
        QCOMPARE(others, 0);
        QCOMPARE(ticks, 0);

        postClick(exitButton);
        runWaitPump();
        QCOMPARE(exits, 1);
        QCOMPARE(ticks, 0);

        // After the wait everything works as before; the dropped click stays dropped.
        QTRY_VERIFY(ticks > 0);
        QCOMPARE(others, 0);
        postClick(other);
        QTRY_COMPARE(others, 1);
    }

    void aBoxOpenedInsideTheWaitCanBeAnswered() {
        QWidget window;
        auto* exitButton = new QPushButton(QStringLiteral("終了"), &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        installWaitPump(exitButton);
        const auto unset = qScopeGuard([] { setWaitPump({}); });

        // The click that gets through opens a box (as a failed save would).
        int answer = -1;
        connect(exitButton, &QPushButton::clicked, this, [&] {
            QDialog box(&window);
            auto* ok = new QPushButton(QStringLiteral("OK"), &box);
            connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
            QTimer::singleShot(3000, &box, &QDialog::reject); // not answered: fail, not hang
            postClick(ok);
            answer = box.exec();
        });
        postClick(exitButton);
        runWaitPump();
        QCOMPARE(answer, int(QDialog::Accepted));
    }
};

QTEST_MAIN(WaitPumpTest)
#include "waitpump_test.moc"
