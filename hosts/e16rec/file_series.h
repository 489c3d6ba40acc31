// The files of one recording: one file, or with a split length a new file
// every so many kadrs, named after the output with a sequence number before
// its extension (run.h5: run-0001.h5, run-0002.h5, ...). Each file is
// complete in itself: the recording's description, its start time, and the
// index of the file's first kadr; no kadr is lost or repeated between two.
// One thread, as any writer; OnDisk from any.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recording_file.h"

namespace e16rec {

// Opens one file of a recording, as velmora::hosts::OpenWriter does.
using OpenFile = std::function<std::unique_ptr<velmora::hosts::RecordingWriter>(
    const std::filesystem::path& file, velmora::hosts::FileFormat format,
    const velmora::hosts::RecordingInfo& info, bool overwrite, std::string& error)>;

// "run.h5", 2 → "run-0002.h5"; "run", 12345 → "run-12345".
std::filesystem::path SeriesName(const std::filesystem::path& output, int64_t sequence);
// The files of the series `output` names that exist already, lowest number
// first. Asked before a split recording starts, so that a file left from an
// earlier one does not end a long recording halfway, nor join it.
std::vector<std::filesystem::path> SeriesFiles(const std::filesystem::path& output);

class FileSeries : public velmora::hosts::RecordingWriter {
public:
    // splitKadrs 0: one file, named `output`. With `overwrite` a split
    // recording replaces the whole series: Open removes its files first.
    FileSeries(OpenFile open, std::filesystem::path output, velmora::hosts::FileFormat format,
               velmora::hosts::RecordingInfo info, bool overwrite, int64_t splitKadrs);
    // The first file; false with `error` set.
    bool Open(std::string& error);
    bool SetStartTime(const std::string& isoUtc) override;
    bool Gap(int64_t firstMissing, int64_t kadrs) override;
    bool FlushIfOlder(Clock::duration age = velmora::hosts::kFlushAge) override;
    bool Close() override;
    std::size_t OnDisk() const override;
    // The first file's name and, when there were more, the last one's.
    std::filesystem::path FirstFile() const { return Name(1); }
    std::filesystem::path LastFile() const { return Name(sequence_); }
    int64_t Files() const { return sequence_; }

protected:
    bool Append(const int16_t* codes, std::size_t kadrs) override;
    bool Sync() override;

private:
    std::filesystem::path Name(int64_t sequence) const;
    bool RemoveEarlierSeries(std::string& error) const;
    // The next file; `closed`, the kadrs of the files before it, goes with it.
    bool OpenNext(std::size_t closed, std::string& error);
    bool Next();
    // The file's failure, taken over with the kadrs it keeps.
    bool Broken();

    OpenFile open_;
    std::filesystem::path output_;
    velmora::hosts::FileFormat format_;
    velmora::hosts::RecordingInfo info_;
    bool overwrite_;
    int64_t splitKadrs_;
    int64_t sequence_ = 0;
    // OnDisk, on another thread, reads the two together.
    mutable std::mutex swapping_;
    std::unique_ptr<velmora::hosts::RecordingWriter> file_;
    std::size_t closedKadrs_ = 0; // in the files before this one
    int64_t firstKadr_ = 0;       // the index of the first file's first kadr
    int64_t skipped_ = 0;         // kadrs of the gaps so far
};

} // namespace e16rec
