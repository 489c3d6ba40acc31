#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#include "recording_file.h"
#include "writers.h"

namespace velmora::hosts {
namespace {

constexpr std::size_t kFlushAt = 1 << 20;
constexpr int kVoltDecimals = 6;
constexpr int kTimeDecimals = 7; // a tenth of a microsecond at any rate

void AppendFixed(std::string& out, double value, int decimals) {
    char buffer[48];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
    out.append(buffer, end);
}

class CsvWriter : public RecordingWriter {
public:
    CsvWriter(int fd, std::string name, const RecordingInfo& info)
        : fd_(fd), name_(std::move(name)), info_(info) {
        buffer_.reserve(kFlushAt + 4096);
    }
    ~CsvWriter() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool Write(const int16_t* codes, std::size_t kadrs) override {
        if (!error_.empty()) return false;
        Header();
        const std::size_t n = info_.channels.size();
        // Row by row, so the buffer never grows far past its flush mark.
        for (std::size_t k = 0; k < kadrs; ++k) {
            AppendCsvRows(info_, kadrs_, codes + k * n, 1, buffer_);
            ++kadrs_;
            if (buffer_.size() >= kFlushAt && !Flush()) return false;
        }
        return true;
    }

    bool SetStartTime(const std::string& isoUtc) override {
        // The rows that began are no less right without it.
        if (!error_.empty() || headed_) return false;
        info_.startTime = isoUtc;
        return true;
    }

    bool Close() override {
        if (fd_ < 0) return error_.empty();
        Header();
        const bool flushed = error_.empty() && Flush();
        const int closed = ::close(fd_);
        fd_ = -1;
        if (flushed && closed != 0) return Fail("cannot write " + name_ + ": " + std::strerror(errno));
        return flushed;
    }

private:
    // The header waits for the first row, by when the start time is known.
    void Header() {
        if (!headed_) AppendCsvHeader(info_, buffer_);
        headed_ = true;
    }

    bool Flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Fail("cannot write " + name_ + ": " + std::strerror(n < 0 ? errno : ENOSPC));
            done += static_cast<std::size_t>(n);
        }
        buffer_.clear();
        return true;
    }

    int fd_;
    std::string name_;
    RecordingInfo info_;
    std::string buffer_;
    bool headed_ = false;
};

// One line whatever the text holds.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

} // namespace

void AppendCsvHeader(const RecordingInfo& info, std::string& out) {
    std::string known;
    for (const auto& [key, value] : {std::pair{"serial", &info.serial},
                                     {"address", &info.address},
                                     {"start_time", &info.startTime},
                                     {"backend", &info.backend}})
        if (!value->empty())
            known += (known.empty() ? "# " : ", ") + std::string(key) + " " + OneLine(*value);
    if (!known.empty()) out += known + '\n';
    out += "time";
    for (const ChannelInfo& c : info.channels) out += "," + c.name;
    out += '\n';
}

void AppendCsvRows(const RecordingInfo& info, std::size_t firstKadr, const int16_t* codes, std::size_t kadrs,
                   std::string& out) {
    const std::size_t n = info.channels.size();
    for (std::size_t k = 0; k < kadrs; ++k) {
        AppendFixed(out, static_cast<double>(firstKadr + k) / info.rate, kTimeDecimals);
        for (std::size_t i = 0; i < n; ++i) {
            out += ',';
            AppendFixed(out, codes[k * n + i] / static_cast<double>(info.channels[i].codesPerVolt),
                        kVoltDecimals);
        }
        out += '\n';
    }
}

std::unique_ptr<RecordingWriter> OpenCsv(const std::filesystem::path& file, const RecordingInfo& info,
                                         bool overwrite, std::string& error) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    const int fd = ::open(file.c_str(), flags, 0644);
    if (fd < 0) {
        error = errno == EEXIST ? file.string() + " exists; --force replaces it"
                                : "cannot create " + file.string() + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<CsvWriter>(fd, file.string(), info);
}

} // namespace velmora::hosts
