#include "app/monitorwiring.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace velkoria {

MonitorWiring::MonitorWiring(const Controls& controls, Browser& browser) : m_controls(controls), m_browser(browser) {
    showSummary(ScanSummary{});
}

void MonitorWiring::startScheduleTimer(int intervalMs) {
    m_controls.timer1.start(intervalMs);
}

void MonitorWiring::stopScheduleTimer() {
    m_controls.timer1.stop();
}

void MonitorWiring::startBlinkTimer() {
    if (!m_controls.timer2.isActive())
        m_controls.timer2.start();
}

void MonitorWiring::stopBlinkTimer() {
    m_controls.timer2.stop();
}

bool MonitorWiring::cycleLabelVisible() const {
    return !m_controls.label2.isHidden();
}

void MonitorWiring::setCycleLabelVisible(bool visible) {
    m_controls.label2.setVisible(visible);
}

void MonitorWiring::hideBrowser() {
    m_browser.setVisible(false);
}

void MonitorWiring::setScanning(bool scanning) {
    QLineEdit& text2 = m_controls.text2;
    QPalette p = text2.palette();
    p.setColor(QPalette::Base, scanning ? scanningBackground() : restingBackground());
    text2.setPalette(p);
    m_controls.label3.setText(scanning ? scanningCaption() : restingCaption());
}

void MonitorWiring::showSummary(const ScanSummary& summary) {
    m_summary = scanLabelToolTip(summary);
    updateToolTip();
}

void MonitorWiring::showNotice(const QString& text) {
    m_notice = text;
    updateToolTip();
}

void MonitorWiring::updateToolTip() {
    m_controls.label3.setToolTip(m_notice.isEmpty() ? m_summary : m_notice + QStringLiteral("\n\n") + m_summary);
}

QString MonitorWiring::restingCaption() const {
    const QLabel& label = m_controls.label3;
    const QString line = m_notice.simplified();
    return label.fontMetrics().elidedText(line, Qt::ElideRight, label.contentsRect().width());
}

} // namespace velkoria
