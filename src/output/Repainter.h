// Lets the windows repaint during a long command that runs on the user-interface thread, without
// handing them any user input meanwhile.
#pragma once

#include <QElapsedTimer>

namespace output {

class Repainter {
public:
    explicit Repainter(int intervalMs = 100);
    // Called often (once per row); repaints when the interval has passed since the last time.
    void tick();

private:
    QElapsedTimer m_clock;
    int m_interval;
};

} // namespace output
