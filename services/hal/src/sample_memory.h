// The card's 4 MiB of sample memory, byte addressed, words little-endian at any alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "sim_address_map.h"

namespace xavo::sim {

class SampleMemory {
public:
    static constexpr std::uint32_t kBytes = kSampleMemoryBytes;

    // True when [address, address + bytes) lies inside the memory.
    static bool contains(std::uint32_t address, std::uint64_t bytes) {
        return address <= kBytes && bytes <= kBytes - address;
    }

    // Word access; false (nothing read or written) when the word would run past the end.
    bool readWord(std::uint32_t address, std::uint32_t& value) const;
    bool writeWord(std::uint32_t address, std::uint32_t value);

    // Block access; false (nothing copied) when the block would run past the end.
    bool read(std::uint32_t address, void* buffer, std::uint32_t bytes) const;
    bool write(std::uint32_t address, const void* buffer, std::uint32_t bytes);
    // The bytes [address, address + bytes) to fill in place, or nullptr when they would run past
    // the end.
    std::uint8_t* writableBytes(std::uint32_t address, std::uint32_t bytes);

private:
    std::uint8_t* storage();

    // Allocated on the first write; until then every byte reads 0.
    std::unique_ptr<std::uint8_t[]> bytes_;
};

}  // namespace xavo::sim
