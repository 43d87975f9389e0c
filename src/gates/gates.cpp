#include "gates/gates.h"

namespace kz {

static_assert(kGatesOfOlderFirmware <= KZ_MAXIMUM_NUMBER_OF_GATES);

GateDefinition defaultGate(std::uint32_t gateIndex)
{
    GateDefinition gate{};
    gate.gateIndex = static_cast<std::int32_t>(gateIndex);
    gate.triggerGate = KZ_GATE_TRIGGER_NONE;
    gate.distanceMetric = KZ_GDMPeak;
    gate.enabled = 0;
    gate.amplitudePeakSelect = KZ_GAPSLargestPeak;
    gate.distancePeakSelect = KZ_GDPSLargestPeak;
    return gate;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_ReturnMaximumNumberOfGates(uint32_t isSequenceCompatibleFirmware)
{
    return kz::maximumNumberOfGates(isSequenceCompatibleFirmware);
}

} // extern "C"
