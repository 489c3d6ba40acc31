// The HDF5 filters e16rec could use, by measurement: the same stream of
// 32-channel blocks written as e16rec's writer writes it (one chunked,
// growing 16-bit dataset, chunks of 256 KiB = 4096 kadrs x 32 channels, the
// dataset extended by each block) with no filter and with every filter this
// libhdf5 has built in; for each, the CPU time of writing (through the
// file's close) and of reading back per MB of codes, as ratios to no filter
// in the same run, and the file's size against the codes'.
//   hdf5_compression_bench [--seconds S] [--block KADRS] [--repeat N] [--noise CODES]
//                          [--from FILE.h5] [--dir DIR]
// The data are the simulated module's own (sines, DC levels, the frame ramp;
// codes = volts x 3200, ±10 V range), alone and with uniform noise of
// ±CODES, or a recording's "codes" dataset (--from).
#include <hdf5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "cpu_time.h"
#include "writers.h"

namespace {

using velmora::bench::Median;
using velmora::bench::ThreadCpuSeconds;

namespace fs = std::filesystem;

constexpr hsize_t kChunkBytes = velmora::hosts::kHdf5ChunkBytes;
constexpr int kChannels = 32;
constexpr double kKadrRate = 15625.0;
constexpr double kSampleRate = kKadrRate * kChannels;
constexpr double kCodesPerVolt = 3200.0;                // the ±10 V range
constexpr double kCodeBytesPerSecond = kSampleRate * 2; // at 500 kS/s

int16_t Code(double volts) {
    return static_cast<int16_t>(std::clamp(std::nearbyint(volts * kCodesPerVolt), -32768.0, 32767.0));
}

// Kadrs x channels as the simulator makes them for --inputs se -c 0-31 at
// 15625 kadrs/s: X1..X14 sines of 0.5 k V at 10 k Hz, X15/X16 the idle
// outputs (0 V), Y1..Y15 DC (k - 8) x 0.25 V, Y16 the frame ramp; each
// sample at its own time in the frame. Plus uniform noise of ±noise codes.
std::vector<int16_t> Simulated(std::size_t kadrs, int noise) {
    std::vector<int16_t> codes(kadrs * kChannels);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (std::size_t n = 0; n < kadrs; ++n) {
        for (int i = 0; i < kChannels; ++i) {
            const double t = static_cast<double>(n * kChannels + static_cast<std::size_t>(i)) / kSampleRate;
            double volts = 0.0;
            if (i < 14) {
                const double k = i + 1;
                volts = 0.5 * k * std::sin(2.0 * std::numbers::pi * 10.0 * k * t);
            } else if (i >= 16 && i < 31) {
                volts = (i - 15 - 8) * 0.25;
            } else if (i == 31) {
                volts = -5.0 + 0.01 * static_cast<double>(n % 1000);
            }
            int code = Code(volts);
            if (noise > 0) code += static_cast<int>(next() % static_cast<uint64_t>(2 * noise + 1)) - noise;
            codes[n * kChannels + static_cast<std::size_t>(i)] =
                static_cast<int16_t>(std::clamp(code, -32768, 32767));
        }
    }
    return codes;
}

struct Data {
    std::string name;
    std::vector<int16_t> codes;
    hsize_t channels = kChannels;
    std::size_t Kadrs() const { return codes.size() / channels; }
};

// At most `kadrs` rows of the "codes" dataset of an e16rec recording.
std::optional<Data> FromRecording(const fs::path& file, std::size_t kadrs) {
    Data data;
    data.name = file.string();
    const hid_t f = H5Fopen(file.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    if (f < 0) return std::nullopt;
    const hid_t d = H5Dopen2(f, "codes", H5P_DEFAULT);
    const hid_t space = d >= 0 ? H5Dget_space(d) : -1;
    std::array<hsize_t, 2> dims{0, 0};
    bool ok = space >= 0 && H5Sget_simple_extent_ndims(space) == 2 &&
              H5Sget_simple_extent_dims(space, dims.data(), nullptr) == 2 && dims[0] > 0 && dims[1] > 0;
    if (ok) {
        const std::array<hsize_t, 2> start{0, 0}, count{std::min<hsize_t>(dims[0], kadrs), dims[1]};
        data.channels = dims[1];
        data.codes.resize(count[0] * count[1]);
        const hid_t memory = H5Screate_simple(2, count.data(), nullptr);
        ok = H5Sselect_hyperslab(space, H5S_SELECT_SET, start.data(), nullptr, count.data(), nullptr) >= 0 &&
             H5Dread(d, H5T_NATIVE_INT16, memory, space, H5P_DEFAULT, data.codes.data()) >= 0;
        H5Sclose(memory);
    }
    if (space >= 0) H5Sclose(space);
    if (d >= 0) H5Dclose(d);
    H5Fclose(f);
    if (!ok) return std::nullopt;
    return data;
}

struct Variant {
    std::string name;
    std::vector<H5Z_filter_t> filters; // all needed for writing
    std::function<bool(hid_t layout)> set;
};

std::vector<Variant> Variants() {
    constexpr unsigned kOurs = velmora::hosts::kHdf5DeflateLevel;
    std::vector<Variant> v;
    v.push_back({"none", {}, [](hid_t) { return true; }});
    for (const bool shuffle : {false, true}) {
        for (const unsigned level : {1u, 4u, 6u}) {
            std::vector<H5Z_filter_t> filters{H5Z_FILTER_DEFLATE};
            if (shuffle) filters.push_back(H5Z_FILTER_SHUFFLE);
            v.push_back({std::string(shuffle ? "shuffle + " : "") + "deflate " + std::to_string(level) +
                             (shuffle && level == kOurs ? " (e16rec)" : ""),
                         filters, [=](hid_t p) {
                             return (!shuffle || H5Pset_shuffle(p) >= 0) && H5Pset_deflate(p, level) >= 0;
                         }});
        }
    }
    v.push_back({"shuffle + deflate " + std::to_string(kOurs) + " + fletcher32",
                 {H5Z_FILTER_SHUFFLE, H5Z_FILTER_DEFLATE, H5Z_FILTER_FLETCHER32},
                 [](hid_t p) {
                     return H5Pset_shuffle(p) >= 0 && H5Pset_deflate(p, kOurs) >= 0 &&
                            H5Pset_fletcher32(p) >= 0;
                 }});
    v.push_back({"szip nn 32", {H5Z_FILTER_SZIP}, [](hid_t p) {
                     return H5Pset_szip(p, H5_SZIP_NN_OPTION_MASK, 32) >= 0;
                 }});
    v.push_back({"szip ec 32", {H5Z_FILTER_SZIP}, [](hid_t p) {
                     return H5Pset_szip(p, H5_SZIP_EC_OPTION_MASK, 32) >= 0;
                 }});
    v.push_back({"shuffle + szip nn 32", {H5Z_FILTER_SHUFFLE, H5Z_FILTER_SZIP}, [](hid_t p) {
                     return H5Pset_shuffle(p) >= 0 && H5Pset_szip(p, H5_SZIP_NN_OPTION_MASK, 32) >= 0;
                 }});
    v.push_back({"scale-offset (integer)", {H5Z_FILTER_SCALEOFFSET}, [](hid_t p) {
                     return H5Pset_scaleoffset(p, H5Z_SO_INT, H5Z_SO_INT_MINBITS_DEFAULT) >= 0;
                 }});
    v.push_back({"n-bit", {H5Z_FILTER_NBIT}, [](hid_t p) { return H5Pset_nbit(p) >= 0; }});
    return v;
}

bool CanWrite(const Variant& v) {
    for (const H5Z_filter_t f : v.filters) {
        unsigned config = 0;
        if (H5Zfilter_avail(f) <= 0 || H5Zget_filter_info(f, &config) < 0 ||
            (config & H5Z_FILTER_CONFIG_ENCODE_ENABLED) == 0)
            return false;
    }
    return true;
}

struct Sample {
    double writeCpu = 0, readCpu = 0;
    std::uintmax_t bytes = 0;
    bool same = false;
};

// Writes `data` block by block as e16rec's writer does, then reads it back.
std::optional<Sample> Measure(const Variant& variant, const Data& data, std::size_t block,
                              const fs::path& file) {
    Sample s;
    const hsize_t channels = data.channels;
    const hsize_t total = data.Kadrs();
    {
        const double began = ThreadCpuSeconds();
        const hid_t f = H5Fcreate(file.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
        if (f < 0) return std::nullopt;
        const std::array<hsize_t, 2> dims{0, channels}, maxDims{H5S_UNLIMITED, channels};
        const std::array<hsize_t, 2> chunk{std::max<hsize_t>(1, kChunkBytes / 2 / channels), channels};
        const hid_t space = H5Screate_simple(2, dims.data(), maxDims.data());
        const hid_t layout = H5Pcreate(H5P_DATASET_CREATE);
        bool ok = H5Pset_chunk(layout, 2, chunk.data()) >= 0 && variant.set(layout);
        const hid_t d =
            ok ? H5Dcreate2(f, "codes", H5T_STD_I16LE, space, H5P_DEFAULT, layout, H5P_DEFAULT) : -1;
        ok = d >= 0;
        for (hsize_t at = 0; ok && at < total; at += block) {
            const hsize_t n = std::min<hsize_t>(block, total - at);
            const std::array<hsize_t, 2> size{at + n, channels}, start{at, 0}, count{n, channels};
            ok = H5Dset_extent(d, size.data()) >= 0;
            const hid_t fileSpace = H5Dget_space(d);
            const hid_t memory = H5Screate_simple(2, count.data(), nullptr);
            ok = ok &&
                 H5Sselect_hyperslab(fileSpace, H5S_SELECT_SET, start.data(), nullptr, count.data(),
                                     nullptr) >= 0 &&
                 H5Dwrite(d, H5T_NATIVE_INT16, memory, fileSpace, H5P_DEFAULT, &data.codes[at * channels]) >=
                     0;
            H5Sclose(memory);
            H5Sclose(fileSpace);
        }
        if (d >= 0) ok = H5Dclose(d) >= 0 && ok;
        H5Pclose(layout);
        H5Sclose(space);
        ok = H5Fflush(f, H5F_SCOPE_GLOBAL) >= 0 && ok;
        ok = H5Fclose(f) >= 0 && ok;
        s.writeCpu = ThreadCpuSeconds() - began;
        if (!ok) return std::nullopt;
    }
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    s.bytes = static_cast<std::uintmax_t>(st.st_size);
    {
        std::vector<int16_t> back(data.codes.size());
        const double began = ThreadCpuSeconds();
        const hid_t f = H5Fopen(file.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        const hid_t d = f >= 0 ? H5Dopen2(f, "codes", H5P_DEFAULT) : -1;
        const bool ok =
            d >= 0 && H5Dread(d, H5T_NATIVE_INT16, H5S_ALL, H5S_ALL, H5P_DEFAULT, back.data()) >= 0;
        if (d >= 0) H5Dclose(d);
        if (f >= 0) H5Fclose(f);
        s.readCpu = ThreadCpuSeconds() - began;
        s.same = ok && back == data.codes;
    }
    ::unlink(file.c_str());
    return s;
}

void Report(const Data& data, const std::vector<Variant>& variants, std::size_t block, int repeat,
            const fs::path& work) {
    const double megabytes = static_cast<double>(data.codes.size()) * 2 / 1e6;
    std::printf(
        "\n%s: %zu kadrs x %llu channels = %.2f MB of codes; chunks %llu x %llu, blocks of %zu kadrs, "
        "median of %d\n",
        data.name.c_str(), data.Kadrs(), static_cast<unsigned long long>(data.channels), megabytes,
        static_cast<unsigned long long>(std::max<hsize_t>(1, kChunkBytes / 2 / data.channels)),
        static_cast<unsigned long long>(data.channels), block, repeat);
    std::vector<std::vector<Sample>> samples(variants.size());
    std::vector<bool> failed(variants.size(), false);
    // One pass unmeasured first: the library's first use of each filter and
    // the first touches of memory are not what a recording pays.
    for (const Variant& v : variants) Measure(v, data, block, work / "bench.h5");
    // Variants alternate within a repetition so that the machine's load
    // falls on all of them alike.
    for (int rep = 0; rep < repeat; ++rep)
        for (std::size_t i = 0; i < variants.size(); ++i) {
            if (failed[i]) continue;
            const auto s = Measure(variants[i], data, block, work / "bench.h5");
            if (s)
                samples[i].push_back(*s);
            else
                failed[i] = true;
        }
    const auto median = [&](std::size_t i, double Sample::*field) {
        std::vector<double> v;
        for (const Sample& s : samples[i]) v.push_back(s.*field);
        return Median(v) * 1e3 / megabytes;
    };
    const double noneWrite = samples[0].empty() ? 0 : median(0, &Sample::writeCpu);
    const double noneRead = samples[0].empty() ? 0 : median(0, &Sample::readCpu);
    std::printf("%-34s %10s %7s %12s %10s %7s %9s %8s  %s\n", "filter", "write ms", "x none", "core at",
                "read ms", "x none", "size", "factor", "lossless");
    std::printf("%-34s %10s %7s %12s %10s %7s %9s %8s\n", "", "per MB", "", "500 kS/s", "per MB", "",
                "of codes", "");
    for (std::size_t i = 0; i < variants.size(); ++i) {
        if (failed[i] || samples[i].empty()) {
            std::printf("%-34s failed\n", variants[i].name.c_str());
            continue;
        }
        const double write = median(i, &Sample::writeCpu), read = median(i, &Sample::readCpu);
        const double size = static_cast<double>(samples[i].front().bytes) / (megabytes * 1e6);
        const bool same =
            std::all_of(samples[i].begin(), samples[i].end(), [](const Sample& s) { return s.same; });
        // ms per MB x MB per s at 500 kS/s = ms per s; / 10 = % of a core.
        std::printf("%-34s %10.2f %7.2f %11.2f%% %10.2f %7.2f %8.1f%% %8.2f  %s\n", variants[i].name.c_str(),
                    write, noneWrite > 0 ? write / noneWrite : 0.0, write * kCodeBytesPerSecond / 1e6 / 10.0,
                    read, noneRead > 0 ? read / noneRead : 0.0, size * 100.0, size > 0 ? 1.0 / size : 0.0,
                    same ? "yes" : "NO");
    }
    std::fflush(stdout);
}

const char* const kUsage =
    "usage: hdf5_compression_bench [options]\n"
    "  --seconds S    seconds of 32 channels at 15625 kadrs/s (default 10)\n"
    "  --block K      kadrs per write (default 312: e16rec's drain every 20 ms at 15625 kadrs/s)\n"
    "  --repeat N     repetitions, the median is shown (default 3)\n"
    "  --noise C      also the data with uniform noise of +-C codes (default 2; 0: not)\n"
    "  --from FILE    a recording's \"codes\" dataset instead of the simulator's data\n"
    "  --dir DIR      the folder written in (default $TMPDIR or /tmp)\n";

} // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    std::size_t block = 312;
    int repeat = 3, noise = 2;
    std::optional<fs::path> from;
    const char* tmp = std::getenv("TMPDIR");
    fs::path parent = tmp && *tmp ? tmp : "/tmp";
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h" || i + 1 >= argc) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const std::string value = argv[++i];
        char* end = nullptr;
        bool ok = true;
        if (name == "--seconds") {
            seconds = std::strtod(value.c_str(), &end);
            ok = *end == '\0' && seconds > 0 && seconds <= 600;
        } else if (name == "--block") {
            block = static_cast<std::size_t>(std::strtoul(value.c_str(), &end, 10));
            ok = *end == '\0' && block >= 1;
        } else if (name == "--repeat") {
            repeat = static_cast<int>(std::strtol(value.c_str(), &end, 10));
            ok = *end == '\0' && repeat >= 1 && repeat <= 100;
        } else if (name == "--noise") {
            noise = static_cast<int>(std::strtol(value.c_str(), &end, 10));
            ok = *end == '\0' && noise >= 0 && noise <= 10000;
        } else if (name == "--from") {
            from = value;
        } else if (name == "--dir") {
            parent = value;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "hdf5_compression_bench: bad option %s %s\n%s", name.c_str(), value.c_str(),
                         kUsage);
            return 2;
        }
    }
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr); // a failure is reported per filter
    std::string pattern = (parent / "hdf5_compression_bench.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "hdf5_compression_bench: cannot make a folder in %s: %s\n", parent.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const fs::path work = pattern;

    unsigned major = 0, minor = 0, release = 0;
    H5get_libversion(&major, &minor, &release);
    std::printf(
        "libhdf5 %u.%u.%u; CPU = the writing thread's, from H5Fcreate through H5Fclose (read: H5Fopen "
        "through H5Fclose); MB = 10^6 bytes of 16-bit codes; 500 kS/s = %.0f MB/s of codes\n",
        major, minor, release, kCodeBytesPerSecond / 1e6);
    std::vector<Variant> variants;
    for (Variant& v : Variants()) {
        if (CanWrite(v))
            variants.push_back(std::move(v));
        else
            std::printf("not built into this libhdf5 (or cannot encode): %s\n", v.name.c_str());
    }
    const auto kadrs = static_cast<std::size_t>(std::llround(seconds * kKadrRate));
    std::vector<Data> sets;
    if (from) {
        auto data = FromRecording(*from, kadrs);
        if (!data) {
            std::fprintf(stderr, "hdf5_compression_bench: cannot read a 2-D \"codes\" dataset from %s\n",
                         from->c_str());
            fs::remove_all(work);
            return 1;
        }
        sets.push_back(std::move(*data));
    } else {
        sets.push_back({"the simulator's signals, no noise", Simulated(kadrs, 0)});
        if (noise > 0)
            sets.push_back({"the simulator's signals + noise of +-" + std::to_string(noise) + " codes",
                            Simulated(kadrs, noise)});
    }
    for (const Data& data : sets) Report(data, variants, block, repeat, work);
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return 0;
}
