#include "recording_file.h"

#include <algorithm>
#include <cctype>

#include "writers.h"

namespace velmora::hosts {

static_assert(sizeof(std::size_t) >= 8, "kadr counters of a week at 500 kS/s");

bool RecordingWriter::Write(const int16_t* codes, std::size_t kadrs) {
    if (!error_.empty()) return false;
    if (kadrs == 0) return true;
    const Clock::time_point now = Clock::now();
    if (!Append(codes, kadrs)) return false;
    // Append may have flushed part of the kadrs; the rest wait from now.
    if (flushed_ < kadrs_ && !waitingSince_) waitingSince_ = now;
    return FlushIfOlder(kFlushAge);
}

bool RecordingWriter::Flush() {
    if (!error_.empty()) return false;
    if (!Sync()) return false;
    flushed_ = kadrs_;
    waitingSince_.reset();
    return true;
}

bool RecordingWriter::FlushIfOlder(Clock::duration age) {
    if (!error_.empty()) return false;
    return !waitingSince_ || Clock::now() - *waitingSince_ < age || Flush();
}

bool RecordingWriter::Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
    return false;
}

std::optional<FileFormat> FormatNamed(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower == "csv") return FileFormat::Csv;
    if (lower == "hdf5" || lower == "h5") return FileFormat::Hdf5;
    return std::nullopt;
}

FileFormat FormatOf(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".h5" || ext == ".hdf5" || ext == ".he5" ? FileFormat::Hdf5 : FileFormat::Csv;
}

std::unique_ptr<RecordingWriter> OpenWriter(const std::filesystem::path& file, FileFormat format,
                                            const RecordingInfo& info, bool overwrite, std::string& error) {
    if (info.channels.empty() || !(info.rate > 0)) {
        error = "a recording file needs channels and a rate";
        return nullptr;
    }
    return format == FileFormat::Hdf5 ? OpenHdf5(file, info, overwrite, error)
                                      : OpenCsv(file, info, overwrite, error);
}

} // namespace velmora::hosts
