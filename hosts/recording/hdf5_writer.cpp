// One chunked, compressed 2-D dataset "codes" (kadrs x channels, 16-bit)
// that grows with every write, and the recording's description as its
// attributes. The file is written in SWMR mode (the library's latest
// format): a reader opening it with SWMR read access sees every kadr of the
// last flush while it grows, and so does any reader of a file cut off by a
// kill once `h5clear -s` cleared the writer's mark. A failed write or flush
// takes the extent back to the last flush, so no row reads back unwritten.
// A recording from a stream also has the dataset "gaps": rows of (first
// missing kadr, kadrs missing), int64.
#include <hdf5.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "recording_file.h"
#include "writers.h"

namespace velmora::hosts {
namespace {

// A chunk holds 0.4 s of kadrs, less than kFlushAge (at most kHdf5ChunkBytes),
// and every chunk is flushed as it fills: a flush mid-chunk would write the
// chunk again elsewhere once full (SWMR never reuses file space), so
// flushes on chunk ends keep the file as small as one never flushed. So a
// slow recording has short chunks: longer ones, flushed twice a second while
// they fill, made its file many times the size of its data.
constexpr double kChunkSeconds = 0.4;
constexpr hsize_t kMinChunkKadrs = 1;
// Room for a start time given later (ISO 8601 with milliseconds takes 24).
constexpr std::size_t kStartTimeWidth = 32;

// Our messages, not the library's stack dumps; per thread in a thread-safe
// library, so set on the thread of every call.
void Quiet() {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

// Why the last call failed: the file driver's errno when the library's
// error stack holds one ("No space left on device"), else its deepest text.
std::string Reason() {
    struct Found {
        std::string system, deepest;
    } found;
    H5Ewalk2(
        H5E_DEFAULT, H5E_WALK_DOWNWARD,
        [](unsigned, const H5E_error2_t* entry, void* data) -> herr_t {
            auto& f = *static_cast<Found*>(data);
            if (entry->desc == nullptr) return 0;
            f.deepest = entry->desc;
            const char* at = std::strstr(entry->desc, "errno = ");
            const int number = at != nullptr ? std::atoi(at + 8) : 0;
            if (f.system.empty() && number > 0) f.system = std::strerror(number);
            return 0;
        },
        &found);
    H5Eclear2(H5E_DEFAULT);
    if (!found.system.empty()) return found.system;
    return found.deepest.empty() ? "the HDF5 library gave no reason" : found.deepest;
}

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

// Fixed-length, NUL-padded strings: the form every HDF5 reader takes. UTF-8,
// as every text here is, so that readers decode names such as "µV" as text.
bool WriteStrings(hid_t target, const char* name, const std::vector<std::string>& texts, bool scalar,
                  std::size_t width = 1) {
    for (const std::string& t : texts) width = std::max(width, t.size());
    std::string packed(width * texts.size(), '\0');
    for (std::size_t i = 0; i < texts.size(); ++i)
        std::copy(texts[i].begin(), texts[i].end(), &packed[i * width]);
    Id type(H5Tcopy(H5T_C_S1), H5Tclose);
    H5Tset_size(type.get(), width);
    H5Tset_strpad(type.get(), H5T_STR_NULLPAD);
    H5Tset_cset(type.get(), H5T_CSET_UTF8);
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
    const int64_t first = info.firstKadr.value_or(0);
    return WriteAttribute(dataset, "rate", H5T_NATIVE_DOUBLE, &info.rate, 0) &&
           WriteStrings(dataset, "channel_names", names, false) &&
           WriteAttribute(dataset, "ranges", H5T_NATIVE_INT16, ranges.data(), n) &&
           WriteAttribute(dataset, "codes_per_volt", H5T_NATIVE_FLOAT, codesPerVolt.data(), n) &&
           WriteStrings(dataset, "start_time", {info.startTime}, true, kStartTimeWidth) &&
           WriteAttribute(dataset, "first_kadr", H5T_STD_I64LE, &first, 0) &&
           WriteStrings(dataset, "serial", {info.serial}, true) &&
           WriteStrings(dataset, "backend", {info.backend}, true) &&
           WriteStrings(dataset, "address", {info.address}, true) &&
           (info.source.empty() || WriteStrings(dataset, "source", {info.source}, true));
}

class Hdf5Writer : public RecordingWriter {
public:
    // `claim`: the descriptor that holds the file against other writers.
    Hdf5Writer(hid_t file, int claim, std::string name, hsize_t channels)
        : file_(file, H5Fclose), dataset_(-1, H5Dclose), claim_(claim), name_(std::move(name)),
          channels_(channels) {}
    ~Hdf5Writer() override {
        Release();
        if (claim_ >= 0) ::close(claim_);
    }

    bool Create(const RecordingInfo& info) {
        const hsize_t most = std::max<hsize_t>(kMinChunkKadrs, kHdf5ChunkBytes / 2 / channels_);
        chunkKadrs_ = std::clamp<hsize_t>(static_cast<hsize_t>(std::llround(info.rate * kChunkSeconds)),
                                          kMinChunkKadrs, most);
        const std::array<hsize_t, 2> dims{0, channels_}, maxDims{H5S_UNLIMITED, channels_};
        const std::array<hsize_t, 2> chunk{chunkKadrs_, channels_};
        Id space(H5Screate_simple(2, dims.data(), maxDims.data()), H5Sclose);
        Id layout(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
        // The shuffle puts the high bytes of the codes together, which
        // compresses them much better.
        if (!layout.ok() || H5Pset_chunk(layout.get(), 2, chunk.data()) < 0 ||
            H5Pset_shuffle(layout.get()) < 0 || H5Pset_deflate(layout.get(), kHdf5DeflateLevel) < 0)
            return Fail("cannot lay out the dataset of " + name_ + ": " + Reason());
        dataset_.Reset(H5Dcreate2(file_.get(), "codes", H5T_STD_I16LE, space.get(), H5P_DEFAULT, layout.get(),
                                  H5P_DEFAULT));
        // SWMR writing takes no new objects or attributes: all are made first.
        if (!dataset_.ok() || !WriteDescription(dataset_.get(), info) ||
            (!info.source.empty() && !MakeGaps()) || H5Fstart_swmr_write(file_.get()) < 0)
            return Fail("cannot write " + name_ + ": " + Reason());
        return true;
    }

    // Written at the creation already, of a width that takes a time given
    // later: SWMR writing may change an attribute's value, not make one.
    bool SetStartTime(const std::string& isoUtc) override {
        Quiet();
        if (!error_.empty()) return false;
        Id attribute(H5Aopen(dataset_.get(), "start_time", H5P_DEFAULT), H5Aclose);
        Id type(attribute.ok() ? H5Aget_type(attribute.get()) : -1, H5Tclose);
        const std::size_t width = type.ok() ? H5Tget_size(type.get()) : 0;
        if (width < isoUtc.size()) return Fail("cannot write " + name_ + ": no room for the start time");
        std::string packed(width, '\0');
        std::copy(isoUtc.begin(), isoUtc.end(), packed.begin());
        if (H5Awrite(attribute.get(), type.get(), packed.data()) < 0)
            return Fail("cannot write " + name_ + ": " + Reason());
        return true;
    }

    // A row (first missing kadr, kadrs) of the dataset "gaps".
    bool Gap(int64_t firstMissing, int64_t kadrs) override {
        Quiet();
        if (!error_.empty()) return false;
        if (!gaps_.ok()) return Fail("cannot write " + name_ + ": it keeps no gaps");
        const std::array<int64_t, 2> row{firstMissing, kadrs};
        const std::array<hsize_t, 2> size{gapRows_ + 1, 2}, start{gapRows_, 0}, count{1, 2};
        if (H5Dset_extent(gaps_.get(), size.data()) < 0) return Broken();
        Id fileSpace(H5Dget_space(gaps_.get()), H5Sclose);
        Id memory(H5Screate_simple(2, count.data(), nullptr), H5Sclose);
        if (H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, start.data(), nullptr, count.data(),
                                nullptr) < 0 ||
            H5Dwrite(gaps_.get(), H5T_NATIVE_INT64, memory.get(), fileSpace.get(), H5P_DEFAULT, row.data()) <
                0)
            return Broken();
        ++gapRows_;
        return true;
    }

    bool Close() override {
        Quiet();
        if (!file_.ok()) return error_.empty();
        const bool flushed = Flush();
        const bool closed = Release();
        if (claim_ >= 0) ::close(std::exchange(claim_, -1));
        if (!closed && error_.empty()) return Fail("cannot write " + name_ + ": " + Reason());
        return flushed && error_.empty();
    }

protected:
    bool Append(const int16_t* codes, std::size_t kadrs) override {
        Quiet();
        const std::size_t chunkEnd = (kadrs_ / chunkKadrs_ + 1) * chunkKadrs_;
        if (kadrs_ + kadrs < chunkEnd) return Put(codes, kadrs);
        const std::size_t head = chunkEnd - kadrs_;
        return Put(codes, head) && Flush() && Put(codes + head * channels_, kadrs - head);
    }

    bool Sync() override {
        Quiet();
        if (H5Fflush(file_.get(), H5F_SCOPE_LOCAL) < 0) return Broken();
        return !Unnamed(claim_) || Deleted(name_);
    }

private:
    // Every step runs, whatever the one before it said.
    bool Release() {
        const bool gaps = gaps_.Release();
        const bool dataset = dataset_.Release() && gaps;
        return file_.Release() && dataset;
    }

    // Empty, growing a row at a time; there from the start, as SWMR
    // writing makes no dataset.
    bool MakeGaps() {
        const std::array<hsize_t, 2> dims{0, 2}, maxDims{H5S_UNLIMITED, 2}, chunk{64, 2};
        Id space(H5Screate_simple(2, dims.data(), maxDims.data()), H5Sclose);
        Id layout(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
        if (!layout.ok() || H5Pset_chunk(layout.get(), 2, chunk.data()) < 0) return false;
        gaps_.Reset(H5Dcreate2(file_.get(), "gaps", H5T_STD_I64LE, space.get(), H5P_DEFAULT, layout.get(),
                               H5P_DEFAULT));
        return gaps_.ok();
    }

    bool Put(const int16_t* codes, std::size_t kadrs) {
        if (kadrs == 0) return true;
        const std::array<hsize_t, 2> size{kadrs_ + kadrs, channels_}, start{kadrs_, 0},
            count{kadrs, channels_};
        if (H5Dset_extent(dataset_.get(), size.data()) < 0) return Broken();
        Id fileSpace(H5Dget_space(dataset_.get()), H5Sclose);
        Id memory(H5Screate_simple(2, count.data(), nullptr), H5Sclose);
        if (H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, start.data(), nullptr, count.data(),
                                nullptr) < 0 ||
            H5Dwrite(dataset_.get(), H5T_NATIVE_INT16, memory.get(), fileSpace.get(), H5P_DEFAULT, codes) < 0)
            return Broken();
        kadrs_ += kadrs;
        return true;
    }

    // Rows past the last flush may not be on disk: the dataset goes back to
    // the flushed ones, which are, rather than read back as zeros.
    bool Broken() {
        Fail("cannot write " + name_ + ": " + Reason());
        const std::array<hsize_t, 2> size{flushed_, channels_};
        if (H5Dset_extent(dataset_.get(), size.data()) >= 0) H5Fflush(file_.get(), H5F_SCOPE_LOCAL);
        H5Eclear2(H5E_DEFAULT);
        kadrs_ = flushed_;
        return false;
    }

    Id file_;
    Id dataset_;
    Id gaps_{-1, H5Dclose}; // with a source only
    int claim_;
    hsize_t gapRows_ = 0;
    std::string name_;
    hsize_t channels_;
    hsize_t chunkKadrs_ = kMinChunkKadrs;
};

} // namespace

std::unique_ptr<RecordingWriter> OpenHdf5(const std::filesystem::path& file, const RecordingInfo& info,
                                          bool overwrite, std::string& error) {
    // A file whose close failed stays open in the library, and the
    // library's own clean-up at exit would take the program down with it.
    H5dont_atexit();
    Quiet();
    // A failed start removes only a file it made.
    bool made = false;
    // Claimed first: the library takes the file made, and its own lock it
    // lets go once the file is in SWMR mode.
    const int claim = ClaimFile(file, overwrite, error, &made);
    if (claim < 0) return nullptr;
    Id access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    const hid_t id =
        access.ok() && H5Pset_libver_bounds(access.get(), H5F_LIBVER_LATEST, H5F_LIBVER_LATEST) >= 0
            ? H5Fcreate(file.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.get())
            : -1;
    // A file made here that holds no HDF5 file yet goes again: left empty
    // (a full disk), it would stand in the way of the next try.
    const auto unmade = [&] {
        std::error_code ec;
        if (made) std::filesystem::remove(file, ec);
        return nullptr;
    };
    if (id < 0) {
        error = "cannot create " + file.string() + ": " + Reason();
        ::close(claim);
        return unmade();
    }
    auto writer = std::make_unique<Hdf5Writer>(id, claim, file.string(), info.channels.size());
    if (!writer->Create(info)) {
        error = writer->Error();
        writer.reset();
        return unmade();
    }
    return writer;
}

} // namespace velmora::hosts
