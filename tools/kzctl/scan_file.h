// The HDF5 scan file of `kzctl acquire` (layout: docs/hdf5-layout.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <hdf5.h>

#include "card_report.h"

namespace kzctl {

struct ScanFileDescription {
    CardReport card;              // settings and shape, read before the capture
    std::uint32_t bScans = 0;
    std::string stateText;        // the card's state file, as saved
    std::string createdUtc;       // ISO 8601
};

// Owns one open HDF5 identifier and closes it with the matching H5*close.
class Hid {
public:
    using Closer = herr_t (*)(hid_t);
    Hid() = default;
    Hid(hid_t id, Closer closer) : id_(id), closer_(closer) {}
    ~Hid() { reset(); }
    Hid(Hid&& other) noexcept : id_(other.id_), closer_(other.closer_) { other.id_ = -1; }
    Hid& operator=(Hid&& other) noexcept {
        if (this != &other) {
            reset();
            id_ = other.id_;
            closer_ = other.closer_;
            other.id_ = -1;
        }
        return *this;
    }
    Hid(const Hid&) = delete;
    Hid& operator=(const Hid&) = delete;
    hid_t get() const { return id_; }
    // Closes now; false when the close failed (for a file: data may not have reached the disk).
    bool close() {
        if (id_ < 0) {
            return true;
        }
        const herr_t result = closer_(id_);
        id_ = -1;
        return result >= 0;
    }

private:
    void reset() { close(); }
    hid_t id_ = -1;
    Closer closer_ = nullptr;
};

// Writes the file at `path`: the description when constructed, one B-scan per writeBScan, and
// finish() closes it. A file that was not finished is removed by the destructor, so an
// interrupted or failed acquisition leaves no file that looks complete.
class ScanFileWriter {
public:
    ScanFileWriter(std::string path, const ScanFileDescription& description);
    ~ScanFileWriter();
    ScanFileWriter(const ScanFileWriter&) = delete;
    ScanFileWriter& operator=(const ScanFileWriter&) = delete;

    // B-scan `b`: the first header word and the samples (in the stored width) of each position.
    void writeBScan(std::uint32_t b, const std::vector<std::uint32_t>& headers,
                    const std::vector<std::vector<std::uint8_t>>& samples);
    void finish();

private:
    std::string path_;
    std::string partPath_;
    const BScanShape& shape_;
    std::uint32_t bScans_;
    Hid file_;
    Hid headers_;
    std::vector<Hid> sampleSets_; // one, or one per position
    bool finished_ = false;
};

} // namespace kzctl
