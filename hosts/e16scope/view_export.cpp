#include "view_export.h"

#include "csv_field.h"
#include "csv_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace e16scope {
namespace {

// Rows formatted at a time before they go to the file: a buffer of some
// hundred kilobytes, reused, instead of the whole file in memory.
constexpr std::size_t kRowsAtOnce = 2048;

std::string Header(const char* first, std::size_t channels, const std::vector<std::string>& names) {
    std::string csv = first;
    for (std::size_t c = 0; c < channels; ++c) {
        csv += ',';
        velmora::hosts::AppendCsvField(csv, c < names.size() ? names[c] : std::to_string(c + 1));
    }
    csv += '\n';
    return csv;
}

void TimeRows(const View& view, double rate, std::size_t from, std::size_t to, std::string& csv) {
    for (std::size_t k = from; k < to; ++k) {
        AppendFixed(csv, view.Time(k) / rate, 9);
        for (std::size_t c = 0; c < view.channels; ++c) {
            csv += ',';
            AppendFixed(csv, view.Volts(k, c), 6);
        }
        csv += '\n';
    }
}

void SpectrumRows(const Spectrum& spectrum, std::size_t from, std::size_t to, std::string& csv) {
    for (std::size_t k = from; k < to; ++k) {
        AppendNumber(csv, spectrum.frequency[k], std::chars_format::general, 10);
        for (const std::vector<double>& db : spectrum.dbv) {
            csv += ',';
            AppendFixed(csv, db[k], 3);
        }
        csv += '\n';
    }
}

// The header, then `rows(from, to, text)` appending rows [from, to), written
// kRowsAtOnce at a time.
template <typename Rows>
bool WriteFile(const std::string& path, std::string text, std::size_t count, Rows rows, std::string& error) {
    errno = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    const auto fail = [&path, &error] {
        error = "cannot write " + path + ": " + (errno != 0 ? std::strerror(errno) : "unknown error");
        return false;
    };
    if (!file) return fail();
    for (std::size_t from = 0;; from += kRowsAtOnce) {
        rows(from, std::min(count, from + kRowsAtOnce), text);
        if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) return fail();
        text.clear();
        if (from + kRowsAtOnce >= count) break;
    }
    if (std::fclose(file.release()) != 0) return fail();
    return true;
}

} // namespace

bool WriteTimeCsv(const std::string& path, const View& view, double rate,
                  const std::vector<std::string>& names, std::string& error) {
    if (!(rate > 0)) {
        error = "cannot write " + path + ": the rate is not known";
        return false;
    }
    const auto rows = [&view, rate](std::size_t from, std::size_t to, std::string& csv) {
        TimeRows(view, rate, from, to, csv);
    };
    return WriteFile(path, Header("time_s", view.channels, names), view.kadrs, rows, error);
}

bool WriteSpectrumCsv(const std::string& path, const Spectrum& spectrum,
                      const std::vector<std::string>& names, std::string& error) {
    if (spectrum.points == 0) {
        error = "cannot write " + path + ": no spectrum (too few samples)";
        return false;
    }
    const auto rows = [&spectrum](std::size_t from, std::size_t to, std::string& csv) {
        SpectrumRows(spectrum, from, to, csv);
    };
    return WriteFile(path, Header("frequency_hz", spectrum.dbv.size(), names), spectrum.frequency.size(),
                     rows, error);
}

} // namespace e16scope
