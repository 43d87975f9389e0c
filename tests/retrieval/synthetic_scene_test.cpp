#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bound_card_fixture.h"
#include "hardware/registers.h"

namespace kz::test {
namespace {

// Peripheral 0x00: input 0 (bit 2), range 1 (bit 7, 40 dB), 1 V full scale (bit 14).
constexpr std::uint32_t kInput0Range1 = 1u << 2 | 1u << 7 | 1u << 14;
constexpr std::uint32_t kSamples = 4000; // 60.6 µs at 66 MHz

class SyntheticScene : public BoundCardFixture {
protected:
    void SetUp() override
    {
        BoundCardFixture::SetUp();
        shapeBScans(kStorage16Bit, {{kSamples}});
        ASSERT_EQ(XAVO_SIM_SetDataSource(0, XAVO_SIM_DATA_MODEL, 0), 1u);
        ASSERT_EQ(setBankRegister(Bank::Peripheral, 0, reg::per::kAnalogueControl, kInput0Range1), 1u);
        ASSERT_EQ(KZ_SetTransducerPulseWidth(0, 20), 1u); // 100 sample clocks
    }

    // The codes of one A-scan of position 0.
    static std::vector<std::int16_t> aScan()
    {
        std::vector<std::uint8_t> bytes(4 + 2 * kSamples);
        EXPECT_EQ(KZ_GetAScan(0, bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0, 0), 1u);
        std::vector<std::int16_t> codes(kSamples);
        for (std::uint32_t j = 0; j < kSamples; ++j) {
            codes[j] = static_cast<std::int16_t>(bytes[4 + 2 * j] | bytes[5 + 2 * j] << 8);
        }
        return codes;
    }

    // The sample of the largest magnitude within 66 samples of sample `centre`.
    static std::uint32_t peakNear(const std::vector<std::int16_t>& codes, double centre)
    {
        const auto first = static_cast<std::uint32_t>(centre - 66);
        std::uint32_t peak = first;
        for (std::uint32_t j = first; j <= static_cast<std::uint32_t>(centre + 66) && j < codes.size(); ++j) {
            if (std::abs(codes[j]) > std::abs(codes[peak])) {
                peak = j;
            }
        }
        return peak;
    }
};

// Sample j is taken (delay + j (drop + 1)) sample clocks after the trigger.
TEST_F(SyntheticScene, InterfaceAndBackWallEchoesComeAtTheScenesTimes)
{
    XAVO_SIM_Scene custom{};
    XAVO_SIM_GetDefaultScene(&custom);
    custom.interfaceNanoseconds = 21'000;
    custom.backWallNanoseconds = 13'500;
    struct Case {
        bool defaultScene;
        std::uint32_t drop;
        std::uint32_t delay; // sample clocks
    };
    for (const Case c : {Case{true, 0, 0}, Case{false, 0, 0}, Case{true, 1, 0}, Case{true, 0, 1000}}) {
        XAVO_SIM_Scene scene{};
        XAVO_SIM_GetDefaultScene(&scene);
        if (!c.defaultScene) {
            scene = custom;
        }
        SCOPED_TRACE(testing::Message() << (c.defaultScene ? "default" : "custom") << " scene, drop " << c.drop
                                        << ", delay " << c.delay);
        ASSERT_EQ(XAVO_SIM_SetScene(0, &scene), 1u);
        ASSERT_EQ(KZ_SetDropNumberOfSamples(0, c.drop), 1u);
        ASSERT_EQ(KZ_SetStartDelay(0, c.delay), 1u);
        const std::vector<std::int16_t> codes = aScan();

        const auto sampleOf = [&c](double seconds) { return (seconds * kSampleClockHz - c.delay) / (c.drop + 1); };
        const double interface = sampleOf(scene.interfaceNanoseconds * 1e-9);
        const double wall = sampleOf((scene.interfaceNanoseconds + scene.backWallNanoseconds) * 1e-9);
        const std::uint32_t interfacePeak = peakNear(codes, interface);
        const std::uint32_t wallPeak = peakNear(codes, wall);
        EXPECT_LE(std::abs(interfacePeak - interface), 1.0);
        EXPECT_LE(std::abs(wallPeak - wall), 1.0);
        // On range 1 the 5 mV interface echo is about 1000 counts, the 2 mV back wall about 400
        // (less when the nearest sample misses the echo's peak by up to a sample clock).
        EXPECT_NEAR(codes[interfacePeak], 1000, 130);
        EXPECT_NEAR(codes[wallPeak], 400, 60);
        if (c.delay == 0) {
            EXPECT_EQ(codes[0], -2048); // the transmit pulse drives the input to the converter's end
        }
        EXPECT_LT(std::abs(codes[static_cast<std::uint32_t>(interface / 2)]), 40);
    }
}

TEST_F(SyntheticScene, FlawShowsForItsElementsWithinItsEncoderWindow)
{
    XAVO_SIM_Scene scene{};
    XAVO_SIM_GetDefaultScene(&scene);
    scene.flawEnabled = 1;
    scene.flawEncoderFirst = 100;
    scene.flawEncoderLast = 200;
    const double flaw = (scene.interfaceNanoseconds + scene.flawNanoseconds) * 1e-9;
    const auto flawSample = static_cast<std::uint32_t>(std::lround(flaw * kSampleClockHz));
    struct Case {
        std::uint32_t encoder;
        std::uint32_t elementMask; // elements 0-31; position 0 fires element 0
        bool shows;
    };
    for (const Case c : {Case{150, 1, true}, Case{99, 1, false}, Case{201, 1, false}, Case{150, 2, false}}) {
        scene.flawElements[0] = c.elementMask;
        ASSERT_EQ(XAVO_SIM_SetScene(0, &scene), 1u);
        ASSERT_EQ(XAVO_SIM_SetEncoderCount(0, 0, c.encoder), 1u);
        const std::vector<std::int16_t> codes = aScan();
        // 0.5 mV on range 1 is about 100 counts; the noise is about 4.
        EXPECT_EQ(std::abs(codes[flawSample]) > 60, c.shows) << "encoder " << c.encoder << ", elements " << c.elementMask;
    }
}

} // namespace
} // namespace kz::test
