// Lets the windows repaint during a long command that runs on the user-interface thread, without
// handing them any user input meanwhile.
#include "output/Repainter.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace output {

Repainter::Repainter(int intervalMs) : m_interval(intervalMs) {
    m_clock.start();
}

void Repainter::tick() {
    if (m_clock.elapsed() < m_interval) return;
    // Keys and clicks wait until the command is done, so nothing can start another command or
    // change the rows while this one reads them.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_clock.restart();
}

} // namespace output
