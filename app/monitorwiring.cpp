#include "app/monitorwiring.h"

#include "app/mainfrm.h"

#include <QTimer>

namespace velkoria {

MonitorWiring::MonitorWiring(MainFrm& window) : m_window(window) {}

MonitorWiring::~MonitorWiring() = default;

void MonitorWiring::startUp() {
    m_window.m_timer2->setInterval(1000);
    m_window.m_timer2->stop();
}

} // namespace velkoria
