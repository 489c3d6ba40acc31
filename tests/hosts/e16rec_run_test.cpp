// e16rec run as a user runs it, against the simulated module in a private
// store: what it writes, what it says and how it ends; which module it opens,
// from a driver folder of the test's own with its own remembered addresses;
// the files it leaves when killed, stopped by a signal, on a full disk, and
// split in many.
#include <fcntl.h>
#include <hdf5.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "recorded_files.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using velmora::test::ReadCsv;
using velmora::test::ReadHdf5;
using velmora::test::Recorded;
using velmora::test::SimulatedFault;
using velmora::test::Slurp;

class E16recRun : public ::testing::Test {
protected:
    // The build's e16rec, or the one E16REC names (an installed tree).
    static std::string Program() {
        const char* installed = std::getenv("E16REC");
        return installed != nullptr ? installed : "./e16rec";
    }

    // Arguments hold no quote. No display and no terminal. The build's
    // program is given 127.0.0.1 unless the arguments name an address, so what
    // the build's driver folder remembers changes nothing; a program of
    // OwnDriverFolder asks its own chooser. With `interruptAfter`, SIGINT
    // reaches the program that long after its start.
    velmora::test::Ran E16rec(const std::string& args, const char* interruptAfter = nullptr,
                              const std::string& program = Program()) {
        std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY ";
        if (interruptAfter != nullptr)
            command += std::string("timeout --preserve-status -s INT ") + interruptAfter + " ";
        const bool named = args.find("-address") != std::string::npos || args.starts_with("-a ");
        const std::string address = program == Program() && !named ? "--address 127.0.0.1 " : "";
        return velmora::test::RunCommand(command + program + " " + address + args + " </dev/null",
                                         store.dir().path());
    }
    std::string File(const char* name) const { return (store.dir().path() / name).string(); }

    // An installed tree of the test's own: bin/e16rec a link to the program,
    // lib/velmora/ copies of its driver and simulator (a link would be
    // resolved to the build's folder) with `addresses` as the remembered
    // list. Returns the program.
    std::string OwnDriverFolder(const std::string& addresses) {
        const fs::path program = fs::absolute(Program()), root = store.dir().path() / "tree";
        fs::path drivers = program.parent_path();
        if (!fs::exists(drivers / "Lintara.adc")) drivers = drivers / ".." / "lib" / "velmora";
        fs::create_directories(root / "bin");
        fs::create_directories(root / "lib" / "velmora");
        fs::create_symlink(program, root / "bin" / "e16rec");
        for (const char* file : {"Lintara.adc", "libe16sim.so"})
            fs::copy_file(drivers / file, root / "lib" / "velmora" / file);
        list = root / "lib" / "velmora" / "iplist.txt";
        std::ofstream(list, std::ios::binary) << addresses;
        return (root / "bin" / "e16rec").string();
    }

    velmora::test::PrivateStore store;
    fs::path list; // the remembered addresses of OwnDriverFolder's driver
};

long Rows(const std::string& text) {
    return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
}

std::string Line(const std::string& text, int index) {
    std::size_t start = 0;
    for (int i = 0; i < index && start != std::string::npos; ++i) {
        start = text.find('\n', start);
        if (start != std::string::npos) ++start;
    }
    return start == std::string::npos ? std::string() : text.substr(start, text.find('\n', start) - start);
}

// A fixed-length string attribute of the dataset "codes".
std::string Hdf5Text(const std::string& file, const char* name) {
    const hid_t h5 = H5Fopen(file.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    const hid_t dataset = H5Dopen2(h5, "codes", H5P_DEFAULT);
    const hid_t attribute = H5Aopen(dataset, name, H5P_DEFAULT);
    const hid_t type = H5Aget_type(attribute);
    std::string text(H5Tget_size(type), '\0');
    EXPECT_GE(H5Aread(attribute, type, text.data()), 0) << name;
    H5Tclose(type);
    H5Aclose(attribute);
    H5Dclose(dataset);
    H5Fclose(h5);
    return text.c_str();
}

// Seconds since 1970 of "YYYY-MM-DDTHH:MM:SS.mmmZ"; -1 for any other text.
double IsoSeconds(const std::string& text) {
    std::tm utc{};
    int millis = -1, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                    &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &millis, &used) != 7 ||
        used != static_cast<int>(text.size()) || text.size() != 24)
        return -1;
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return static_cast<double>(::timegm(&utc)) + millis / 1000.0;
}

// e16rec started in the background, as E16rec runs it (no display, no
// terminal, its output in files of `folder`), for a signal at a time of the
// test's choosing.
class Started {
public:
    Started(const std::string& program, const std::string& args, const fs::path& folder, const char* name)
        : out_(folder / (std::string(name) + ".out")), err_(folder / (std::string(name) + ".err")) {
        std::vector<std::string> words{program};
        std::istringstream split(args);
        for (std::string word; split >> word;) words.push_back(word);
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (char** e = environ; *e != nullptr; ++e)
            if (!std::string(*e).starts_with("DISPLAY=") && !std::string(*e).starts_with("WAYLAND_DISPLAY="))
                envp.push_back(*e);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&files, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&files);
    }
    ~Started() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;

    bool Running() const { return pid_ > 0; }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // The exit status, or 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Out() const { return Slurp(out_); }
    std::string Err() const { return Slurp(err_); }

private:
    fs::path out_, err_;
    pid_t pid_ = -1;
};

double Now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The kadrs the summary says were recorded; -1 when it says nothing.
long SummaryKadrs(const std::string& out) {
    const auto at = out.find("\nrecorded ");
    return at == std::string::npos ? -1 : std::atol(out.c_str() + at + 10);
}

// The channel table reaches the module's own key too, so an earlier
// differential run does not turn the next single-ended one into XY and
// "Calibration 0" columns.
TEST_F(E16recRun, InputsAfterAnEarlierRunRecordEveryKadr) {
    ASSERT_EQ(E16rec("--inputs diff -c 0-31 -t 0.1 -q -o -").exit, 0);
    const velmora::test::Ran r = E16rec("--inputs se -c 0-31 -r 15625 -t 0.5 -q -o " + File("se.csv"));
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(Line(r.out, 0).rfind("module: SIM0001 (E16 rev. A), simulated module (", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(", address 127.0.0.1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("recorded 7813 of 7813 kadrs"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Y16 ramp of the simulated module: 0 lost kadrs, 0 repeated kadrs"),
              std::string::npos)
        << r.out;
    const std::string csv = Slurp(File("se.csv"));
    EXPECT_EQ(Line(csv, 0).rfind("# serial SIM0001, address 127.0.0.1, start_time ", 0), 0u) << Line(csv, 0);
    EXPECT_EQ(Line(csv, 1), "time,X1,X2,X3,X4,X5,X6,X7,X8,X9,X10,X11,X12,X13,X14,X15,X16,"
                            "Y1,Y2,Y3,Y4,Y5,Y6,Y7,Y8,Y9,Y10,Y11,Y12,Y13,Y14,Y15,Y16");
    EXPECT_EQ(Rows(csv), 2 + 7813);
}

// The length is the data's, not the wall clock's: a rate the driver changes
// is said, and the kadr count follows the achieved rate.
TEST_F(E16recRun, RecordsExactlyTheKadrsAskedFor) {
    velmora::test::Ran r = E16rec("-r 1000 --time=1 -q -o " + File("a.csv"));
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::string a = Slurp(File("a.csv"));
    EXPECT_EQ(Rows(a), 2 + 1000);
    EXPECT_EQ(a.find("0.9990000,"), a.rfind('\n', a.size() - 2) + 1) << "the last row is at 0.999 s";
    r = E16rec("-c 0-31 -r 20000 -n 300 -q -o " + File("b.csv"));
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("adjusted rate: 20000 kadrs/s asked, 15625 kadrs/s set by the driver"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Rows(Slurp(File("b.csv"))), 2 + 300);
}

// --format picks the writer whatever the name, and the file says how to
// scale the codes of the range asked for (the kadr count is the writer's test).
TEST_F(E16recRun, Hdf5HoldsTheKadrsWithTheirScale) {
    const velmora::test::Ran r = E16rec("-c 0-3 -R 1 -n 50 -q --format hdf5 -o " + File("run.dat"));
    ASSERT_EQ(r.exit, 0) << r.err;
    const hid_t file = H5Fopen(File("run.dat").c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    ASSERT_GE(file, 0);
    const hid_t dataset = H5Dopen2(file, "codes", H5P_DEFAULT);
    std::vector<float> scale(5, -1.0f);
    const hid_t attribute = H5Aopen(dataset, "codes_per_volt", H5P_DEFAULT);
    ASSERT_GE(H5Aread(attribute, H5T_NATIVE_FLOAT, scale.data()), 0);
    EXPECT_EQ(scale, (std::vector<float>{12800.0f, 12800.0f, 12800.0f, 12800.0f, -1.0f}))
        << "codes per volt of four channels on the 2.5 V range";
    H5Aclose(attribute);
    H5Dclose(dataset);
    H5Fclose(file);
}

// A publisher given no length records until a signal, its normal end: exit
// status 0, and the summary counts what it recorded and published.
TEST_F(E16recRun, APublisherWithoutALengthRunsUntilASignal) {
    const velmora::test::Ran r = E16rec("-c 0-3 -q -o - --publish ipc://" + File("pub"), "1.5");
    EXPECT_EQ(r.exit, 0) << r.err;
    const long recorded = SummaryKadrs(r.out);
    EXPECT_GT(recorded, 0) << r.out;
    EXPECT_NE(r.out.find("\nrecorded " + std::to_string(recorded) + " kadrs ("), std::string::npos)
        << "no length to count against: " << r.out;
    EXPECT_NE(r.out.find(" kadrs not sent\nstopped by a signal\n"), std::string::npos) << r.out;
    EXPECT_EQ(Line(r.out, 0), "publishing on ipc://" + File("pub"));
}

// Each refusal is one line on standard error and a nonzero exit (help is
// none); a file that exists stays as it was.
TEST_F(E16recRun, RefusalsSayWhyInOneLine) {
    std::ofstream(File("old.csv")) << "precious";
    const struct {
        std::string args;
        int exit;
        std::string err;
    } cases[] = {
        {"--rate=abc", 2, "e16rec: --rate: 'abc' is not kadrs per second from 0.001 to 500000\n"},
        {"-r 1e-9", 2, "e16rec: --rate: '1e-9' is not kadrs per second from 0.001 to 500000\n"},
        {"-r 0.1 -t 2", 2,
         "e16rec: --time: 2 s at 0.1 kadrs/s is less than one kadr; give more time or -n\n"},
        {"-c 0-31,0-31,0-31,0-31,0-31,0-31,0-31,0-31,0", 2,
         "e16rec: --channels: '0-31,0-31,0-31,0-31,0-31,0-31,0-31,0-31,0' is not a list of at most 256 "
         "channels "
         "0..31 such as 0-3,31\n"},
        {"--address 0.0.0.0", 2, "e16rec: --address: '0.0.0.0' is not an IPv4 address such as 127.0.0.1\n"},
        {"-t0", 2, "e16rec: --time: '0' is not seconds above 0, at most 604800\n"},
        {"--buffer 0.5", 2, "e16rec: --buffer: '0.5' is not seconds from 1 to 3600\n"},
        {"--split=0", 2, "e16rec: --split: '0' is not seconds from 1 to 604800\n"},
        {"-c 0-40", 2,
         "e16rec: --channels: '0-40' is not a list of at most 256 channels 0..31 such as 0-3,31\n"},
        {"--address 10.0.0", 2, "e16rec: --address: '10.0.0' is not an IPv4 address such as 127.0.0.1\n"},
        {"-R -1", 2, "e16rec: --range: '-1' is not a range number from 0\n"},
        {"-R 4", 1,
         "e16rec: the driver has no range 4; its ranges are 0 \u00B110 V, 1 \u00B12.5 V, 2 \u00B10.625 V, "
         "3 \u00B10.156 V\n"},
        {"-t", 2, "e16rec: --time needs seconds above 0, at most 604800\n"},
        {"--inputs both", 2, "e16rec: --inputs: 'both' is not se or diff\n"},
        {"--publish udp://127.0.0.1:5556", 2,
         "e16rec: --publish: 'udp://127.0.0.1:5556' is not a ZeroMQ endpoint: tcp://HOST:PORT, tcp://*:PORT "
         "or "
         "ipc://PATH\n"},
        {"--publish tcp://127.0.0.1:65536", 2,
         "e16rec: --publish: 'tcp://127.0.0.1:65536' is not a ZeroMQ endpoint: tcp://HOST:PORT, tcp://*:PORT "
         "or "
         "ipc://PATH\n"},
        {"--source tcp://*:5556", 2,
         "e16rec: --source: 'tcp://*:5556' is not a ZeroMQ endpoint: tcp://HOST:PORT or ipc://PATH\n"},
        {"--source ipc:///nowhere -c 0-3", 2,
         "e16rec: --source takes its module, channels and rate from the stream; --channels does not go with "
         "it\n"},
        {"--bogus", 2, "e16rec: unknown option --bogus (e16rec --help lists them)\n"},
        {"--help", 0, ""},
        {"-t 0.1 -o " + File("old.csv"), 1, "e16rec: " + File("old.csv") + " exists; --force replaces it\n"},
        {"-t 0.1 --split 1 -o " + File("old.csv"), 1,
         "e16rec: " + File("old-0001.csv") + " exists; --force replaces it\n"},
    };
    std::ofstream(File("old-0001.csv")) << "precious";
    for (const auto& c : cases) {
        const velmora::test::Ran r = E16rec(c.args);
        EXPECT_EQ(r.exit, c.exit) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
    EXPECT_EQ(Slurp(File("old.csv")), "precious");
    EXPECT_EQ(Slurp(File("old-0001.csv")), "precious");
}

// Without --address the driver's chooser answers from the driver's own list,
// on the console: its first address, for the chooser alone, the setup and a
// recording alike.
TEST_F(E16recRun, WithoutAnAddressTheChooserTakesTheDriversFirst) {
    const std::string program = OwnDriverFolder("127.0.0.2\r\n127.0.0.1\r\n");
    const velmora::test::Ran chosen = E16rec("--choose-address", nullptr, program);
    EXPECT_EQ(chosen.exit, 0);
    EXPECT_EQ(chosen.out, "127.0.0.2\n");
    EXPECT_NE(chosen.err.find("not a terminal"), std::string::npos) << "taken without a word: " << chosen.err;
    const velmora::test::Ran setup = E16rec("--setup", nullptr, program);
    EXPECT_EQ(setup.exit, 0) << setup.err;
    EXPECT_EQ(Line(setup.out, 0).rfind("module: SIM0002 (E16 rev. A), ", 0), 0u) << setup.out;
    EXPECT_EQ(Line(setup.out, 1), "settings saved");
    EXPECT_NE(setup.err.find("The setup dialog needs a display"), std::string::npos) << setup.err;
    const velmora::test::Ran recorded = E16rec("-n 200 -q -o -", nullptr, program);
    EXPECT_EQ(recorded.exit, 0) << recorded.err;
    EXPECT_NE(recorded.out.find("module: SIM0002 "), std::string::npos) << recorded.out;
    EXPECT_EQ(Slurp(list), "127.0.0.2\r\n127.0.0.1\r\n");
}

// --address opens that module though the list remembers only another, and
// the file says which module it was and when its first kadr came. The list
// stays as it was, byte for byte.
TEST_F(E16recRun, AnAddressGivenOpensThatModuleWithoutTouchingTheList) {
    const std::string program = OwnDriverFolder("127.0.0.2\r\n");
    const double before = static_cast<double>(std::time(nullptr));
    const velmora::test::Ran r = E16rec("--address 127.0.0.1 -n 300 -q -o " + File("x.h5"), nullptr, program);
    const double after = static_cast<double>(std::time(nullptr)) + 1;
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.err, "") << "nothing to warn about";
    EXPECT_EQ(Line(r.out, 0).rfind("module: SIM0001 (E16 rev. A), simulated module (", 0), 0u) << r.out;
    EXPECT_NE(Line(r.out, 0).find(", address 127.0.0.1"), std::string::npos) << r.out;
    EXPECT_EQ(Hdf5Text(File("x.h5"), "serial"), "SIM0001");
    EXPECT_EQ(Hdf5Text(File("x.h5"), "address"), "127.0.0.1");
    const std::string start = Hdf5Text(File("x.h5"), "start_time");
    EXPECT_GE(IsoSeconds(start), before) << start;
    EXPECT_LE(IsoSeconds(start), after) << start;

    const velmora::test::Ran setup = E16rec("--setup -a 127.0.0.1", nullptr, program);
    EXPECT_EQ(setup.exit, 0) << setup.err;
    EXPECT_EQ(Line(setup.out, 0).rfind("module: SIM0001 ", 0), 0u) << setup.out;
    EXPECT_EQ(Slurp(list), "127.0.0.2\r\n");
}

// Two runs at once, one per module, many times over: neither ever records
// the other's module, for nothing of the choice is shared between them.
TEST_F(E16recRun, RunsAtOnceEachRecordTheModuleTheyName) {
    const std::string program = OwnDriverFolder("127.0.0.2\r\n");
    // Module k's run in the background, with its exit status, output and file.
    const auto run = [&](int k) {
        const std::string m = "m" + std::to_string(k);
        return "(" + program + " -a 127.0.0." + std::to_string(k) + " -n 200 -r 10000 -q --force -o " + m +
               ".csv >" + m + ".out 2>&1; echo $? >" + m + ".exit) & ";
    };
    const std::string both = "cd " + store.dir().str() + " && env -u DISPLAY -u WAYLAND_DISPLAY sh -c '" +
                             run(1) + run(2) + "wait' </dev/null";
    for (int round = 0; round < 50 && !HasFailure(); ++round) {
        for (int k = 1; k <= 2; ++k) fs::remove(store.dir().path() / ("m" + std::to_string(k) + ".exit"));
        ASSERT_EQ(std::system(both.c_str()), 0);
        for (int k = 1; k <= 2; ++k) {
            const std::string m = (store.dir().path() / ("m" + std::to_string(k))).string();
            const std::string serial = "SIM000" + std::to_string(k), out = Slurp(m + ".out");
            EXPECT_EQ(Slurp(m + ".exit"), "0\n") << "round " << round << ": " << out;
            EXPECT_EQ(out.rfind("module: " + serial + " ", 0), 0u) << "round " << round << ": " << out;
            EXPECT_EQ(
                Line(Slurp(m + ".csv"), 0)
                    .rfind("# serial " + serial + ", address 127.0.0." + std::to_string(k) + ", start_time ",
                           0),
                0u)
                << "round " << round;
        }
    }
    EXPECT_EQ(Slurp(list), "127.0.0.2\r\n");
}

// Killed outright (no signal to catch) three seconds in, once while an HDF5
// reader watches the file grow, once into a slow CSV file: each file opens
// as it is, holds every kadr but those of the last second, and nothing that
// is not a real kadr.
TEST_F(E16recRun, AKilledRecordingLeavesAFileOfAllButTheLastSecond) {
    const struct {
        std::string args;
        const char* file;
        double rate;
    } cases[] = {
        {"-a 127.0.0.1 --inputs se -c 0-31 -r 15625", "killed.h5", 15625},
        {"-a 127.0.0.2 --inputs se -c 0-3,31 -r 1000", "killed.csv", 1000},
    };
    std::vector<std::unique_ptr<Started>> runs;
    for (const auto& c : cases)
        runs.push_back(std::make_unique<Started>(Program(), c.args + " -t 60 -q -o " + File(c.file),
                                                 store.dir().path(), c.file));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const Recorded growing = ReadHdf5(File(cases[0].file), true);
    EXPECT_EQ(growing.problem, "");
    EXPECT_GT(growing.rows, 0u) << "an HDF5 file read while it is written";
    EXPECT_EQ(SimulatedFault(growing), "");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double killed = Now();
    for (const auto& run : runs) run->Signal(SIGKILL);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto& c = cases[i];
        ASSERT_EQ(runs[i]->Wait(), 128 + SIGKILL) << runs[i]->Err();
        const bool hdf5 = std::string(c.file).ends_with(".h5");
        const Recorded r = hdf5 ? ReadHdf5(File(c.file), true) : ReadCsv(File(c.file));
        ASSERT_EQ(r.problem, "") << c.file;
        const double start = IsoSeconds(r.startTime);
        ASSERT_GT(start, 0) << c.file << ": " << r.startTime;
        EXPECT_GE(static_cast<double>(r.rows), (killed - start - 1.0) * c.rate)
            << c.file << ": more than the last second missing";
        if (hdf5) {
            EXPECT_GE(r.rows, growing.rows) << "fewer kadrs than a reader saw before";
        }
        EXPECT_EQ(SimulatedFault(r), "") << c.file;
    }
}

// Stopped by the user, a closed terminal or the system: every kadr received
// is in the file, whole rows of real kadrs, as many as the summary says, and
// the exit status is 128 + the signal.
TEST_F(E16recRun, ASignalLeavesAWholeFileWithItsSummary) {
    for (const auto& [signal, file] :
         {std::pair{SIGINT, "stopped.csv"}, {SIGHUP, "stopped.h5"}, {SIGTERM, "stopped.h5"}}) {
        SCOPED_TRACE(file);
        Started run(Program(),
                    "-a 127.0.0.1 --inputs se -c 16-31 -r 15625 -t 30 -q -o " + File(file) + " --force",
                    store.dir().path(), "stopped");
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        run.Signal(signal);
        EXPECT_EQ(run.Wait(), 128 + signal) << run.Err();
        const std::string out = run.Out();
        EXPECT_NE(out.find("stopped by a signal before the end"), std::string::npos) << out;
        const Recorded r =
            std::string(file).ends_with(".h5") ? ReadHdf5(File(file), false) : ReadCsv(File(file));
        ASSERT_EQ(r.problem, "") << "signal " << signal;
        EXPECT_GT(r.rows, 0u);
        EXPECT_EQ(static_cast<long>(r.rows), SummaryKadrs(out)) << out;
        EXPECT_EQ(SimulatedFault(r), "") << "signal " << signal;
    }
}

// A file system that fills: the system's reason, exit status 1, and a file
// of whole kadrs, as many as the summary says. The file system is a small
// tmpfs in a mount namespace of the run's own.
TEST_F(E16recRun, AFullDiskEndsWithItsReasonKeepingWholeKadrs) {
    const fs::path disk = store.dir().path() / "disk";
    fs::create_directory(disk);
    std::string unshare = ::geteuid() == 0 ? "unshare --mount" : "unshare --user --map-root-user --mount";
    if (std::system(
            (unshare + " sh -c 'mount -t tmpfs -o size=64k tmpfs " + disk.string() + "' >/dev/null 2>&1")
                .c_str()) != 0)
        GTEST_SKIP() << "no mount namespace with a tmpfs of its own can be made here";
    // Sizes that fill at different places of an HDF5 file's layout.
    for (const auto& [file, size] :
         {std::pair{"full.h5", "256k"}, {"full.h5", "384k"}, {"full.csv", "256k"}}) {
        const std::string inside = (disk / file).string();
        const velmora::test::Ran r = velmora::test::RunCommand(
            "env -u DISPLAY -u WAYLAND_DISPLAY " + unshare + " sh -c 'mount -t tmpfs -o size=" + size +
                " tmpfs " + disk.string() + " && " + Program() +
                " -a 127.0.0.1 --inputs se -c 0-31 -r 15625 -t 10 -q -o " + inside + "; status=$?; cp " +
                inside + " " + File(file) + "; exit $status' </dev/null",
            store.dir().path());
        EXPECT_EQ(r.exit, 1) << file << ": " << r.err;
        EXPECT_EQ(r.err, "e16rec: cannot write " + inside + ": No space left on device\n") << file;
        const Recorded kept =
            std::string(file).ends_with(".h5") ? ReadHdf5(File(file), false) : ReadCsv(File(file));
        ASSERT_EQ(kept.problem, "") << file;
        EXPECT_GT(kept.rows, 0u) << file;
        EXPECT_EQ(static_cast<long>(kept.rows), SummaryKadrs(r.out)) << file << ": " << r.out;
        EXPECT_EQ(SimulatedFault(kept), "") << file;
    }
}

// Seven seconds split every two: four files, each with the recording's
// description and its first kadr's index, whose kadrs join without a gap
// or a repeat.
TEST_F(E16recRun, SplitFilesJoinKadrForKadr) {
    const velmora::test::Ran r =
        E16rec("--inputs se -c 16-31 -r 15625 -t 7 --split 2 -q -o " + File("long.h5"));
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(
        r.out.find("written to " + File("long-0001.h5") + " ... " + File("long-0004.h5") + " (4 files)"),
        std::string::npos)
        << r.out;
    EXPECT_FALSE(fs::exists(File("long.h5")));
    EXPECT_FALSE(fs::exists(File("long-0005.h5")));
    int64_t next = 0;
    std::string start;
    int lastStep = -1;
    for (const char* file : {"long-0001.h5", "long-0002.h5", "long-0003.h5", "long-0004.h5"}) {
        const Recorded part = ReadHdf5(File(file), false);
        ASSERT_EQ(part.problem, "") << file;
        EXPECT_EQ(part.firstKadr, next) << file;
        EXPECT_EQ(part.rows, next < 93750 ? 31250u : 15625u) << file;
        EXPECT_EQ(SimulatedFault(part), "") << file;
        if (start.empty()) start = part.startTime;
        EXPECT_EQ(part.startTime, start) << file << ": the recording's start in every file";
        if (lastStep >= 0 && part.rows > 0) {
            EXPECT_EQ(velmora::test::RampStep(part, 0), (lastStep + 1) % 1000)
                << file << " joins the one before";
        }
        if (part.rows > 0) lastStep = velmora::test::RampStep(part, part.rows - 1);
        next += static_cast<int64_t>(part.rows);
    }
    EXPECT_EQ(next, 109375) << "seven seconds at 15625 kadrs/s";
}

} // namespace
