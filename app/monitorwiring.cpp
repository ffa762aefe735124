#include "app/monitorwiring.h"

#include "app/mainfrm.h"

#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace velkoria {

MonitorWiring::MonitorWiring(MainFrm& window)
    : m_window(window),
      m_schedule(std::make_unique<ScanSchedule>(*this, *this, window.m_services.messages, window.m_services.end)) {}

MonitorWiring::~MonitorWiring() = default;

void MonitorWiring::startUp() {
    m_window.m_timer2->setInterval(1000);
    m_window.m_timer2->stop();
    showScanSummary();
}

void MonitorWiring::showScanSummary() {
    if (auto* label = m_window.findChild<QLabel*>(QStringLiteral("Label3")))
        label->setToolTip(scanLabelToolTip(m_run ? m_run->summary() : ScanSummary{}));
}

void MonitorWiring::browserReady() {
    m_run =
        std::make_unique<ScanRun>(*m_window.m_marketplace, m_window.m_buttoninfo, *this, m_window.m_services.messages,
                                  m_window.m_services.end, [this] { return m_window.currentSortType(); });
}

void MonitorWiring::Text2_Change() {
    m_schedule->apply(m_window.m_text2->text(), true);
}
void MonitorWiring::Text2_LostFocus() {
    m_schedule->apply(m_window.m_text2->text(), false);
}
void MonitorWiring::Timer1_Timer() {
    m_schedule->tick();
}
void MonitorWiring::Timer2_Timer() {
    m_schedule->blinkTick();
}
void MonitorWiring::Label3_Click() {
    m_schedule->scanNow();
}

void MonitorWiring::startScheduleTimer(int intervalMs) {
    m_window.m_timer1->start(intervalMs);
}
void MonitorWiring::stopScheduleTimer() {
    m_window.m_timer1->stop();
}

void MonitorWiring::startBlinkTimer() {
    if (!m_window.m_timer2->isActive())
        m_window.m_timer2->start();
}

void MonitorWiring::stopBlinkTimer() {
    m_window.m_timer2->stop();
}
bool MonitorWiring::cycleLabelVisible() const {
    return !m_window.m_label2->isHidden();
}
void MonitorWiring::setCycleLabelVisible(bool visible) {
    m_window.m_label2->setVisible(visible);
}

void MonitorWiring::hideBrowser() {
    if (m_window.m_browser)
        m_window.m_browser->setVisible(false);
}

void MonitorWiring::setScanning(bool scanning) {
    m_window.setScanning(scanning);
}

bool MonitorWiring::inProgress() const {
    return m_run && m_run->inProgress();
}

void MonitorWiring::scanjobs() {
    if (!m_run)
        return;
    m_run->scanjobs();
    showScanSummary();
}

} // namespace velkoria
