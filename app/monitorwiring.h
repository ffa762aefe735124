#pragma once

#include "monitor/scanrun.h"
#include "monitor/schedule.h"
#include "platform/cdp/browser.h"

class QLabel;
class QLineEdit;
class QTimer;

namespace velkoria {

// The main window's real-time inspection group as the scan schedule and the
// scan run see it: the schedule and blink timers, the cycle label Label2, and
// the scan indicators on the cycle box Text2 and the scan label Label3. It
// holds no logic and calls nothing back: each flow enters the monitor once,
// from the window's handler, and comes back here only to show its state.
class MonitorWiring : public ScheduleView, public ScanIndicators {
public:
    struct Controls {
        QTimer& timer1;
        QTimer& timer2;
        QLabel& label2;
        QLineEdit& text2;
        QLabel& label3;
    };
    MonitorWiring(const Controls& controls, Browser& browser);

    // ScheduleView
    void startScheduleTimer(int intervalMs) override;
    void stopScheduleTimer() override;
    void startBlinkTimer() override;
    void stopBlinkTimer() override;
    bool cycleLabelVisible() const override;
    void setCycleLabelVisible(bool visible) override;
    void hideBrowser() override;
    // ScanIndicators
    void setScanning(bool scanning) override;
    void showSummary(const ScanSummary& summary) override;
    void showNotice(const QString& text) override;

private:
    // Label3's tooltip: the notice, if any, then what the run did.
    void updateToolTip();
    // Label3's text at rest: the notice on one line, cut to the label's width.
    QString restingCaption() const;

    Controls m_controls;
    Browser& m_browser;
    QString m_summary;
    QString m_notice;
};

} // namespace velkoria
