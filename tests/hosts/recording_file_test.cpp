// The recording files read back: the CSV as text, the HDF5 file through the
// HDF5 library, the way a user's own tools would read them; also while they
// are written, after their writer was killed, and after a write cut short.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "csv_rows.h"
#include "recorded_files.h"
#include "recording_file.h"
#include "test_support.h"

namespace velmora::hosts {
namespace {

namespace fs = std::filesystem;
using test::Slurp;
using test::Split;

// Two channels, one named past ASCII, of a module whose start is known.
RecordingInfo TwoChannels() {
    RecordingInfo info;
    info.channels = {{"Канал 1", 0, 800.0f}, {"Y16", 3, 8000.0f}};
    info.rate = 1000;
    info.startTime = "2026-12-06T10:00:00Z";
    info.serial = "SIM0001";
    info.backend = "simulated module";
    info.address = "127.0.0.1";
    return info;
}

// A writer of `info` into `file`, in the format its name says, and why
// there is none.
std::pair<std::unique_ptr<RecordingWriter>, std::string> Open(const fs::path& file, bool force = false,
                                                              const RecordingInfo& info = TwoChannels()) {
    std::string error;
    return {OpenWriter(file, FormatOf(file), info, force, error), error};
}

// Why `file` is not opened, or "opened" (and closed again).
std::string Refusal(const fs::path& file, bool force, const RecordingInfo& info = TwoChannels()) {
    const auto [writer, error] = Open(file, force, info);
    return writer ? "opened" : error;
}

// Each test's files in a folder of its own.
class RecordingFile : public ::testing::Test {
protected:
    test::TempDir dir;
};

// The module's description in a comment line first, then time from the
// first kadr and volts with six decimals, '.' whatever the locale; the time
// keeps counting across writes. A file opened before the first kadr takes
// its time once it came, until the rows begin; refusing a later one, the
// file stays whole. The description is on disk once the time is known (a
// file of a series opens knowing it), so a file cut off before its first
// rows still says what it is.
TEST_F(RecordingFile, CsvHoldsEveryKadrInVoltsUnderItsDescription) {
    RecordingInfo info = TwoChannels();
    info.startTime.clear();
    const auto [writer, error] = Open(dir.path() / "run.csv", false, info);
    ASSERT_TRUE(writer) << error;
    const int16_t codes[] = {800, -8000, -1, 32767, 0, 4};
    EXPECT_EQ(Slurp(dir.path() / "run.csv"), "");
    ASSERT_TRUE(writer->SetStartTime("2026-12-06T21:46:33.125Z")) << writer->Error();
    EXPECT_EQ(Split(Slurp(dir.path() / "run.csv"), '\n').size(), 2u) << "the comment and the header";
    const auto next = Open(dir.path() / "next.csv");
    ASSERT_TRUE(next.first) << next.second;
    EXPECT_EQ(Split(Slurp(dir.path() / "next.csv"), '\n').size(), 2u) << "a file opened knowing its start";
    ASSERT_TRUE(writer->Write(codes, 2));
    EXPECT_FALSE(writer->SetStartTime("2026-12-06T21:46:34.000Z")) << "the rows began";
    ASSERT_TRUE(writer->Write(codes + 4, 1));
    ASSERT_TRUE(writer->Close()) << writer->Error();
    EXPECT_EQ(
        Slurp(dir.path() / "run.csv"),
        "# serial SIM0001, address 127.0.0.1, start_time 2026-12-06T21:46:33.125Z, backend simulated module\n"
        "time,Канал 1,Y16\n"
        "0.0000000,1.000000,-1.000000\n"
        "0.0010000,-0.001250,4.095875\n"
        "0.0020000,0.000000,0.000500\n");
}

// Every code of every range reads as printf makes it with six decimals,
// also at a scale whose texts are too long for the table, and channels of
// one range in any order of ranges. At a scale where six decimals would
// merge codes (a stream's), each code still reads back as itself.
TEST_F(RecordingFile, CsvVoltsAreTheTextOfEveryCode) {
    RecordingInfo info;
    info.rate = 1;
    for (const float scale : {3276.75f, 800.0f, 1.0f, 8000.0f, 1e-3f, 204800.0f, 800.0f})
        info.channels.push_back({"X", 0, scale});
    const std::size_t n = info.channels.size(); // those of six decimals
    for (const float scale : {2e6f, 1e12f, 1e30f}) info.channels.push_back({"fine", 0, scale});
    const std::size_t columns = info.channels.size();
    std::vector<int16_t> codes;
    for (int code = -32768; code <= 32767; ++code)
        codes.insert(codes.end(), columns, static_cast<int16_t>(code));
    std::string text;
    CsvRows(info).Append(0, codes.data(), codes.size() / columns, text);
    const std::vector<std::string> lines = Split(text, '\n');
    ASSERT_EQ(lines.size(), codes.size() / columns);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::vector<std::string> fields = Split(lines[k]);
        ASSERT_EQ(fields.size(), 1 + columns) << lines[k];
        ASSERT_EQ(fields[0], std::to_string(k) + ".0000000");
        for (std::size_t i = 0; i < columns; ++i) {
            const int16_t code = codes[k * columns + i];
            const float scale = info.channels[i].codesPerVolt;
            char volts[64];
            std::snprintf(volts, sizeof volts, "%.6f", code / double(scale));
            if (i < n)
                ASSERT_EQ(fields[1 + i], volts) << lines[k];
            else
                ASSERT_EQ(std::llround(std::stod(fields[1 + i]) * scale), code) << lines[k];
        }
    }
}

// A write ends a line within its measure (a pipe's whole write, what is
// left of a page); a longer line goes alone, a text that fits whole.
TEST_F(RecordingFile, CsvWritesEndLines) {
    const std::tuple<std::string_view, std::size_t, std::size_t> cases[] = {
        {"aa\nbb\ncc\n", 9, 9}, {"aa\nbb\ncc\n", 8, 6}, {"aa\nbb\ncc\n", 6, 6}, {"aa\nbb\ncc\n", 2, 3},
        {"aa\nbb\ncc\n", 0, 3}, {"aa\nbb", 4, 3},       {"aaaa", 2, 4}};
    for (const auto& [text, limit, taken] : cases) EXPECT_EQ(WholeLinesWithin(text, limit), taken) << limit;
}

// The comment names what is known, on the one line; it and the header row are
// CSV records, so a comma or a quote in a text (a backend's, a stream's
// channel name) is quoted, as any CSV reader takes it back; a line break in
// either is a space.
TEST_F(RecordingFile, CsvCommentHoldsWhatIsKnown) {
    // The serial, start time, backend and first kadr known; the text.
    const std::tuple<std::string, std::string, std::string, std::optional<int64_t>, std::string> cases[] = {
        {"", "", "", std::nullopt, ""},
        {"S,1\nx", "", "vendor library /lib/x.so,\nversion 1.1.34", std::nullopt,
         "# \"serial S,1 x\", \"backend vendor library /lib/x.so, version 1.1.34\"\n"},
        {"SIM0001", "2026-12-06T10:00:00Z", "sim", 9'450'000'000,
         "# serial SIM0001, start_time 2026-12-06T10:00:00Z, first_kadr 9450000000, backend sim\n"},
    };
    for (const auto& [serial, startTime, backend, firstKadr, expected] : cases) {
        RecordingInfo info;
        info.channels = {{"Канал\n1", 0, 3200.0f}, {"µV,\"3\"", 0, 3200.0f}};
        std::tie(info.serial, info.startTime, info.backend, info.firstKadr) =
            std::tie(serial, startTime, backend, firstKadr);
        std::string text;
        AppendCsvHeader(info, text);
        EXPECT_EQ(text, expected + "time,Канал 1,\"µV,\"\"3\"\"\"\n");
    }
}

// A format is found by any of its names and extensions in any case, and
// the file dialog offers every extension the writers take.
TEST_F(RecordingFile, FormatsAreFoundByAnyOfTheirWords) {
    // A text, the format it names and the format of a file so named.
    const std::tuple<std::string, std::optional<FileFormat>, FileFormat> cases[] = {
        {"CSV", FileFormat::Csv, FileFormat::Csv},   {"h5", FileFormat::Hdf5, FileFormat::Csv},
        {"HDF5", FileFormat::Hdf5, FileFormat::Csv}, {"xls", std::nullopt, FileFormat::Csv},
        {"", std::nullopt, FileFormat::Csv},         {"run.H5", std::nullopt, FileFormat::Hdf5},
        {"run.he5", std::nullopt, FileFormat::Hdf5}, {"run.hdf5.csv", std::nullopt, FileFormat::Csv},
    };
    for (const auto& [text, named, of] : cases)
        EXPECT_EQ(std::pair(FormatNamed(text), FormatOf(text)), std::pair(named, of)) << text;
    EXPECT_EQ(FormatNames(), "csv or hdf5");
    EXPECT_EQ(FileDialogFilter(), "CSV (*.csv);;HDF5 (*.h5 *.hdf5 *.he5)");
}

// Nor is a file that another recording writes replaced, with or without
// --force: the two would each call the other's rows their own. An empty
// file has nothing to keep. Each refusal leaves the file as it was.
TEST_F(RecordingFile, KeepsAnExistingFileUnlessToldToReplaceIt) {
    const std::vector<int16_t> codes(2 * 10, 1);
    for (const char* name : {"old.csv", "old.h5"}) {
        const auto file = dir.path() / name;
        std::ofstream(file) << "precious";
        EXPECT_EQ(Refusal(file, false), file.string() + " exists; --force replaces it");
        // As h5py or h5dump hold a file they read.
        const int reader = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(reader, LOCK_SH), 0);
        EXPECT_EQ(Refusal(file, true), file.string() + " is open in another program");
        EXPECT_EQ(Slurp(file), "precious");
        ::close(reader);
        const auto [writer, error] = Open(file, true);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(writer->Write(codes.data(), 10) && writer->Flush()) << writer->Error();
        const std::string written = Slurp(file);
        EXPECT_EQ(Refusal(file, true), file.string() + " is being written by another recording");
        EXPECT_EQ(Slurp(file), written);
        EXPECT_TRUE(writer->Close()) << writer->Error();
        EXPECT_NE(Slurp(file), "precious");
        EXPECT_EQ(Refusal(file, true), "opened") << "once closed";
        std::ofstream{file}; // as a CSV killed before its first kadr is left
        EXPECT_EQ(Refusal(file, false), "opened") << "an empty file";
    }
    // HDF5 cannot go to a pipe: refused before it is opened, and left there.
    const auto pipe = dir.path() / "pipe.h5";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const bool force : {false, true})
        EXPECT_EQ(Refusal(pipe, force),
                  pipe.string() + " is a pipe, not a regular file: only CSV is written to it");
    EXPECT_TRUE(fs::is_fifo(pipe));
}

// A full disk is an error at the opening (a header known then), the write
// or the close, never a silent cut; so is a file deleted (or its folder)
// while it is written, which keeps nothing.
TEST_F(RecordingFile, FullDiskFailsWithItsReason) {
    EXPECT_EQ(Refusal("/dev/full", true), "cannot write /dev/full: No space left on device");
    RecordingInfo info = TwoChannels();
    info.startTime.clear();
    const auto [writer, error] = Open("/dev/full", true, info);
    ASSERT_TRUE(writer) << error;
    std::vector<int16_t> codes(2 * 100000, 1);
    EXPECT_FALSE(writer->Write(codes.data(), 100000) && writer->Close());
    EXPECT_EQ(writer->Error(), "cannot write /dev/full: No space left on device");
    EXPECT_FALSE(writer->Write(codes.data(), 1)) << "nothing more after a failure";
    for (const char* name : {"deleted.csv", "deleted.h5"}) {
        const auto file = dir.path() / name;
        const auto [deleted, why] = Open(file);
        ASSERT_TRUE(deleted) << why;
        ASSERT_TRUE(deleted->Write(codes.data(), 10) && deleted->Flush()) << deleted->Error();
        fs::remove(file);
        EXPECT_FALSE(deleted->Write(codes.data(), 10) && deleted->Close()) << name;
        EXPECT_EQ(std::pair(deleted->Error(), deleted->Kadrs()),
                  std::pair("cannot write " + file.string() + ": it was deleted while it was written", 0ul));
    }
}

// Codes that compress poorly, as a module's noise does.
std::vector<int16_t> Noise(std::size_t count) {
    std::vector<int16_t> codes(count);
    uint32_t seed = 12345;
    for (int16_t& c : codes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<int16_t>(seed >> 16);
    }
    return codes;
}

// The file's kadrs against the codes written, as volts of TwoChannels.
std::string SameKadrs(const test::Recorded& r, const std::vector<int16_t>& codes) {
    const double scale[] = {800, 8000};
    if (!r.problem.empty()) return r.problem;
    if (r.names != std::vector<std::string>{"Канал 1", "Y16"}) return "channels not Канал 1, Y16";
    for (std::size_t i = 0; i < r.rows * 2; ++i)
        if (std::fabs(r.volts[i] - codes[i] / scale[i % 2]) > 1e-6)
            return "kadr " + std::to_string(i / 2) + " differs";
    for (std::size_t k = 0; k < r.times.size(); ++k)
        if (std::fabs(r.times[k] - static_cast<double>(k) / 1000) > 1e-9)
            return "time of kadr " + std::to_string(k) + " differs";
    return {};
}

// Codes as written, across writes bigger and smaller than a chunk, with the
// recording's description beside them. A file opened before the first kadr
// takes its time once it came, and in HDF5 a later one replaces it, the rest
// kept. (CSV's is its text test.)
TEST_F(RecordingFile, Hdf5HoldsTheCodesWithTheirDescription) {
    const auto file = dir.path() / "run.h5";
    const std::vector<int16_t> codes = Noise(2 * 70000);
    RecordingInfo info = TwoChannels();
    info.startTime.clear();
    {
        const auto [writer, error] = Open(file, false, info);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(writer->SetStartTime("2026-12-06T21:46:33.125Z")) << writer->Error();
        ASSERT_TRUE(writer->Write(codes.data(), 3));
        ASSERT_TRUE(writer->SetStartTime("2026-12-06T21:46:34.000Z")) << writer->Error();
        ASSERT_TRUE(writer->Write(codes.data() + 6, 69997));
        ASSERT_TRUE(writer->Close()) << writer->Error();
    }
    const test::Recorded r = test::ReadHdf5(file.string(), false);
    EXPECT_EQ(SameKadrs(r, codes), "") << "the codes, and the channels Канал 1 and Y16";
    EXPECT_EQ(std::tuple(r.rows, r.rate, r.firstKadr, r.ranges, r.codesPerVolt),
              std::tuple(70000u, 1000.0, 0, std::vector<int16_t>{0, 3}, std::vector<float>{800.0f, 8000.0f}))
        << "kadrs, rate, first kadr (of one file), ranges and codes per volt";
    EXPECT_EQ(
        (std::vector<std::string>{r.serial, r.backend, r.startTime, r.address}),
        (std::vector<std::string>{"SIM0001", "simulated module", "2026-12-06T21:46:34.000Z", "127.0.0.1"}))
        << "serial, backend, start_time and address";
}

// A chunk fills before the flush age at any rate: one flushed half full is
// written again once full (SWMR never reuses file space), which made a slow
// recording's file many times the size of its data.
TEST_F(RecordingFile, Hdf5ChunksFillBeforeTheyAreFlushed) {
    for (double rate : {10.0, 100.0, 1000.0, 500000.0}) {
        RecordingInfo info = TwoChannels();
        info.rate = rate;
        const auto file = dir.path() / (std::to_string(rate) + ".h5");
        ASSERT_EQ(Refusal(file, false, info), "opened");
        const test::detail::Id h5{H5Fopen(file.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose},
            codes{H5Dopen2(h5, "codes", H5P_DEFAULT), H5Dclose}, layout{H5Dget_create_plist(codes), H5Pclose};
        hsize_t chunk[2] = {};
        EXPECT_EQ(H5Pget_chunk(layout, 2, chunk), 2);
        EXPECT_LT(static_cast<double>(chunk[0]) / rate, std::chrono::duration<double>(kFlushAge).count())
            << rate << " kadrs/s";
    }
}

// Runs `write` in a child process that then waits to be killed, by Kill or
// at the end of the scope; `said` is what it returned, once it did.
struct Child {
    explicit Child(const std::function<std::string()>& write) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        if ((pid = ::fork()) == 0) {
            const std::string text = write() + '\n';
            if (::write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size())) ::pause();
            ::_exit(2);
        }
        ::close(fds[1]);
        for (char c = 0; ::read(fds[0], &c, 1) == 1 && c != '\n';) said += c;
        ::close(fds[0]);
    }
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void Kill() {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    std::string said;
    pid_t pid = -1;
};

// What a Flush or a flush by age put on disk is there for a reader while
// the file is written and after its writer was killed, and in HDF5 a chunk
// (0.4 s of kadrs) as soon as it filled; kadrs written since are not, not
// even as rows of zeros.
TEST_F(RecordingFile, FlushedKadrsOutliveTheWriter) {
    const std::vector<int16_t> codes = Noise(2 * 3600);
    for (const char* name : {"cut.csv", "cut.h5"}) {
        const auto file = dir.path() / name;
        Child child([&]() -> std::string {
            auto [writer, error] = Open(file);
            if (!writer) return error;
            for (std::size_t k = 0; k < 3000; k += 100)
                if (!writer->Write(codes.data() + 2 * k, 100)) return writer->Error();
            if (!writer->Flush() || !writer->Write(codes.data() + 2 * 3000, 300)) return writer->Error();
            std::this_thread::sleep_for(kFlushAge + std::chrono::milliseconds(50));
            if (!writer->FlushIfOlder() || !writer->Write(codes.data() + 2 * 3300, 300))
                return writer->Error();
            writer.release(); // as a kill leaves it
            return "written";
        });
        ASSERT_EQ(child.said, "written");
        for (const char* when : {"while written", "after a kill"}) {
            // A file whose writer is alive or was killed opens in SWMR mode only.
            const test::Recorded r = test::ReadRecorded(file.string(), true);
            EXPECT_EQ(std::tuple(r.rows, SameKadrs(r, codes)),
                      std::tuple(FormatOf(file) == FileFormat::Csv ? 3300u : 3600u, ""))
                << when;
            child.Kill();
        }
    }
}

// Standard output redirected to a file (>>), as /dev/stdout, is written into
// where the shell left it, not replaced, and needs no overwrite: CSV only.
TEST_F(RecordingFile, StandardOutputIsWrittenWhereItStands) {
    const auto file = dir.path() / "appended.csv", plain = dir.path() / "plain.csv";
    std::ofstream(file) << "earlier\n";
    const std::vector<int16_t> codes(2 * 3, 3200);
    const auto write = [&](const fs::path& name) -> std::string {
        const auto [writer, error] = Open(name);
        if (!writer) return error;
        return writer->Write(codes.data(), 3) && writer->Close() ? "" : writer->Error();
    };
    Child child([&]() -> std::string {
        const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) return "no standard output";
        std::string error;
        if (OpenWriter("/dev/stdout", FileFormat::Hdf5, TwoChannels(), true, error)) return "HDF5 taken";
        const std::string written = write("/dev/stdout");
        return written.empty() ? error : written;
    });
    EXPECT_EQ(child.said,
              "/dev/stdout is standard output, written where it stands: only CSV is written to it");
    ASSERT_EQ(write(plain), "");
    EXPECT_EQ(Slurp(file), "earlier\n" + Slurp(plain));
}

// A write the system refuses part way (here at the file size limit, in the
// middle of a row) ends the CSV file at the last whole row, which the count
// follows, and the reason is the system's. (HDF5's full disk is e16rec's
// run test, on a small file system.)
TEST_F(RecordingFile, AWriteCutShortKeepsWholeRows) {
    const std::vector<int16_t> codes = Noise(2 * 20000);
    const auto file = dir.path() / "limit.csv";
    Child child([&]() -> std::string {
        const rlimit limit{100'000, 100'000};
        ::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return "no file size limit";
        auto [writer, error] = Open(file);
        if (!writer) return error;
        bool ok = true;
        for (std::size_t k = 0; ok && k < 20000; k += 100)
            ok = writer->Write(codes.data() + 2 * k, 100) && (k % 1000 != 900 || writer->Flush());
        ok = writer->Close() && ok;
        return std::to_string(writer->Kadrs()) + " " + (ok ? "written" : writer->Error());
    });
    const auto space = child.said.find(' ');
    ASSERT_NE(space, std::string::npos) << child.said;
    EXPECT_EQ(child.said.substr(space + 1), "cannot write " + file.string() + ": File too large");
    const test::Recorded r = test::ReadCsv(file.string());
    EXPECT_GT(r.rows, 1000u) << "the rows before the limit kept";
    EXPECT_EQ(std::to_string(r.rows), child.said.substr(0, space)) << "kadrs counted against the file";
    EXPECT_EQ(SameKadrs(r, codes), "");
    // A file refused at its opening goes again if it was made there, but a
    // link that was there stays.
    for (const std::string kind : {".csv", ".h5"}) {
        const auto link = dir.path() / ("link" + kind), made = dir.path() / ("new" + kind);
        fs::create_symlink(dir.path() / ("target" + kind), link);
        Child refused([&]() -> std::string {
            const rlimit none{0, 0};
            ::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &none) != 0) return "no file size limit";
            for (const auto& name : {link, made})
                if (Open(name, true).first) return name.string() + " opened";
            return "refused";
        });
        // Both refused, the link still there and no file made.
        EXPECT_EQ(std::tuple(refused.said, fs::is_symlink(link), fs::exists(made)),
                  std::tuple("refused", true, false))
            << kind;
    }
}

} // namespace
} // namespace velmora::hosts
