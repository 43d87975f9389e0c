#include "capture.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace xavo::sim {

namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kMemoryBytes = SampleMemory::kBytes;
constexpr std::uint32_t kWordBytes = 4;
constexpr std::uint32_t kTrailerWords = 5;  // encoder 0, encoder 1, selected encoder, time, sequence
constexpr std::uint32_t kTrailerBytes = kTrailerWords * kWordBytes;
constexpr double kFallbackClockHz = 66'000'000.0;
constexpr double kMinClockHz = 40'000'000.0;
constexpr double kMaxClockHz = 100'000'000.0;

// Register fields the acquisition reads.
constexpr std::uint32_t kAScansLessOneBits = 0x7F;      // sampling 0x6C bits 0-6
constexpr std::uint32_t kBScansLessOneShift = 8;        // sampling 0x6C bits 8-22
constexpr std::uint32_t kBScansLessOneBits = 0x7FFF;
constexpr std::uint32_t kStorageOptionShift = 30;       // sampling 0x6C bits 30-31
constexpr std::uint32_t kDropShift = 16;                // sampling 0x58 bits 16-19
constexpr std::uint32_t kDropBits = 0xF;
constexpr std::uint32_t kEightBitStorage = 1u << 20;    // sampling 0x58
constexpr std::uint32_t kTestPattern = 1u << 22;
constexpr std::uint32_t kSignAndMagnitude = 1u << 23;
constexpr std::uint32_t kRectifierBits = 0x3;           // sampling 0x50
constexpr std::uint32_t kStepsBits = 0x1F;              // sampling 0x78
constexpr std::uint32_t kCScanBaseBits = 0x3FFFFF;      // sampling 0x68
constexpr std::uint32_t kInternalTrigger = 1u << 16;    // peripheral 0x04
constexpr std::uint32_t kStartDelayLowBits = 0xFFFF;    // peripheral 0x04 bits 0-15
constexpr std::uint32_t kStartDelayHighShift = 20;      // peripheral 0x04 bits 20-24
constexpr std::uint32_t kStartDelayHighBits = 0x1F;
constexpr std::uint32_t kPeriodsLessOneBits = 0x1FFFF;  // peripheral 0x10 bits 0-16
constexpr std::uint32_t kClicksLessOneBits = 0xFFFF;    // peripheral 0x1C bits 0-15
constexpr std::uint32_t kEncoderSelectShift = 16;       // bits 16-18
constexpr std::uint32_t kEncoderSelectBits = 0x7;
constexpr std::uint32_t kClickFractionShift = 20;       // bits 20-27, 1/256 clicks
constexpr std::uint32_t kClickFractionBits = 0xFF;
constexpr std::uint32_t kBScanPeriodBits = 0x3FFFFFF;   // bits 0-25 with the B-scan timer
constexpr std::uint32_t kBScanTimer = 1u << 29;
constexpr std::uint32_t kBScanByEncoder = 1u << 30;
constexpr std::uint32_t kEncoderAliasOf0 = 6;
constexpr std::uint32_t kNoEncoder = 7;

// Header words.
constexpr std::uint32_t kAScanTag = 0xA5u << 24;
constexpr std::uint32_t kBScanTag = 0x5Au << 24;
constexpr std::uint32_t kGateAreaTag = 0xC3u << 24;
constexpr std::uint32_t kGateStatusTag = 0xC5u << 24;
constexpr std::uint32_t kPositionShift = 17;
constexpr std::uint32_t kPositionBits = 0x7F;
constexpr std::uint32_t kOversampleShift = 12;
constexpr std::uint32_t kOversampleBits = 0x1F;
constexpr std::uint32_t kBScanIndexBits = 0xFFF;

// Gate slot fields (window: end << 16 | start, each less the count offset; attributes).
constexpr std::uint32_t kGateStartBits = 0xFFFF;
constexpr std::uint32_t kGateEndShift = 16;
constexpr std::uint32_t kFirstGateCountOffset = 3;
constexpr std::uint32_t kOtherGateCountOffset = 4;
constexpr std::uint32_t kThresholdBits = 0xFFF;
constexpr std::uint32_t kTriggerGateShift = 12;
constexpr std::uint32_t kTriggerGateBits = 0xF;
constexpr std::uint32_t kMetricHighBit = 1u << 16;
constexpr std::uint32_t kPolarityShift = 18;
constexpr std::uint32_t kPolarityBits = 0x3;
constexpr std::uint32_t kMetricLowShift = 21;
constexpr std::uint32_t kMetricLowBits = 0x3;
constexpr std::uint32_t kPeakMetric = 2;
constexpr std::uint32_t kLastTriggerGate = 9;
constexpr std::uint32_t kAmplitudeBits = 0xFFF;
constexpr std::uint32_t kCrossedBit = 1u << 15;
constexpr std::uint32_t kGateTimeShift = 16;
constexpr std::uint32_t kGateTimeBits = 0xFFFF;

std::uint32_t startDelayClocks(const CaptureSettings& s) {
    return (s.triggerDelay & kStartDelayLowBits) |
           ((s.triggerDelay >> kStartDelayHighShift & kStartDelayHighBits) << 16);
}

std::uint32_t dropCount(const CaptureSettings& s) { return s.sampleControl >> kDropShift & kDropBits; }

std::uint32_t selectedEncoder(std::uint32_t encoderControl) {
    const std::uint32_t sel = encoderControl >> kEncoderSelectShift & kEncoderSelectBits;
    return sel == kEncoderAliasOf0 ? 0 : sel;
}

std::uint32_t selectedEncoderCount(const CaptureSettings& s) {
    const std::uint32_t sel = selectedEncoder(s.encoderControl);
    return sel < kCaptureEncoders ? s.encoders[sel] : 0;
}

// Ceiling of a / b for b > 0.
std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

}  // namespace

// ---------------------------------------------------------------- geometry

Geometry computeGeometry(const CaptureSettings& s) {
    Geometry g;
    const bool eightBit = (s.sampleControl & kEightBitStorage) != 0;
    g.bytesPerSample = eightBit ? 1 : 2;
    g.extraHeaderBytes = s.sequenceCompatible ? 0 : kWordBytes;
    const std::uint32_t option = s.scanControl >> kStorageOptionShift;
    const bool wholeBank = option == 0 || option == 2;
    g.storesGateResults = option == 1 || option == 2;
    g.bScansPerBank = wholeBank ? (s.scanControl >> kBScansLessOneShift & kBScansLessOneBits) + 1 : 1;
    g.cScanBase = s.cScanBase & kCScanBaseBits;

    const std::uint32_t total = (s.scanControl & kAScansLessOneBits) + 1;
    const std::uint32_t steps = s.sequenceCompatible ? (s.stepsLessOne & kStepsBits) + 1 : 1;
    const auto stepOf = [&](std::uint32_t k) { return s.sequenceCompatible ? k % steps : 0; };

    // The positions whose oversamples make up the card's A-scan count.
    std::uint32_t n = 0;
    std::uint32_t sum = 0;
    while (sum < total && n < kCapturePositions) sum += std::max(s.steps[stepOf(n++)].oversamples, 1u);
    g.mismatch = sum != total;
    g.positions = std::max(n, 1u);

    const std::uint32_t samplesPerWord = eightBit ? 4 : 2;
    std::uint64_t aOffset = kWordBytes;
    std::uint64_t gOffset = kWordBytes;
    g.aScansPerBScan = 0;
    for (std::uint32_t k = 0; k < g.positions; ++k) {
        PositionGeometry& p = g.position[k];
        const StepSettings& step = s.steps[stepOf(k)];
        p.step = stepOf(k);
        p.oversamples = std::max(step.oversamples, 1u);
        p.samplesPerOversample = step.sampleWordsPlusOne == 0 ? 0 : (step.sampleWordsPlusOne - 1) * samplesPerWord;
        p.gates = step.gates.count;
        p.recordBytes = std::uint64_t{p.oversamples} * (kWordBytes + std::uint64_t{g.bytesPerSample} * p.samplesPerOversample) +
                        g.extraHeaderBytes;
        p.aScanOffset = aOffset;
        p.gateOffset = gOffset;
        aOffset += p.recordBytes;
        gOffset += (kWordBytes * std::uint64_t{p.gates} + kWordBytes) * p.oversamples;
        g.aScansPerBScan += p.oversamples;
    }
    g.aScanAreaBytes = aOffset + g.extraHeaderBytes + kTrailerBytes;
    g.gateAreaBytes = g.storesGateResults ? gOffset + g.extraHeaderBytes + kTrailerBytes : 0;
    return g;
}

// ---------------------------------------------------------------- gates

std::uint32_t gateResult(const EnabledGate& gate, const std::int32_t* codes, std::uint32_t count,
                         std::array<std::int64_t, 16>& crossings) {
    const std::uint32_t countOffset = gate.index == 0 ? kFirstGateCountOffset : kOtherGateCountOffset;
    std::int64_t first = (gate.window & kGateStartBits) + countOffset;
    std::int64_t last = (gate.window >> kGateEndShift) + countOffset;
    const std::uint32_t triggerGate = gate.attributes >> kTriggerGateShift & kTriggerGateBits;
    std::int64_t origin = 0;
    if (triggerGate <= kLastTriggerGate) {
        origin = crossings[triggerGate];
        if (origin < 0) {  // the trigger gate saw nothing, so this one does not open
            crossings[gate.index & 0xF] = -1;
            return 0;
        }
        first += origin;
        last += origin;
    }
    const std::uint32_t threshold = gate.attributes & kThresholdBits;
    const std::uint32_t polarity = gate.attributes >> kPolarityShift & kPolarityBits;
    const std::uint32_t metric = (gate.attributes >> kMetricLowShift & kMetricLowBits) +
                                 ((gate.attributes & kMetricHighBit) != 0 ? 3 : 0);
    std::int32_t peak = 0;
    std::int64_t peakAt = -1;
    std::int64_t crossedAt = -1;
    for (std::int64_t j = std::max<std::int64_t>(first, 0); j <= last && j < count; ++j) {
        const std::int32_t c = codes[j];
        const std::int32_t magnitude = polarity == 0 ? std::max(c, 0) : polarity == 1 ? std::max(-c, 0) : std::abs(c);
        if (magnitude > peak) {
            peak = magnitude;
            peakAt = j;
        }
        if (crossedAt < 0 && static_cast<std::uint32_t>(magnitude) > threshold) crossedAt = j;
    }
    crossings[gate.index & 0xF] = crossedAt;
    std::uint32_t word = static_cast<std::uint32_t>(peak) & kAmplitudeBits;
    if (crossedAt >= 0) {
        word |= kCrossedBit;
        const std::int64_t at = metric == kPeakMetric ? peakAt : crossedAt;
        word |= (static_cast<std::uint32_t>(at - origin) & kGateTimeBits) << kGateTimeShift;
    }
    return word;
}

// ---------------------------------------------------------------- state

Acquisition::Acquisition() { noise_.reseed(knobs_.scene.noiseSeed); }

void Acquisition::setScene(const XAVO_SIM_Scene& scene) {
    knobs_.scene = scene;
    noise_.reseed(scene.noiseSeed);
}

void Acquisition::powerUp() {
    const Knobs knobs = knobs_;
    *this = Acquisition{};
    knobs_ = knobs;
    noise_.reseed(knobs_.scene.noiseSeed);
}

void Acquisition::restart() {
    captured_ = 0;
    held_ = false;
    dataFull_ = false;
    inProgress_ = false;
    strobePending_ = false;
    startMarked_ = false;
    droppedWhileHeld_ = 0;
}

void Acquisition::release() {
    ++releases_;
    captured_ = 0;
    held_ = false;
    inProgress_ = false;
    droppedWhileHeld_ = 0;
}

void Acquisition::setCapturedBScans(std::uint32_t count) {
    captured_ = count;
    held_ = false;
    inProgress_ = false;
}

XAVO_SIM_CaptureStatus Acquisition::status() const {
    XAVO_SIM_CaptureStatus s{};
    s.cardTimeNanoseconds = time_.now() / kPicosecondsPerNanosecond;
    s.capturedBScans = captured_;
    s.bankHeld = held_ ? 1 : 0;
    s.dataFull = dataFull_ ? 1 : 0;
    s.aScansCaptured = aScansCaptured_;
    s.bScansCaptured = sequence_;
    s.droppedTriggers = dropped_;
    s.releases = releases_;
    s.positions = geometry_.positions;
    s.bScansPerBank = geometry_.bScansPerBank;
    s.aScanAreaBytes = static_cast<std::uint32_t>(std::min(geometry_.aScanAreaBytes, kMemoryBytes));
    s.gateAreaBytes = static_cast<std::uint32_t>(std::min(geometry_.gateAreaBytes, kMemoryBytes));
    s.geometryMismatch = geometry_.mismatch ? 1 : 0;
    s.clipped = clipped_ ? 1 : 0;
    return s;
}

void Acquisition::drop(std::uint64_t n) {
    const auto add = [n](std::uint32_t& counter) {
        counter = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{counter} + n, 0xFFFFFFFFu));
    };
    add(dropped_);
    if (!held_) return;
    add(droppedWhileHeld_);
    if (knobs_.dataFullAfterDropped != 0 && droppedWhileHeld_ >= knobs_.dataFullAfterDropped) dataFull_ = true;
}

// ---------------------------------------------------------------- triggers

bool Acquisition::clockAllows(const CaptureSettings& s) const { return s.clockLocked || knobs_.captureWithoutLock; }

double Acquisition::sampleClockHz(const CaptureSettings& s) const {
    return s.sampleClockHz >= kMinClockHz && s.sampleClockHz <= kMaxClockHz ? s.sampleClockHz : kFallbackClockHz;
}

bool Acquisition::startAllowed(std::uint64_t t, const CaptureSettings& s, double hz, std::uint64_t& resume) {
    resume = kNever;
    if (!startMarked_ || strobePending_) return true;
    const std::uint32_t ec = s.encoderControl;
    if (ec & kBScanTimer) {
        const std::uint64_t tick =
            picosecondsOfClocks(static_cast<double>(ec & kBScanPeriodBits) * kSampleClocksPerPulseClock, hz);
        if (tick == 0) return false;
        if (t / tick > lastStartTick_) return true;
        resume = (lastStartTick_ + 1) * tick;
        return false;
    }
    if (ec & kBScanByEncoder) {
        if ((ec >> kEncoderSelectShift & kEncoderSelectBits) == kNoEncoder) return false;
        const std::int64_t distance = static_cast<std::int64_t>((ec & kClicksLessOneBits) + 1) * 256 +
                                      (ec >> kClickFractionShift & kClickFractionBits);
        const std::int64_t here = static_cast<std::int64_t>(static_cast<std::int32_t>(selectedEncoderCount(s))) * 256;
        return std::llabs(here - static_cast<std::int64_t>(encoderMark256_)) >= distance;
    }
    return true;
}

void Acquisition::noteStart(std::uint64_t t, const CaptureSettings& s, double hz) {
    const std::uint32_t ec = s.encoderControl;
    const std::int64_t here = static_cast<std::int64_t>(static_cast<std::int32_t>(selectedEncoderCount(s))) * 256;
    if (!startMarked_ || !(ec & kBScanByEncoder)) {
        encoderMark256_ = static_cast<std::uint64_t>(here);
    } else {
        // The next start comes a whole distance further on, fractions carried.
        const std::int64_t distance = static_cast<std::int64_t>((ec & kClicksLessOneBits) + 1) * 256 +
                                      (ec >> kClickFractionShift & kClickFractionBits);
        const auto mark = static_cast<std::int64_t>(encoderMark256_);
        encoderMark256_ = static_cast<std::uint64_t>(here >= mark ? mark + distance : mark - distance);
    }
    const std::uint64_t tick =
        picosecondsOfClocks(static_cast<double>(ec & kBScanPeriodBits) * kSampleClocksPerPulseClock, hz);
    lastStartTick_ = tick == 0 ? 0 : t / tick;
    startMarked_ = true;
}

std::uint64_t Acquisition::trigger(std::uint64_t t, Source source, const CaptureSettings& s, SampleMemory& memory) {
    if (dataFull_ || held_) {
        drop(1);
        return 0;
    }
    const double hz = sampleClockHz(s);
    if (!inProgress_ || strobePending_) {
        std::uint64_t resume = 0;
        if (!inProgress_ && source != Source::Forced && !startAllowed(t, s, hz, resume)) return 0;
        geometry_ = computeGeometry(s);
        inProgress_ = true;
        strobePending_ = false;
        position_ = 0;
        oversample_ = 0;
        noteStart(t, s, hz);
    }
    const PositionGeometry& p = geometry_.position[position_];
    const double clocks = static_cast<double>(startDelayClocks(s)) +
                          static_cast<double>(p.samplesPerOversample) * (dropCount(s) + 1);
    captureAScan(t, s, memory);
    return picosecondsOfClocks(clocks, hz);
}

void Acquisition::advanceTo(std::uint64_t endPs, const CaptureSettings& s, SampleMemory& memory) {
    if (endPs <= time_.now()) return;
    const bool internal = (s.triggerDelay & kInternalTrigger) != 0;
    if (!internal || knobs_.paused || !clockAllows(s)) {
        timerRunning_ = false;
        time_.moveTo(endPs);
        return;
    }
    const double hz = sampleClockHz(s);
    const double periods = static_cast<double>((s.triggerPeriod & kPeriodsLessOneBits) + 1);
    const std::uint64_t period = picosecondsOfClocks(periods * kSampleClocksPerPulseClock, hz);
    if (!timerRunning_ || period != timerPeriodPs_) {
        timerRunning_ = true;
        timerPeriodPs_ = period;
        nextTriggerPs_ = time_.now() + period;
    }
    while (nextTriggerPs_ <= endPs) {
        const std::uint64_t t = nextTriggerPs_;
        if (held_ || dataFull_) {
            // Nothing more is captured in this advance: the rest of its triggers are counted.
            const std::uint64_t n = (endPs - t) / period + 1;
            drop(n);
            nextTriggerPs_ += n * period;
            break;
        }
        if (!inProgress_) {
            std::uint64_t resume = 0;
            if (!startAllowed(t, s, hz, resume)) {
                const std::uint64_t target = resume == kNever || resume > endPs ? endPs + 1 : resume;
                nextTriggerPs_ += std::max<std::uint64_t>(ceilDiv(target - t, period), 1) * period;
                continue;
            }
        }
        time_.moveTo(t);
        const std::uint64_t busy = trigger(t, Source::Timer, s, memory);
        // A trigger that comes while the A-scan is still sampling is skipped.
        nextTriggerPs_ = t + std::max<std::uint64_t>(ceilDiv(busy, period), 1) * period;
    }
    time_.moveTo(endPs);
}

void Acquisition::forcedTrigger(const CaptureSettings& s, SampleMemory& memory) {
    if (!clockAllows(s)) return;
    trigger(time_.now(), Source::Forced, s, memory);
}

void Acquisition::externalPulses(std::uint32_t count, const CaptureSettings& s, SampleMemory& memory) {
    if ((s.triggerDelay & kInternalTrigger) != 0 || knobs_.paused || !clockAllows(s)) return;
    for (std::uint32_t i = 0; i < count; ++i) trigger(time_.now(), Source::External, s, memory);
}

// ---------------------------------------------------------------- rendering

std::uint8_t* Acquisition::writable(SampleMemory& memory, std::uint64_t address, std::uint64_t bytes, bool gateArea) {
    const std::uint64_t bankAScans = std::uint64_t{geometry_.bScansPerBank} * geometry_.aScanAreaBytes;
    if (address + bytes > kMemoryBytes || (gateArea && address < bankAScans)) {
        clipped_ = true;
        return nullptr;
    }
    return memory.writableBytes(static_cast<std::uint32_t>(address), static_cast<std::uint32_t>(bytes));
}

void Acquisition::writeWord(SampleMemory& memory, std::uint64_t address, std::uint32_t value, bool gateArea) {
    std::uint8_t* p = writable(memory, address, kWordBytes, gateArea);
    if (p == nullptr) return;
    for (std::uint32_t i = 0; i < kWordBytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Acquisition::writeTrailer(std::uint64_t address, const CaptureSettings& s, SampleMemory& memory, bool gateArea) {
    const std::uint32_t words[kTrailerWords] = {s.encoders[0], s.encoders[1], selectedEncoderCount(s),
                                                microsecondsOf(time_.now()), sequence_};
    for (std::uint32_t i = 0; i < kTrailerWords; ++i) writeWord(memory, address + kWordBytes * i, words[i], gateArea);
    if (geometry_.extraHeaderBytes != 0) writeWord(memory, address + kTrailerBytes, 0, gateArea);
}

void Acquisition::renderCodes(const CaptureSettings& s, const PositionGeometry& p, std::uint32_t bScan,
                              std::uint32_t position, std::uint32_t oversample, double hz) {
    const std::uint32_t n = p.samplesPerOversample;
    codes_.resize(n);
    const bool ramp = knobs_.source == DataSource::Ramp || (s.sampleControl & kTestPattern) != 0;
    if (ramp) {
        for (std::uint32_t j = 0; j < n; ++j) codes_[j] = rampCode(bScan, position, oversample, j);
        return;
    }
    if (knobs_.source == DataSource::Constant) {
        std::fill(codes_.begin(), codes_.end(), std::clamp(knobs_.constantCode, kMinCode, kMaxCode));
        return;
    }
    ChainSettings chain{s.analogueControl, s.dacWords, p.step, s.steps[p.step].tcgControl, s.sequenceCompatible};
    const GateList& gates = s.steps[p.step].gates;
    for (std::uint32_t i = 0; i < gates.count; ++i) {
        if (gates.gates[i].index == 0) {
            chain.gate0Enabled = true;
            chain.gate0Window = gates.gates[i].window;
            chain.gate0Attributes = gates.gates[i].attributes;
        }
    }
    const AnalogueSelection selection = decodeAnalogueControl(s.analogueControl);
    volts_.assign(n, 0.0);
    if (knobs_.scene.enabled != 0 && (selection.input == 0 || selection.input == 1)) {
        // Sample j of oversample o is taken (delay + j (drop + 1) + o / ov) sample clocks after
        // the trigger.
        const double dt = (dropCount(s) + 1) / hz;
        const double t0 = (startDelayClocks(s) + static_cast<double>(oversample) / p.oversamples) / hz;
        SceneContext context;
        context.transmitSeconds = static_cast<double>(s.pulseWidth) * kSampleClocksPerPulseClock / hz;
        context.encoder0 = static_cast<std::int32_t>(s.encoders[0]);
        context.element = s.pingPong[position % kCapturePositions];
        renderScene(knobs_.scene, context, t0, dt, n, noise_, volts_.data());
    }
    RangeGainChain rangeGain;
    InputChain& inputChain = s.inputChain != nullptr ? *s.inputChain : rangeGain;
    inputChain.convert(chain, volts_.data(), n, oversample, p.oversamples, codes_.data());
}

void Acquisition::captureAScan(std::uint64_t t, const CaptureSettings& s, SampleMemory& memory) {
    const Geometry& g = geometry_;
    const std::uint32_t k = position_;
    const std::uint32_t o = oversample_;
    const std::uint32_t b = captured_;
    const PositionGeometry& p = g.position[k];
    const std::uint64_t base = std::uint64_t{b} * g.aScanAreaBytes;
    const std::uint64_t gateBase = g.cScanBase + std::uint64_t{b} * g.gateAreaBytes;
    const std::uint32_t bIndex = b & kBScanIndexBits;

    if (k == 0 && o == 0) {
        writeWord(memory, base, kBScanTag | ((g.positions - 1) & kPositionBits) << kPositionShift | bIndex, false);
        if (g.storesGateResults) writeWord(memory, gateBase, kGateAreaTag | bIndex, true);
    }

    const std::uint64_t sampleBytes = std::uint64_t{g.bytesPerSample} * p.samplesPerOversample;
    const std::uint64_t record = base + p.aScanOffset + o * (kWordBytes + sampleBytes);
    writeWord(memory, record,
              kAScanTag | (k & kPositionBits) << kPositionShift | (o & kOversampleBits) << kOversampleShift | bIndex,
              false);
    renderCodes(s, p, b, k, o, sampleClockHz(s));
    if (std::uint8_t* out = writable(memory, record + kWordBytes, sampleBytes, false)) {
        const StorageShape shape{s.rectifier & kRectifierBits, g.bytesPerSample == 1,
                                 (s.sampleControl & kSignAndMagnitude) != 0};
        storeSamples(codes_.data(), p.samplesPerOversample, shape, out);
    }
    if (g.extraHeaderBytes != 0 && o + 1 == p.oversamples)
        writeWord(memory, base + p.aScanOffset + p.oversamples * (kWordBytes + sampleBytes), s.encoders[0], false);

    if (g.storesGateResults) {
        const GateList& gates = s.steps[p.step].gates;
        const std::uint64_t status = gateBase + p.gateOffset + o * (kWordBytes * std::uint64_t{p.gates} + kWordBytes);
        std::array<std::int64_t, 16> crossings;
        crossings.fill(-1);
        std::uint32_t crossed = 0;
        for (std::uint32_t i = 0; i < gates.count && i < p.gates; ++i) {
            const std::uint32_t word = gateResult(gates.gates[i], codes_.data(), p.samplesPerOversample, crossings);
            if (word & kCrossedBit) crossed |= 1u << (gates.gates[i].index & 7);
            writeWord(memory, status + kWordBytes * (i + 1), word, true);
        }
        writeWord(memory, status,
                  kGateStatusTag | (k & kPositionBits) << kPositionShift | (o & kOversampleBits) << kOversampleShift |
                      crossed,
                  true);
    }

    time_.moveTo(t);
    ++aScansCaptured_;
    if (++oversample_ < p.oversamples) return;
    oversample_ = 0;
    if (++position_ < g.positions) return;

    // The B-scan is complete.
    const std::uint64_t trailer = g.extraHeaderBytes + kTrailerBytes;
    writeTrailer(base + g.aScanAreaBytes - trailer, s, memory, false);
    if (g.storesGateResults) writeTrailer(gateBase + g.gateAreaBytes - trailer, s, memory, true);
    position_ = 0;
    inProgress_ = false;
    ++sequence_;
    if (++captured_ >= g.bScansPerBank) {
        held_ = true;
        droppedWhileHeld_ = 0;
    }
}

}  // namespace xavo::sim
