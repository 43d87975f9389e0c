#include "sample_memory.h"

#include <cstring>

namespace xavo::sim {

std::uint8_t* SampleMemory::storage() {
    if (!bytes_) bytes_ = std::make_unique<std::uint8_t[]>(kBytes);  // zero-filled
    return bytes_.get();
}

bool SampleMemory::readWord(std::uint32_t address, std::uint32_t& value) const {
    std::uint8_t b[4] = {0, 0, 0, 0};
    if (!read(address, b, 4)) return false;
    value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
}

bool SampleMemory::writeWord(std::uint32_t address, std::uint32_t value) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                               static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return write(address, b, 4);
}

bool SampleMemory::read(std::uint32_t address, void* buffer, std::uint32_t bytes) const {
    if (!contains(address, bytes)) return false;
    if (bytes == 0) return true;
    if (buffer == nullptr) return false;
    if (bytes_)
        std::memcpy(buffer, bytes_.get() + address, bytes);
    else
        std::memset(buffer, 0, bytes);
    return true;
}

std::uint8_t* SampleMemory::writableBytes(std::uint32_t address, std::uint32_t bytes) {
    return contains(address, bytes) ? storage() + address : nullptr;
}

bool SampleMemory::write(std::uint32_t address, const void* buffer, std::uint32_t bytes) {
    if (!contains(address, bytes)) return false;
    if (bytes == 0) return true;
    if (buffer == nullptr) return false;
    std::memmove(storage() + address, buffer, bytes);
    return true;
}

}  // namespace xavo::sim
