// The library and its simulated cards for the fuzz targets: loaded once per process, on a
// virtual clock (so that no input waits for real time), with the error service quiet.
#pragma once

#include <cstdint>
#include <string>

namespace kz::fuzz {

// Loads the library with `cards` simulated cards the first time; later calls do nothing.
void loadLibraryOnce(std::uint32_t cards);
// Unloads the library, powers every simulated card and service back to its start, and loads the
// library again with `cards` cards: every input of a target that calls it starts from the same
// state, so that a finding replays alone.
void reloadLibrary(std::uint32_t cards);

// A folder of this process for the files the targets write; removed when the process ends.
const std::string& scratchFolder();
// Writes `contents` to `path` whole; stops the process when it cannot.
void writeFile(const std::string& path, const std::string& contents);

// Brings a card to the state its initialisation leaves it in: record defaults, initialised,
// open with its DMA channel, running the sequence-compatible firmware pair or the older one.
void bringUpCard(std::uint32_t card, bool sequenced);
// What the initialisation adds that a card's settings rely on: the calibration EEPROM read, the
// input ranges it holds marked calibrated, the sample clock running and a one-point TCG curve.
void completeBringUp(std::uint32_t card);

} // namespace kz::fuzz
