// Recording files: what a host knows about a recording (channels, rate,
// module) and the writers that put its kadrs of 16-bit codes into a CSV
// file of volts or an HDF5 file of codes. Every write and the final close
// are checked; a writer that failed says why and writes nothing more.
// One thread per writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::hosts {

struct ChannelInfo {
    std::string name;
    int16_t range = 0;
    float codesPerVolt = 1; // a code divided by it is volts
};

struct RecordingInfo {
    std::vector<ChannelInfo> channels;
    double rate = 0;       // kadrs per second, as achieved
    std::string startTime; // the first kadr's time, ISO 8601 UTC; may come later (SetStartTime)
    std::string serial;    // the module's, as the driver reports it
    std::string backend;   // the vendor library and its version, or the simulated module
    std::string address;   // of the open module
};

class RecordingWriter {
public:
    virtual ~RecordingWriter() = default;
    // `kadrs` whole kadrs, the channels of each one after the other.
    virtual bool Write(const int16_t* codes, std::size_t kadrs) = 0;
    // The first kadr's time for a file opened before it was known: call it
    // before the first Write (a CSV file's header waits for it until then).
    // False when it cannot be written (the writer failed), and for a CSV
    // file whose rows have begun (the file goes on without it).
    virtual bool SetStartTime(const std::string& isoUtc) = 0;
    // Flushes and closes; a file is complete only when this returned true.
    virtual bool Close() = 0;
    const std::string& Error() const { return error_; }
    std::size_t Kadrs() const { return kadrs_; }

protected:
    bool Fail(std::string why);
    std::string error_;
    std::size_t kadrs_ = 0;
};

enum class FileFormat { Csv, Hdf5 };

// "csv", "hdf5" or "h5"; nothing for any other name.
std::optional<FileFormat> FormatNamed(std::string_view name);
// HDF5 for ".h5", ".hdf5" and ".he5", CSV for any other name.
FileFormat FormatOf(const std::filesystem::path& file);

// A new file, or an existing one replaced only when `overwrite`. Null with
// `error` set when it cannot be made.
std::unique_ptr<RecordingWriter> OpenWriter(const std::filesystem::path& file, FileFormat format,
                                            const RecordingInfo& info, bool overwrite, std::string& error);

// The CSV text of kadrs as the CSV writer makes it, for one row after
// another: a comment line "# serial S, address A, start_time T, backend B"
// of the fields known (none: no line; the backend last, as it may hold
// commas), "time,<names>", then seconds from the first kadr and volts with
// six decimals. Appends to `out`.
void AppendCsvHeader(const RecordingInfo& info, std::string& out);
void AppendCsvRows(const RecordingInfo& info, std::size_t firstKadr, const int16_t* codes, std::size_t kadrs,
                   std::string& out);

} // namespace velmora::hosts
