#include "recording_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

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
    onDisk_.store(flushed_, std::memory_order_relaxed);
    waitingSince_.reset();
    return true;
}

bool RecordingWriter::FlushIfOlder(Clock::duration age) {
    if (!error_.empty()) return false;
    return !waitingSince_ || Clock::now() - *waitingSince_ < age || Flush();
}

bool RecordingWriter::Deleted(const std::string& name) {
    Fail("cannot write " + name + ": it was deleted while it was written");
    kadrs_ = 0;
    return false;
}

bool RecordingWriter::Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
    return false;
}

namespace {

constexpr FormatRow kFormats[] = {
    {FileFormat::Csv, "CSV", {"csv", ""}, {".csv", "", ""}, OpenCsv, false},
    {FileFormat::Hdf5, "HDF5", {"hdf5", "h5"}, {".h5", ".hdf5", ".he5"}, OpenHdf5, true},
};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return lower;
}

template <std::size_t N> bool Holds(const std::array<std::string_view, N>& words, const std::string& word) {
    return !word.empty() && std::find(words.begin(), words.end(), word) != words.end();
}

const FormatRow& RowOf(FileFormat format) {
    return *std::find_if(std::begin(kFormats), std::end(kFormats),
                         [format](const FormatRow& row) { return row.format == format; });
}

} // namespace

std::span<const FormatRow> Formats() {
    return kFormats;
}

std::optional<FileFormat> FormatNamed(std::string_view name) {
    const std::string lower = Lower(name);
    for (const FormatRow& row : kFormats)
        if (Holds(row.names, lower)) return row.format;
    return std::nullopt;
}

FileFormat FormatOf(const std::filesystem::path& file) {
    const std::string extension = Lower(file.extension().string());
    for (const FormatRow& row : kFormats)
        if (Holds(row.extensions, extension)) return row.format;
    return kFormats[0].format;
}

std::string FormatNames() {
    std::string names;
    for (const FormatRow& row : kFormats) names += (names.empty() ? "" : " or ") + std::string(row.names[0]);
    return names;
}

std::string KindRefusal(const std::filesystem::path& file, FileFormat format) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    const bool output = IsStandardOutput(file);
    if (!RowOf(format).seeks || !(std::filesystem::is_other(status) || output)) return {};
    std::string streamed;
    for (const FormatRow& row : kFormats)
        if (!row.seeks) streamed += (streamed.empty() ? "" : " or ") + std::string(row.caption);
    return file.string() + " is " +
           (output                             ? "standard output, written where it stands"
            : std::filesystem::is_fifo(status) ? "a pipe, not a regular file"
                                               : "a device, not a regular file") +
           ": only " + streamed + " is written to it";
}

std::string FileDialogFilter() {
    std::string filter;
    for (const FormatRow& row : kFormats) {
        filter += (filter.empty() ? "" : ";;") + std::string(row.caption) + " (";
        for (std::string_view extension : row.extensions)
            if (!extension.empty()) filter += (filter.back() == '(' ? "*" : " *") + std::string(extension);
        filter += ')';
    }
    return filter;
}

namespace {

std::string HeldText(const std::filesystem::path& file) {
    return file.string() + " is open in another program";
}

std::string WrittenText(const std::filesystem::path& file) {
    return file.string() + " is being written by another recording";
}

// The whole file, for a writer's lock (struct flock, not the call).
struct flock WholeFile() {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    return whole;
}

// The lock HDF5 takes (flock, shared or not) on the files it reads or writes.
bool HeldByAnotherProgram(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK;
    ::flock(fd, LOCK_UN); // the library takes its own on the file it makes
    return false;
}

// A lock of the open file description: another program's, or another
// writer's in this process, conflicts; HDF5's own lock (flock, which it lets
// go in SWMR mode) does not. It goes with the descriptor.
bool LockFile(int fd, const std::filesystem::path& file, std::string& error) {
    struct flock whole = WholeFile();
    // A file system that keeps no locks (some network ones) still records.
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0 && (errno == EAGAIN || errno == EACCES)) {
        error = WrittenText(file);
        return false;
    }
    if (HeldByAnotherProgram(fd)) {
        error = HeldText(file);
        return false;
    }
    return true;
}

} // namespace

std::string HeldElsewhere(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct flock whole = WholeFile();
    const bool written = ::fcntl(fd, F_OFD_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
    const bool held = !written && HeldByAnotherProgram(fd);
    ::close(fd);
    return written ? WrittenText(file) : held ? HeldText(file) : std::string();
}

bool Unnamed(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 0;
}

// Opened without blocking, so that a pipe no program reads is refused at
// once instead of holding the open without end; the writes block.
bool IsStandardOutput(const std::filesystem::path& file) {
    struct stat named {
    }, out{};
    return ::stat(file.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
           named.st_dev == out.st_dev && named.st_ino == out.st_ino;
}

bool WouldReplace(const std::filesystem::path& file) {
    if (IsStandardOutput(file)) return false;
    std::error_code ec;
    const auto kind = std::filesystem::status(file, ec).type();
    // An empty file holds nothing to keep: a CSV killed before its first kadr is one.
    if (kind == std::filesystem::file_type::regular) return std::filesystem::file_size(file, ec) != 0;
    return kind != std::filesystem::file_type::not_found && kind != std::filesystem::file_type::fifo &&
           kind != std::filesystem::file_type::character;
}

int ClaimFile(const std::filesystem::path& file, bool overwrite, std::string& error, bool* made) {
    if (made != nullptr) {
        struct stat there {};
        *made = ::lstat(file.c_str(), &there) != 0;
    }
    // Opened anew, standard output's file would be written from its start.
    const bool output = IsStandardOutput(file);
    const bool exclusive = !overwrite && WouldReplace(file);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (exclusive ? O_EXCL : 0);
    const int fd = output ? ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3) : ::open(file.c_str(), flags, 0644);
    if (fd < 0) {
        const int why = errno;
        error = why == EEXIST  ? file.string() + " exists; --force replaces it"
                : why == ENXIO ? file.string() + " is a pipe that no program reads"
                               : "cannot create " + file.string() + ": " + std::strerror(why);
        errno = why;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (LockFile(fd, file, error)) {
        struct stat st {};
        if (output || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) == 0) return fd;
        error = "cannot empty " + file.string() + ": " + std::strerror(errno);
    }
    ::close(fd);
    return -1;
}

int HoldFile(const std::filesystem::path& file, std::string& error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot open " + file.string() + ": " + std::strerror(errno);
        return -1;
    }
    if (LockFile(fd, file, error)) return fd;
    ::close(fd);
    return -1;
}

std::unique_ptr<RecordingWriter> OpenWriter(const std::filesystem::path& file, FileFormat format,
                                            const RecordingInfo& info, bool overwrite, std::string& error) {
    if (info.channels.empty() || !(info.rate > 0)) {
        error = "a recording file needs channels and a rate";
        return nullptr;
    }
    if (error = KindRefusal(file, format); !error.empty()) return nullptr;
    return RowOf(format).open(file, info, overwrite, error);
}

} // namespace velmora::hosts
