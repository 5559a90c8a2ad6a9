// Lets the windows repaint during a long command that runs on the user-interface thread, without
// handing them any user input meanwhile.
#include "output/Repainter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>

namespace output {

Repainter::Repainter(int intervalMs, bool cancellable) : m_interval(intervalMs), m_cancellable(cancellable) {
    m_clock.start();
    if (m_cancellable) QCoreApplication::instance()->installEventFilter(this);
}

Repainter::~Repainter() {
    if (m_cancellable) QCoreApplication::instance()->removeEventFilter(this);
}

bool Repainter::tick(bool force) {
    if (!force && m_clock.elapsed() < m_interval) return false;
    // Without a way to cancel, keys and clicks wait until the command is done, so nothing can start
    // another command or change the rows while this one reads them; with one, the filter drops them.
    QCoreApplication::processEvents(m_cancellable ? QEventLoop::AllEvents
                                                  : QEventLoop::ExcludeUserInputEvents);
    m_clock.restart();
    return true;
}

bool Repainter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) m_cancelled = true;
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace output
