// The program's one wait (platform/wait): what ends it, and what the program
// does meanwhile.
#include "platform/wait.h"

#include <QDialog>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace velkoria;

namespace {

class CountingWidget : public QPushButton {
public:
    using QPushButton::QPushButton;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        QPushButton::paintEvent(event);
    }
};

void postClick(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            widget, new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
}

// Something the wait is waiting for happens after ms, as a message from the
// browser does (the connection wakes the waits).
void arriveAfter(int ms, bool& flag, bool wake = true) {
    QTimer::singleShot(ms, [&flag, wake] {
        flag = true;
        if (wake)
            wakeWaits();
    });
}

} // namespace

class WaitTest : public QObject {
    Q_OBJECT
private slots:
    void endsOnItsConditionOrItsDeadline() {
        // Already there, or already too late: no loop runs.
        QVERIFY(waitUntil(QDeadlineTimer(0), [] { return true; }));
        QVERIFY(!waitUntil(QDeadlineTimer(0), [] { return false; }));

        bool arrived = false;
        arriveAfter(20, arrived);
        QVERIFY(waitUntil(QDeadlineTimer(10000), [&] { return arrived; }));

        QDeadlineTimer deadline(100);
        QVERIFY(!waitUntil(deadline, [] { return false; }));
        QVERIFY(deadline.hasExpired());

        // What came without a wakeup is still seen at the deadline.
        bool quiet = false;
        arriveAfter(10, quiet, false);
        QVERIFY(waitUntil(QDeadlineTimer(100), [&] { return quiet; }));

        // What the condition throws reaches the waiting code, not the event loop.
        bool gone = false;
        arriveAfter(10, gone);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, waitUntil(QDeadlineTimer(10000), [&] {
                                     if (gone)
                                         throw std::runtime_error("gone");
                                     return false;
                                 }));
    }

    void windowsPaintAndTakeInputMeanwhile() {
        CountingWidget exit(QStringLiteral("終了"));
        exit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&exit));
        bool clicked = false;
        connect(&exit, &QPushButton::clicked, this, [&] {
            clicked = true;
            wakeWaits();
        });
        // A window that the user closes meanwhile goes at once (the editor).
        QPointer<QWidget> editor = new QWidget;
        editor->setAttribute(Qt::WA_DeleteOnClose);
        editor->show();
        const int paintsBefore = exit.paints;
        QTimer::singleShot(10, &exit, [&] {
            exit.update();
            editor->close();
            postClick(&exit);
        });
        QVERIFY(waitUntil(QDeadlineTimer(10000), [&] { return clicked; }));
        QVERIFY(exit.paints > paintsBefore);
        QVERIFY(!editor);
    }

    void aBoxOpenedInsideTheWaitCanBeAnswered() {
        bool arrived = false;
        int answer = -1;
        QTimer::singleShot(10, [&] {
            QDialog box;
            auto* ok = new QPushButton(QStringLiteral("OK"), &box);
            connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
            QTimer::singleShot(3000, &box, &QDialog::reject); // not answered: fail, not hang
            box.show();
            postClick(ok);
            answer = box.exec();
            arriveAfter(10, arrived);
        });
        QVERIFY(waitUntil(QDeadlineTimer(10000), [&] { return arrived; }));
        QCOMPARE(answer, int(QDialog::Accepted));
    }

    void nestedWaitsEachEndOnTheirOwnCondition() {
        bool outer = false;
        bool inner = false;
        QStringList order;
        QTimer::singleShot(10, [&] {
            arriveAfter(10, outer);
            arriveAfter(40, inner);
            // The outer condition's wakeup does not end the inner wait.
            const bool ended = waitUntil(QDeadlineTimer(10000), [&] { return inner; });
            order << (ended && inner && outer ? u"inner"_qs : u"inner too early"_qs);
        });
        QVERIFY(waitUntil(QDeadlineTimer(10000), [&] { return outer && !order.isEmpty(); }));
        order << u"outer"_qs;
        QCOMPARE(order, (QStringList{u"inner"_qs, u"outer"_qs}));
    }
};

QTEST_MAIN(WaitTest)
#include "wait_test.moc"
