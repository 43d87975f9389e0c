// Reading kzctl's scan files back for the tests, with the HDF5 C library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <hdf5.h>

namespace kzctl::test {

class H5File {
public:
    explicit H5File(const std::string& path);
    ~H5File();
    H5File(const H5File&) = delete;
    H5File& operator=(const H5File&) = delete;

    bool exists(const std::string& object) const;
    bool isGroup(const std::string& object) const;
    std::vector<std::string> members(const std::string& group) const;

    std::uint32_t attributeU32(const std::string& object, const std::string& name) const;
    double attributeF64(const std::string& object, const std::string& name) const;
    std::vector<std::int16_t> attributeI16s(const std::string& object, const std::string& name) const;
    std::string attributeString(const std::string& object, const std::string& name) const;

    std::vector<hsize_t> dims(const std::string& dataset) const;
    // True when the dataset's stored type is `type` (one of the H5T_STD_* types).
    bool hasType(const std::string& dataset, hid_t type) const;
    // The dataset's elements converted to 64-bit signed integers.
    std::vector<std::int64_t> integers(const std::string& dataset) const;
    std::string scalarString(const std::string& dataset) const;

private:
    hid_t file_;
};

} // namespace kzctl::test
