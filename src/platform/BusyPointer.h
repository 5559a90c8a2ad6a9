// Shows the hourglass pointer for the life of a scope, so that a command that stops early still
// gives the pointer back.
#pragma once

#include "platform/Dialogs.h"

namespace platform {

class BusyPointer {
public:
    explicit BusyPointer(Dialogs& dialogs) : m_dialogs(dialogs) { m_dialogs.setBusy(true); }
    ~BusyPointer() { m_dialogs.setBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    Dialogs& m_dialogs;
};

} // namespace platform
