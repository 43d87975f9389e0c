#include "fuzz_target.h"

#include <algorithm>

namespace kz::fuzz {

std::vector<Target>& targets()
{
    static std::vector<Target> all;
    return all;
}

void failCheck(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

std::uint8_t Input::byte()
{
    return offset_ < size_ ? data_[offset_++] : 0;
}

std::uint16_t Input::word16()
{
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | byte() << 8);
}

std::uint32_t Input::word32()
{
    const std::uint32_t low = word16();
    return low | std::uint32_t{word16()} << 16;
}

std::string Input::bytes(std::size_t count)
{
    const std::size_t taken = std::min(count, size_ - offset_);
    std::string text(reinterpret_cast<const char*>(data_ + offset_), taken);
    offset_ += taken;
    return text;
}

} // namespace kz::fuzz
