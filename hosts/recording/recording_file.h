// Recording files: what a host knows about a recording (channels, rate,
// module) and the writers that put its kadrs of 16-bit codes into a CSV
// file of volts or an HDF5 file of codes. Every write, flush and the final
// close are checked; a writer that failed says why (the system's reason
// included), keeps the kadrs already on disk as whole kadrs, and writes
// nothing more. Kadrs written reach the disk at the latest once the oldest
// of them is kFlushAge old (at a Write or FlushIfOlder), so a file cut off
// by a kill or a crash holds all but the last moments. One thread per writer.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
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
    // The index of the file's first kadr in the recording, for the files of
    // a split recording; the CSV time column counts from the recording's
    // first kadr all the same.
    std::optional<int64_t> firstKadr;
    // The stream the recording came from (e16rec --source); its files keep
    // the gaps the stream had (Gap).
    std::string source;
};

// How long a written kadr may wait for the disk.
inline constexpr std::chrono::milliseconds kFlushAge{500};

class RecordingWriter {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~RecordingWriter() = default;
    // `kadrs` whole kadrs, the channels of each one after the other; flushes
    // when the oldest kadr not on disk is kFlushAge old.
    bool Write(const int16_t* codes, std::size_t kadrs);
    // Puts every kadr written on disk, whole, where a reader finds it (for
    // HDF5 one that opens the file in SWMR mode) and a cut-off file keeps it.
    bool Flush();
    // Flushes when kadrs have waited `age`: for the times nothing is written.
    // A writer over another one passes it on, so that one clock decides.
    virtual bool FlushIfOlder(Clock::duration age = kFlushAge);
    // The first kadr's time for a file opened before it was known: call it
    // before the first Write (a CSV file's header waits for it until then,
    // and goes on disk with it). False when it cannot be written (the writer
    // failed), and for a CSV file whose header is out (its rows began, or
    // it was opened or told the time before): the file goes on without it.
    virtual bool SetStartTime(const std::string& isoUtc) = 0;
    // Kadrs `firstMissing` (the recording's index) and `kadrs` after it never
    // came: noted in the file, and the kadrs written next follow them. False
    // when the writer failed.
    virtual bool Gap(int64_t firstMissing, int64_t kadrs) = 0;
    // Flushes and closes; a file is complete only when this returned true.
    virtual bool Close() = 0;
    const std::string& Error() const { return error_; }
    // The kadrs written; after a failure, the kadrs the file keeps.
    std::size_t Kadrs() const { return kadrs_; }
    // The kadrs on disk, a flush under way's too as far as it got; any
    // thread may ask (of a writer stuck in a flush, say).
    virtual std::size_t OnDisk() const { return onDisk_.load(std::memory_order_relaxed); }

protected:
    // Write and Flush of the format; each counts what it wrote in kadrs_
    // and, when it fails, leaves there what the file keeps.
    virtual bool Append(const int16_t* codes, std::size_t kadrs) = 0;
    virtual bool Sync() = 0;
    bool Fail(std::string why);
    // The file `name` was deleted under the writer: it keeps nothing.
    bool Deleted(const std::string& name);

    std::string error_;
    std::size_t kadrs_ = 0;
    std::size_t flushed_ = 0; // kadrs on disk as of the last Flush
    std::atomic<std::size_t> onDisk_{0};

private:
    std::optional<Clock::time_point> waitingSince_;
};

enum class FileFormat { Csv, Hdf5 };

// The formats, one row each: a new format is a row here (with its
// enumerator) and its writer; the hosts' options and file dialogs follow.
struct FormatRow {
    using Opener = std::unique_ptr<RecordingWriter> (*)(const std::filesystem::path& file,
                                                        const RecordingInfo& info, bool overwrite,
                                                        std::string& error);
    FileFormat format;
    std::string_view caption;                   // "HDF5", for a file dialog
    std::array<std::string_view, 2> names;      // for --format, the first shown; "" unused
    std::array<std::string_view, 3> extensions; // lower case with the dot; "" unused
    Opener open;
    bool seeks; // written in place: only a regular file takes it, never a pipe or a device
};
// The first row is the format of a name with no known extension.
std::span<const FormatRow> Formats();

// A row's name, in any case; nothing for any other name.
std::optional<FileFormat> FormatNamed(std::string_view name);
// The format of the file's extension, in any case; the first row's for any other.
FileFormat FormatOf(const std::filesystem::path& file);
// "csv or hdf5": the first name of each row.
std::string FormatNames();
// "CSV (*.csv);;HDF5 (*.h5 *.hdf5 *.he5)": the rows for a Qt file dialog.
std::string FileDialogFilter();

// The process's standard output under a name (/dev/stdout, or the file a
// shell redirected it to): written into where the shell's > or >> left it,
// as a device is.
bool IsStandardOutput(const std::filesystem::path& file);
// An existing file that a recording to it would replace: a pipe, a device
// or standard output is written into, never replaced, and needs no overwrite;
// nor does an empty file, which holds nothing to keep.
bool WouldReplace(const std::filesystem::path& file);
// "FILE is being written by another recording" when a recording's writer
// holds `file`, and "FILE is open in another program" when a program holds
// it through HDF5, whose lock it carries: replacing it would empty it under
// that program, and the library would refuse it anyway. Else "".
std::string HeldElsewhere(const std::filesystem::path& file);
// Why `file`, an existing pipe or device or standard output, cannot take
// `format`, which seeks: "FILE is a pipe, not a regular file: only CSV is
// written to it".
// "" when it can.
std::string KindRefusal(const std::filesystem::path& file, FileFormat format);

// A new file, or an existing one replaced only when `overwrite`. Null with
// `error` set when it cannot be made.
std::unique_ptr<RecordingWriter> OpenWriter(const std::filesystem::path& file, FileFormat format,
                                            const RecordingInfo& info, bool overwrite, std::string& error);

// The head of a CSV file as the CSV writer makes it: a comment line
// "# serial S, address A, start_time T, first_kadr N, source E, backend B"
// of the fields known (none: no line), then "time,<names>": CSV records
// both, a field with a comma or a quote quoted (csv_field.h), and the
// comment one line whatever its texts hold; its rows follow from CsvRows
// (csv_rows.h). Appends
// to `out`. A gap in the kadrs is the line "# gap first_kadr N, kadrs M"
// where it fell; the time column goes on from the kadrs after it.
void AppendCsvHeader(const RecordingInfo& info, std::string& out);

} // namespace velmora::hosts
