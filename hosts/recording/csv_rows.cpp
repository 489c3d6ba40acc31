#include "csv_rows.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace velmora::hosts {

std::size_t WholeLinesWithin(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t end = limit == 0 ? std::string_view::npos : text.rfind('\n', limit - 1);
    if (end == std::string_view::npos) end = text.find('\n');
    return end == std::string_view::npos ? text.size() : end + 1;
}
namespace {

constexpr int kVoltDecimals = 6; // at the module's scales, a code is a few microvolts at least
constexpr int kTimeDecimals = 7; // a tenth of a microsecond at any rate
constexpr int kCodes = 65536;
constexpr std::size_t kLongestVolts = 48; // -32768 at any scale through to_chars
constexpr std::size_t kLongestTime = 48;

// Enough decimals that each code's text reads back as that code: one more
// for each tenfold in codes per volt past the module's (a stream may carry
// any scale).
int VoltDecimals(double codesPerVolt) {
    return std::max(kVoltDecimals, static_cast<int>(std::ceil(std::log10(2 * codesPerVolt))));
}

char* Fixed(char* at, double value, int decimals) {
    return std::to_chars(at, at + kLongestVolts, value, std::chars_format::fixed, decimals).ptr;
}

double Volts(int code, double codesPerVolt) {
    return code / codesPerVolt;
}

// Null when a code's text does not fit a table entry (a scale far below
// one code per volt).
std::shared_ptr<const CsvRows::Table> MakeTable(double codesPerVolt, int decimals) {
    auto table = std::make_shared<CsvRows::Table>(kCodes);
    for (int i = 0; i < kCodes; ++i) {
        char text[kLongestVolts];
        const auto length = static_cast<std::size_t>(
            Fixed(text, Volts(i + std::numeric_limits<int16_t>::min(), codesPerVolt), decimals) - text);
        CsvRows::Text& entry = (*table)[static_cast<std::size_t>(i)];
        if (length >= entry.size()) return nullptr;
        entry[0] = static_cast<char>(length);
        std::memcpy(entry.data() + 1, text, length);
    }
    return table;
}

} // namespace

CsvRows::CsvRows(const RecordingInfo& info) : rate_(info.rate) {
    for (const ChannelInfo& channel : info.channels) {
        const double scale = channel.codesPerVolt;
        // Channels of one range share one table.
        const auto same = std::find_if(columns_.begin(), columns_.end(),
                                       [scale](const Column& made) { return made.codesPerVolt == scale; });
        const int decimals = VoltDecimals(scale);
        std::shared_ptr<const Table> texts =
            same != columns_.end() ? same->texts : MakeTable(scale, decimals);
        longestRow_ += 1 + (texts ? sizeof(Text) : kLongestVolts);
        columns_.push_back({scale, decimals, std::move(texts)});
    }
    longestRow_ += kLongestTime + 1;
}

char* CsvRows::Row(char* at, std::size_t kadr, const int16_t* codes) const {
    at = Fixed(at, static_cast<double>(kadr) / rate_, kTimeDecimals);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        *at++ = ',';
        const Column& column = columns_[i];
        if (!column.texts) {
            at = Fixed(at, Volts(codes[i], column.codesPerVolt), column.decimals);
            continue;
        }
        // The whole entry is copied, a fixed size the compiler does in one move.
        const Text& text = (*column.texts)[static_cast<std::size_t>(codes[i] + 32768)];
        std::memcpy(at, text.data() + 1, text.size() - 1);
        at += static_cast<unsigned char>(text[0]);
    }
    *at++ = '\n';
    return at;
}

// A few rows at a time: the room made for them (filled by resize) stays in
// the cache until they are written over it.
void CsvRows::Append(std::size_t firstKadr, const int16_t* codes, std::size_t kadrs, std::string& out) const {
    constexpr std::size_t kRun = 32;
    const std::size_t n = columns_.size();
    for (std::size_t k = 0; k < kadrs; k += kRun) {
        const std::size_t rows = std::min(kRun, kadrs - k);
        const std::size_t before = out.size();
        out.resize(before + rows * longestRow_);
        char* at = out.data() + before;
        for (std::size_t r = 0; r < rows; ++r) at = Row(at, firstKadr + k + r, codes + (k + r) * n);
        out.resize(static_cast<std::size_t>(at - out.data()));
    }
}

} // namespace velmora::hosts
