#pragma once

namespace velkoria {

class MainFrm;

// Connects the real-time inspection controls of the main window (the cycle
// box, the scan label, the two timers) to the scan schedule and the scan run.
class MonitorWiring {
public:
    explicit MonitorWiring(MainFrm& window);
    ~MonitorWiring();
    // Start-up: no scan results yet, the blink timer set to one second and stopped.
    void startUp();

private:
    MainFrm& m_window;
};

} // namespace velkoria
