// Mappings that survive a file cut short under them: a SIGBUS handler that puts a page of zeros where the
// file's page was, for the address ranges of live mappings only.
#include "xbase/Mapping.h"

#include "xbase/Error.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace xbase {

namespace {

// The handler may only touch what is safe in a signal handler: these atomics, mmap, sigaction.
struct Slot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> faulted{false};
};

constexpr int kSlots = 4096;
Slot g_slots[kSlots];
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previous {};
std::once_flag g_installed;
std::mutex g_slotsMutex; // taking and giving back slots (not used by the handler)

void onBusError(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    // Only a fault of a read (not a signal some process sent) is ours to handle.
    const bool fault = info->si_code > 0;
    for (int i = 0; fault && i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= slot.end.load(std::memory_order_acquire)) continue;
        void* page = reinterpret_cast<void*>(address & ~(g_pageSize - 1));
        if (::mmap(page, g_pageSize, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED)
            break;
        slot.faulted.store(true, std::memory_order_release);
        errno = savedErrno;
        return; // the read is made again and finds zeros
    }
    errno = savedErrno;
    // Not a fault of ours: whoever handled it before us does, or the default ends the process.
    if (g_previous.sa_flags & SA_SIGINFO) {
        g_previous.sa_sigaction(signal, info, context);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
    } else {
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        ::sigemptyset(&fallback.sa_mask);
        ::sigaction(SIGBUS, &fallback, nullptr); // the faulting read runs again and ends the process
    }
}

void install() {
    g_pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous);
}

int takeSlot(const std::uint8_t* data, std::size_t length) {
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].begin.load(std::memory_order_relaxed) != 0) continue;
        g_slots[i].faulted.store(false, std::memory_order_relaxed);
        g_slots[i].end.store(reinterpret_cast<std::uintptr_t>(data) + length, std::memory_order_release);
        g_slots[i].begin.store(reinterpret_cast<std::uintptr_t>(data), std::memory_order_release);
        return i;
    }
    return -1;
}

void giveBack(int slot) {
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    g_slots[slot].begin.store(0, std::memory_order_release);
    g_slots[slot].end.store(0, std::memory_order_release);
}

} // namespace

const std::atomic<bool> Mapping::s_intact{false};

Mapping::~Mapping() {
    unmap();
}

void Mapping::map(int fd, std::size_t length, const std::filesystem::path& path) {
    std::call_once(g_installed, install);
    unmap();
    void* p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED)
        throw Error(ErrorKind::Io, "Cannot map '" + path.string() + "': " + std::strerror(errno));
    m_data = static_cast<const std::uint8_t*>(p);
    m_length = length;
    m_slot = takeSlot(m_data, m_length);
    if (m_slot < 0) {
        unmap();
        throw Error(ErrorKind::Io, "Cannot map '" + path.string() + "': too many tables are open at once.");
    }
    m_faulted = &g_slots[m_slot].faulted;
}

void Mapping::unmap() {
    if (m_slot >= 0) giveBack(m_slot); // before the range can be mapped by someone else
    m_slot = -1;
    m_faulted = &s_intact;
    if (m_data) ::munmap(const_cast<std::uint8_t*>(m_data), m_length);
    m_data = nullptr;
    m_length = 0;
}

} // namespace xbase
