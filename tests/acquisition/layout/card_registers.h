// Side-effect-free looks at the simulated card's sampling and peripheral registers, and a hook
// that records what the layout looked like when it was called.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "hardware/registers.h"
#include "sim_access.h"

namespace kz::test {

inline std::uint32_t samplingField(std::uint32_t offset, Field field) { return field.extract(peek(samplingAddress(offset))); }

inline std::uint32_t peripheralField(std::uint32_t offset, Field field)
{
    return field.extract(peek(peripheralAddress(offset)));
}

inline void pokeSampling(std::uint32_t offset, std::uint32_t value) { poke(samplingAddress(offset), value); }

// Makes every read of a register act as `action` with `value`; returns the rule to remove.
inline std::uint32_t forceRead(std::uint32_t address, std::uint32_t value, std::uint32_t action)
{
    return addRule(XAVO_SIM_OP_GET_WORD, address, action, value);
}

// What an update-sample-parameters hook saw.
struct HookRecord {
    std::uint32_t calls = 0;
    std::uint32_t aScanBytes = 0;
    std::uint32_t gateBytes = 0;
    std::uint32_t cScanBase = 0;
};

inline HookRecord& hookRecord()
{
    static HookRecord record;
    return record;
}

inline std::uint32_t recordingHook(std::uint32_t cardIndex)
{
    HookRecord& record = hookRecord();
    ++record.calls;
    record.aScanBytes = KZ_ReturnAScanBytesPerBScan(cardIndex);
    record.gateBytes = KZ_ReturnGateBytesPerBScan(cardIndex);
    KZ_GetCScanBaseSRAMAddress(cardIndex, &record.cScanBase);
    return 1;
}

inline void installRecordingHook()
{
    hookRecord() = HookRecord{};
    ASSERT_EQ(KZ_SetUpdateSampleParametersHook(0, recordingHook), 1u);
}

} // namespace kz::test
