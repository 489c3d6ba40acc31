// Enumeration of a key with many values, as comrt-reg query and export do it:
// every value with its data through cRegistry (QueryValues, ExportKey), and
// each value read by its name (RegQueryValueEx, one store call a value), per
// value, against a reference in the same run: one SQL query of the same rows
// through SQLite itself on the same file. Prints the time per value of each
// and its ratio to the query.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <velmora/registry_store.h>

#include "settings/cregistry.h"
#include "settings/cregistry_batch.h"

namespace {

using velmora::settings::cRegistry;
using velmora::settings::HKEY_CURRENT_USER;
namespace reg = velmora::reg;

std::string KeyPath(int64_t values) {
    return "Software\\Bench\\" + std::to_string(values);
}

std::string ValueName(int64_t i) {
    const std::string digits = std::to_string(i);
    return "Value" + std::string(digits.size() < 5 ? 5 - digits.size() : 0, '0') + digits;
}

// A third each of text, numbers and bytes, written once per size.
void Fill(int64_t values) {
    cRegistry r;
    if (r.KeyExists(HKEY_CURRENT_USER, KeyPath(values))) return;
    velmora::settings::cRegistryBatch batch;
    batch.SetKey(KeyPath(values));
    for (int64_t i = 0; i < values; ++i) {
        if (i % 3 == 0)
            batch.WriteString(ValueName(i), "C:\\data\\run " + std::to_string(i));
        else if (i % 3 == 1)
            batch.WriteLong(ValueName(i), static_cast<int32_t>(i));
        else
            batch.WriteDouble(ValueName(i), static_cast<double>(i) / 7.0);
    }
    if (!r.WriteBatch(HKEY_CURRENT_USER, batch))
        std::fprintf(stderr, "fill: %s\n", r.LastErrorText().c_str());
}

void PerValue(benchmark::State& state) {
    state.counters["per_value"] =
        benchmark::Counter(static_cast<double>(state.range(0)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_QueryValues(benchmark::State& state) {
    Fill(state.range(0));
    cRegistry r;
    std::vector<velmora::settings::NamedValue> values;
    for (auto _ : state) {
        if (r.QueryValues(HKEY_CURRENT_USER, KeyPath(state.range(0)), values) != state.range(0))
            state.SkipWithError("not every value came back");
    }
    PerValue(state);
}

void BM_Export(benchmark::State& state) {
    Fill(state.range(0));
    cRegistry r;
    for (auto _ : state)
        benchmark::DoNotOptimize(r.ExportKey(HKEY_CURRENT_USER, KeyPath(state.range(0)), true));
    PerValue(state);
}

void BM_LookupByName(benchmark::State& state) {
    Fill(state.range(0));
    reg::HKEY key = 0;
    reg::RegOpenKeyEx(reg::HKEY_CURRENT_USER, KeyPath(state.range(0)).c_str(), reg::KEY_READ, &key);
    std::vector<std::string> names;
    for (int64_t i = 0; i < state.range(0); ++i) names.push_back(ValueName(i));
    std::vector<reg::BYTE> data(64);
    for (auto _ : state) {
        for (const std::string& name : names) {
            reg::DWORD type = 0, size = static_cast<reg::DWORD>(data.size());
            if (reg::RegQueryValueEx(key, name.c_str(), &type, data.data(), &size) != reg::ERROR_SUCCESS)
                state.SkipWithError("a value was not found");
        }
    }
    reg::RegCloseKey(key);
    PerValue(state);
}

// The store's file opened through SQLite itself, as the reference reads it.
class RawStore {
public:
    RawStore() {
        if (sqlite3_open_v2(reg::StorePath().c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            std::fprintf(stderr, "open: %s\n", sqlite3_errmsg(db_));
    }
    ~RawStore() { sqlite3_close_v2(db_); }
    RawStore(const RawStore&) = delete;
    RawStore& operator=(const RawStore&) = delete;
    sqlite3* db() const { return db_; }

    // The row id of HKEY_CURRENT_USER's key at path; 0 when missing.
    int64_t KeyId(const std::string& path) const {
        int64_t id = 2; // HKEY_CURRENT_USER's row
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, "SELECT id FROM keys WHERE parent = ? AND name = ?", -1, &stmt, nullptr);
        for (size_t start = 0; id != 0 && start <= path.size();) {
            const size_t end = std::min(path.find('\\', start), path.size());
            const std::string name = path.substr(start, end - start);
            sqlite3_bind_int64(stmt, 1, id);
            sqlite3_bind_text(stmt, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            id = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
            sqlite3_reset(stmt);
            start = end + 1;
        }
        sqlite3_finalize(stmt);
        return id;
    }

private:
    sqlite3* db_ = nullptr;
};

// The reference: one statement, prepared once per iteration as the store
// prepares its own once per call, stepped through every row of the key with
// the three columns read (pointers and sizes; nothing copied).
void BM_SqlQuery(benchmark::State& state) {
    Fill(state.range(0));
    RawStore store;
    const int64_t key = store.KeyId(KeyPath(state.range(0)));
    for (auto _ : state) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(store.db(), "SELECT name, type, data FROM vals WHERE key = ?", -1, &stmt, nullptr);
        sqlite3_bind_int64(stmt, 1, key);
        int64_t rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(stmt, 0));
            benchmark::DoNotOptimize(sqlite3_column_bytes(stmt, 0));
            benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 1));
            benchmark::DoNotOptimize(sqlite3_column_blob(stmt, 2));
            benchmark::DoNotOptimize(sqlite3_column_bytes(stmt, 2));
            ++rows;
        }
        sqlite3_finalize(stmt);
        if (rows != state.range(0)) state.SkipWithError("not every row came back");
    }
    PerValue(state);
}

BENCHMARK(BM_SqlQuery)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryValues)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookupByName)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Prints as usual and keeps each run's real time per value.
class PerValueReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const double values = std::stod(run.run_name.args);
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            perValue_[run.run_name.args][run.run_name.function_name] = seconds / values;
        }
    }
    void Summary() const {
        for (const auto& [values, times] : perValue_) {
            const auto baseline = times.find("BM_SqlQuery");
            for (const auto& [name, seconds] : times) {
                std::printf("%-16s %6s values: %7.2f us per value, %6.3f s per 10000", name.c_str(),
                            values.c_str(), seconds * 1e6, seconds * 1e4);
                if (baseline != times.end() && name != baseline->first)
                    std::printf(", %.2f x one SQL query", seconds / baseline->second);
                std::printf("\n");
            }
        }
    }

private:
    std::map<std::string, std::map<std::string, double>> perValue_;
};

} // namespace

int main(int argc, char** argv) {
    // A private store, never the user's own; removed at the end.
    char folder[] = "/tmp/velmora-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return 1;
    ::setenv("XDG_CONFIG_HOME", folder, 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PerValueReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Summary();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
