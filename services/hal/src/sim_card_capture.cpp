// The card's side of its acquisition: the register snapshot the capture engine works from, and
// the calls that run card time, pulses and knobs through it. Everything runs under the card's
// own lock and touches only this card.
#include "sim_card.h"

namespace xavo::sim {

namespace {

constexpr std::uint32_t kPulseWidthBits = 0xFFF;             // peripheral 0x08 bits 0-11
constexpr std::uint32_t kOversamplesShift = 20;              // peripheral 0x10 bits 20-27
constexpr std::uint32_t kOversamplesBits = 0xFF;
constexpr std::uint32_t kSampleWordsBits = 0xFFFF;           // sampling 0x58 bits 0-15
constexpr std::uint32_t kGateEnabledBit = 1u << 23;          // gate attributes (peripheral 0x3C)

}  // namespace

GateList SimCard::enabledGateSlots(std::uint32_t step) const {
    // The slots whose latched attributes have the enable bit, in ascending index.
    GateList list;
    for (std::uint32_t g = 0; g < GateUnit::kMaxSlots; ++g) {
        GateSlot slot;
        if (!hw_.banks.gates.slot(hw_.sequenceCompatible, step, g, slot)) break;
        if ((slot.attributes & kGateEnabledBit) != 0) list.gates[list.count++] = {g, slot.window, slot.attributes};
    }
    return list;
}

CaptureSettings SimCard::captureSettings() const {
    CaptureSettings s;
    s.sequenceCompatible = hw_.sequenceCompatible;
    s.clockLocked = hw_.synthesiser.isLocked(knobs_.clock);
    s.sampleClockHz = hw_.synthesiser.frequencyHz();
    s.analogueControl = latch(Bank::Peripheral, per::kAnalogueControl);
    for (std::uint32_t d = 0; d < kDacCount; ++d) s.dacWords[d] = hw_.dacWords[d];
    s.triggerDelay = latch(Bank::Peripheral, per::kStartDelay);
    s.pulseWidth = latch(Bank::Peripheral, per::kPulseWidth) & kPulseWidthBits;
    s.triggerPeriod = latch(Bank::Peripheral, per::kTriggerPeriod);
    s.encoderControl = latch(Bank::Peripheral, per::kEncoderControl);
    s.rectifier = latch(Bank::Sampling, smp::kRectifier);
    s.sampleControl = stored(Bank::Sampling, smp::kSampleControl);
    s.cScanBase = latch(Bank::Sampling, smp::kCScanBase);
    s.scanControl = latch(Bank::Sampling, smp::kScanControl);
    s.stepsLessOne = latch(Bank::Sampling, smp::kStepCount);
    for (std::uint32_t step = 0; step < stepCount(); ++step) {
        StepSettings& st = s.steps[step];
        st.oversamples =
            (storedForStep(Bank::Peripheral, per::kTriggerPeriod, step) >> kOversamplesShift & kOversamplesBits) + 1;
        st.sampleWordsPlusOne = storedForStep(Bank::Sampling, smp::kSampleControl, step) & kSampleWordsBits;
        st.tcgControl = storedForStep(Bank::Sampling, smp::kTcgControl, step);
        st.gates = enabledGateSlots(step);
    }
    for (std::uint32_t k = 0; k < kPingPongEntries; ++k) s.pingPong[k] = hw_.banks.pingPong[k];
    for (std::uint32_t e = 0; e < kEncoderCount; ++e) s.encoders[e] = latch(Bank::Peripheral, per::kEncoderCounter0 + 4 * e);
    s.inputChain = &inputChain_;
    return s;
}

void SimCard::forcedAScan() { acquisition_.forcedTrigger(captureSettings(), hw_.memory); }

void SimCard::advanceCardTime(std::uint64_t nanoseconds) {
    std::lock_guard lock(mutex_);
    const std::uint64_t now = acquisition_.now();
    const std::uint64_t step = nanoseconds * kPicosecondsPerNanosecond;
    acquisition_.advanceTo(step > ~now ? ~std::uint64_t{0} : now + step, captureSettings(), hw_.memory);
}

void SimCard::externalPulses(std::uint32_t count) {
    std::lock_guard lock(mutex_);
    acquisition_.externalPulses(count, captureSettings(), hw_.memory);
}

void SimCard::forceDataFull() {
    std::lock_guard lock(mutex_);
    acquisition_.forceDataFull();
}

void SimCard::setDataFullAfterDroppedTriggers(std::uint32_t triggers) {
    std::lock_guard lock(mutex_);
    acquisition_.knobs().dataFullAfterDropped = triggers;
}

void SimCard::setTriggersPaused(bool paused) {
    std::lock_guard lock(mutex_);
    acquisition_.knobs().paused = paused;
}

void SimCard::setCaptureWithoutLock(bool flag) {
    std::lock_guard lock(mutex_);
    acquisition_.knobs().captureWithoutLock = flag;
}

void SimCard::setDataSource(DataSource source, std::int32_t constantCode) {
    std::lock_guard lock(mutex_);
    acquisition_.knobs().source = source;
    acquisition_.knobs().constantCode = constantCode;
}

void SimCard::setScene(const XAVO_SIM_Scene& scene) {
    std::lock_guard lock(mutex_);
    acquisition_.setScene(scene);
}

XAVO_SIM_CaptureStatus SimCard::captureStatus() const {
    std::lock_guard lock(mutex_);
    return acquisition_.status();
}

}  // namespace xavo::sim
