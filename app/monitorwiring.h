#pragma once

#include "monitor/scanrun.h"
#include "monitor/schedule.h"

#include <memory>

namespace velkoria {

class MainFrm;

// Connects the real-time inspection controls of the main window (the cycle
// box, the scan label, the two timers) to the scan schedule and the scan run.
class MonitorWiring : public ScheduleView, public ScanIndicators, public ScanRunner {
public:
    explicit MonitorWiring(MainFrm& window);
    ~MonitorWiring() override;

    // Start-up: the blink timer set to one second and stopped.
    void startUp();
    // Once the browser exists: the scan run can be made.
    void browserReady();

    // Event handlers of the window's controls.
    void Text2_Change();
    void Text2_LostFocus();
    void Timer1_Timer();
    void Timer2_Timer();
    void Label3_Click();

    ScanSchedule& schedule() { return *m_schedule; }
    ScanRun* scanRun() { return m_run.get(); }

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
    // ScanRunner: the run once the browser exists.
    bool inProgress() const override;
    void scanjobs() override;

private:
    // The scan label's tooltip from the latest finished run.
    void showScanSummary();

    MainFrm& m_window;
    std::unique_ptr<ScanRun> m_run;
    std::unique_ptr<ScanSchedule> m_schedule;
};

} // namespace velkoria
