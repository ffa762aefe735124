#pragma once

#include "monitor/scanrun.h"

#include <QString>
#include <QStringView>

namespace velkoria {

// The schedule tick's interval: 30 seconds.
inline constexpr int kScheduleIntervalMs = 30000;

// The number at the start of the text: blanks, tabs and line feeds are skipped
// wherever they stand; an optional sign, digits with a decimal point and an
// exponent (E or e), or &H / &O followed by hexadecimal / octal digits; reading
// stops at the first character that cannot continue the number. A text that
// does not begin with a number gives 0. A value too large for a double gives
// an infinity, one too small gives 0.
double leadingNumber(QStringView text);

// The controls of the main window that the schedule drives.
class ScheduleView {
public:
    virtual ~ScheduleView() = default;
    // Timer1: set the interval and start it (restarting the count of the interval).
    virtual void startScheduleTimer(int intervalMs) = 0;
    virtual void stopScheduleTimer() = 0;
    // Timer2 (its 1000 ms interval is set at start-up): start it if stopped, stop it.
    virtual void startBlinkTimer() = 0;
    virtual void stopBlinkTimer() = 0;
    // Label2, the cycle unit label.
    virtual bool cycleLabelVisible() const = 0;
    virtual void setCycleLabelVisible(bool visible) = 0;
    // Sets the browser's Visible to false; throws BrowserGoneError if it is gone.
    virtual void hideBrowser() = 0;
};

// The scan schedule: a cycle of v minutes from Text2 starts a run on every
// tick on which the count of 30-second ticks exceeds 2v; 0 switches it off.
// A tick that falls due during a run never gets here: it neither counts nor
// starts a run; one during other work (a page wait) comes once that work has
// ended. The window calls one member per
// event:
//   Text2_Change    apply(Text2 text, true)
//   Text2_LostFocus apply(Text2 text, false)
//   Timer1_Timer    tick()
//   Timer2_Timer    blinkTick()
//   Label3_Click    scanNow()
class ScanSchedule {
public:
    ScanSchedule(ScheduleView& view, ScanRunner& scans);

    // Applies the cycle in text; hideBrowser hides the browser when the cycle is on.
    void apply(const QString& text, bool hideBrowser);
    void tick();
    void blinkTick();
    void scanNow();

    // Twice the cycle, 0 while off.
    double cyclelimit() const { return m_cyclelimit; }
    // Ticks since the last scheduled run.
    qint64 cyclecount() const { return m_cyclecount; }

private:
    ScheduleView& m_view;
    ScanRunner& m_scans;
    double m_cyclelimit = 0;
    qint64 m_cyclecount = 0;
};

} // namespace velkoria
