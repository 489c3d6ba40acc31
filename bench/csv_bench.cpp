// The CSV writer's formatting of a block (32 channels x 1024 kadrs: time,
// then volts with six decimals, from its table of every code's text)
// against std::to_chars of each value, which it replaced, and fprintf of
// each value before that, all into /dev/null, and the ratios.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "csv_rows.h"
#include "ratio_reporter.h"

namespace {

constexpr std::size_t kChannels = 32;
constexpr std::size_t kKadrs = 1024;

velmora::hosts::RecordingInfo Info() {
    velmora::hosts::RecordingInfo info;
    for (std::size_t i = 0; i < kChannels; ++i)
        info.channels.push_back({"X" + std::to_string(i + 1), 0, 800.0f});
    info.rate = 15625;
    return info;
}

std::vector<int16_t> Codes() {
    std::vector<int16_t> codes(kChannels * kKadrs);
    for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<int16_t>(i * 7919);
    return codes;
}

void BM_Table(benchmark::State& state) {
    const auto info = Info();
    const auto codes = Codes();
    const velmora::hosts::CsvRows rows(info);
    std::FILE* sink = std::fopen("/dev/null", "w");
    std::string text;
    std::size_t first = 0;
    for (auto _ : state) {
        text.clear();
        rows.Append(first, codes.data(), kKadrs, text);
        std::fwrite(text.data(), 1, text.size(), sink);
        first += kKadrs;
    }
    std::fclose(sink);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * codes.size()));
}

void AppendFixed(std::string& out, double value, int decimals) {
    char buffer[48];
    out.append(buffer,
               std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr);
}

// What the writer did before its table: the same text, one to_chars per value.
void BM_ToChars(benchmark::State& state) {
    const auto info = Info();
    const auto codes = Codes();
    std::FILE* sink = std::fopen("/dev/null", "w");
    std::string text;
    std::size_t first = 0;
    for (auto _ : state) {
        text.clear();
        for (std::size_t k = 0; k < kKadrs; ++k, ++first) {
            AppendFixed(text, static_cast<double>(first) / info.rate, 7);
            for (std::size_t i = 0; i < kChannels; ++i) {
                text += ',';
                AppendFixed(text,
                            codes[k * kChannels + i] / static_cast<double>(info.channels[i].codesPerVolt), 6);
            }
            text += '\n';
        }
        std::fwrite(text.data(), 1, text.size(), sink);
    }
    std::fclose(sink);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * codes.size()));
}

// What e16rec did first: one fprintf per value, no time column.
void BM_Fprintf(benchmark::State& state) {
    const auto info = Info();
    const auto codes = Codes();
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        for (std::size_t k = 0; k < kKadrs; ++k)
            for (std::size_t i = 0; i < kChannels; ++i)
                std::fprintf(sink, i + 1 < kChannels ? "%.6f," : "%.6f\n",
                             codes[k * kChannels + i] / info.channels[i].codesPerVolt);
    }
    std::fclose(sink);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * codes.size()));
}

BENCHMARK(BM_Table)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToChars)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fprintf)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    velmora::bench::RatioReporter reporter;
    return velmora::bench::RunBenchmarks(argc, argv, reporter, [&] {
        if (const double ratio = reporter.Ratio("BM_ToChars", "BM_Table"); ratio > 0.0)
            std::printf(
                "to_chars/table ratio: %.2f (the writer is that many times faster than to_chars per value)\n",
                ratio);
        if (const double ratio = reporter.Ratio("BM_Fprintf", "BM_Table"); ratio > 0.0)
            std::printf("fprintf/table ratio: %.2f\n", ratio);
    });
}
