#include "eeprom.h"

namespace xavo::sim {

namespace {
constexpr std::uint32_t kFirstOffsetWord = 2;
constexpr std::uint32_t kFirstGainWord = 8;
constexpr std::uint32_t kSignatureWord = 14;
constexpr std::uint32_t kSerialNumberWord = 15;
constexpr std::uint32_t kRangeMaskWord = 16;

constexpr std::uint32_t kOffsetWords[] = {2011, 2060, 2133, 1908, 2071};
constexpr std::uint32_t kGainWords[] = {2183, 1956, 2271, 1875, 2105};
constexpr std::uint32_t kValidSignature = 0x1234AA55;
constexpr std::uint32_t kResetRequestSignature = 0x123455AA;
constexpr std::uint32_t kSerialNumber = 1001;
constexpr std::uint32_t kCalibratedRanges = 0x1F;
constexpr std::uint32_t kErased = 0xFFFFFFFFu;
}  // namespace

Eeprom::Contents Eeprom::defaultPersonality() {
    Contents c;
    c.fill(kErased);
    for (std::uint32_t r = 0; r < 5; ++r) {
        c[kFirstOffsetWord + r] = kOffsetWords[r];
        c[kFirstGainWord + r] = kGainWords[r];
    }
    c[kSignatureWord] = kValidSignature;
    c[kSerialNumberWord] = kSerialNumber;
    c[kRangeMaskWord] = kCalibratedRanges;
    return c;
}

Eeprom::Contents Eeprom::personality(Personality p) {
    Contents c = defaultPersonality();
    switch (p) {
        case Personality::Valid:
            break;
        case Personality::ResetRequest:
            c[kSignatureWord] = kResetRequestSignature;
            break;
        case Personality::Blank:
            c.fill(kErased);
            break;
    }
    return c;
}

void Eeprom::write(std::uint32_t index, std::uint32_t value) {
    working_.at(index) = value;
    saturatingIncrement(writeCounts_.at(index));
    lastWritten_.at(index) = value;
}

void Eeprom::commit() {
    persistent_ = working_;
    saturatingIncrement(commitsCompleted_);
}

void Eeprom::clearLog() {
    writeCounts_.fill(0);
    lastWritten_.fill(0);
    commitsRequested_ = 0;
    commitsCompleted_ = 0;
}

}  // namespace xavo::sim
