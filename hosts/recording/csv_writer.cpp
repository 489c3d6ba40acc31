#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "csv_field.h"
#include "csv_rows.h"
#include "recording_file.h"
#include "writers.h"

namespace velmora::hosts {
namespace {

constexpr std::size_t kFlushAt = 1 << 20; // bounds the memory at high rates
constexpr std::size_t kRunKadrs = 256;    // formatted between looks at the flush mark
// Each write ends a line. A pipe takes up to PIPE_BUF bytes whole or not at
// all, so a reader never gets a cut row, even from a writer stuck on a full
// pipe and left there. A kill cuts a write to a file only where one of its
// pages begins: a write that ends at the last line before the next page but
// one crosses a single page start, in its first row, so that a kill leaves a
// cut row only if it comes in the instant that row's first bytes are copied.
const std::size_t kPage = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

class CsvWriter : public RecordingWriter {
public:
    CsvWriter(int fd, std::string name, const RecordingInfo& info)
        : fd_(fd), name_(std::move(name)), info_(info), rows_(info), pipe_(IsPipe(fd)) {
        buffer_.reserve(2 * kFlushAt);
    }
    ~CsvWriter() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool SetStartTime(const std::string& isoUtc) override {
        // The rows that began are no less right without it.
        if (!error_.empty() || headed_) return false;
        info_.startTime = isoUtc;
        return WriteHeader();
    }

    // On disk at once: a file cut off before its first rows still says
    // what it is.
    bool WriteHeader() {
        Header();
        return Sync();
    }

    bool Gap(int64_t firstMissing, int64_t kadrs) override {
        if (!error_.empty()) return false;
        Header();
        buffer_ +=
            "# gap first_kadr " + std::to_string(firstMissing) + ", kadrs " + std::to_string(kadrs) + '\n';
        notes_.push_back(buffer_.size());
        skipped_ += static_cast<std::size_t>(kadrs);
        return true;
    }

    bool Close() override {
        if (fd_ < 0) return error_.empty();
        if (error_.empty()) Header();
        const bool flushed = Flush();
        const int closed = ::close(fd_);
        fd_ = -1;
        if (flushed && closed != 0) return Fail("cannot write " + name_ + ": " + std::strerror(errno));
        return flushed;
    }

protected:
    bool Append(const int16_t* codes, std::size_t kadrs) override {
        Header();
        const std::size_t n = info_.channels.size();
        const std::size_t first = static_cast<std::size_t>(info_.firstKadr.value_or(0));
        // A run at a time, so the buffer never grows far past its flush mark.
        for (std::size_t k = 0; k < kadrs; k += kRunKadrs) {
            const std::size_t run = std::min(kRunKadrs, kadrs - k);
            rows_.Append(first + skipped_ + kadrs_, codes + k * n, run, buffer_);
            kadrs_ += run;
            if (buffer_.size() >= kFlushAt && !Flush()) return false;
        }
        return true;
    }

    bool Sync() override {
        std::size_t done = 0, lines = 0, notes = 0;
        const off_t at = pipe_ ? 0 : std::max<off_t>(::lseek(fd_, 0, SEEK_CUR), 0);
        while (done < buffer_.size()) {
            const std::size_t limit =
                pipe_ ? PIPE_BUF : 2 * kPage - static_cast<std::size_t>(at + done) % kPage;
            const ssize_t n = ::write(fd_, buffer_.data() + done,
                                      WholeLinesWithin(std::string_view(buffer_).substr(done), limit));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Broken(done, n < 0 ? errno : ENOSPC);
            const auto from = buffer_.begin() + static_cast<std::ptrdiff_t>(done);
            lines += static_cast<std::size_t>(std::count(from, from + n, '\n'));
            done += static_cast<std::size_t>(n);
            while (notes < notes_.size() && notes_[notes] <= done) ++notes;
            // Rows, not its other lines, as far as the file took them.
            onDisk_.store(flushed_ + lines - notes, std::memory_order_relaxed);
        }
        bytesOnDisk_ += buffer_.size();
        notes_.clear();
        buffer_.clear();
        return !Unnamed(fd_) || Deleted(name_);
    }

private:
    static bool IsPipe(int fd) {
        struct stat s {};
        return ::fstat(fd, &s) == 0 && S_ISFIFO(s.st_mode);
    }

    // The header waits for the start time.
    void Header() {
        if (headed_) return;
        const std::size_t before = buffer_.size();
        AppendCsvHeader(info_, buffer_);
        for (std::size_t at = before; at < buffer_.size(); ++at)
            if (buffer_[at] == '\n') notes_.push_back(at + 1);
        headed_ = true;
    }

    // A write cut short: the file goes back to its last whole row, and the
    // kadr count to the rows it holds.
    bool Broken(std::size_t done, int error) {
        Fail("cannot write " + name_ + ": " + std::strerror(error));
        const std::size_t lastEnd = done == 0 ? std::string::npos : buffer_.rfind('\n', done - 1);
        const std::size_t whole = lastEnd == std::string::npos ? 0 : lastEnd + 1;
        // A file that cannot be cut (a device) has nothing to keep whole.
        [[maybe_unused]] const int cut = ::ftruncate(fd_, static_cast<off_t>(bytesOnDisk_ + whole));
        const auto lines =
            static_cast<std::size_t>(std::count(buffer_.begin(), buffer_.begin() + whole, '\n'));
        const auto notes = static_cast<std::size_t>(
            std::count_if(notes_.begin(), notes_.end(), [whole](std::size_t end) { return end <= whole; }));
        kadrs_ = flushed_ + lines - notes;
        buffer_.clear();
        return false;
    }

    int fd_;
    std::string name_;
    RecordingInfo info_;
    CsvRows rows_;
    std::string buffer_;
    std::size_t bytesOnDisk_ = 0;    // bytes
    std::vector<std::size_t> notes_; // where the buffer's lines that are no rows end
    std::size_t skipped_ = 0;        // kadrs of the gaps so far
    bool pipe_;
    bool headed_ = false;
};

// One line whatever the text holds: a comment cut in two would make a row
// of its second half, and a header row in two would read as two rows.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

} // namespace

void AppendCsvHeader(const RecordingInfo& info, std::string& out) {
    const std::string first = info.firstKadr ? std::to_string(*info.firstKadr) : std::string();
    const std::size_t start = out.size();
    for (const auto& [key, value] : {std::pair{"serial", &info.serial},
                                     {"address", &info.address},
                                     {"start_time", &info.startTime},
                                     {"first_kadr", &first},
                                     {"source", &info.source},
                                     {"backend", &info.backend}}) {
        if (value->empty()) continue;
        out += out.size() == start ? "# " : ", ";
        AppendCsvField(out, OneLine(std::string(key) + ' ' + *value));
    }
    if (out.size() > start) out += '\n';
    out += "time";
    for (const ChannelInfo& c : info.channels) {
        out += ',';
        AppendCsvField(out, OneLine(c.name)); // a stream's names are any text
    }
    out += '\n';
}

std::unique_ptr<RecordingWriter> OpenCsv(const std::filesystem::path& file, const RecordingInfo& info,
                                         bool overwrite, std::string& error) {
    bool made = false;
    const int fd = ClaimFile(file, overwrite, error, &made);
    if (fd < 0) return nullptr;
    auto writer = std::make_unique<CsvWriter>(fd, file.string(), info);
    // The header waits for the start time, which a file of a series knows.
    // Refused (a full disk), a file made here goes again, with no cut line.
    if (!info.startTime.empty() && !writer->WriteHeader()) {
        error = writer->Error();
        std::error_code ec;
        if (made) std::filesystem::remove(file, ec);
        return nullptr;
    }
    return writer;
}

} // namespace velmora::hosts
