// Recording files read back as a user's own tools read them (the HDF5
// library, the CSV text), and the check that their kadrs are the simulated
// module's: with --inputs se, Y1..Y15 carry (k - 8) x 0.25 V and Y16 the
// frame ramp -5 + 0.01 x (n mod 1000) V, one step a kadr, so a zero row, a
// torn row, a lost or a repeated kadr shows.
#pragma once

#include <hdf5.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace velmora::test {

struct Recorded {
    std::string problem; // what keeps the file from being read; empty when read
    std::vector<std::string> names;
    std::vector<double> volts; // rows x names
    std::vector<double> times; // CSV only: the time column
    std::size_t rows = 0;
    int64_t firstKadr = -1; // -1: the file does not say
    std::string startTime;
    // HDF5 only: the rest of the description, and the dataset "gaps" as
    // (first, kadrs) pairs.
    std::vector<int16_t> ranges;
    std::vector<float> codesPerVolt;
    double rate = 0;
    std::string serial, address, backend;
    std::vector<int64_t> gaps;

    double At(std::size_t row, std::size_t column) const { return volts[row * names.size() + column]; }
    int Column(const std::string& name) const {
        const auto at = std::find(names.begin(), names.end(), name);
        return at == names.end() ? -1 : static_cast<int>(at - names.begin());
    }
};

namespace detail {

// An HDF5 identifier, closed at the end of its scope; negative when it failed.
struct Id {
    hid_t id;
    herr_t (*close)(hid_t);
    ~Id() {
        if (id >= 0) close(id);
    }
    operator hid_t() const { return id; }
};

// The attributes of a dataset: texts (of fixed length) one per element,
// numbers as doubles; `notUtf8` names the first text not marked UTF-8, whose
// characters past ASCII a reader that follows the mark takes for no text.
struct Attributes {
    std::map<std::string, std::vector<std::string>> texts;
    std::map<std::string, std::vector<double>> numbers;
    std::string notUtf8;
};

// Takes one attribute into the Attributes at `data` (an H5Aiterate2 callback).
inline herr_t AddAttribute(hid_t at, const char* name, const H5A_info_t*, void* data) {
    Attributes& all = *static_cast<Attributes*>(data);
    const Id attribute{H5Aopen(at, name, H5P_DEFAULT), H5Aclose};
    const Id type{H5Aget_type(attribute), H5Tclose}, space{H5Aget_space(attribute), H5Sclose};
    const auto count = static_cast<std::size_t>(H5Sget_simple_extent_npoints(space));
    if (H5Tget_class(type) != H5T_STRING) {
        std::vector<double> values(count);
        if (H5Aread(attribute, H5T_NATIVE_DOUBLE, values.data()) >= 0) all.numbers[name] = values;
        return 0;
    }
    if (H5Tget_cset(type) != H5T_CSET_UTF8 && all.notUtf8.empty()) all.notUtf8 = name;
    const std::size_t width = H5Tget_size(type);
    std::string packed(width * count, '\0');
    if (H5Aread(attribute, type, packed.data()) >= 0)
        for (std::size_t at = 0; at < packed.size(); at += width)
            all.texts[name].push_back(packed.substr(at, width).c_str());
    return 0;
}

// A 2-D dataset as `type`, `dims` its size; none when it is missing or unreadable.
template <typename T>
std::optional<std::vector<T>> Rows(hid_t h5, const char* name, hid_t type, hsize_t (&dims)[2]) {
    const Id dataset{H5Dopen2(h5, name, H5P_DEFAULT), H5Dclose};
    const Id space{dataset >= 0 ? H5Dget_space(dataset) : -1, H5Sclose};
    if (space < 0 || H5Sget_simple_extent_ndims(space) != 2) return std::nullopt;
    H5Sget_simple_extent_dims(space, dims, nullptr);
    std::vector<T> values(dims[0] * dims[1]);
    if (!values.empty() && H5Dread(dataset, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) < 0)
        return std::nullopt;
    return values;
}

} // namespace detail

// `swmr`: as a reader of a file being written, or of one whose writer was
// killed, opens it (h5py's File(name, "r", swmr=True)).
inline Recorded ReadHdf5(const std::string& file, bool swmr) {
    Recorded r;
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const detail::Id h5{H5Fopen(file.c_str(), H5F_ACC_RDONLY | (swmr ? H5F_ACC_SWMR_READ : 0u), H5P_DEFAULT),
                        H5Fclose};
    if (h5 < 0) {
        r.problem = "the HDF5 library cannot open " + file;
        return r;
    }
    hsize_t dims[2] = {}, gapDims[2] = {};
    const auto codes = detail::Rows<int16_t>(h5, "codes", H5T_NATIVE_INT16, dims);
    if (auto gaps = detail::Rows<int64_t>(h5, "gaps", H5T_NATIVE_INT64, gapDims); gaps && gapDims[1] == 2)
        r.gaps = *gaps;
    detail::Attributes a;
    const detail::Id dataset{H5Dopen2(h5, "codes", H5P_DEFAULT), H5Dclose};
    H5Aiterate2(dataset, H5_INDEX_NAME, H5_ITER_INC, nullptr, detail::AddAttribute, &a);
    // An attribute of exactly one text or number; `none` otherwise.
    const auto text = [&](const char* name) { return a.texts[name].size() == 1 ? a.texts[name][0] : ""; };
    const auto number = [&](const char* name, double none) {
        return a.numbers[name].size() == 1 ? a.numbers[name][0] : none;
    };
    r.names = a.texts["channel_names"];
    r.startTime = text("start_time");
    r.serial = text("serial");
    r.address = text("address");
    r.backend = text("backend");
    r.codesPerVolt.assign(a.numbers["codes_per_volt"].begin(), a.numbers["codes_per_volt"].end());
    r.ranges.assign(a.numbers["ranges"].begin(), a.numbers["ranges"].end());
    r.rate = number("rate", 0);
    r.firstKadr = static_cast<int64_t>(number("first_kadr", -1));
    r.rows = dims[0];
    if (!codes) {
        r.problem = "no readable 2-D dataset codes in " + file;
    } else if (r.names.size() != dims[1] || r.codesPerVolt.size() != dims[1] || r.firstKadr < 0) {
        r.problem = "the attributes of " + file + " do not describe its channels";
    } else if (!a.notUtf8.empty()) {
        r.problem = "the attribute " + a.notUtf8 + " of " + file + " is not marked UTF-8";
    } else {
        for (std::size_t i = 0; i < codes->size(); ++i)
            r.volts.push_back((*codes)[i] / double(r.codesPerVolt[i % dims[1]]));
    }
    return r;
}

// Every row whole: as many numbers as the header names, and a newline.
inline Recorded ReadCsv(const std::string& file) {
    Recorded r;
    const std::string text = Slurp(file);
    std::istringstream lines(text);
    std::string line;
    if (!text.empty() && text.back() != '\n') r.problem = file + " ends in a row cut short";
    while (std::getline(lines, line) && r.problem.empty()) {
        if (line.starts_with("# ")) {
            if (const auto at = line.find(", start_time "); at != std::string::npos)
                r.startTime = line.substr(at + 13, line.find(',', at + 13) - (at + 13));
            if (const auto at = line.find(", first_kadr "); at != std::string::npos)
                r.firstKadr = std::atoll(line.c_str() + at + 13);
            continue;
        }
        const std::vector<std::string> fields = Split(line);
        if (r.names.empty() && !fields.empty() && fields[0] == "time") {
            r.names.assign(fields.begin() + 1, fields.end());
            continue;
        }
        if (fields.size() != r.names.size() + 1) {
            r.problem = "row " + std::to_string(r.rows) + " of " + file + " is not whole: " + line;
            break;
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            char* end = nullptr;
            const double value = std::strtod(fields[i].c_str(), &end);
            if (end == fields[i].c_str() || *end != '\0')
                r.problem = "row " + std::to_string(r.rows) + " of " + file + " is not numbers: " + line;
            (i == 0 ? r.times : r.volts).push_back(value);
        }
        ++r.rows;
    }
    return r;
}

// The file as the reader of its extension reads it.
inline Recorded ReadRecorded(const std::string& file, bool swmr) {
    return file.ends_with(".h5") ? ReadHdf5(file, swmr) : ReadCsv(file);
}

// Empty when the file was read and holds kadrs of the simulated module,
// at least one, one after the other; else why it was not read, or the first
// row that is not.
inline std::string SimulatedFault(const Recorded& r) {
    if (!r.problem.empty()) return r.problem;
    if (r.rows == 0) return "no kadrs in the file";
    const int ramp = r.Column("Y16");
    if (ramp < 0) return "no Y16 in the file";
    std::vector<std::pair<std::size_t, int>> dc; // column, k of Yk
    for (int k = 1; k <= 15; ++k)
        if (const int column = r.Column("Y" + std::to_string(k)); column >= 0)
            dc.emplace_back(static_cast<std::size_t>(column), k);
    long before = -1;
    for (std::size_t row = 0; row < r.rows; ++row) {
        for (const auto& [column, k] : dc)
            if (std::fabs(r.At(row, column) - (k - 8) * 0.25) > 0.01)
                return "row " + std::to_string(row) + ": Y" + std::to_string(k) + " is " +
                       std::to_string(r.At(row, column)) + " V";
        // The ramp's step (0..999); off the ramp, none.
        const double volts = r.At(row, static_cast<std::size_t>(ramp));
        const long step = std::lround((volts + 5.0) / 0.01);
        if (step < 0 || step >= 1000 || std::fabs(volts - (-5.0 + 0.01 * step)) >= 2e-3 ||
            (row > 0 && step != (before + 1) % 1000))
            return "row " + std::to_string(row) + ": Y16 is " + std::to_string(volts) + " V after step " +
                   std::to_string(before);
        before = step;
    }
    return {};
}

} // namespace velmora::test
