#include "monitor/schedule.h"
#include "platform/errors.h"
#include "tests/support/fakes.h"

#include <QtTest>
#include <cmath>
#include <limits>

using namespace velkoria;
using namespace velkoria::test;

namespace {

class View : public ScheduleView {
public:
    void startScheduleTimer(int intervalMs) override {
        log.append(u"timer1 start %1"_qs.arg(intervalMs));
        timer1 = true;
    }
    void stopScheduleTimer() override {
        log.append(u"timer1 stop"_qs);
        timer1 = false;
    }
    void startBlinkTimer() override {
        log.append(u"timer2 start"_qs);
        timer2 = true;
    }
    void stopBlinkTimer() override {
        log.append(u"timer2 stop"_qs);
        timer2 = false;
    }
    bool cycleLabelVisible() const override { return label2; }
    void setCycleLabelVisible(bool visible) override {
        log.append(u"label2 %1"_qs.arg(visible));
        label2 = visible;
    }
    void hideBrowser() override {
        if (browserGone)
            throw BrowserGoneError();
        ++hides;
    }
    QStringList log;
    bool timer1 = false;
    bool timer2 = false;
    bool label2 = true;
    bool browserGone = false;
    int hides = 0;
};

class Scans : public ScanRunner {
public:
    void scanjobs() override { ++runs; }
    int runs = 0;
};

struct Rig {
    View view;
    Scans scans;
    ScanSchedule schedule{view, scans};

    // The ticks (1-based) out of count on which a run starts.
    QList<int> runTicks(int count) {
        QList<int> ticks;
        for (int t = 1; t <= count; ++t) {
            const int before = scans.runs;
            schedule.tick();
            if (scans.runs > before)
                ticks.append(t);
        }
        return ticks;
    }
};

const double inf = std::numeric_limits<double>::infinity();

} // namespace

class ScheduleTest : public QObject {
    Q_OBJECT
private slots:
    void leadingNumber_data();
    void leadingNumber();
    void onAndOff_data();
    void onAndOff();
    void rhythm_data();
    void rhythm();
    void newCycleKeepsTheCount();
    void blinking();
    void browserHiddenOnChangeOnly();
    void scanLabelClick();
};

void ScheduleTest::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    const auto row = [](const char* text, double value) { QTest::newRow(text) << QString::fromUtf8(text) << value; };
    row("", 0);
    row("0", 0);
    row("abc", 0);
    row("15", 15);
    row(" 1 2", 12);
    row("\t1\n5\r", 15);
    row("5abc", 5);
    row("1,5", 1);
    row(".5", 0.5);
    row("2.5", 2.5);
    row("1.2.3", 1.2);
    row(".", 0);
    row("5.", 5);
    row("-.5", -0.5);
    row("-3", -3);
    row("- 3", -3);
    row("+2", 2);
    row("--3", 0);
    row("-", 0);
    row("1e3", 1000);
    row("1 e 3", 1000);
    row("1E-2", 0.01);
    row("1e", 1);
    row("1e+", 1);
    row("1e3e4", 1000);
    row("e3", 0);
    row("&H1F", 31);
    row("&h1fz", 31);
    row("& H 1 0", 16);
    row("&O17", 15);
    row("&O8", 0);
    row("&H", 0);
    row("&", 0);
    row("-&H10", 0);
    row("１", 0); // a full-width digit is no digit
    row("1e400", inf);
    row("-1e400", -inf);
    row("1e-400", 0);
}

void ScheduleTest::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(velkoria::leadingNumber(text), value);
}

void ScheduleTest::onAndOff_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("limit");
    QTest::newRow("0") << u"0"_qs << 0.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("letters") << u"abc"_qs << 0.0;
    QTest::newRow("1") << u"1"_qs << 2.0;
    QTest::newRow("-3") << u"-3"_qs << -6.0;
    QTest::newRow("1e307") << u"1e307"_qs << 2e307;
    QTest::newRow("value overflows") << u"1e400"_qs << 0.0;
    QTest::newRow("double overflows") << u"1e308"_qs << 0.0;
}

void ScheduleTest::onAndOff() {
    QFETCH(QString, text);
    QFETCH(double, limit);
    Rig rig;
    rig.schedule.apply(u"7"_qs, true);
    rig.view.label2 = false; // caught mid-blink
    rig.view.log.clear();
    rig.schedule.apply(text, false);
    QCOMPARE(rig.schedule.cyclelimit(), limit);
    if (limit != 0) {
        QCOMPARE(rig.view.log, (QStringList{u"timer1 start 30000"_qs, u"timer2 start"_qs}));
    } else {
        QCOMPARE(rig.view.log, (QStringList{u"timer1 stop"_qs, u"label2 1"_qs, u"timer2 stop"_qs}));
        QVERIFY(rig.view.label2);
    }
}

void ScheduleTest::rhythm_data() {
    QTest::addColumn<QString>("cycle");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QList<int>>("runs");
    QTest::newRow("1") << u"1"_qs << 9 << QList<int>{3, 6, 9};
    QTest::newRow("5") << u"5"_qs << 22 << QList<int>{11, 22};
    QTest::newRow("0.5") << u"0.5"_qs << 6 << QList<int>{2, 4, 6};
    QTest::newRow("0.25") << u"0.25"_qs << 3 << QList<int>{1, 2, 3};
    QTest::newRow("2.5") << u"2.5"_qs << 12 << QList<int>{6, 12};
    QTest::newRow("-3") << u"-3"_qs << 3 << QList<int>{1, 2, 3};
    QTest::newRow("off") << u"0"_qs << 3 << QList<int>{1, 2, 3}; // a stray tick after switching off
}

void ScheduleTest::rhythm() {
    QFETCH(QString, cycle);
    QFETCH(int, ticks);
    QFETCH(QList<int>, runs);
    Rig rig;
    rig.schedule.apply(cycle, true);
    QCOMPARE(rig.runTicks(ticks), runs);
}

void ScheduleTest::newCycleKeepsTheCount() {
    Rig rig;
    // 15 typed as 1, then 5: the schedule follows 15.
    rig.schedule.apply(u"1"_qs, true);
    rig.schedule.apply(u"15"_qs, true);
    QCOMPARE(rig.runTicks(31), QList<int>{31});

    // Cycle 5 after 12 ticks at cycle 10: the very next tick runs (13 > 10).
    rig.schedule.apply(u"10"_qs, true);
    QCOMPARE(rig.runTicks(12), QList<int>{});
    QCOMPARE(rig.schedule.cyclecount(), 12);
    rig.schedule.apply(u"5"_qs, false);
    QCOMPARE(rig.schedule.cyclecount(), 12);
    QCOMPARE(rig.runTicks(1), QList<int>{1});
    QCOMPARE(rig.schedule.cyclecount(), 0);
}

void ScheduleTest::blinking() {
    Rig rig;
    rig.schedule.apply(u"1"_qs, true);
    QVERIFY(rig.view.timer1 && rig.view.timer2);
    rig.schedule.blinkTick();
    QVERIFY(!rig.view.label2);
    rig.schedule.blinkTick();
    QVERIFY(rig.view.label2);
    rig.schedule.blinkTick();
    rig.schedule.apply(u"0"_qs, true);
    QVERIFY(!rig.view.timer1 && !rig.view.timer2);
    QVERIFY(rig.view.label2);
    // Focus in and out of "0" without editing: stays off.
    rig.schedule.apply(u"0"_qs, false);
    QVERIFY(!rig.view.timer1 && !rig.view.timer2 && rig.view.label2);
}

void ScheduleTest::browserHiddenOnChangeOnly() {
    Rig rig;
    rig.schedule.apply(u"1"_qs, false);
    QCOMPARE(rig.view.hides, 0);
    rig.schedule.apply(u"1"_qs, true);
    QCOMPARE(rig.view.hides, 1);
    rig.schedule.apply(u"0"_qs, true);
    QCOMPARE(rig.view.hides, 1);

    // A closed browser goes to the handler wrapper, which ends the program;
    // the cycle is applied all the same.
    rig.view.browserGone = true;
    QVERIFY_THROWS_EXCEPTION(BrowserGoneError, rig.schedule.apply(u"2"_qs, true));
    QCOMPARE(rig.schedule.cyclelimit(), 4);
}

void ScheduleTest::scanLabelClick() {
    Rig rig;
    rig.schedule.scanNow(); // while off
    QCOMPARE(rig.scans.runs, 1);
    QVERIFY(rig.view.log.isEmpty());

    rig.schedule.apply(u"1"_qs, true);
    rig.runTicks(2);
    rig.view.log.clear();
    rig.schedule.scanNow(); // while on
    QCOMPARE(rig.scans.runs, 2);
    QVERIFY(rig.view.log.isEmpty());
    QCOMPARE(rig.schedule.cyclecount(), 2);
    QCOMPARE(rig.schedule.cyclelimit(), 2.0);
    QCOMPARE(rig.runTicks(1), QList<int>{1});
}

QTEST_APPLESS_MAIN(ScheduleTest)
#include "schedule_test.moc"
