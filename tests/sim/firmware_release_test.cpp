#include <fstream>
#include <iterator>
#include <string>

#include "firmware_image.h"
#include "sim_fixture.h"

namespace simtest {
namespace {

using xavo::fwimage::encodeRecord;
using Bytes = std::vector<std::uint8_t>;

using SimFirmwareImages = SimFixture;
using SimFirmwareRelease = SimFixture;

Bytes readFile(const std::string& name) {
    std::ifstream in(std::string(XAVO_FIRMWARE_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kPayload = {0x01, 0x80, 0xA5, 0x0F};
Bytes samplingRecord(std::uint16_t word = kSequencedSampling) { return encodeRecord('S', word, kPayload); }
Bytes peripheralRecord(std::uint16_t word = kSequencedPeripheral) { return encodeRecord('P', word, kPayload); }

TEST_F(SimFirmwareImages, ConfigurationVersionsMapToRegisterWords) {
    const struct {
        std::uint32_t config;
        std::uint16_t word;
    } cases[] = {{0x228, 0x2028}, {0x21F, 0x201F}, {0x125, 0x1025}, {0x16, 0x0016}, {0x3FF, 0x30FF}};
    for (const auto& c : cases) EXPECT_EQ(c.word, xavo::fwimage::registerWordFromConfigVersion(c.config)) << c.config;
}

// The generated files, downloaded and released the way the card library does it, run and
// report the words the library's version check expects.
TEST_F(SimFirmwareImages, GeneratedPairsRunAndReportTheirWords) {
    const struct {
        const char* sampling;
        const char* peripheral;
        std::uint32_t samplingWord, peripheralWord, sequenced;
    } pairs[] = {
        {"dsp_v228.bin", "per_v21f.bin", kSequencedSampling, kSequencedPeripheral, 1},
        {"dsp_v125.bin", "per_v016.bin", kOlderSampling, kOlderPeripheral, 0},
    };
    openCard();
    for (const auto& p : pairs) {
        SCOPED_TRACE(p.sampling);
        const Bytes sampling = readFile(p.sampling);
        const Bytes peripheral = readFile(p.peripheral);
        for (const Bytes* image : {&sampling, &peripheral}) {
            EXPECT_GE(image->size(), xavo::fwimage::kMinImageBytes);
            EXPECT_LE(image->size(), xavo::fwimage::kMaxImageBytes);
        }
        download(concat(sampling, peripheral));
        release();
        EXPECT_EQ(p.samplingWord, read(smpReg(0xFC)));
        EXPECT_EQ(p.peripheralWord, read(perReg(0xFC)));
        EXPECT_EQ(p.sequenced, sequenceCompatible());
    }
}

// Every case starts from a running sequenced pair, so a download that runs nothing visibly
// unloads it.
TEST_F(SimFirmwareRelease, DownloadDecidesWhatRuns) {
    const Bytes good = concat(samplingRecord(), peripheralRecord());
    Bytes badMagic = concat(samplingRecord(), peripheralRecord());
    badMagic[kPayload.size() + 12] = 'X';  // the peripheral record's magic
    Bytes shortLength = good;
    shortLength[8] = 11;  // a length that does not cover the header
    Bytes unknownKind = samplingRecord();
    unknownKind[4] = 'Q';
    Bytes otherFormat = peripheralRecord(0x3333);
    otherFormat[5] = 2;

    struct Case {
        const char* name;
        Bytes bytes;
        std::uint32_t sampling, peripheral;
    };
    const Case cases[] = {
        {"sampling then peripheral", good, kSequencedSampling, kSequencedPeripheral},
        {"peripheral first", concat(peripheralRecord(), samplingRecord()), kSequencedSampling, kSequencedPeripheral},
        {"sampling only", samplingRecord(kOlderSampling), kOlderSampling, 0},
        {"first of each kind wins",
         concat(concat(samplingRecord(kOlderSampling), samplingRecord()), peripheralRecord()), kOlderSampling,
         kSequencedPeripheral},
        {"unknown kind and format passed over", concat(concat(unknownKind, otherFormat), peripheralRecord()), 0,
         kSequencedPeripheral},
        {"wrong magic in the second record", badMagic, 0, 0},
        {"length shorter than a header", shortLength, 0, 0},
        {"last byte missing", Bytes(good.begin(), good.end() - 1), 0, 0},
        {"trailing bytes", concat(good, {'K', 'Z'}), 0, 0},
    };
    openCard();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
        download(c.bytes);
        release();
        EXPECT_EQ(c.sampling, read(smpReg(0xFC)));
        EXPECT_EQ(c.peripheral, read(perReg(0xFC)));
        EXPECT_EQ(c.sampling == kSequencedSampling ? 1u : 0u, sequenceCompatible());
    }
}

TEST_F(SimFirmwareRelease, BrokenTransfersRunNothing) {
    const Bytes good = concat(samplingRecord(), peripheralRecord());
    struct Case {
        const char* name;
        void (*send)(const Bytes&);
    };
    const Case cases[] = {
        {"bit order not reversed",
         [](const Bytes& b) {
             for (std::uint32_t i = 0; i < b.size(); ++i) write(kFirmwareWindow + 4 * i, b[i]);
         }},
        {"gap",
         [](const Bytes& b) {
             download(b);
             write(kFirmwareWindow + 4 * (b.size() + 1), 0);
         }},
        {"repeated index",
         [](const Bytes& b) {
             download(b);
             write(kFirmwareWindow + 4 * 3, reverseBits(b[3]));
         }},
        {"bits above the byte", [](const Bytes& b) {
             download(b);
             write(kFirmwareWindow + 4 * 2, 0x100u | reverseBits(b[2]));
         }},
    };
    openCard();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
        c.send(good);
        release();
        EXPECT_EQ(0u, read(smpReg(0xFC)));
        EXPECT_EQ(0u, read(perReg(0xFC)));
        EXPECT_EQ(0u, firmwareWord(XAVO_SIM_BANK_SAMPLING));
    }

    // A fresh download from word 0 recovers; the corrupt-download knob then refuses it.
    download(good);
    release();
    EXPECT_EQ(kSequencedSampling, read(smpReg(0xFC)));
    ASSERT_EQ(1u, XAVO_SIM_SetDownloadCorrupt(0, 1));
    release();
    EXPECT_EQ(0u, read(smpReg(0xFC)));
    ASSERT_EQ(1u, XAVO_SIM_SetDownloadCorrupt(0, 0));
    release();
    EXPECT_EQ(kSequencedSampling, read(smpReg(0xFC)));
}

TEST_F(SimFirmwareRelease, ReleaseRestartsOnlyTheFirmwareRegisters) {
    openCard();
    write(sysReg(0x40), 0x1234);
    write(sysReg(0x08), 0xFF);
    write(smpReg(0x50), 3);
    write(smpReg(0x58), 0x1F0);
    write(perReg(0x08), 0x55);
    write(perReg(0x18), 0x0507);   // ping-pong position 5 = element 7
    write(perReg(0x0C), 0x2123);   // D-to-A 2 = 0x123
    write(smpReg(0x5C), 0x0433);   // synthesiser register 4 = 0x33
    write(perReg(0x24), 99);

    download(concat(samplingRecord(), peripheralRecord()));
    release();

    EXPECT_EQ(0x1234u, read(sysReg(0x40)));
    EXPECT_EQ(0xFFu, read(sysReg(0x08)));
    EXPECT_EQ(0u, read(smpReg(0x50)));
    EXPECT_EQ(3u, read(smpReg(0x58))) << "back to its power-up value";
    EXPECT_EQ(0u, read(perReg(0x08)));
    EXPECT_EQ(0u, read(perReg(0x24)));
    EXPECT_EQ(0u, read(smpReg(0x0C))) << "no D-to-A write pending";
    std::uint32_t v = kUntouched;
    ASSERT_EQ(1u, XAVO_SIM_GetPingPongElement(0, 5, &v));
    EXPECT_EQ(0u, v);
    ASSERT_EQ(1u, XAVO_SIM_GetDacWord(0, 2, &v));
    EXPECT_EQ(0x123u, v);
    std::uint32_t writes = 0;
    ASSERT_EQ(1u, XAVO_SIM_GetDdsRegister(0, 4, &v, &writes));
    EXPECT_EQ(0x33u, v);
    EXPECT_EQ(1u, writes);
}

TEST_F(SimFirmwareRelease, PreloadRunsAPairAndOverridesChangeOnlyTheReport) {
    openCard();
    EXPECT_EQ(0u, XAVO_SIM_PreloadFirmware(0, 0x10000, 0));
    EXPECT_EQ(0u, XAVO_SIM_PreloadFirmware(1, kOlderSampling, kOlderPeripheral));
    EXPECT_EQ(0u, firmwareWord(XAVO_SIM_BANK_SAMPLING)) << "a refused preload changes nothing";

    write(smpReg(0x50), 2);
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kOlderSampling, 0));
    EXPECT_EQ(kOlderSampling, read(smpReg(0xFC)));
    EXPECT_EQ(0u, read(perReg(0xFC)));
    EXPECT_EQ(0u, sequenceCompatible());
    EXPECT_EQ(0u, read(smpReg(0x50))) << "registers start afresh as at a release";

    // Reporting a sequence-compatible word does not make the older firmware bank its steps.
    ASSERT_EQ(1u, XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SAMPLING, kSequencedSampling));
    EXPECT_EQ(kSequencedSampling, read(smpReg(0xFC)));
    EXPECT_EQ(0u, sequenceCompatible());
    write(smpReg(0x74), 1);
    write(smpReg(0x58), 0x11);
    write(smpReg(0x74), 0);
    EXPECT_EQ(0x11u, read(smpReg(0x58)));

    // Nor does an override survive as the generation of the next release.
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    EXPECT_EQ(1u, sequenceCompatible());
    ASSERT_EQ(1u, XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SAMPLING, kOlderSampling));
    EXPECT_EQ(1u, sequenceCompatible());
    EXPECT_EQ(kSequencedSampling, firmwareWord(XAVO_SIM_BANK_SAMPLING));
}

}  // namespace
}  // namespace simtest
