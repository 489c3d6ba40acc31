#include "view_export.h"

#include "csv_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace e16scope {
namespace {

void Header(std::string& csv, const char* first, std::size_t channels,
            const std::vector<std::string>& names) {
    csv += first;
    for (std::size_t c = 0; c < channels; ++c) {
        csv += ',';
        AppendField(csv, c < names.size() ? names[c] : std::to_string(c + 1));
    }
    csv += '\n';
}

bool WriteFile(const std::string& path, const std::string& text, std::string& error) {
    errno = 0;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    const auto fail = [&path, &error] {
        error = "cannot write " + path + ": " + (errno != 0 ? std::strerror(errno) : "unknown error");
        return false;
    };
    if (!file) return fail();
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) return fail();
    if (std::fclose(file.release()) != 0) return fail();
    return true;
}

} // namespace

std::string TimeCsv(const View& view, double rate, const std::vector<std::string>& names) {
    std::string csv;
    Header(csv, "time_s", view.channels, names);
    csv.reserve(csv.size() + view.kadrs * (16 + 11 * view.channels));
    for (std::size_t k = 0; k < view.kadrs; ++k) {
        AppendNumber(csv, (view.firstTime + static_cast<double>(k)) / rate, std::chars_format::fixed, 9);
        for (std::size_t c = 0; c < view.channels; ++c) {
            csv += ',';
            AppendNumber(csv, view.Volts(k, c), std::chars_format::fixed, 6);
        }
        csv += '\n';
    }
    return csv;
}

std::string SpectrumCsv(const Spectrum& spectrum, const std::vector<std::string>& names) {
    std::string csv;
    Header(csv, "frequency_hz", spectrum.dbv.size(), names);
    for (std::size_t k = 0; k < spectrum.frequency.size(); ++k) {
        AppendNumber(csv, spectrum.frequency[k], std::chars_format::general, 10);
        for (const std::vector<double>& db : spectrum.dbv) {
            csv += ',';
            AppendNumber(csv, db[k], std::chars_format::fixed, 3);
        }
        csv += '\n';
    }
    return csv;
}

bool WriteTimeCsv(const std::string& path, const View& view, double rate,
                  const std::vector<std::string>& names, std::string& error) {
    if (!(rate > 0)) {
        error = "cannot write " + path + ": the rate is not known";
        return false;
    }
    return WriteFile(path, TimeCsv(view, rate, names), error);
}

bool WriteSpectrumCsv(const std::string& path, const Spectrum& spectrum,
                      const std::vector<std::string>& names, std::string& error) {
    if (spectrum.points == 0) {
        error = "cannot write " + path + ": no spectrum (too few samples)";
        return false;
    }
    return WriteFile(path, SpectrumCsv(spectrum, names), error);
}

} // namespace e16scope
