// One chunked, compressed 2-D dataset "codes" (kadrs x channels, 16-bit)
// that grows with every write, and the recording's description as its
// attributes.
#include <hdf5.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <utility>

#include "recording_file.h"
#include "writers.h"

namespace velmora::hosts {
namespace {

constexpr hsize_t kChunkBytes = 256 * 1024;
constexpr unsigned kDeflateLevel = 4;

// An HDF5 identifier closed with its own function when it goes.
class Id {
public:
    Id(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    ~Id() {
        if (id_ >= 0) close_(id_);
    }
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    hid_t get() const { return id_; }
    bool ok() const { return id_ >= 0; }
    void Reset(hid_t id) {
        Release();
        id_ = id;
    }
    // Closes now; false when closing failed.
    bool Release() {
        const hid_t id = std::exchange(id_, -1);
        return id < 0 || close_(id) >= 0;
    }

private:
    hid_t id_;
    herr_t (*close_)(hid_t);
};

bool WriteAttribute(hid_t target, const char* name, hid_t type, const void* data, hsize_t count) {
    Id space(count == 0 ? H5Screate(H5S_SCALAR) : H5Screate_simple(1, &count, nullptr), H5Sclose);
    Id attribute(H5Acreate2(target, name, type, space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    return attribute.ok() && H5Awrite(attribute.get(), type, data) >= 0;
}

// Fixed-length, NUL-padded strings: the form every HDF5 reader takes.
bool WriteStrings(hid_t target, const char* name, const std::vector<std::string>& texts, bool scalar) {
    std::size_t width = 1;
    for (const std::string& t : texts) width = std::max(width, t.size());
    std::string packed(width * texts.size(), '\0');
    for (std::size_t i = 0; i < texts.size(); ++i)
        std::copy(texts[i].begin(), texts[i].end(), &packed[i * width]);
    Id type(H5Tcopy(H5T_C_S1), H5Tclose);
    H5Tset_size(type.get(), width);
    H5Tset_strpad(type.get(), H5T_STR_NULLPAD);
    return WriteAttribute(target, name, type.get(), packed.data(), scalar ? 0 : texts.size());
}

bool WriteDescription(hid_t dataset, const RecordingInfo& info) {
    std::vector<std::string> names;
    std::vector<int16_t> ranges;
    std::vector<float> codesPerVolt;
    for (const ChannelInfo& c : info.channels) {
        names.push_back(c.name);
        ranges.push_back(c.range);
        codesPerVolt.push_back(c.codesPerVolt);
    }
    const hsize_t n = info.channels.size();
    return WriteAttribute(dataset, "rate", H5T_NATIVE_DOUBLE, &info.rate, 0) &&
           WriteStrings(dataset, "channel_names", names, false) &&
           WriteAttribute(dataset, "ranges", H5T_NATIVE_INT16, ranges.data(), n) &&
           WriteAttribute(dataset, "codes_per_volt", H5T_NATIVE_FLOAT, codesPerVolt.data(), n) &&
           WriteStrings(dataset, "start_time", {info.startTime}, true) &&
           WriteStrings(dataset, "serial", {info.serial}, true) &&
           WriteStrings(dataset, "backend", {info.backend}, true) &&
           WriteStrings(dataset, "address", {info.address}, true);
}

class Hdf5Writer : public RecordingWriter {
public:
    Hdf5Writer(hid_t file, std::string name, hsize_t channels)
        : file_(file, H5Fclose), dataset_(-1, H5Dclose), name_(std::move(name)), channels_(channels) {}

    bool Create(const RecordingInfo& info) {
        const std::array<hsize_t, 2> dims{0, channels_}, maxDims{H5S_UNLIMITED, channels_};
        const std::array<hsize_t, 2> chunk{std::max<hsize_t>(1, kChunkBytes / 2 / channels_), channels_};
        Id space(H5Screate_simple(2, dims.data(), maxDims.data()), H5Sclose);
        Id layout(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
        // The shuffle puts the high bytes of the codes together, which
        // compresses them much better.
        if (!layout.ok() || H5Pset_chunk(layout.get(), 2, chunk.data()) < 0 ||
            H5Pset_shuffle(layout.get()) < 0 || H5Pset_deflate(layout.get(), kDeflateLevel) < 0)
            return Fail("cannot lay out the dataset of " + name_);
        dataset_.Reset(H5Dcreate2(file_.get(), "codes", H5T_STD_I16LE, space.get(), H5P_DEFAULT, layout.get(),
                                  H5P_DEFAULT));
        if (!dataset_.ok() || !WriteDescription(dataset_.get(), info)) return Fail("cannot write " + name_);
        return true;
    }

    bool Write(const int16_t* codes, std::size_t kadrs) override {
        if (!error_.empty()) return false;
        if (kadrs == 0) return true;
        const std::array<hsize_t, 2> size{kadrs_ + kadrs, channels_}, start{kadrs_, 0},
            count{kadrs, channels_};
        if (H5Dset_extent(dataset_.get(), size.data()) < 0) return Fail("cannot write " + name_);
        Id fileSpace(H5Dget_space(dataset_.get()), H5Sclose);
        Id memory(H5Screate_simple(2, count.data(), nullptr), H5Sclose);
        if (H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, start.data(), nullptr, count.data(),
                                nullptr) < 0 ||
            H5Dwrite(dataset_.get(), H5T_NATIVE_INT16, memory.get(), fileSpace.get(), H5P_DEFAULT, codes) < 0)
            return Fail("cannot write " + name_);
        kadrs_ += kadrs;
        return true;
    }

    // Written at the creation already (empty when unknown then): replaced.
    bool SetStartTime(const std::string& isoUtc) override {
        if (!error_.empty()) return false;
        if (H5Adelete(dataset_.get(), "start_time") < 0 ||
            !WriteStrings(dataset_.get(), "start_time", {isoUtc}, true))
            return Fail("cannot write " + name_);
        return true;
    }

    bool Close() override {
        if (!file_.ok()) return error_.empty();
        // Every step runs, whatever the one before it said.
        const bool dataset = dataset_.Release();
        const bool flushed = H5Fflush(file_.get(), H5F_SCOPE_GLOBAL) >= 0;
        const bool closed = file_.Release() && dataset && flushed;
        if (!closed && error_.empty()) return Fail("cannot write " + name_);
        return error_.empty();
    }

private:
    Id file_;
    Id dataset_;
    std::string name_;
    hsize_t channels_;
};

} // namespace

std::unique_ptr<RecordingWriter> OpenHdf5(const std::filesystem::path& file, const RecordingInfo& info,
                                          bool overwrite, std::string& error) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr); // our messages, not the library's stack dumps
    struct stat st {};
    if (!overwrite && ::stat(file.c_str(), &st) == 0) {
        error = file.string() + " exists; --force replaces it";
        return nullptr;
    }
    const hid_t id =
        H5Fcreate(file.c_str(), overwrite ? H5F_ACC_TRUNC : H5F_ACC_EXCL, H5P_DEFAULT, H5P_DEFAULT);
    if (id < 0) {
        error = "cannot create " + file.string();
        return nullptr;
    }
    auto writer = std::make_unique<Hdf5Writer>(id, file.string(), info.channels.size());
    if (!writer->Create(info)) {
        error = writer->Error();
        return nullptr;
    }
    return writer;
}

} // namespace velmora::hosts
