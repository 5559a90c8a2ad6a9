// A read-only shared mapping of a file that another program may cut short while it is being read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace xbase {

// Reading a mapped page that lies past the end of a file that was cut short raises SIGBUS, which
// would end the process. While a Mapping exists, such a page is replaced by a page of zeros instead,
// the read goes on, and cutShort() says so: the caller then throws away what it read and reports that
// the file was changed. Faults outside every Mapping go to the handler that was there before.
class Mapping {
public:
    Mapping() = default;
    ~Mapping();
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    // Maps `length` bytes of the file from its start (more than the file holds, so that appends
    // become readable without mapping again). Throws Error(Io).
    void map(int fd, std::size_t length, const std::filesystem::path& path);
    void unmap();
    const std::uint8_t* data() const { return m_data; }
    std::size_t length() const { return m_length; }
    // True once a read fell past the end of the file since map(): another program cut it short.
    bool cutShort() const { return m_faulted->load(std::memory_order_relaxed); }

private:
    static const std::atomic<bool> s_intact;

    const std::uint8_t* m_data = nullptr;
    std::size_t m_length = 0;
    int m_slot = -1;
    const std::atomic<bool>* m_faulted = &s_intact;
};

} // namespace xbase
