// e16rec's parts in this process: channel lists, loss counting, the files
// of a split recording, and its commands against the simulated module: a
// module cut off mid-recording through the simulator's fault controls, a
// store that refuses the driver's settings, and a disk that stalls.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zmq.h>

#include "commands.h"
#include "driver_session.h"
#include "e16sim_control.h"
#include "file_series.h"
#include "kadr_stats.h"
#include "options.h"
#include "publisher.h"
#include "raw_publisher.h"
#include "recorded_files.h"
#include "recorder.h"
#include "store_connection.h"
#include "stream_reader.h"
#include "test_support.h"
#include "writer_thread.h"
#include "writers.h"

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace e16rec {
namespace {

namespace hosts = velmora::hosts;
using namespace std::chrono_literals;
using namespace ::testing;
using velmora::test::Recorded;

// A stream of X1 and Y16 from `serial` at `rate`, as a publisher describes it.
hosts::StreamHeader TwoChannelStream(const char* serial, double rate) {
    hosts::StreamHeader h;
    h.serial = serial;
    h.channels = {"X1", "Y16"};
    h.codesPerVolt = {3200, 3200};
    h.rate = rate;
    return h;
}

TEST(E16recOptions, ChannelListsExpandRangesInOrder) {
    EXPECT_EQ(ParseChannelList("0-3,31,8"), (std::vector<int16_t>{0, 1, 2, 3, 31, 8}));
    EXPECT_EQ(ParseChannelList("5"), (std::vector<int16_t>{5}));
    EXPECT_EQ(
        ParseChannelList("0-31,0-31,0-31,0-31,0-31,0-31,0-31,0-31").value_or(std::vector<int16_t>{}).size(),
        256u)
        << "the most";
    for (const char* bad : {"", "32", "-1", "3-1", "1,,2", "a", "0-40", "1-"})
        EXPECT_FALSE(ParseChannelList(bad).has_value()) << bad;
}

// A bare e16rec records what --help says it does; a value is taken in each
// of its four spellings, and after flags run together with its letter.
// Seconds count the nearest kadrs, a half up, of the decimal typed, not of
// its binary product (0.5105 s at 1000 is 510.49999999999994); a length of
// no kadr is refused.
TEST(E16recOptions, DefaultsAndSpellingsAreTheHelpsOwn) {
    std::string error;
    const auto parse = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "e16rec");
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        return ParseOptions(static_cast<int>(argv.size()), argv.data(), error);
    };
    const auto bare = parse({});
    ASSERT_TRUE(bare) << error;
    EXPECT_EQ(std::tuple(bare->channels, bare->range, bare->rate, bare->seconds, bare->buffer, bare->output,
                         bare->FileFormat()),
              std::tuple(std::vector<int16_t>{0, 1, 2, 3}, int16_t{0}, 1000.0f, 2.0, 10.0,
                         std::string("e16rec.csv"), hosts::FileFormat::Csv));
    const std::vector<std::string> spellings[] = {{"-t", "0.5"},  {"-t0.5"},      {"--time", "0.5"},
                                                  {"--time=0.5"}, {"-qt", "0.5"}, {"-qt0.5"}};
    for (const std::vector<std::string>& spelling : spellings) {
        const auto o = parse(spelling);
        ASSERT_TRUE(o) << error;
        EXPECT_EQ(std::tuple(o->seconds, o->lengthGiven, o->quiet),
                  std::tuple(0.5, true, spelling[0][1] == 'q'))
            << spelling[0];
    }
    hosts::RecordingInfo info;
    info.rate = 1000;
    // -t and --buffer given, the kadrs recorded and queued at 1000 kadrs/s.
    const std::tuple<std::string, std::string, int64_t, int64_t> lengths[] = {
        {"0.5105", "2.0035", 511, 2004}, {"0.51049", "10", 510, 10000}, {"0.0005", "10", 1, 10000}};
    for (const auto& [time, buffer, kadrs, queued] : lengths) {
        const auto o = parse({"-t", time, "--buffer", buffer});
        ASSERT_TRUE(o) << error;
        RecordingResult r;
        BeginResult(*o, info, r);
        EXPECT_EQ(std::pair(r.requested, r.queueKadrs), std::pair(kadrs, queued)) << time << " s";
    }
    EXPECT_FALSE(parse({"-t", "0.00049"})) << "no kadr";
    EXPECT_TRUE(parse({"-t", "604800"})) << "a week, the longest: " << error;
    // A stream's rate comes with its first message, and its time is checked there.
    const auto streamed = parse({"--source", "ipc://x", "-t", "0.0004"});
    ASSERT_TRUE(streamed) << error;
    EXPECT_EQ(streamed->NoKadrIn(15625), "");
    EXPECT_THAT(streamed->NoKadrIn(1000), HasSubstr("0.0004 s at 1000 kadrs/s is less than one kadr"));
    EXPECT_TRUE(parse({"-R", "0"})) << "the default range, given: " << error;
    // A publisher without a length runs until stopped, however slow its rate.
    EXPECT_TRUE(parse({"--publish", "tcp://127.0.0.1:5599", "-r", "0.2"})) << error;
}

// Codes of the Y16 ramp on the ±10 V range: 3200 codes per volt.
int16_t RampCode(int frame) {
    return static_cast<int16_t>((-5.0 + 0.01 * (frame % 1000)) * 3200.0);
}

// A constant channel's mean is its value to the last bit, however many
// kadrs: 1236 codes are 0.38625 V, a tie that four decimals round one way or
// the other for the slightest error in the sum.
TEST(E16recStats, AConstantChannelsMeanIsItsValue) {
    KadrStats stats({{"X2", 3200}}, -1);
    const std::vector<int16_t> kadrs(30, 1236);
    for (int k = 0; k < 1000; ++k) stats.Add(kadrs.data(), 30);
    const ChannelStats& c = stats.channels()[0];
    EXPECT_EQ(c.Mean(stats.kadrs()), c.Min());
    EXPECT_EQ(c.Max(), c.Min());
}

// Lost and repeated kadrs are counted across the ramp's wrap, across calls
// and after a stream's gap (not the gap itself), and an unbroken ramp
// counts none, at any stride.
TEST(E16recStats, RampCountsEveryBreak) {
    KadrStats stats({{"X1", 3200}, {"Y16", 3200}}, 1);
    std::vector<int16_t> kadrs;
    for (int frame : {995, 996, 997, 999, 0, 1, 1, 2, 10}) {
        kadrs.push_back(3200);
        kadrs.push_back(RampCode(frame));
    }
    stats.Add(kadrs.data(), static_cast<int32_t>(kadrs.size() / 2));
    // Lost: 998 and 3..9; repeated: frame 1 twice.
    EXPECT_EQ(std::tuple(stats.kadrs(), stats.ramp().lost(), stats.ramp().repeated(),
                         stats.channels()[0].Min(), stats.channels()[0].Mean(stats.kadrs())),
              std::tuple(9, 1 + 7, 1, 1.0, 1.0))
        << "kadrs, lost, repeated, X1 minimum and mean in volts";
    EXPECT_NEAR(stats.channels()[1].Max(), 4.99, 1e-3) << "Y16 maximum, volts";
    stats.Gap();
    const int16_t afterGap[] = {3200, RampCode(43), 3200, RampCode(45)};
    stats.Add(afterGap, 2);
    EXPECT_EQ(stats.ramp().lost(), 8 + 1) << "44; 11..42 are the stream's gap, counted there";
    // Volts below the ramp's span (a stream's Y16 may carry anything) are
    // a break like any other: -6 V after 4.99 V stands for step 900, 900 on.
    KadrStats off({{"Y16", 3200}}, 0);
    const int16_t below[] = {RampCode(998), RampCode(999), -19200};
    off.Add(below, 3);
    EXPECT_EQ(off.ramp().lost(), 900);

    // One kadr every `stride` frames, as the driver keeps them below the
    // module's slowest frame: unbroken, or with one kadr missing. The stride,
    // the kadr missing (-1: none) and the kadrs lost.
    const std::tuple<int, int, int> strides[] = {{1, -1, 0},  {16, -1, 0}, {1024, -1, 0}, {16, 100, 1},
                                                 {1, 100, 1}, {1, 1, 1},   {16, 1, 1}};
    for (const auto& [stride, missing, lost] : strides) {
        KadrStats ramp({{"Y16", 3200}}, 0);
        std::vector<int16_t> codes;
        for (int k = 0; k < 5000; ++k)
            if (k != missing) codes.push_back(RampCode(k * stride));
        ramp.Add(codes.data(), 2500);
        ramp.Add(codes.data() + 2500, static_cast<int32_t>(codes.size()) - 2500);
        EXPECT_EQ(std::tuple(ramp.ramp().lost(), ramp.ramp().repeated()), std::tuple(lost, 0))
            << "lost and repeated at stride " << stride << ", kadr " << missing << " missing";
    }
}

// A block longer than the whole queue (a drain that came late, a long
// stream message) is taken by an empty queue: the writer is not behind.
TEST(E16recWriter, AnEmptyQueueTakesABlockLongerThanItself) {
    KadrStats stats({{"X1", 3200}}, -1);
    const std::vector<int16_t> codes(25, 3200);
    WriterThread writer(nullptr, stats, 1, 10);
    std::chrono::steady_clock::duration waited{};
    EXPECT_TRUE(writer.AwaitRoom(25, std::chrono::seconds(1), std::atomic<int>{0}, waited));
    EXPECT_EQ(waited.count(), 0) << "no wait for room counted when the block fits";
    EXPECT_EQ(writer.Push(codes.data(), 25), WriterThread::Refused::None);
    EXPECT_TRUE(writer.Finish());
    EXPECT_EQ(std::tuple(stats.kadrs(), writer.Deepest()), std::tuple(25, 25))
        << "kadrs written, deepest queue";
    EXPECT_EQ(QueueSummary(10, writer.Deepest(), 10),
              "writer queue: deepest 2.50 s of 1 s (one block, longer than the queue, taken whole)");
    EXPECT_EQ(QueueSummary(10, 10, 10), "writer queue: deepest 1.00 s of 1 s") << "a full queue, no longer";
}

// A file that keeps nothing, whose writes (or with `atDisk`, whose flushes:
// its close) wait at a gate: for `stuck`, or until opened.
class GatedFile : public hosts::RecordingWriter {
public:
    explicit GatedFile(std::chrono::milliseconds stuck = {}, bool atDisk = false)
        : until_(Clock::now() + stuck), atDisk_(atDisk) {}
    bool SetStartTime(const std::string&) override { return true; }
    bool Gap(int64_t, int64_t) override { return true; }
    bool Close() override { return Flush(); }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        gate_.notify_all();
    }
    // Waits until `kadrs` were written; the buffers they came in.
    std::size_t AwaitKadrs(std::size_t kadrs) {
        std::unique_lock lock(mutex_);
        gate_.wait(lock, [&] { return kadrs_ >= kadrs; });
        return buffers_.size();
    }

protected:
    bool Append(const int16_t* codes, std::size_t kadrs) override {
        std::unique_lock lock(mutex_);
        if (!atDisk_) gate_.wait_until(lock, until_, [this] { return open_; });
        kadrs_ += kadrs;
        buffers_.insert(codes);
        gate_.notify_all();
        return true;
    }
    bool Sync() override {
        std::unique_lock lock(mutex_);
        if (atDisk_) gate_.wait_until(lock, until_, [this] { return open_; });
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable gate_;
    Clock::time_point until_;
    const bool atDisk_;
    bool open_ = false;
    std::set<const int16_t*> buffers_;
};

// A stop request ends a wait for room, one that came before it too. A
// finish waits for a file that stalls, in a write or in its close, and
// says once that it waits and how many kadrs are not on disk; a file that
// takes nothing for the stall limit, or past one more stop request once it
// was said to take nothing, is left behind with its writer, which goes on
// alone once the file takes again. A file that takes again is finished.
TEST(E16recWriter, AFinishLeavesAFileThatTakesNothingBehind) {
    using Finished = WriterThread::Finished;
    const struct {
        std::chrono::milliseconds stuck, limit, stopAfter; // stopAfter 0: no stop request
        bool atClose;
        Finished finished;
        int notes;
    } cases[] = {
        {300ms, 5s, 0ms, false, Finished::Written, 0},    {1500ms, 5s, 0ms, false, Finished::Written, 1},
        {1h, 300ms, 0ms, false, Finished::LeftBehind, 0}, {1h, 1h, 200ms, false, Finished::LeftBehind, 1},
        {1h, 1h, 200ms, true, Finished::LeftBehind, 1},   {1500ms, 5s, 0ms, true, Finished::Written, 1},
        {300ms, 5s, 100ms, false, Finished::Written, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stuck.count() << " ms stuck, " << c.limit.count() << " ms limit"
                                        << (c.atClose ? ", at the close" : ""));
        KadrStats stats({{"X1", 3200}}, -1);
        GatedFile file(c.stuck, c.atClose);
        const std::vector<int16_t> codes(100, 3200);
        WriterThread writer(&file, stats, 1, 1000);
        ASSERT_EQ(writer.Push(codes.data(), 50), WriterThread::Refused::None);
        ASSERT_EQ(writer.Push(codes.data(), 50), WriterThread::Refused::None);
        std::atomic<int> stops{2};
        std::chrono::steady_clock::duration waited{};
        if (!c.atClose) { // whose writes leave the queue full
            EXPECT_FALSE(writer.AwaitRoom(1000, 100ms, stops, waited)) << "room waited for past a stop";
        }
        std::jthread stopper([&] {
            if (c.stopAfter == 0ms) return;
            std::this_thread::sleep_for(c.stopAfter);
            ++stops;
        });
        std::vector<int64_t> notes;
        const auto begun = std::chrono::steady_clock::now();
        EXPECT_EQ(writer.Finish(c.limit, stops, [&](int64_t queued) { notes.push_back(queued); }),
                  c.finished);
        const auto due =
            std::min({c.stuck, c.limit, c.stopAfter == 0ms ? 1h : std::max(c.stopAfter, 1000ms)});
        EXPECT_LT(std::chrono::steady_clock::now() - begun, due + 1s);
        EXPECT_THAT(notes, AllOf(testing::Each(100), testing::SizeIs(c.notes)));
        EXPECT_EQ(writer.Unwritten(), c.finished == Finished::Written ? 0 : 100);
        file.Open();
        EXPECT_EQ(writer.Finish(1min, stops, [](int64_t) {}), Finished::Written) << "the thread went on";
        EXPECT_EQ(stats.kadrs(), 100);
    }
}

// A stream that loses a message at every turn: the blocks' memory is taken
// again, not kept anew for each gap.
TEST(E16recWriter, GapsTakeNoMemory) {
    KadrStats stats({{"X1", 3200}}, -1);
    GatedFile file;
    const std::vector<int16_t> codes(100, 3200);
    WriterThread writer(&file, stats, 1, 1000);
    std::size_t buffers = 0;
    for (int k = 1; k <= 100; ++k) {
        ASSERT_EQ(writer.PushGap(101 * k - 1, 1), WriterThread::Refused::None);
        ASSERT_EQ(writer.Push(codes.data(), 100), WriterThread::Refused::None);
        buffers = file.AwaitKadrs(100 * static_cast<std::size_t>(k));
    }
    EXPECT_TRUE(writer.Finish());
    EXPECT_LE(buffers, 3u) << "a buffer kept for each gap";
}

// Every block pushed goes out as one message in order, kadr 0's time on
// every one from the first on, and a last message of no kadrs with the
// end; blocks pushed after the end are counted lost, never sent.
TEST(E16recPublisher, SendsEveryBlockInOrderThenTheEnd) {
    velmora::test::TempDir dir;
    const std::string endpoint = "ipc://" + (dir.path() / "pub").string();
    hosts::StreamReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(endpoint, error)) << error;
    Publisher publisher;
    ASSERT_TRUE(publisher.Bind(endpoint, error)) << error;
    EXPECT_FALSE(Publisher().Bind(endpoint, error)) << "would take the path over, as a port cannot be";
    EXPECT_EQ(error, "--publish " + endpoint + ": Address already in use");
    publisher.Start(TwoChannelStream("SIM0001", 1000), 1000);
    publisher.AwaitSubscribers();
    std::vector<int16_t> codes(2 * 300);
    std::iota(codes.begin(), codes.end(), int16_t{0});
    publisher.Push(codes.data(), 100, "2026-12-07T00:00:00.000Z");
    publisher.Push(codes.data() + 200, 200);
    publisher.Finish("complete");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "pub")) << "the socket file left behind";
    publisher.Push(codes.data(), 7);
    EXPECT_EQ(std::tuple(publisher.LostKadrs(), publisher.Messages()), std::tuple(7, 3))
        << "lost kadrs, messages";
    // Each message's first kadr, kadrs and end.
    const std::tuple<int64_t, int64_t, std::string> expected[] = {
        {0, 100, ""}, {100, 200, ""}, {300, 0, "complete"}};
    for (int64_t seq = 0; seq < 3; ++seq) {
        const auto& [first, kadrs, end] = expected[seq];
        hosts::StreamBlock block;
        ASSERT_EQ(reader.Next(3000, block, error), hosts::StreamReader::Got::Block) << error;
        const hosts::StreamHeader& h = block.header;
        EXPECT_EQ(std::tuple(h.firstKadr, h.kadrs, h.seq, h.startTime, h.end.value_or("")),
                  std::tuple(first, kadrs, seq, "2026-12-07T00:00:00.000Z", end))
            << "first kadr, kadrs, seq, start time and end";
        if (kadrs > 0) {
            EXPECT_EQ(block.codes.front(), first * 2);
        }
    }
    // Nor is any other file at the path taken (ZeroMQ would delete it).
    const std::string file = (dir.path() / "run.h5").string();
    std::ofstream(file) << "kept";
    EXPECT_FALSE(Publisher().Bind("ipc://" + file, error));
    EXPECT_EQ(error, "--publish ipc://" + file + ": File exists, and is no socket");
    EXPECT_EQ(velmora::test::Slurp(file), "kept");
    // The socket file of a publisher that was killed (one nothing listens on) is no publisher.
    const std::string left = (dir.path() / "left").string();
    ASSERT_EQ(::mknod(left.c_str(), S_IFSOCK | 0600, 0), 0);
    ASSERT_TRUE(Publisher().Bind("ipc://" + left, error)) << error;
    // ZeroMQ binds no host name: the address it resolves to is bound.
    Publisher named;
    ASSERT_TRUE(named.Bind("tcp://localhost:*", error)) << error;
    EXPECT_THAT(named.Endpoint(), StartsWith("tcp://127.0.0.1:"));
}

TEST(E16recFiles, SeriesNamesNumberBeforeTheExtension) {
    const std::tuple<const char*, int64_t, const char*> cases[] = {
        {"run.h5", 1, "run-0001.h5"},
        {"/data/week.of.csv", 2, "/data/week.of-0002.csv"},
        {"run", 12345, "run-12345"}};
    for (const auto& [output, sequence, name] : cases) EXPECT_EQ(SeriesName(output, sequence).string(), name);
    // Before a split recording starts: the files of its series, lowest first.
    velmora::test::TempDir dir;
    for (const char* name :
         {"x-0007.csv", "x-0003.csv", "x-12.csv", "x-0001.h5", "y-0001.csv", "x-0002x.csv", "x-0000.csv"})
        std::ofstream(dir.path() / name) << "kept";
    EXPECT_EQ(SeriesFiles(dir.path() / "x.csv"),
              (std::vector<std::filesystem::path>{dir.path() / "x-0003.csv", dir.path() / "x-0007.csv"}));
    EXPECT_TRUE(SeriesFiles(dir.path() / "z.csv").empty());
}

// --force replaces a series whole, or not at all: a file of an earlier
// recording past the new one's last would join it, and one that another
// recording writes keeps every file of the series.
TEST(E16recFiles, ForceReplacesTheWholeSeries) {
    velmora::test::TempDir dir;
    const auto output = dir.path() / "run.csv";
    for (int64_t k = 1; k <= 4; ++k) std::ofstream(SeriesName(output, k)) << "earlier";
    hosts::RecordingInfo info;
    info.channels = {{"X1", 0, 1000.0f}};
    info.rate = 10;
    std::string error;
    const int writing = hosts::HoldFile(SeriesName(output, 3), error);
    ASSERT_GE(writing, 0) << error;
    FileSeries refused(hosts::OpenWriter, output, hosts::FileFormat::Csv, info, true, 3);
    EXPECT_FALSE(refused.Open(error));
    EXPECT_EQ(error, SeriesName(output, 3).string() + " is being written by another recording");
    EXPECT_EQ(SeriesFiles(output).size(), 4u);
    EXPECT_EQ(velmora::test::Slurp(SeriesName(output, 1)), "earlier");
    ::close(writing);
    FileSeries files(hosts::OpenWriter, output, hosts::FileFormat::Csv, info, true, 3);
    ASSERT_TRUE(files.Open(error)) << error;
    const int16_t codes[4] = {};
    ASSERT_TRUE(files.Write(codes, 4)) << files.Error();
    ASSERT_TRUE(files.Close()) << files.Error();
    EXPECT_EQ(SeriesFiles(output),
              (std::vector<std::filesystem::path>{SeriesName(output, 1), SeriesName(output, 2)}));
}

// What is on disk is counted from another thread (e16rec's main thread, a
// writer left behind) while the series moves from file to file.
TEST(E16recFiles, WhatIsOnDiskIsCountedWhileTheSeriesSplits) {
    velmora::test::TempDir dir;
    hosts::RecordingInfo info;
    info.channels = {{"X1", 0, 1000.0f}};
    info.rate = 10;
    FileSeries files(hosts::OpenWriter, dir.path() / "run.csv", hosts::FileFormat::Csv, info, false, 1);
    std::string error;
    ASSERT_TRUE(files.Open(error)) << error;
    std::atomic<bool> writing = true;
    std::thread counter([&] {
        for (std::size_t last = 0; writing;) {
            const std::size_t now = files.OnDisk();
            ASSERT_GE(now, last);
            last = now;
        }
    });
    const int16_t code = 0;
    bool written = true;
    for (int k = 0; k < 100 && written; ++k) written = files.Write(&code, 1);
    writing = false;
    counter.join();
    ASSERT_TRUE(written) << files.Error();
    ASSERT_TRUE(files.Close()) << files.Error();
    EXPECT_EQ(files.OnDisk(), 100u);
}

// Kadrs split across files at every third, whatever the writes' sizes: each
// file says where it starts and counts time from the recording's first
// kadr, and a recording that ends on a boundary leaves no empty file. A
// stream's gaps go into the file of the kadrs before them, and each file's
// first_kadr and time column follow the stream's index.
TEST(E16recFiles, SplitFilesContinueOneAnother) {
    velmora::test::TempDir dir;
    struct Part {
        int64_t first;
        std::vector<double> times; // the time column, seconds
        std::string gap = {};      // the gap comment it holds, if any
    };
    const struct {
        std::optional<int64_t> firstKadr;               // a stream's index of the recording's first kadr
        std::vector<std::pair<int64_t, int64_t>> steps; // {-1, n}: n kadrs written; {first, n}: a gap
        std::vector<Part> files;
    } cases[] = {
        {std::nullopt,
         {{-1, 2}, {-1, 5}, {-1, 1}},
         {{0, {0.0, 0.1, 0.2}}, {3, {0.3, 0.4, 0.5}}, {6, {0.6, 0.7}}}},
        {std::nullopt, {{-1, 6}}, {{0, {0.0, 0.1, 0.2}}, {3, {0.3, 0.4, 0.5}}}},
        {100,
         {{-1, 2}, {102, 10}, {-1, 2}, {114, 5}, {-1, 3}},
         {{100, {10.0, 10.1, 11.2}, "# gap first_kadr 102, kadrs 10\n"},
          {113, {11.3, 11.9, 12.0}, "# gap first_kadr 114, kadrs 5\n"},
          {121, {12.1}}}},
    };
    const int16_t codes[] = {0, 1, 2, 3, 4, 5, 6, 7};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        hosts::RecordingInfo info;
        info.channels = {{"X1", 0, 1000.0f}};
        info.rate = 10;
        info.serial = "SIM0001";
        info.firstKadr = c.firstKadr;
        if (c.firstKadr) info.source = "ipc:///e16";
        const auto output = dir.path() / ("case" + std::to_string(i) + ".csv");
        FileSeries files(hosts::OpenWriter, output, hosts::FileFormat::Csv, info, false, 3);
        std::string error;
        ASSERT_TRUE(files.Open(error)) << error;
        ASSERT_TRUE(files.SetStartTime("2026-12-06T10:00:00.000Z"));
        std::size_t written = 0;
        for (const auto& [first, n] : c.steps) {
            const auto kadrs = static_cast<std::size_t>(n);
            ASSERT_TRUE(first >= 0 ? files.Gap(first, n) : files.Write(codes + written, kadrs))
                << files.Error();
            if (first < 0) written += kadrs;
        }
        ASSERT_TRUE(files.Close()) << files.Error();
        EXPECT_EQ(std::tuple(files.Kadrs(), files.Files()), std::tuple(written, c.files.size()))
            << "kadrs, files";
        std::size_t kadr = 0; // of those written, whose codes count up from 0
        for (std::size_t f = 0; f < c.files.size(); ++f) {
            const auto file = SeriesName(output, static_cast<int64_t>(f + 1));
            const Recorded r = velmora::test::ReadCsv(file.string());
            ASSERT_EQ(r.problem, "") << file;
            EXPECT_EQ(std::tuple(r.firstKadr, r.startTime),
                      std::tuple(c.files[f].first, "2026-12-06T10:00:00.000Z"))
                << file << ": its first kadr, the recording's start";
            EXPECT_THAT(r.times, Pointwise(DoubleNear(1e-6), c.files[f].times)) << file;
            for (const double volts : r.volts) EXPECT_DOUBLE_EQ(volts * 1000, kadr++) << file;
            const std::string text = velmora::test::Slurp(file), gap = c.files[f].gap;
            EXPECT_THAT(text, gap.empty() ? Matcher<std::string>(Not(HasSubstr("# gap"))) : HasSubstr(gap));
        }
        EXPECT_FALSE(std::filesystem::exists(SeriesName(output, static_cast<int64_t>(c.files.size() + 1))));
    }
}

// What a command says, in files as a shell's redirection gives them: the
// output buffered, as a file's is, the error not; with `oneLog`, both in one
// file, as `> log 2>&1` puts them.
class Said {
public:
    explicit Said(bool oneLog = false)
        : err_(oneLog ? ::fdopen(::dup(::fileno(out_)), "w") : std::tmpfile()) {
        std::setvbuf(out_, nullptr, _IOFBF, 1 << 16);
        std::setvbuf(err_, nullptr, _IONBF, 0);
    }
    Said(const Said&) = delete;
    ~Said() {
        std::fclose(err_);
        std::fclose(out_);
    }
    Console io() const { return {out_, err_}; }
    std::string out() const { return Text(out_); }
    std::string err() const { return Text(err_); }

private:
    static std::string Text(std::FILE* file) {
        std::fflush(file);
        return velmora::test::Slurp("/proc/self/fd/" + std::to_string(::fileno(file)));
    }
    std::FILE* out_ = std::tmpfile();
    std::FILE* err_;
};

// The module at 127.0.0.1, whatever the remembered list holds, and no display.
class E16recCommand : public ::testing::Test {
protected:
    static Options Quick() {
        Options o;
        o.address = 0x7F000001;
        o.output = "-";
        o.quiet = true;
        return o;
    }

    velmora::test::PrivateStore store;
    velmora::test::ScopedEnv display{"DISPLAY", std::nullopt};
    velmora::test::ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
};

// A module lost mid-recording: the driver ends the recording, e16rec keeps
// every kadr that came before, passes on the driver's word and exits 1.
TEST_F(E16recCommand, ALostModuleEndsTheRecordingWithTheDriversText) {
    // The simulator the driver takes from its folder, loaded first so that
    // the fault is armed before the module opens.
    void* simulator = ::dlopen((hosts::DriverBeside().parent_path() / "libe16sim.so").c_str(), RTLD_NOW);
    ASSERT_NE(simulator, nullptr) << ::dlerror();
    auto disconnectAfter = reinterpret_cast<decltype(&e16sim_fault_disconnect_after)>(
        ::dlsym(simulator, "e16sim_fault_disconnect_after"));
    ASSERT_EQ(disconnectAfter(E16SIM_MODULE_DAC, 4 * 500), 0) << "500 kadrs of four channels";

    Options options = Quick();
    options.seconds = 30;
    Said log(true);
    EXPECT_EQ(RecordCommand(options, log.io()), 1);
    // In the order said, though the summary waits in a buffer; the module
    // library's own words, which e16rec has none of, last.
    EXPECT_THAT(log.out(), testing::MatchesRegex("module: SIM0001 .*"
                                                 "recorded 500 of 30000 kadrs.*"
                                                 "never came: 29500 of the kadrs asked for\n"
                                                 "e16rec: the recording ended early: .*"
                                                 "Connection to the module was lost.*"));
    ::dlclose(simulator);
}

// A store that refuses the driver's settings: a recording stands and says
// so; --setup after OK, whose point the settings are, fails; after Cancel
// nothing is saved, and a dialog that was not shown is an error (the driver
// said why). A store another program holds is waited for once, aloud: the
// driver's last release does not try the refused save again.
TEST_F(E16recCommand, SettingsTheStoreRefusesAreSaid) {
    std::string error;
    // The driver registered, as a held store would refuse, and the store made.
    ASSERT_TRUE(DriverSession().Create(error)) << error;
    velmora::test::StoreConnection connection;
    Options options = Quick();
    options.kadrs = 300;
    connection.Lock();
    Said held;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RecordCommand(options, held.io()), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s) << "one wait of 5 s";
    EXPECT_THAT(
        held.err(),
        StartsWith("e16rec: saving the driver's settings: waiting for the registry store " +
                   velmora::reg::StorePath() +
                   ", which another program may hold (5 s at most)\ne16rec: warning: The settings under"));
    connection.Release();                 // before the next session lets that driver go
    connection.PoisonValue("ADChannels"); // in every save of the driver's settings

    // The driver's reason, from its LastError.
    const std::string reason =
        "e16rec: The settings under HKEY_CURRENT_USER\\Software\\Tervan\\ADC\\L-Card\\E16 "
        "were not saved: ";
    // Whether the store refuses, what came of the dialog (OK 1, Cancel 0, not
    // shown -1, a failed call kSetupCallFailed; 2 records instead), the exit
    // status, the start of the error and a part of the output.
    const std::tuple<bool, int32_t, int, std::string, std::string> cases[] = {
        {true, 2, 0, "e16rec: warning: " + reason.substr(8), "recorded 300 of 300 kadrs"},
        {true, 1, 1, reason, "module: SIM0001 "},
        {true, 0, 0, "", "\ncancelled: the pages' values not stored\n"},
        {true, -1, 1, "", "module: SIM0001 "},
        {true, kSetupCallFailed, 1, "e16rec: the driver failed to show its setup dialog\n",
         "module: SIM0001 "},
        {false, 1, 0, "", "\nsettings saved\n"},
    };
    for (const auto& [storeRefuses, outcome, exit, err, out] : cases) {
        SCOPED_TRACE(outcome);
        if (!storeRefuses) connection.Cure();
        Said said;
        EXPECT_EQ(outcome == 2
                      ? RecordCommand(options, said.io())
                      : SetupCommand(options, said.io(), [result = outcome](IModule*) { return result; }),
                  exit);
        EXPECT_THAT(said.err(), err.empty() ? Matcher<std::string>(testing::IsEmpty()) : StartsWith(err));
        EXPECT_THAT(said.out(), HasSubstr(out));
    }
}

// A disk that fills before the first flush: every write goes into the
// buffer, no kadr reaches the file.
class FullDisk : public GatedFile {
protected:
    bool Sync() override {
        kadrs_ = 0;
        return Fail("No space left on device");
    }
};

// The summary gives no figures of kadrs the file lost.
TEST_F(E16recCommand, AFullDiskShowsNoFiguresOfKadrsItLost) {
    Options options = Quick();
    options.seconds = 2;
    options.output = (store.dir().path() / "full.csv").string();
    const auto full = [](auto&&...) -> std::unique_ptr<hosts::RecordingWriter> {
        return std::make_unique<FullDisk>();
    };
    Said said;
    EXPECT_EQ(RecordCommand(options, said.io(), full), 1);
    EXPECT_THAT(said.out(), AllOf(HasSubstr("recorded 0 of 2000 kadrs"), Not(HasSubstr("min, V"))));
    EXPECT_THAT(said.err(), HasSubstr("No space left on device"));
}

// A file writer that stalls once, as a disk does, `stall` long at its fifth
// write.
class StallingWriter : public hosts::RecordingWriter {
public:
    StallingWriter(std::unique_ptr<hosts::RecordingWriter> file, std::chrono::milliseconds stall)
        : file_(std::move(file)), stall_(stall) {}
    bool SetStartTime(const std::string& isoUtc) override { return Take(file_->SetStartTime(isoUtc)); }
    bool FlushIfOlder(Clock::duration age) override { return Take(file_->FlushIfOlder(age)); }
    bool Gap(int64_t first, int64_t kadrs) override { return Take(file_->Gap(first, kadrs)); }
    bool Close() override { return Take(file_->Close()); }

protected:
    bool Append(const int16_t* codes, std::size_t kadrs) override {
        if (writes_++ == 5) std::this_thread::sleep_for(stall_);
        return Take(file_->Write(codes, kadrs));
    }
    bool Sync() override { return Take(file_->Flush()); }

private:
    bool Take(bool ok) {
        kadrs_ = file_->Kadrs();
        return ok || Fail(file_->Error());
    }
    std::unique_ptr<hosts::RecordingWriter> file_;
    int writes_ = 0;
    std::chrono::milliseconds stall_;
};

// The file OpenWriter opens, stalling `stall` long at its fifth write.
OpenFile Stalling(std::chrono::milliseconds stall) {
    return [stall](auto&&... args) -> std::unique_ptr<hosts::RecordingWriter> {
        auto opened = hosts::OpenWriter(args...);
        return opened ? std::make_unique<StallingWriter>(std::move(opened), stall) : nullptr;
    };
}

// 500 kS/s (32 channels at 15625 kadrs/s) to a file that stalls for 3 s:
// the default buffer rides it out with nothing lost, and says how deep it
// went; a buffer of 1 s ends the recording with the reason, the file
// keeping every kadr the summary counts, and counting what came after.
// A stream's recorder waits for room instead, its socket holding the
// stream: a burst far past the buffer rides out a stall shorter than it,
// and only a file that takes nothing for the buffer's time ends it. Its
// summary pads a name by characters, not by UTF-8's bytes.
TEST_F(E16recCommand, AStallingDiskLosesNothingWithinTheBuffer) {
    Options options = Quick();
    options.channels = *ParseChannelList("0-31");
    options.rate = 15625;
    options.seconds = 4;
    options.inputs = InputsChoice::SingleEnded;
    options.output = (store.dir().path() / "stalled.h5").string();
    options.force = true;
    for (const double buffer : {10.0, 1.0}) {
        options.buffer = buffer;
        Said said;
        const bool ridden = buffer > 3;
        EXPECT_EQ(RecordCommand(options, said.io(), Stalling(3s)), ridden ? 0 : 1) << said.err();
        const std::string out = said.out();
        const Recorded r = velmora::test::ReadHdf5(options.output, false);
        ASSERT_EQ(velmora::test::SimulatedFault(r), "") << buffer;
        EXPECT_THAT(out, HasSubstr("recorded " + std::to_string(r.rows) + " of 62500 kadrs"));
        const auto at = out.find("writer queue: deepest ");
        ASSERT_NE(at, std::string::npos) << out;
        const double deepest = std::atof(out.c_str() + at + 22); // seconds
        if (ridden) {
            EXPECT_EQ(r.rows, 62500u) << "nothing lost";
            EXPECT_THAT(out, AllOf(HasSubstr("0 lost kadrs, 0 repeated kadrs"), HasSubstr(" s of 10 s\n")));
            EXPECT_GT(deepest, 2.5) << out;
        } else {
            EXPECT_THAT(said.err(),
                        AllOf(HasSubstr("e16rec: waiting for " + options.output + " to take "), // -q too
                              EndsWith("\ne16rec: the file writer fell 1 s behind: " + options.output +
                                       " took the data slower than they came "
                                       "(--buffer gives it more time)\n")));
            EXPECT_LE(deepest, buffer) << out;
            EXPECT_THAT(out, HasSubstr("\nnot written: ")) << "the block refused came, and is counted";
        }
    }
    Options source;
    source.source = "ipc://" + (store.dir().path() / "burst").string();
    source.output = (store.dir().path() / "burst.h5").string();
    source.quiet = true;
    source.buffer = 1;
    for (const auto stall : {700ms, 3000ms}) {
        Publisher publisher;
        std::string error;
        ASSERT_TRUE(publisher.Bind(source.source, error)) << error;
        std::jthread burst([&publisher] { // 4 s of 15625 kadrs/s in 0.4 s
            hosts::StreamHeader header = TwoChannelStream("SIM0009", 15625);
            header.channels[0] = "\u0414\u0430\u04421"; // "Дат1"
            publisher.Start(header, 62500);
            publisher.AwaitSubscribers();
            std::vector<int16_t> codes(2 * 625, 0);
            codes[0] = -1; // a mean a hair below 0 shows as 0, not -0
            for (int k = 0; k < 100; ++k) {
                publisher.Push(codes.data(), 625, k == 0 ? "2026-12-07T00:00:00.000Z" : "");
                std::this_thread::sleep_for(4ms);
            }
            publisher.Finish("complete");
        });
        Said said;
        source.force = stall > 1s;
        EXPECT_EQ(RecordCommand(source, said.io(), Stalling(stall)), stall < 1s ? 0 : 1) << said.err();
        if (stall < 1s) {
            const std::string zeros = "       0.0000       0.0000       0.0000\n"; // after 14 characters
            EXPECT_THAT(said.out(),
                        AllOf(HasSubstr("recorded 62500 kadrs"), HasSubstr("stream: 0 gaps"),
                              HasSubstr("\nthe stream waited "),
                              HasSubstr("\n\u0414\u0430\u04421                -0.0003" + zeros.substr(13)),
                              HasSubstr("\nY16           " + zeros)));
        } else {
            EXPECT_THAT(said.err(),
                        EndsWith("e16rec: the file writer fell behind the stream: " + source.output +
                                 " took nothing for 1 s (--buffer gives it more time)\n"));
        }
    }
}

// A publisher whose every message is refused (a payload short by a code,
// and kadrs that vary, one or more): its reason is said once, the rest counted, and
// the wait for a good message, said as such, ends after the silence of a
// stream whose good messages stop, with no file.
TEST_F(E16recCommand, APublisherOfRefusedMessagesIsSaidOnceAndLeft) {
    Options options;
    options.source = "ipc://" + (store.dir().path() / "refused").string();
    options.output = (store.dir().path() / "refused.csv").string();
    void* context = zmq_ctx_new();
    void* socket = zmq_socket(context, ZMQ_PUB);
    ASSERT_EQ(zmq_bind(socket, options.source.c_str()), 0);
    const auto frames = [](int64_t seq) {
        hosts::StreamHeader h = TwoChannelStream("SIM0009", 1000);
        h.seq = seq;
        h.firstKadr = seq * 4;
        h.kadrs = 1 + seq % 3; // "1 kadr" and "2 kadrs" alike
        return std::array<std::string, 3>{hosts::StreamTopic(h.serial), hosts::HeaderJson(h),
                                          std::string(static_cast<std::size_t>(h.kadrs) * 4 - 2, '\0')};
    };
    std::atomic<bool> done{false};
    std::jthread publisher([&] { // for 15 s at most, then stops a recorder that waits on
        for (int64_t seq = 0; !done && seq < 750; ++seq) {
            velmora::test::SendFrames(socket, frames(seq));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!done) std::raise(SIGTERM);
    });
    Said said;
    EXPECT_EQ(RecordCommand(options, said.io()), 1);
    done = true;
    publisher.join();
    zmq_close(socket);
    zmq_ctx_term(context);
    const std::string err = said.err();
    EXPECT_THAT(err,
                AllOf(StartsWith("e16rec: skipped a message: a payload of "),
                      HasSubstr(" of 2 channels (4 bytes a kadr)\ne16rec: waiting for a good message from " +
                                options.source + ": "),
                      HasSubstr(" more messages for the same reason, the last: a payload of "),
                      ContainsRegex("\ne16rec: no good message from .* for 10 s \\([0-9]+ skipped\\)\n$")));
    EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 5) << err;
    EXPECT_FALSE(std::filesystem::exists(options.output));
}

// A stream of ten gaps, one before every block but the first: the summary
// names them all, with no "more" to follow; the kadrs lost end it with 1.
// The file says where in the stream it starts.
TEST_F(E16recCommand, TheSummaryNamesTheFirstTenGaps) {
    Options options;
    options.source = "ipc://" + (store.dir().path() / "gaps").string();
    options.output = (store.dir().path() / "gaps.csv").string();
    options.quiet = true;
    std::vector<std::vector<std::string>> messages; // kadr 100 + 2k in message k, then the end
    for (int64_t seq = 0; seq <= 11; ++seq) {
        hosts::StreamHeader h = TwoChannelStream("SIM0009", 1000);
        h.seq = seq;
        h.startTime = "2026-12-07T00:00:00.000Z";
        h.firstKadr = 100 + (seq < 11 ? 2 * seq : 21);
        h.kadrs = seq < 11 ? 1 : 0;
        if (seq == 11) h.end = "complete";
        messages.push_back({hosts::StreamTopic(h.serial), hosts::HeaderJson(h),
                            std::string(static_cast<std::size_t>(h.kadrs) * 4, '\0')});
    }
    std::jthread publisher([&] { velmora::test::Publish(options.source, messages); });
    Said said;
    EXPECT_EQ(RecordCommand(options, said.io()), 1) << "kadrs lost";
    publisher.join();
    EXPECT_THAT(said.out(),
                AllOf(HasSubstr("\ngap: kadrs 101 to 101 never came\n"),
                      HasSubstr("\ngap: kadrs 119 to 119 never came\nstream: 10 gaps, 10 kadrs missing, "
                                "0 messages skipped\n")));
    EXPECT_THAT(velmora::test::Slurp(options.output), HasSubstr("first_kadr 100,"))
        << "where the file starts";
}

} // namespace
} // namespace e16rec
