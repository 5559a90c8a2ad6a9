// Little- and big-endian numbers inside the bytes of a file, for tests that build or damage files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

inline void put16(std::string& bytes, std::size_t at, unsigned value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8 & 0xFF);
}
inline void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}
inline std::uint32_t get16(const std::string& bytes, std::size_t at) {
    return std::uint8_t(bytes[at]) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8;
}
inline std::uint32_t get32(const std::string& bytes, std::size_t at) {
    return get16(bytes, at) | get16(bytes, at + 2) << 16;
}
// Four bytes, least or most significant first.
inline std::string le32(std::uint32_t value) {
    return {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
}
inline std::string be32(std::uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

} // namespace testsupport
