// The writers behind OpenWriter, one per format.
#pragma once

#include <cstddef>

#include "recording_file.h"

namespace velmora::hosts {

// The HDF5 dataset's chunks hold at most this many bytes and are compressed
// by the shuffle and deflate at this level. Measured
// (bench/hdf5_compression_bench): with the shuffle, level 1 makes files as
// small as level 4 (44.8 % of the codes against 44.7 %) for less CPU;
// higher levels cost far more for 1 % at most.
inline constexpr std::size_t kHdf5ChunkBytes = 256 * 1024;
inline constexpr unsigned kHdf5DeflateLevel = 1;

// Opens `file` for writing (created; an existing one only when
// `overwrite`, then emptied) and holds it against every other writer until
// the descriptor is closed: a second recording to a file being written
// would leave a mix of the two that each took for its own. -1 with `error`
// set when refused, and errno ENXIO for a pipe that no program reads yet.
// `made` (when given) says whether the file was not there before, not even
// as a link: a writer that fails at its start removes only such a file.
int ClaimFile(const std::filesystem::path& file, bool overwrite, std::string& error, bool* made = nullptr);
// Holds the existing `file` as ClaimFile does, leaving what it holds; -1
// with `error` set when another recording writes it or a program holds it
// open, so that it may be removed.
int HoldFile(const std::filesystem::path& file, std::string& error);

// A regular file that no name reaches any more (deleted, or its folder
// removed): what it holds goes with the descriptor.
bool Unnamed(int fd);

std::unique_ptr<RecordingWriter> OpenCsv(const std::filesystem::path& file, const RecordingInfo& info,
                                         bool overwrite, std::string& error);
std::unique_ptr<RecordingWriter> OpenHdf5(const std::filesystem::path& file, const RecordingInfo& info,
                                          bool overwrite, std::string& error);

} // namespace velmora::hosts
