// Lets the windows repaint during a long command that runs on the user-interface thread, without
// handing them any user input meanwhile.
#pragma once

#include <QElapsedTimer>
#include <QObject>

namespace output {

class Repainter : public QObject {
public:
    // cancellable: Escape pressed meanwhile cancels the command (see cancelled()), and every other key
    // and click made meanwhile is dropped rather than run once the command is done.
    explicit Repainter(int intervalMs = 100, bool cancellable = false);
    ~Repainter() override;
    // Called often (once per row); repaints when the interval has passed since the last time (or at
    // once with force), and then returns true.
    bool tick(bool force = false);
    // The interval has passed: the next tick repaints.
    bool due() const { return m_clock.elapsed() >= m_interval; }
    bool cancelled() const { return m_cancelled; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QElapsedTimer m_clock;
    int m_interval;
    bool m_cancellable;
    bool m_cancelled = false;
};

} // namespace output
