// The writers behind OpenWriter, one per format.
#pragma once

#include "recording_file.h"

namespace velmora::hosts {

std::unique_ptr<RecordingWriter> OpenCsv(const std::filesystem::path& file, const RecordingInfo& info,
                                         bool overwrite, std::string& error);
std::unique_ptr<RecordingWriter> OpenHdf5(const std::filesystem::path& file, const RecordingInfo& info,
                                          bool overwrite, std::string& error);

} // namespace velmora::hosts
