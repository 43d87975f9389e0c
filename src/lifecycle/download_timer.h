// The timing of the firmware download's one-microsecond pauses.
#pragma once

namespace kz {

// Microseconds per tick of the high-resolution counter: computed at the first download that asks
// and kept for the life of the process; 0 when the counter's frequency cannot be had, in which
// case the next download asks again. Downloads on several cards may ask at the same time.
float downloadMicrosecondsPerTick();

} // namespace kz
