#include "scan_file.h"

#include <cstdio>
#include <cstring>

#include "library.h"

namespace kzctl {

namespace {

constexpr const char* kFormatName = "kzctl-scan";
constexpr std::uint32_t kFormatVersion = 1;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw ToolError("cannot write " + path + ": " + what);
}

// Checks an HDF5 identifier or status; on failure throws naming the step.
hid_t checked(hid_t id, const std::string& path, const char* step) {
    if (id < 0) {
        fail(path, step);
    }
    return id;
}

class Writer {
public:
    explicit Writer(const std::string& path) : path_(path) {}

    Hid group(hid_t parent, const char* name) const {
        return Hid(checked(H5Gcreate2(parent, name, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), path_, name), H5Gclose);
    }

    void attribute(hid_t object, const char* name, hid_t type, const void* value, hsize_t count = 0) const {
        Hid space(checked(count == 0 ? H5Screate(H5S_SCALAR) : H5Screate_simple(1, &count, nullptr), path_, name),
                  H5Sclose);
        Hid attr(checked(H5Acreate2(object, name, type, space.get(), H5P_DEFAULT, H5P_DEFAULT), path_, name),
                 H5Aclose);
        checked(H5Awrite(attr.get(), type, value), path_, name);
    }
    void u32(hid_t object, const char* name, std::uint32_t value) const {
        attribute(object, name, H5T_STD_U32LE, &value);
    }
    void i32(hid_t object, const char* name, std::int32_t value) const {
        attribute(object, name, H5T_STD_I32LE, &value);
    }
    void f64(hid_t object, const char* name, double value) const {
        attribute(object, name, H5T_IEEE_F64LE, &value);
    }
    template <std::size_t N>
    void i16s(hid_t object, const char* name, const std::array<std::int16_t, N>& values) const {
        attribute(object, name, H5T_STD_I16LE, values.data(), N);
    }
    // A fixed-length, null-terminated UTF-8 string type for `text`.
    Hid stringType(const std::string& text) const {
        Hid type(checked(H5Tcopy(H5T_C_S1), path_, "string type"), H5Tclose);
        checked(H5Tset_size(type.get(), text.size() + 1), path_, "string type");
        checked(H5Tset_strpad(type.get(), H5T_STR_NULLTERM), path_, "string type");
        checked(H5Tset_cset(type.get(), H5T_CSET_UTF8), path_, "string type");
        return type;
    }
    void string(hid_t object, const char* name, const std::string& text) const {
        Hid type = stringType(text);
        attribute(object, name, type.get(), text.c_str());
    }

    // A dataset of `type` and `dims`, chunked by its first dimension when it holds data.
    Hid dataset(hid_t parent, const char* name, hid_t type, const std::vector<hsize_t>& dims) const {
        Hid space(checked(H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr), path_, name),
                  H5Sclose);
        Hid properties(checked(H5Pcreate(H5P_DATASET_CREATE), path_, name), H5Pclose);
        bool hasData = true;
        for (const hsize_t d : dims) {
            hasData = hasData && d > 0;
        }
        if (hasData && dims.size() > 1) {
            std::vector<hsize_t> chunk = dims;
            chunk[0] = 1;
            checked(H5Pset_chunk(properties.get(), static_cast<int>(chunk.size()), chunk.data()), path_, name);
        }
        return Hid(checked(H5Dcreate2(parent, name, type, space.get(), H5P_DEFAULT, properties.get(), H5P_DEFAULT),
                           path_, name),
                   H5Dclose);
    }
    void write(hid_t set, hid_t type, const void* data) const {
        checked(H5Dwrite(set, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, data), path_, "dataset");
    }
    // Writes row `row` (the first dimension) of `set` from `data`.
    void writeRow(hid_t set, hid_t type, hsize_t row, const void* data) const {
        Hid fileSpace(checked(H5Dget_space(set), path_, "dataset space"), H5Sclose);
        const int rank = H5Sget_simple_extent_ndims(fileSpace.get());
        std::vector<hsize_t> dims(static_cast<std::size_t>(rank > 0 ? rank : 1));
        H5Sget_simple_extent_dims(fileSpace.get(), dims.data(), nullptr);
        std::vector<hsize_t> start(dims.size(), 0);
        std::vector<hsize_t> count = dims;
        start[0] = row;
        count[0] = 1;
        for (const hsize_t c : count) {
            if (c == 0) {
                return; // nothing stored for this row
            }
        }
        checked(H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, start.data(), nullptr, count.data(), nullptr),
                path_, "dataset row");
        Hid memorySpace(checked(H5Screate_simple(static_cast<int>(count.size()), count.data(), nullptr), path_,
                                "dataset row"),
                        H5Sclose);
        checked(H5Dwrite(set, type, memorySpace.get(), fileSpace.get(), H5P_DEFAULT, data), path_, "dataset row");
    }

private:
    const std::string& path_;
};

hid_t fileTypeOf(SampleType type) {
    switch (type) {
    case SampleType::Int16: return H5T_STD_I16LE;
    case SampleType::Int8: return H5T_STD_I8LE;
    case SampleType::UInt8: return H5T_STD_U8LE;
    case SampleType::UInt16: return H5T_STD_U16LE;
    }
    return H5T_STD_I16LE;
}

void writeCardGroup(const Writer& w, hid_t root, const CardReport& r) {
    Hid card = w.group(root, "card");
    w.u32(card.get(), "card_index", r.card);
    w.u32(card.get(), "serial_number", r.serialNumber);
    w.u32(card.get(), "system_firmware_version", r.firmware.systemVersion);
    w.u32(card.get(), "sampling_firmware_version", r.firmware.samplingVersion);
    w.u32(card.get(), "sampling_firmware_revision", r.firmware.samplingRevision);
    w.u32(card.get(), "peripheral_firmware_version", r.firmware.peripheralVersion);
    w.u32(card.get(), "peripheral_firmware_revision", r.firmware.peripheralRevision);
    w.u32(card.get(), "sequence_compatible", r.sequenceCompatible ? 1 : 0);
}

void writeScanAttributes(const Writer& w, hid_t scan, const ScanFileDescription& d) {
    const CardReport& r = d.card;
    w.u32(scan, "bscans", d.bScans);
    w.u32(scan, "positions", static_cast<std::uint32_t>(r.shape.positions.size()));
    w.u32(scan, "ascans_per_bscan", r.shape.aScansPerBScan);
    w.u32(scan, "sampling_frequency_hz", r.samplingFrequencyHz);
    w.u32(scan, "start_delay_samples", r.startDelay);
    w.u32(scan, "number_of_samples", r.numberOfSamples);
    w.u32(scan, "drop_count", r.dropCount);
    w.f64(scan, "sample_interval_s",
          r.samplingFrequencyHz == 0 ? 0.0 : (r.dropCount + 1.0) / static_cast<double>(r.samplingFrequencyHz));
    w.u32(scan, "oversamples", r.oversamples);
    w.u32(scan, "storage_mode", r.storageMode);
    w.u32(scan, "bytes_per_sample", r.shape.bytesPerSample);
    w.u32(scan, "sign_and_magnitude", r.signAndMagnitude ? 1 : 0);
    w.u32(scan, "rectifier_mode", r.rectifierMode);
    w.u32(scan, "analogue_input", r.analogueInput);
    w.u32(scan, "input_range", r.inputRange);
    w.i16s(scan, "calibration_offset_words", r.calibrationOffsetWords);
    w.i16s(scan, "calibration_gain_words", r.calibrationGainWords);
    w.u32(scan, "calibrated_range_mask", r.calibratedRangeMask);
    w.i32(scan, "zero_offset_counts", r.zeroOffset);
    w.u32(scan, "repetition_rate_hz", r.repetitionRateHz);
    w.u32(scan, "scan_storage_option", r.scanStorageOption);
    w.string(scan, "sample_type", sampleTypeName(r.shape.type));
}

} // namespace

ScanFileWriter::ScanFileWriter(std::string path, const ScanFileDescription& description)
    : path_(std::move(path)), partPath_(path_ + ".part"), shape_(description.card.shape),
      bScans_(description.bScans) {
    // kzctl reports HDF5 failures itself.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    if (shape_.positions.empty()) {
        fail(path_, "the card's layout has no A-scan positions");
    }
    std::remove(partPath_.c_str());
    file_ = Hid(checked(H5Fcreate(partPath_.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), path_, "create"),
                H5Fclose);
    const Writer w(path_);
    const hid_t root = file_.get();
    w.string(root, "format", kFormatName);
    w.u32(root, "format_version", kFormatVersion);
    w.string(root, "kzctl_version", KZCTL_VERSION);
    w.string(root, "library_version", KZCTL_LIBRARY_VERSION);
    w.string(root, "created_utc", description.createdUtc);
    writeCardGroup(w, root, description.card);

    Hid scan = w.group(root, "scan");
    writeScanAttributes(w, scan.get(), description);

    const auto positions = static_cast<hsize_t>(shape_.positions.size());
    const hid_t sampleType = fileTypeOf(shape_.type);
    const std::string typeName = sampleTypeName(shape_.type);
    if (shape_.isUniform()) {
        Hid set = w.dataset(scan.get(), "ascans", sampleType, {bScans_, positions, shape_.positions[0].samples});
        w.string(set.get(), "sample_type", typeName);
        w.string(set.get(), "units", "counts");
        sampleSets_.push_back(std::move(set));
    } else {
        Hid group = w.group(scan.get(), "ascans");
        w.u32(group.get(), "positions", static_cast<std::uint32_t>(positions));
        w.string(group.get(), "sample_type", typeName);
        for (std::size_t k = 0; k < shape_.positions.size(); ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "position_%03u", static_cast<unsigned>(k));
            Hid set = w.dataset(group.get(), name, sampleType, {bScans_, shape_.positions[k].samples});
            w.string(set.get(), "sample_type", typeName);
            w.string(set.get(), "units", "counts");
            sampleSets_.push_back(std::move(set));
        }
    }
    headers_ = w.dataset(scan.get(), "ascan_headers", H5T_STD_U32LE, {bScans_, positions});

    std::vector<std::uint32_t> samples;
    std::vector<std::uint32_t> oversamples;
    for (const PositionShape& p : shape_.positions) {
        samples.push_back(p.samples);
        oversamples.push_back(p.oversamples);
    }
    Hid samplesSet = w.dataset(scan.get(), "samples_per_position", H5T_STD_U32LE, {positions});
    w.write(samplesSet.get(), H5T_STD_U32LE, samples.data());
    Hid oversamplesSet = w.dataset(scan.get(), "oversamples_per_position", H5T_STD_U32LE, {positions});
    w.write(oversamplesSet.get(), H5T_STD_U32LE, oversamples.data());

    Hid stateType = w.stringType(description.stateText);
    Hid stateSpace(checked(H5Screate(H5S_SCALAR), path_, "state"), H5Sclose);
    Hid state(checked(H5Dcreate2(root, "state", stateType.get(), stateSpace.get(), H5P_DEFAULT, H5P_DEFAULT,
                                 H5P_DEFAULT),
                      path_, "state"),
              H5Dclose);
    w.write(state.get(), stateType.get(), description.stateText.c_str());
    w.string(state.get(), "format", "dab");
}

void ScanFileWriter::writeBScan(std::uint32_t b, const std::vector<std::uint32_t>& headers,
                                const std::vector<std::vector<std::uint8_t>>& samples) {
    const Writer w(path_);
    w.writeRow(headers_.get(), H5T_STD_U32LE, b, headers.data());
    const hid_t type = fileTypeOf(shape_.type);
    if (sampleSets_.size() == 1) {
        // One row of [positions][samples]: the positions' samples one after the other.
        std::vector<std::uint8_t> row;
        for (const auto& s : samples) {
            row.insert(row.end(), s.begin(), s.end());
        }
        w.writeRow(sampleSets_[0].get(), type, b, row.data());
    } else {
        for (std::size_t k = 0; k < sampleSets_.size(); ++k) {
            w.writeRow(sampleSets_[k].get(), type, b, samples[k].data());
        }
    }
}

void ScanFileWriter::finish() {
    headers_.close();
    sampleSets_.clear();
    if (!file_.close()) {
        fail(path_, "closing the file failed");
    }
    if (std::rename(partPath_.c_str(), path_.c_str()) != 0) {
        fail(path_, std::string("renaming ") + partPath_ + " failed: " + std::strerror(errno));
    }
    finished_ = true;
}

ScanFileWriter::~ScanFileWriter() {
    if (!finished_) {
        headers_.close();
        sampleSets_.clear();
        file_.close();
        std::remove(partPath_.c_str());
    }
}

} // namespace kzctl
