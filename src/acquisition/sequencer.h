// The nested pause of a running sequencer that other operations wrap around their reprogramming
// of the card (sequence-compatible firmware). The exported pause and resume return nothing; these
// tell their callers whether the card did what was asked.
#pragma once

#include <cstdint>

namespace kz {

// Counts a pause; the outermost pause of a running sequencer stops it. Returns 0 when the
// sequencer could not be stopped (it may still run), else 1, also when there was nothing to stop.
std::uint32_t pauseSequence(std::uint32_t cardIndex);
// Counts a resume; the one that matches the outermost pause starts the sequencer again. Returns 0
// when it could not be started: the card's sequencer then stays stopped and the record keeps it
// paused, so that the next pause and resume start it. Else 1, also when there was nothing to do.
std::uint32_t resumeSequence(std::uint32_t cardIndex);

} // namespace kz
