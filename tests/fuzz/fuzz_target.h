// The frame every fuzz target stands on. A target is a function that takes one input; it is
// built twice: into a libFuzzer program of its own (preset fuzz), and into the replay test of
// the ordinary build, which runs every file of its seed corpus and of its reproducers.
//
//   XAVO_FUZZ_TARGET(configuration) { ... one input in data[0..size) ... }
//
// A property that does not hold stops the process (XAVO_FUZZ_CHECK): the fuzzer records the
// input as a finding, the replay test fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kz::fuzz {

using TargetFunction = void (*)(const std::uint8_t* data, std::size_t size);

struct Target {
    const char* name;
    TargetFunction run;
};

// Every target linked into the program, in the order they were registered.
std::vector<Target>& targets();

struct Registration {
    Registration(const char* name, TargetFunction run) { targets().push_back({name, run}); }
};

[[noreturn]] void failCheck(const char* condition, const char* file, int line);

// Reads an input front to back; past its end every read gives zeros or empty text.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte();
    std::uint16_t word16();
    std::uint32_t word32();
    // `count` bytes, or as many as are left.
    std::string bytes(std::size_t count);
    // Text of a length given by one byte before it.
    std::string shortText() { return bytes(byte()); }
    std::string rest() { return bytes(size_ - offset_); }
    bool atEnd() const { return offset_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

} // namespace kz::fuzz

#define XAVO_FUZZ_CHECK(condition)                                                                                     \
    ((condition) ? static_cast<void>(0) : ::kz::fuzz::failCheck(#condition, __FILE__, __LINE__))

#define XAVO_FUZZ_TARGET(name)                                                                                         \
    static void xavoFuzzTarget_##name(const std::uint8_t* data, std::size_t size);                                    \
    static const ::kz::fuzz::Registration xavoFuzzRegistration_##name(#name, xavoFuzzTarget_##name);                  \
    static void xavoFuzzTarget_##name(const std::uint8_t* data, std::size_t size)
