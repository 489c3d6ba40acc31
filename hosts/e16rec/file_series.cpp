#include "file_series.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "writers.h"

namespace e16rec {

namespace fs = std::filesystem;
namespace hosts = velmora::hosts;

fs::path SeriesName(const fs::path& output, int64_t sequence) {
    char number[24];
    std::snprintf(number, sizeof number, "-%04lld", static_cast<long long>(sequence));
    return output.parent_path() / (output.stem().string() + number + output.extension().string());
}

std::vector<fs::path> SeriesFiles(const fs::path& output) {
    const std::string stem = output.stem().string() + "-", extension = output.extension().string();
    const fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    std::vector<int64_t> sequences;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= stem.size() + extension.size() || !name.starts_with(stem) ||
            !name.ends_with(extension))
            continue;
        const std::string digits = name.substr(stem.size(), name.size() - stem.size() - extension.size());
        if (digits.size() > 18 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const int64_t sequence = std::stoll(digits);
        if (sequence > 0 && SeriesName(output, sequence).filename() == name) sequences.push_back(sequence);
    }
    std::sort(sequences.begin(), sequences.end());
    std::vector<fs::path> files;
    for (int64_t sequence : sequences) files.push_back(SeriesName(output, sequence));
    return files;
}

FileSeries::FileSeries(OpenFile open, fs::path output, hosts::FileFormat format, hosts::RecordingInfo info,
                       bool overwrite, int64_t splitKadrs)
    : open_(std::move(open)), output_(std::move(output)), format_(format), info_(std::move(info)),
      overwrite_(overwrite), splitKadrs_(std::max<int64_t>(splitKadrs, 0)) {
    if (splitKadrs_ > 0 && !info_.firstKadr) info_.firstKadr = 0;
    firstKadr_ = info_.firstKadr.value_or(0);
}

fs::path FileSeries::Name(int64_t sequence) const {
    return splitKadrs_ > 0 ? SeriesName(output_, sequence) : output_;
}

bool FileSeries::Open(std::string& error) {
    return RemoveEarlierSeries(error) && OpenNext(0, error);
}

// A file of an earlier recording past this one's last would join it, by
// name and by first_kadr. None is removed unless all may be: one that
// another recording writes (a live series' earlier files are its own too)
// or a program holds open keeps the whole series.
bool FileSeries::RemoveEarlierSeries(std::string& error) const {
    if (!overwrite_ || splitKadrs_ == 0) return true;
    const std::vector<fs::path> files = SeriesFiles(output_);
    std::vector<int> held;
    bool ok = true;
    for (std::size_t i = 0; ok && i < files.size(); ++i) {
        const int fd = hosts::HoldFile(files[i], error);
        ok = fd >= 0;
        if (ok) held.push_back(fd);
    }
    for (std::size_t i = 0; ok && i < files.size(); ++i) {
        ok = ::unlink(files[i].c_str()) == 0;
        if (!ok) error = "cannot remove " + files[i].string() + ": " + std::strerror(errno);
    }
    for (int fd : held) ::close(fd);
    return ok;
}

bool FileSeries::OpenNext(std::size_t closed, std::string& error) {
    auto next = open_(Name(sequence_ + 1), format_, info_, overwrite_, error);
    std::lock_guard lock(swapping_);
    closedKadrs_ = closed;
    file_ = std::move(next);
    if (file_ == nullptr) return false;
    ++sequence_;
    return true;
}

bool FileSeries::SetStartTime(const std::string& isoUtc) {
    if (!error_.empty()) return false;
    info_.startTime = isoUtc; // for the files to come
    if (file_->SetStartTime(isoUtc)) return true;
    return file_->Error().empty() ? false : Broken();
}

// Noted in the file of the kadrs before it, so a file's first_kadr is
// always its first row's.
bool FileSeries::Gap(int64_t firstMissing, int64_t kadrs) {
    if (!error_.empty()) return false;
    skipped_ += kadrs;
    return file_->Gap(firstMissing, kadrs) || Broken();
}

bool FileSeries::Append(const int16_t* codes, std::size_t kadrs) {
    const std::size_t n = info_.channels.size();
    while (kadrs > 0) {
        // The next file opens with its first kadr, so a recording that ends
        // on a boundary leaves no empty file.
        if (splitKadrs_ > 0 && file_->Kadrs() == static_cast<std::size_t>(splitKadrs_) && !Next())
            return false;
        const std::size_t room =
            splitKadrs_ > 0 ? static_cast<std::size_t>(splitKadrs_) - file_->Kadrs() : kadrs;
        const std::size_t take = std::min(kadrs, room);
        if (!file_->Write(codes, take)) return Broken();
        kadrs_ = closedKadrs_ + file_->Kadrs();
        codes += take * n;
        kadrs -= take;
    }
    return true;
}

bool FileSeries::Next() {
    if (!file_->Close()) return Broken();
    const std::size_t closed = closedKadrs_ + file_->Kadrs();
    info_.firstKadr = firstKadr_ + static_cast<int64_t>(closed) + skipped_;
    std::string error;
    return OpenNext(closed, error) || Fail(error);
}

// The file's own clock: it flushes where its layout wants it (an HDF5
// chunk's end) before the kadrs are old.
bool FileSeries::FlushIfOlder(Clock::duration age) {
    if (!error_.empty()) return false;
    return file_->FlushIfOlder(age) || Broken();
}

bool FileSeries::Sync() {
    return file_->Flush() || Broken();
}

bool FileSeries::Close() {
    if (file_ == nullptr) return error_.empty();
    const bool closed = file_->Close();
    kadrs_ = closedKadrs_ + file_->Kadrs();
    if (!closed) Fail(file_->Error());
    return error_.empty();
}

std::size_t FileSeries::OnDisk() const {
    std::lock_guard lock(swapping_);
    return closedKadrs_ + (file_ != nullptr ? file_->OnDisk() : 0);
}

bool FileSeries::Broken() {
    kadrs_ = closedKadrs_ + file_->Kadrs();
    return Fail(file_->Error());
}

} // namespace e16rec
