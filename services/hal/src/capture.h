// The card's acquisition: triggers in card time, B-scans and banks, the held bank and its
// release, a full memory, and the A-scan and gate areas written into the sample memory.
//
// The card computes where everything goes from its own registers alone; the card owner hands
// the engine a snapshot of them (CaptureSettings) with every call that may capture. The engine
// holds all capture state and knobs in one object, touches nothing but the sample memory it is
// given, and takes no lock: the card calls it under its own.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "XAVOSimControl.h"
#include "sample_memory.h"
#include "sample_source.h"
#include "scene.h"
#include "time_base.h"

namespace xavo::sim {

inline constexpr std::uint32_t kCaptureSteps = 32;
inline constexpr std::uint32_t kCapturePositions = 128;
inline constexpr std::uint32_t kCaptureEncoders = 6;
inline constexpr std::uint32_t kCaptureGateSlots = 8;

// A gate slot whose results the capture writes: its index and the window and attribute words
// latched by its load.
struct EnabledGate {
    std::uint32_t index = 0;
    std::uint32_t window = 0;
    std::uint32_t attributes = 0;
};
struct GateList {
    std::uint32_t count = 0;
    std::array<EnabledGate, kCaptureGateSlots> gates{};
};

// One sequence step's settings, as the step-banked registers hold them.
struct StepSettings {
    std::uint32_t oversamples = 1;         // peripheral 0x10 bits 20-27, plus 1
    std::uint32_t sampleWordsPlusOne = 0;  // sampling 0x58 bits 0-15
    std::uint32_t tcgControl = 0;          // sampling 0x60
    GateList gates;                        // the step's enabled gate slots
};

// The registers the acquisition reads, taken when it runs.
struct CaptureSettings {
    bool sequenceCompatible = false;
    bool clockLocked = false;
    double sampleClockHz = 0.0;             // from the synthesiser's tuning word
    std::uint32_t analogueControl = 0;      // peripheral 0x00
    std::array<std::uint32_t, 4> dacWords{};
    std::uint32_t triggerDelay = 0;         // peripheral 0x04: start delay, internal trigger
    std::uint32_t pulseWidth = 0;           // peripheral 0x08 bits 0-11
    std::uint32_t triggerPeriod = 0;        // peripheral 0x10 (bits 0-16 used)
    std::uint32_t encoderControl = 0;       // peripheral 0x1C
    std::uint32_t rectifier = 0;            // sampling 0x50
    std::uint32_t sampleControl = 0;        // sampling 0x58 (the bits common to all steps used)
    std::uint32_t cScanBase = 0;            // sampling 0x68
    std::uint32_t scanControl = 0;          // sampling 0x6C
    std::uint32_t stepsLessOne = 0;         // sampling 0x78
    std::array<StepSettings, kCaptureSteps> steps{};
    std::array<std::uint8_t, kCapturePositions> pingPong{};
    std::array<std::uint32_t, kCaptureEncoders> encoders{};
    // The card's input chain; none: the range gain alone.
    InputChain* inputChain = nullptr;
};

// Where a B-scan's parts lie, from the registers.
struct PositionGeometry {
    std::uint32_t step = 0;
    std::uint32_t oversamples = 1;
    std::uint32_t samplesPerOversample = 0;
    std::uint64_t recordBytes = 0;   // header words, samples and the extra header word
    std::uint64_t aScanOffset = 0;   // from the start of the B-scan's A-scan area
    std::uint64_t gateOffset = 0;    // from the start of the B-scan's gate area
    std::uint32_t gates = 0;
};

struct Geometry {
    std::uint32_t positions = 0;
    std::uint32_t aScansPerBScan = 0;  // with oversamples: triggers per B-scan
    std::uint32_t bScansPerBank = 1;
    std::uint32_t bytesPerSample = 2;
    std::uint32_t extraHeaderBytes = 0;
    bool storesGateResults = false;
    bool mismatch = false;
    std::uint64_t aScanAreaBytes = 0;  // A
    std::uint64_t gateAreaBytes = 0;   // G
    std::uint64_t cScanBase = 0;
    std::array<PositionGeometry, kCapturePositions> position{};
};
Geometry computeGeometry(const CaptureSettings& settings);

// The result word of one enabled gate over the codes of one A-scan: amplitude (peak magnitude
// in the window) in bits 0-11, bit 15 when the threshold was crossed, in bits 16-31 the sample
// of the first crossing (of the peak for the peak distance metric), counted from the trigger
// gate's crossing when the gate has one. `crossings` holds the crossing sample of every gate
// index evaluated so far (-1: none) and receives this gate's.
std::uint32_t gateResult(const EnabledGate& gate, const std::int32_t* codes, std::uint32_t count,
                         std::array<std::int64_t, 16>& crossings);

class Acquisition {
public:
    struct Knobs {
        DataSource source = DataSource::Model;
        std::int32_t constantCode = 0;
        bool paused = false;
        bool captureWithoutLock = false;
        std::uint32_t dataFullAfterDropped = 0;
        XAVO_SIM_Scene scene = defaultScene();
    };

    Acquisition();

    Knobs& knobs() { return knobs_; }
    void setScene(const XAVO_SIM_Scene& scene);

    // Power-up: no capture, card time 0. The knobs stay.
    void powerUp();
    // A write of sampling 0x6C or a firmware release: captured count 0, the B-scan in progress
    // dropped, a full memory cleared.
    void restart();
    // The host hands the bank back: captured count 0, the next capture at B-scan 0.
    void release();
    void forceDataFull() { dataFull_ = true; }
    // Peripheral 0x1C bit 31: the next trigger starts a new B-scan.
    void strobeBScan() { strobePending_ = true; }
    // Sets the captured count (a test's shortcut past capture).
    void setCapturedBScans(std::uint32_t count);

    // Runs card time forward to `endPs`, firing the internal timer on the way.
    void advanceTo(std::uint64_t endPs, const CaptureSettings& settings, SampleMemory& memory);
    void forcedTrigger(const CaptureSettings& settings, SampleMemory& memory);
    void externalPulses(std::uint32_t count, const CaptureSettings& settings, SampleMemory& memory);

    std::uint64_t now() const { return time_.now(); }
    std::uint32_t capturedBScans() const { return captured_; }
    bool bankHeld() const { return held_; }
    bool dataFull() const { return dataFull_; }
    XAVO_SIM_CaptureStatus status() const;

private:
    enum class Source { Timer, External, Forced };

    bool clockAllows(const CaptureSettings& settings) const;
    double sampleClockHz(const CaptureSettings& settings) const;
    // Whether a B-scan may start with a trigger at `t`; `resume` receives the earliest card time
    // at which one may, or ~0 when nothing within this call can start one.
    bool startAllowed(std::uint64_t t, const CaptureSettings& settings, double hz, std::uint64_t& resume);
    void noteStart(std::uint64_t t, const CaptureSettings& settings, double hz);
    // One trigger; returns the card time the A-scan took to sample (0 when none was captured).
    std::uint64_t trigger(std::uint64_t t, Source source, const CaptureSettings& settings, SampleMemory& memory);
    void drop(std::uint64_t n);
    void captureAScan(std::uint64_t t, const CaptureSettings& settings, SampleMemory& memory);
    void renderCodes(const CaptureSettings& settings, const PositionGeometry& p, std::uint32_t bScan,
                     std::uint32_t position, std::uint32_t oversample, double hz);
    void writeTrailer(std::uint64_t address, const CaptureSettings& settings, SampleMemory& memory, bool gateArea);
    // Writes inside the memory only; an area running past it, or a gate area running into the
    // bank's A-scan areas, is cut and flagged.
    void writeWord(SampleMemory& memory, std::uint64_t address, std::uint32_t value, bool gateArea);
    std::uint8_t* writable(SampleMemory& memory, std::uint64_t address, std::uint64_t bytes, bool gateArea);

    Knobs knobs_;
    TimeBase time_;
    NoiseSource noise_;

    // Bank progress.
    std::uint32_t captured_ = 0;
    bool held_ = false;
    bool dataFull_ = false;
    bool inProgress_ = false;
    bool strobePending_ = false;
    std::uint32_t position_ = 0;
    std::uint32_t oversample_ = 0;
    Geometry geometry_;  // of the B-scan in progress, or of the last capture

    // Internal timer.
    bool timerRunning_ = false;
    std::uint64_t timerPeriodPs_ = 0;
    std::uint64_t nextTriggerPs_ = 0;

    // B-scan start gating.
    bool startMarked_ = false;
    std::uint64_t lastStartTick_ = 0;
    std::uint64_t encoderMark256_ = 0;  // selected encoder's count at the last start, in 1/256 clicks

    // Counts.
    std::uint32_t aScansCaptured_ = 0;
    std::uint32_t sequence_ = 0;
    std::uint32_t dropped_ = 0;
    std::uint32_t droppedWhileHeld_ = 0;
    std::uint32_t releases_ = 0;
    bool clipped_ = false;

    // Scratch of one A-scan.
    std::vector<std::int32_t> codes_;
    std::vector<double> volts_;
};

}  // namespace xavo::sim
