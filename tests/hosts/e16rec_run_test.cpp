// e16rec run as a user runs it, against the simulated module in a private
// store: what it writes, what it says and how it ends; which module it opens,
// from a driver folder of the test's own with its own remembered addresses;
// the files it leaves when killed, stopped by a signal, on a full disk or
// deleted, and split in many.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recorded_files.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace testing;
using namespace velmora::test;

// A program started in the background with no display and no terminal, its
// output in files of `folder`. The shell and env exec it, so a signal
// reaches the program itself.
class Started {
public:
    Started(const std::string& program, const std::string& args, const fs::path& folder,
            const std::string& name)
        : args_(args), out_(folder / (name + ".out")), err_(folder / (name + ".err")) {
        const std::string command = "exec env -u DISPLAY -u WAYLAND_DISPLAY " + program + " " + args +
                                    " </dev/null >'" + out_.string() + "' 2>'" + err_.string() + "'";
        const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
        if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            pid_ = -1;
    }
    ~Started() {
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;

    void Signal(int signal) const { ::kill(pid_, signal); }
    // Once it ended: what it said, and its exit status (128 + the signal
    // that ended it), which should be `exit`.
    Ran Ended(int exit) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        pid_ = -1;
        const Ran ran{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Slurp(out_), Err()};
        EXPECT_EQ(ran.exit, exit) << args_ << "\n" << ran.err;
        return ran;
    }
    std::string Err() const { return Slurp(err_); }

private:
    std::string args_;
    fs::path out_, err_;
    pid_t pid_ = -1;
};

class E16recRun : public Test {
protected:
    // The build's e16rec, or the one E16REC names (an installed tree).
    static std::string Program() {
        const char* installed = std::getenv("E16REC");
        return installed != nullptr ? installed : "./e16rec";
    }

    // Arguments hold no quote. The build's program is given 127.0.0.1
    // unless the arguments name an address, so what the build's driver
    // folder remembers changes nothing; OwnDriverFolder's program asks its
    // own chooser.
    // `before` goes before the program: a command that runs it.
    std::unique_ptr<Started> Start(const std::string& args, const std::string& name = "run",
                                   const std::string& before = "") {
        // A stream's recorder opens no module.
        const bool named = args.find("-address") != std::string::npos || args.starts_with("-a ") ||
                           args.starts_with("--source ");
        const std::string address = own.empty() && !named ? "--address 127.0.0.1 " : "";
        return std::make_unique<Started>(before + (own.empty() ? Program() : own), address + args,
                                         store.dir().path(), name);
    }
    // Run to its end, which should be `exit`; with a `signal`, that signal
    // reaches it `after` its start.
    Ran E16rec(const std::string& args, int exit = 0, int signal = 0, std::chrono::milliseconds after = {}) {
        const auto run = Start(args);
        if (signal != 0) {
            std::this_thread::sleep_for(after);
            run->Signal(signal);
        }
        return run->Ended(exit);
    }
    std::string File(const std::string& name) const { return (store.dir().path() / name).string(); }

    // An installed tree of the test's own: bin/e16rec a link to the program,
    // lib/velmora/ copies of its driver and simulator (a link would be
    // resolved to the build's folder) with `addresses` as the remembered
    // list, in the test's folder `tree`. Runs after it are of this program.
    void OwnDriverFolder(const std::string& addresses, const std::string& tree = "tree") {
        const fs::path program = fs::absolute(Program()), root = store.dir().path() / tree;
        fs::path drivers = program.parent_path();
        if (!fs::exists(drivers / "Lintara.adc")) drivers = drivers / ".." / "lib" / "velmora";
        const fs::path lib = root / "lib" / "velmora";
        fs::create_directories(root / "bin");
        fs::create_directories(lib);
        fs::create_symlink(program, root / "bin" / "e16rec");
        for (const char* file : {"Lintara.adc", "libe16sim.so"}) fs::copy_file(drivers / file, lib / file);
        list = lib / "iplist.txt";
        std::ofstream(list, std::ios::binary) << addresses;
        own = (root / "bin" / "e16rec").string();
    }

    PrivateStore store;
    std::string own; // OwnDriverFolder's program
    fs::path list;   // the remembered addresses of its driver
};

long Rows(const std::string& text) {
    return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
}

// Seconds since 1970 of "YYYY-MM-DDTHH:MM:SS.mmmZ" (its form is the host
// kit's test); -1 for no time.
double IsoSeconds(const std::string& text) {
    std::tm utc{};
    const char* rest = ::strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &utc);
    return rest == nullptr ? -1 : static_cast<double>(::timegm(&utc)) + std::atof(rest);
}

// The number that follows `label` in `out` (by default the summary's
// kadrs recorded); -1 when there is no such text.
long Figure(const std::string& out, const std::string& label = "\nrecorded ") {
    const auto at = out.find(label);
    return at == std::string::npos ? -1 : std::atol(out.c_str() + at + label.size());
}

// The channel table reaches the module's own key too, so an earlier
// differential run does not turn the next single-ended one into XY and
// "Calibration 0" columns. The summary gives each channel's volts (Y4 is
// at -1 V).
TEST_F(E16recRun, InputsAfterAnEarlierRunRecordEveryKadr) {
    E16rec("--inputs diff -c 0-31 -t 0.1 -q -o -");
    const Ran r = E16rec("--inputs se -c 0-31 -r 15625 -t 0.5 -q -o " + File("se.csv"));
    EXPECT_THAT(r.out, AllOf(StartsWith("module: SIM0001 (E16 rev. A), simulated module ("),
                             HasSubstr(", address 127.0.0.1\n"), HasSubstr("recorded 7813 of 7813 kadrs"),
                             HasSubstr("\nY4                  -1.0000      -1.0000      -1.0000\n"),
                             HasSubstr("Y16 ramp of the simulated module: 0 lost kadrs, 0 repeated kadrs")));
    EXPECT_EQ(Split(Slurp(File("se.csv")), '\n').at(1),
              "time,X1,X2,X3,X4,X5,X6,X7,X8,X9,X10,X11,X12,X13,X14,X15,X16,"
              "Y1,Y2,Y3,Y4,Y5,Y6,Y7,Y8,Y9,Y10,Y11,Y12,Y13,Y14,Y15,Y16");
}

// The length is the data's, not the wall clock's (counted from the options
// and written whole: their tests): a rate the driver changes is said.
TEST_F(E16recRun, RecordsExactlyTheKadrsAskedFor) {
    Ran r = E16rec("--inputs se -r 1000 --time=1 -q -o -");
    EXPECT_THAT(r.out, HasSubstr("\nX1                  -0.5000       0.0000       0.5000\n"))
        << "a sine of 0.5 V, whose mean rounds to 0 from below";
    r = E16rec("-c 0-31 -r 20000 -n 300 -q -o -");
    EXPECT_THAT(r.out, HasSubstr("adjusted rate: 20000 kadrs/s asked, 15625 kadrs/s set by the driver"));
    // Data on standard output leave it to them alone; written into, it needs no --force.
    r = E16rec("-c 0 -n 3 -o /dev/stdout");
    EXPECT_EQ(Rows(r.out), 2 + 3) << r.out;
    EXPECT_THAT(r.err, AllOf(StartsWith("module: SIM0001"), HasSubstr("\nrecorded 3 of 3 kadrs")));
}

// --format picks the writer whatever the name, and the file says how to
// scale the codes of the range asked for and the module's own rate, not
// its float (the kadr count is the writer's test). Y16's ramp, clipped on
// that range, is said to clip and not checked for loss; the summary's volts
// are to a code of ±2.5 V, 5 decimals. It says when its first kadr came.
TEST_F(E16recRun, Hdf5DescribesTheKadrsAsRecorded) {
    const double before = static_cast<double>(std::time(nullptr));
    const Ran r =
        E16rec("--inputs se -c 0-2,29-31 -R 1 -r 83333.3 -n 50 -q --format hdf5 -o " + File("run.dat"));
    const double after = static_cast<double>(std::time(nullptr)) + 1;
    EXPECT_THAT(r.out, AllOf(HasSubstr("\nclipped at the range's end: Y16\n"
                                       "Y16 ramp check skipped: Y16 is not on the \u00B110 V range\n"),
                             Not(HasSubstr("lost kadrs")),
                             ContainsRegex("\nY16 +-2\\.56000 +-2\\.56000 +-2\\.56000\n")));
    const Recorded file = ReadHdf5(File("run.dat"), false);
    ASSERT_EQ(file.problem, "");
    EXPECT_EQ(file.codesPerVolt, std::vector<float>(6, 12800.0f)) << "codes per volt on the 2.5 V range";
    EXPECT_EQ(file.rate, 500000.0 / 6) << "the module's rate, not its float 83333.336";
    EXPECT_THAT(IsoSeconds(file.startTime), AllOf(Ge(before), Le(after))) << file.startTime;
}

// A publisher given no length records until a signal, its normal end: exit
// status 0, and the summary counts what it recorded and published.
TEST_F(E16recRun, APublisherWithoutALengthRunsUntilASignal) {
    const Ran r = E16rec("-c 0-3 -q -o - --publish ipc://" + File("pub"), 0, SIGINT, 1500ms);
    const long recorded = Figure(r.out);
    EXPECT_GT(recorded, 0) << r.out;
    EXPECT_THAT(r.out, AllOf(StartsWith("publishing on ipc://" + File("pub") + "\n"),
                             HasSubstr("\nrecorded " + std::to_string(recorded) +
                                       " kadrs ("), // no length to count against
                             HasSubstr(" kadrs not sent\nstopped by a signal\n")));
}

// Each refusal is one line on standard error and a nonzero exit (help is
// none), before a module is opened; a file that exists stays as it was.
TEST_F(E16recRun, RefusalsSayWhyInOneLine) {
    const std::string endpoint = " is not a ZeroMQ endpoint: tcp://HOST:PORT, tcp://*:PORT or ipc://PATH";
    // The arguments, the exit status and the line after "e16rec: ".
    const std::tuple<std::string, int, std::string> cases[] = {
        {"--rate=abc", 2, "--rate: 'abc' is not kadrs per second from 0.001 to 500000"},
        {"-r 1e-9", 2, "--rate: '1e-9' is not kadrs per second from 0.001 to 500000"},
        {"-c 0-31,0-31,0-31,0-31,0-31,0-31,0-31,0-31,0", 2,
         "--channels: '0-31,0-31,0-31,0-31,0-31,0-31,0-31,0-31,0' is not a list of at most 256 channels "
         "0..31 such as 0-3,31"},
        {"--address 0.0.0.0", 2, "--address: '0.0.0.0' is not an IPv4 address such as 127.0.0.1"},
        {"-t0", 2, "--time: '0' is not seconds above 0, at most 604800"},
        {"--buffer 0.5", 2, "--buffer: '0.5' is not seconds from 1 to 3600"},
        {"--split=0", 2, "--split: '0' is not seconds from 1 to 604800"},
        {"-a 127.0.0.1 --address 10.0.0", 2, "--address: '10.0.0' is not an IPv4 address such as 127.0.0.1"},
        {"-a 127.0.0.9 -t 0.1", 1,
         "no module at 127.0.0.9: Error -6: Connection refused: no module answers at this address."},
        {"-R -1", 2, "--range: '-1' is not a range number from 0"},
        {"-R 4", 2,
         "the driver has no range 4; its ranges are 0 (\u00B110 V), 1 (\u00B12.5 V), 2 (\u00B10.625 V), "
         "3 (\u00B10.156 V)"},
        {"-t", 2, "--time needs seconds above 0, at most 604800"},
        {"-n 100 -t 1", 2, "--time and --kadrs both give the length; give one of them"},
        {"--inputs both", 2, "--inputs: 'both' is not se or diff"},
        {"-o -q -n 5", 2, // the file's name forgotten
         "--output: '-q' is not a file name, or - for none (./-name for a name beginning with -)"},
        {"--publish udp://127.0.0.1:5556", 2, "--publish: 'udp://127.0.0.1:5556'" + endpoint},
        {"--publish tcp://127.0.0.1:65536", 2, "--publish: 'tcp://127.0.0.1:65536'" + endpoint},
        {"--source tcp://*:5556", 2,
         "--source: 'tcp://*:5556' is not a ZeroMQ endpoint: tcp://HOST:PORT or ipc://PATH"},
        {"--source ipc:///nowhere -c 0-3", 2,
         "--source takes its module, channels and rate from the stream; --channels does not go with it"},
        {"--source ipc:///nowhere --publish ipc:///again", 2,
         "--source records a stream, which it does not publish again; --publish does not go with it"},
        {"--bogus", 2, "unknown option --bogus (e16rec --help lists them)"},
        {"-qx -t 1", 2, "unknown option -x (e16rec --help lists them)"}, // a letter in a run
        {"-xq", 2, "unknown option -xq (e16rec --help lists them)"},
        {"-qh", 0, ""},
        {"--setup -t 3 -o x.csv", 2, "--setup records nothing; --time does not go with it"},
        {"--choose-address --setup", 2, "--setup records nothing; --choose-address does not go with it"},
        {"--help", 0, ""},
        {"--version", 0, ""},
        {"-t 0.1 -o " + File("old.csv"), 1, File("old.csv") + " exists; --force replaces it"},
        {"-t 0.1 --split 1 -o " + File("old.csv"), 1, File("old-0003.csv") + " exists; --force replaces it"},
        {"-t 0.1 --force -o " + File("read.h5"), 1, File("read.h5") + " is open in another program"},
        {"-t 0.1 --force -o " + File("written.h5"), 1,
         File("written.h5") + " is being written by another recording"},
        {"-t 0.1 -o " + File(""), 1, File("") + " is a folder; -o names a file"},
        {"-t 0.1 -f hdf5 --force -o " + File("pipe"), 1,
         File("pipe") + " is a pipe, not a regular file: only CSV is written to it"},
        {"-t 0.1 --split 1 -o " + File("pipe"), 1,
         File("pipe") + " is no regular file: --split writes files named after it"},
        {"-t 0.1 -o /nonexistent/run.csv", 1,
         "cannot create /nonexistent/run.csv: No such file or directory"},
        {"-t 0.1 --split 1 -o " + File("old.csv/run.h5"), 1,
         "cannot create " + File("old.csv/run.h5") + ": Not a directory"},
        {"--setup", 1,
         "--setup needs a display for the setup dialog; neither DISPLAY nor WAYLAND_DISPLAY is set"},
    };
    // A file a split recording would come to only later, and one h5py holds as it reads it.
    for (const char* name : {"old.csv", "old-0003.csv", "read.h5"}) std::ofstream(File(name)) << "precious";
    ASSERT_EQ(::mkfifo(File("pipe").c_str(), 0600), 0);
    const int reader = ::open(File("read.h5").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(reader, LOCK_SH), 0);
    // As another e16rec holds the file it writes.
    const int writer = ::open(File("written.h5").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    ASSERT_EQ(::fcntl(writer, F_OFD_SETLK, &whole), 0);
    for (const auto& [args, exit, err] : cases) {
        const Ran r = E16rec(args, exit);
        EXPECT_EQ(r.err, err.empty() ? "" : "e16rec: " + err + "\n") << args;
        EXPECT_THAT(r.out, Not(HasSubstr("module: SIM"))) << args << ": refused before a module opened";
    }
    EXPECT_THAT(E16rec("--version").out, MatchesRegex("e16rec [0-9]+\\.[0-9]+\\.[0-9]+\n"));
    ::close(reader);
    ::close(writer);
    // A display set empty is none; one that is gone shows no dialog, which
    // the driver says once, naming it.
    for (const auto& [display, opened] : {std::pair{"DISPLAY=", false}, std::pair{"DISPLAY=:9999", true}}) {
        const Ran r =
            Start("--setup", "setup", std::string("env -u QT_QPA_PLATFORM ") + display + " ")->Ended(1);
        EXPECT_THAT(r.err,
                    opened ? Matcher<std::string>("Lintara: dialogs on the console: no display can be opened "
                                                  "(DISPLAY=\":9999\", WAYLAND_DISPLAY=\"\")\n"
                                                  "Lintara: the setup dialog is not shown.\n")
                           : EndsWith("neither DISPLAY nor WAYLAND_DISPLAY is set\n"));
        EXPECT_EQ(r.out.starts_with("module: SIM0001"), opened) << display;
    }
    for (const char* name : {"old.csv", "old-0003.csv"}) EXPECT_EQ(Slurp(File(name)), "precious") << name;
    EXPECT_TRUE(fs::is_fifo(File("pipe")));
    // A store that is no database is named, with why, not as a number.
    const fs::path db = store.dir().path() / "velmora" / "registry.db";
    fs::remove_all(db.parent_path()); // its log too, which would hold the pages
    fs::create_directories(db.parent_path());
    std::ofstream(db) << "not a database, nor empty";
    const std::string aside = "; move " + db.parent_path().string() +
                              " aside to start a new store (every setting back at its default)\n";
    EXPECT_THAT(E16rec("-t 0.1 -o -", 1).err,
                AllOf(StartsWith("e16rec: cannot register "),
                      EndsWith(".adc in the registry store " + db.string() +
                               ": The registry is corrupted (0x800703F7)" + aside)));
    EXPECT_EQ(E16rec("--inputs se -t 0.1 -o -", 1).err, "e16rec: cannot store the channel table in " +
                                                            db.string() + ": The registry is corrupted" +
                                                            aside);
}

// Without --address the driver's chooser answers from the driver's own list,
// on the console: its first address, for the chooser alone and a recording
// alike.
TEST_F(E16recRun, WithoutAnAddressTheChooserTakesTheDriversFirst) {
    OwnDriverFolder("127.0.0.2\r\n127.0.0.1\r\n");
    const Ran chosen = E16rec("--choose-address");
    EXPECT_EQ(chosen.out, "127.0.0.2\n");
    EXPECT_THAT(chosen.err, HasSubstr("not a terminal")) << "taken without a word";
    EXPECT_THAT(E16rec("-n 200 -q -o -").out, HasSubstr("module: SIM0002 "));
    EXPECT_EQ(Slurp(list), "127.0.0.2\r\n127.0.0.1\r\n");
    OwnDriverFolder("127.0.0.9\r\n", "nobody"); // an address no module answers at: how to give another
    EXPECT_THAT(E16rec("-n 200 -q -o -", 1).err,
                EndsWith("\ne16rec: no module at 127.0.0.9: Error -6: Connection refused: no module "
                         "answers at this address. (--address gives it, --choose-address edits "
                         "the remembered list)\n"));
}

// The store keeps Latin-1 text: a driver in a folder with other characters
// cannot be registered, which is said rather than left to a bare class error.
TEST_F(E16recRun, ADriverFolderOutsideLatin1IsSaid) {
    OwnDriverFolder("127.0.0.1\r\n", "\u041f\u0440\u0438\u0431\u043e\u0440");
    EXPECT_THAT(E16rec("-n 10 -q -o -", 1).err,
                AllOf(StartsWith("e16rec: cannot register "),
                      EndsWith("(its folder's path has characters outside Latin-1)\n")));
}

// Two runs at once, one per module, many times over: neither ever records
// the other's module, for nothing of the choice is shared between them, and
// --address opens its module though the list remembers only another, the
// list staying as it was, byte for byte. Asking nothing, they try no
// display, though DISPLAY names one that is gone.
TEST_F(E16recRun, RunsAtOnceEachRecordTheModuleTheyName) {
    OwnDriverFolder("127.0.0.2\r\n");
    for (int round = 0; round < 50 && !HasFailure(); ++round) {
        SCOPED_TRACE(Message() << "round " << round);
        // Module k's run, both started before either is waited for.
        std::map<std::string, std::unique_ptr<Started>> runs;
        for (const std::string k : {"1", "2"})
            runs[k] = Start("-a 127.0.0." + k + " -n 200 -r 10000 -q --force -o " + File("m" + k + ".csv"),
                            "m" + k, "env DISPLAY=:9999 ");
        for (const std::string k : {"1", "2"}) {
            const Ran r = runs[k]->Ended(0);
            EXPECT_EQ(r.err, "") << "nothing to warn about, nor a display to open";
            EXPECT_THAT(r.out, StartsWith("module: SIM000" + k + " "));
            EXPECT_THAT(Slurp(File("m" + k + ".csv")),
                        StartsWith("# serial SIM000" + k + ", address 127.0.0." + k + ", start_time "));
        }
    }
    EXPECT_EQ(Slurp(list), "127.0.0.2\r\n");
}

// Killed outright (no signal to catch) three seconds in, once into HDF5,
// once into a slow CSV file and a stream: each file opens as it is, holds
// every kadr but those of the last second, and nothing that is not a real
// kadr (a file read while written is the writer's test). The stream's
// recorder ends after its silence, its file whole, naming the module that
// came instead.
TEST_F(E16recRun, AKilledRecordingLeavesAFileOfAllButTheLastSecond) {
    const std::string stream = "ipc://" + File("killed.ipc");
    const auto copy = Start("--source " + stream + " -q -o " + File("copy.h5"), "copy");
    std::this_thread::sleep_for(500ms);
    // The arguments, the file and its rate.
    const std::tuple<std::string, std::string, double> cases[] = {
        {"-a 127.0.0.1 --inputs se -c 0-31 -r 15625", "killed.h5", 15625},
        {"-a 127.0.0.2 --inputs se -c 0-3,31 -r 1000 --publish " + stream, "killed.csv", 1000},
    };
    std::vector<std::unique_ptr<Started>> runs;
    for (const auto& [args, file, rate] : cases)
        runs.push_back(Start(args + " -t 60 -q -o " + File(file), file));
    std::this_thread::sleep_for(3s);
    const double killed =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    for (const auto& run : runs) run->Signal(SIGKILL);
    // Another module's recording on the stream (SIM0001) is passed over, and named.
    const auto other = Start(
        "-a 127.0.0.1 --inputs se -c 0 -r 1000 -t 3 -q --publish " + stream + " -o " + File("o.csv"), "o");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto& [args, file, rate] = cases[i];
        SCOPED_TRACE(file);
        runs[i]->Ended(128 + SIGKILL);
        const Recorded r = ReadRecorded(File(file), true);
        ASSERT_EQ(SimulatedFault(r), "");
        const double start = IsoSeconds(r.startTime);
        ASSERT_GT(start, 0) << r.startTime;
        EXPECT_GE(static_cast<double>(r.rows), (killed - start - 1.0) * rate)
            << "more than the last second missing";
    }
    other->Ended(0);
    EXPECT_EQ(copy->Ended(1).err,
              "e16rec: the recording ended early: no message from SIM0002 at " + stream +
                  " for 10 s; messages of other modules came (SIM0001); the stream's last "
                  "message never came, so kadrs may be missing at its end\n");
    const Recorded copied = ReadRecorded(File("copy.h5"), false);
    EXPECT_EQ(SimulatedFault(copied), "");
    EXPECT_GE(copied.rows, 1500u);
}

// Stopped (SIGSTOP, a suspended machine) and continued: a recorder stopped
// past the driver's receive time-out, whose module kept the kadrs, and the
// recorder of its stream stopped past the stream's silence of 10 s, whose
// messages waited in the queues (a slow rate: a second of them fits), both
// go on to the end with none lost.
TEST_F(E16recRun, AStoppedAndContinuedRecordingLosesNothing) {
    const std::string stream = "ipc://" + File("paused.ipc");
    const auto copy = Start("--source " + stream + " -q -o " + File("copy.h5"), "copy");
    std::this_thread::sleep_for(500ms);
    const auto run =
        Start("--inputs se -c 0-3,31 -r 20 -n 160 -q --publish " + stream + " -o " + File("paused.h5"));
    std::this_thread::sleep_for(1s);
    run->Signal(SIGSTOP);
    copy->Signal(SIGSTOP);
    std::this_thread::sleep_for(6s);
    run->Signal(SIGCONT);
    std::this_thread::sleep_for(5s);
    copy->Signal(SIGCONT);
    const Ran recorded = run->Ended(0), copied = copy->Ended(0);
    // The catch-up after the stop comes in a burst the stream must take too.
    EXPECT_THAT(recorded.out, AllOf(HasSubstr("recorded 160 of 160 kadrs"), HasSubstr("; 0 kadrs not sent")));
    EXPECT_THAT(copied.out, AllOf(HasSubstr("recorded 160 kadrs"), HasSubstr("stream: 0 gaps")));
    for (const char* file : {"paused.h5", "copy.h5"})
        EXPECT_EQ(SimulatedFault(ReadRecorded(File(file), false)), "") << file << "\n"
                                                                       << recorded.out << copied.out;
}

// Stopped by the user, a closed terminal or the system: every kadr received
// is in the file, whole rows of real kadrs, as many as the summary says, and
// the exit status is 128 + the signal; also while the start waits.
TEST_F(E16recRun, ASignalLeavesAWholeFileWithItsSummary) {
    for (const auto& [signal, file] :
         {std::pair{SIGINT, "stopped.csv"}, {SIGHUP, "stopped.h5"}, {SIGTERM, "stopped.h5"}}) {
        SCOPED_TRACE(Message() << file << ", signal " << signal);
        const Ran run =
            E16rec("-a 127.0.0.1 --inputs se -c 16-31 -r 15625 -t 30 -q -o " + File(file) + " --force",
                   128 + signal, signal, 1200ms);
        EXPECT_THAT(run.out, HasSubstr("stopped by a signal before the end"));
        const Recorded r = ReadRecorded(File(file), false);
        // Whole kadrs of the module, as many as the summary says.
        EXPECT_EQ(std::tuple(SimulatedFault(r), static_cast<long>(r.rows)), std::tuple("", Figure(run.out)))
            << run.out;
    }
    // Under nohup a closed terminal is no stop.
    const auto run = Start("-c 0-3 -r 1000 -t 1.5 -q -o -", "nohup", "nohup ");
    std::this_thread::sleep_for(500ms);
    run->Signal(SIGHUP);
    EXPECT_THAT(run->Ended(0).out, HasSubstr("recorded 1500 of 1500 kadrs"));
    // A start the setup dialog set to wait for TRIG is said to wait, once,
    // though quiet.
    const std::string trigger = (fs::path(Program()).parent_path() / "comrt-reg").string() +
                                " add 'HKCU\\Software\\Tervan\\ADC\\L-Card\\E16\\SIM0001' "
                                "-v SynchroStartMode -t REG_DWORD -d 1";
    ASSERT_EQ(RunCommand(trigger, store.dir().path()).exit, 0);
    const Ran waiting = E16rec("-t 1 -q -o " + File("waiting.csv"), 128 + SIGINT, SIGINT, 3000ms);
    EXPECT_EQ(waiting.err,
              "e16rec: no kadr after 2 s: still waiting for the first (a start trigger, set on the "
              "setup dialog's General page, waits as long as it takes)\n");
    EXPECT_THAT(waiting.out, AllOf(HasSubstr("recorded 0 of 1000 kadrs"), Not(HasSubstr("min, V"))));
}

// A file that stops taking data (here a pipe nobody reads; a hung disk is
// the same to e16rec) ends the recording with its reason: the system's when
// the reader goes, and a stop signal while e16rec waits for it leaves it.
// Either way e16rec ends at once, never killed by the pipe; nor does it
// hang on a pipe that nothing reads yet. A pipe is written into, not
// replaced, and needs no --force. Its stream ends with the recording,
// complete or with the file fallen behind, while it still waits for the file.
TEST_F(E16recRun, AFileThatTakesNothingEndsWithItsReason) {
    const std::string pipe = File("nobody.csv");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const bool readerGoes : {true, false}) {
        SCOPED_TRACE(readerGoes ? "the reader goes" : "a signal while waiting");
        const std::string stream = "ipc://" + File(readerGoes ? "goes.ipc" : "stays.ipc");
        const auto copy = Start("--source " + stream + " -q -o -", readerGoes ? "goes-copy" : "stays-copy");
        std::this_thread::sleep_for(500ms);
        const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        const auto run = Start("--inputs se -c 0-31 -r 15625 --publish " + stream +
                                   (readerGoes ? " -t 1 -o " : " -t 30 --buffer 1 -o ") + pipe,
                               readerGoes ? "goes" : "stays");
        const std::string waiting = "e16rec: waiting for " + pipe + " to take ";
        for (int i = 0; i < 100 && run->Err().find(waiting) == std::string::npos; ++i)
            std::this_thread::sleep_for(100ms);
        ASSERT_THAT(run->Err(), HasSubstr(waiting));
        if (readerGoes) {
            EXPECT_THAT(copy->Ended(0).out,
                        AllOf(HasSubstr("recorded 15625 kadrs"), HasSubstr("the publisher ended: complete")));
            ::close(reader);
        } else {
            EXPECT_THAT(copy->Ended(1).err, StartsWith("e16rec: the recording ended early: the publisher's "
                                                       "recording ended: failed: the file writer fell 1 s "
                                                       "behind: "));
            run->Signal(SIGTERM);
        }
        const auto signalled = std::chrono::steady_clock::now();
        const Ran ended = run->Ended(1);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, 5s);
        EXPECT_THAT(ended.err, HasSubstr(readerGoes ? "e16rec: cannot write " + pipe + ": Broken pipe\n"
                                                    : "; then " + pipe + " took nothing more: "));
        if (!readerGoes) {
            // The summary counts the rows the full pipe took, whole ones, and
            // the error those it did not.
            const long missing = Figure(ended.out, "\nnot written: up to ");
            ASSERT_GT(missing, 0) << ended.out;
            EXPECT_THAT(ended.err,
                        HasSubstr(" took nothing more: up to " + std::to_string(missing) + " kadrs did not"));
            std::string held(1 << 20, '\0');
            const ssize_t n = ::read(reader, held.data(), held.size());
            ASSERT_GT(n, 0);
            held.resize(static_cast<std::size_t>(n));
            EXPECT_EQ(held.back(), '\n') << "a cut row";
            EXPECT_EQ(Rows(held) - 2, Figure(ended.out, "\nrecorded at least "))
                << "the comment and the header aside";
            ::close(reader);
        }
    }
    // A pipe that no program reads yet is waited for, aloud, until a signal.
    const auto unread = Start("-t 1 -o " + pipe, "unread");
    for (int i = 0; i < 50 && unread->Err().empty(); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_EQ(unread->Err(), "e16rec: waiting for a program to read " + pipe + "\n");
    unread->Signal(SIGTERM);
    EXPECT_THAT(unread->Ended(128 + SIGTERM).err,
                HasSubstr("stopped by a signal while waiting for a program to read"));
}

// A file deleted while it is written ends the recording within a second,
// and the summary names no file as keeping its kadrs.
TEST_F(E16recRun, AFileDeletedWhileWrittenIsNotNamedAsKeepingTheKadrs) {
    const auto run = Start("-t 10 -q -o " + File("gone.csv"));
    std::this_thread::sleep_for(1s);
    fs::remove(File("gone.csv"));
    const Ran r = run->Ended(1);
    EXPECT_EQ(r.err, "e16rec: cannot write " + File("gone.csv") + ": it was deleted while it was written\n");
    EXPECT_THAT(r.out, AllOf(HasSubstr("\nrecorded "), Not(HasSubstr(File("gone.csv")))));
}

// A file system that fills: the system's reason, exit status 1, and a file
// of whole kadrs, as many as the summary says. The file system is a small
// tmpfs in a mount namespace of the run's own.
TEST_F(E16recRun, AFullDiskEndsWithItsReasonKeepingWholeKadrs) {
    const fs::path disk = store.dir().path() / "disk";
    fs::create_directory(disk);
    // `command` run on a tmpfs of `size` at `disk`.
    const auto onTmpfs = [&](const std::string& size, const std::string& command) {
        return RunCommand(
            "env -u DISPLAY -u WAYLAND_DISPLAY " +
                std::string(::geteuid() == 0 ? "unshare --mount" : "unshare --user --map-root-user --mount") +
                " sh -c 'mount -t tmpfs -o size=" + size + " tmpfs " + disk.string() + " && " + command +
                "' </dev/null",
            store.dir().path());
    };
    if (onTmpfs("64k", "true").exit != 0)
        GTEST_SKIP() << "no mount namespace with a tmpfs of its own can be made here";
    // Sizes that fill at different places of an HDF5 file's layout.
    for (const auto& [file, size] :
         {std::pair{"full.h5", "256k"}, {"full.h5", "384k"}, {"full.csv", "256k"}}) {
        SCOPED_TRACE(Message() << file << " on " << size);
        const std::string inside = (disk / file).string();
        const Ran r =
            onTmpfs(size, Program() + " -a 127.0.0.1 --inputs se -c 0-31 -r 15625 -t 10 -q -o " + inside +
                              "; status=$?; cp " + inside + " " + File(file) + "; exit $status");
        EXPECT_EQ(std::tuple(r.exit, r.err),
                  std::tuple(1, "e16rec: cannot write " + inside + ": No space left on device\n"));
        const Recorded kept = ReadRecorded(File(file), false);
        // Whole kadrs of the module, as many as the summary says.
        EXPECT_EQ(std::tuple(SimulatedFault(kept), static_cast<long>(kept.rows)),
                  std::tuple("", Figure(r.out)))
            << r.out;
        EXPECT_THAT(r.out, HasSubstr("\nkept in " + inside + "\n"));
    }
    // Full from the start: no HDF5 file is made, and no empty one is left.
    const std::string none = (disk / "none.h5").string();
    const Ran r =
        onTmpfs("64k", "cat /dev/zero >" + disk.string() + "/fill 2>/dev/null; " + Program() +
                           " -a 127.0.0.1 -t 1 -q -o " + none + "; status=$?; ls " + none + "; exit $status");
    EXPECT_EQ(r.exit, 1) << r.err;
    EXPECT_THAT(r.err, AllOf(HasSubstr("e16rec: cannot create " + none + ": No space left on device\n"),
                             HasSubstr("No such file")));
}

// Seven seconds split every two: four files, each with its first kadr's
// index, whose kadrs join without a gap or a repeat (each file's start time
// and description are the file series' test).
TEST_F(E16recRun, SplitFilesJoinKadrForKadr) {
    const Ran r = E16rec("--inputs se -c 16-31 -r 15625 -t 7 --split 2 -q -o " + File("long.h5"));
    EXPECT_THAT(r.out, HasSubstr("written to " + File("long-0001.h5") + " ... " + File("long-0004.h5") +
                                 " (4 files)"));
    EXPECT_FALSE(fs::exists(File("long.h5")));
    Recorded joined; // the files' kadrs one after the other
    for (const char* file : {"long-0001.h5", "long-0002.h5", "long-0003.h5", "long-0004.h5"}) {
        const Recorded part = ReadHdf5(File(file), false);
        ASSERT_EQ(part.problem, "") << file;
        EXPECT_EQ(part.firstKadr, static_cast<int64_t>(joined.rows)) << file;
        EXPECT_EQ(part.rows, joined.rows < 93750 ? 31250u : 15625u) << file;
        joined.names = part.names;
        joined.volts.insert(joined.volts.end(), part.volts.begin(), part.volts.end());
        joined.rows += part.rows;
    }
    EXPECT_EQ(SimulatedFault(joined), "") << "each file joins the one before";
    EXPECT_EQ(joined.rows, 109375u) << "seven seconds at 15625 kadrs/s";
}

} // namespace
