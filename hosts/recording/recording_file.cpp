#include "recording_file.h"

#include <algorithm>
#include <cctype>

#include "writers.h"

namespace velmora::hosts {

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
