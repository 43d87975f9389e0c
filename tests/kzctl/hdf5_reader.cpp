#include "hdf5_reader.h"

#include <stdexcept>

namespace kzctl::test {

namespace {

hid_t must(hid_t id, const std::string& what) {
    if (id < 0) {
        throw std::runtime_error("HDF5: " + what);
    }
    return id;
}

struct Closer {
    hid_t id;
    herr_t (*close)(hid_t);
    ~Closer() { close(id); }
};

} // namespace

H5File::H5File(const std::string& path) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    file_ = must(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), "open " + path);
}

H5File::~H5File() {
    H5Fclose(file_);
}

bool H5File::exists(const std::string& object) const {
    return H5Lexists(file_, object.c_str(), H5P_DEFAULT) > 0;
}

bool H5File::isGroup(const std::string& object) const {
    const hid_t id = H5Oopen(file_, object.c_str(), H5P_DEFAULT);
    if (id < 0) {
        return false;
    }
    const bool group = H5Iget_type(id) == H5I_GROUP;
    H5Oclose(id);
    return group;
}

std::vector<std::string> H5File::members(const std::string& group) const {
    std::vector<std::string> names;
    Closer g{must(H5Gopen2(file_, group.c_str(), H5P_DEFAULT), group), H5Gclose};
    H5G_info_t info{};
    must(H5Gget_info(g.id, &info), group);
    for (hsize_t i = 0; i < info.nlinks; ++i) {
        char name[256] = {};
        H5Lget_name_by_idx(g.id, ".", H5_INDEX_NAME, H5_ITER_INC, i, name, sizeof name, H5P_DEFAULT);
        names.emplace_back(name);
    }
    return names;
}

std::uint32_t H5File::attributeU32(const std::string& object, const std::string& name) const {
    Closer a{must(H5Aopen_by_name(file_, object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT), name), H5Aclose};
    std::uint32_t value = 0;
    must(H5Aread(a.id, H5T_NATIVE_UINT32, &value), name);
    return value;
}

double H5File::attributeF64(const std::string& object, const std::string& name) const {
    Closer a{must(H5Aopen_by_name(file_, object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT), name), H5Aclose};
    double value = 0;
    must(H5Aread(a.id, H5T_NATIVE_DOUBLE, &value), name);
    return value;
}

std::vector<std::int16_t> H5File::attributeI16s(const std::string& object, const std::string& name) const {
    Closer a{must(H5Aopen_by_name(file_, object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT), name), H5Aclose};
    Closer space{must(H5Aget_space(a.id), name), H5Sclose};
    std::vector<std::int16_t> values(static_cast<std::size_t>(H5Sget_simple_extent_npoints(space.id)));
    must(H5Aread(a.id, H5T_NATIVE_INT16, values.data()), name);
    return values;
}

std::string H5File::attributeString(const std::string& object, const std::string& name) const {
    Closer a{must(H5Aopen_by_name(file_, object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT), name), H5Aclose};
    Closer type{must(H5Aget_type(a.id), name), H5Tclose};
    if (H5Tget_class(type.id) != H5T_STRING || H5Tis_variable_str(type.id) != 0) {
        throw std::runtime_error(name + " is not a fixed-length string");
    }
    std::string text(H5Tget_size(type.id), '\0');
    must(H5Aread(a.id, type.id, text.data()), name);
    return text.substr(0, text.find('\0'));
}

std::vector<hsize_t> H5File::dims(const std::string& dataset) const {
    Closer d{must(H5Dopen2(file_, dataset.c_str(), H5P_DEFAULT), dataset), H5Dclose};
    Closer space{must(H5Dget_space(d.id), dataset), H5Sclose};
    std::vector<hsize_t> result(static_cast<std::size_t>(H5Sget_simple_extent_ndims(space.id)));
    H5Sget_simple_extent_dims(space.id, result.data(), nullptr);
    return result;
}

bool H5File::hasType(const std::string& dataset, hid_t type) const {
    Closer d{must(H5Dopen2(file_, dataset.c_str(), H5P_DEFAULT), dataset), H5Dclose};
    Closer stored{must(H5Dget_type(d.id), dataset), H5Tclose};
    return H5Tequal(stored.id, type) > 0;
}

std::vector<std::int64_t> H5File::integers(const std::string& dataset) const {
    Closer d{must(H5Dopen2(file_, dataset.c_str(), H5P_DEFAULT), dataset), H5Dclose};
    Closer space{must(H5Dget_space(d.id), dataset), H5Sclose};
    std::vector<std::int64_t> values(static_cast<std::size_t>(H5Sget_simple_extent_npoints(space.id)));
    if (!values.empty()) {
        must(H5Dread(d.id, H5T_NATIVE_INT64, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()), dataset);
    }
    return values;
}

std::string H5File::scalarString(const std::string& dataset) const {
    Closer d{must(H5Dopen2(file_, dataset.c_str(), H5P_DEFAULT), dataset), H5Dclose};
    Closer type{must(H5Dget_type(d.id), dataset), H5Tclose};
    std::string text(H5Tget_size(type.id), '\0');
    must(H5Dread(d.id, type.id, H5S_ALL, H5S_ALL, H5P_DEFAULT, text.data()), dataset);
    return text.substr(0, text.find('\0'));
}

} // namespace kzctl::test
