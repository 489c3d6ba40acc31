// e16rec run as a user runs it, against the simulated module in a private
// store: what it writes, what it says and how it ends; which module it opens,
// from a driver folder of the test's own with its own remembered addresses.
#include <hdf5.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
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

// The channel table reaches the module's own key too, so an earlier
// differential run does not turn the next single-ended one into XY and
// "Calibration 0" columns.
TEST_F(E16recRun, InputsTakeEffectAfterAnEarlierRunAndNothingIsLost) {
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
TEST_F(E16recRun, Hdf5HoldsTheKadrsAndTheirScale) {
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

// Stopped by the user: every kadr received is in the file, whole rows only,
// and the summary says how many.
TEST_F(E16recRun, AnInterruptLeavesACompleteFileAndTheSummary) {
    const velmora::test::Ran r = E16rec("-c 0-31 -r 15625 -t 20 -q -o " + File("cut.csv"), "0.8");
    EXPECT_EQ(r.exit, 128 + 2) << "ended by SIGINT: " << r.err;
    const std::string csv = Slurp(File("cut.csv"));
    ASSERT_FALSE(csv.empty());
    EXPECT_EQ(csv.back(), '\n');
    long recorded = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "%*[^\n]\nrecorded %ld of 312500 kadrs", &recorded), 1) << r.out;
    EXPECT_GT(recorded, 0);
    EXPECT_EQ(Rows(csv), 2 + recorded);
    EXPECT_NE(r.out.find("stopped by a signal before the end"), std::string::npos) << r.out;
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
        {"--rate=abc", 2, "e16rec: --rate: 'abc' is not kadrs per second above 0, at most 500000\n"},
        {"-t0", 2, "e16rec: --time: '0' is not seconds above 0, at most 86400\n"},
        {"-c 0-40", 2, "e16rec: --channels: '0-40' is not a list of channels 0..31 such as 0-3,31\n"},
        {"--address 10.0.0", 2, "e16rec: --address: '10.0.0' is not an IPv4 address such as 127.0.0.1\n"},
        {"-R 4", 2, "e16rec: --range: '4' is not a range 0..3\n"},
        {"-t", 2, "e16rec: --time needs seconds above 0, at most 86400\n"},
        {"--inputs both", 2, "e16rec: --inputs: 'both' is not se or diff\n"},
        {"--bogus", 2, "e16rec: unknown option --bogus (e16rec --help lists them)\n"},
        {"--help", 0, ""},
        {"-t 0.1 -o " + File("old.csv"), 1, "e16rec: " + File("old.csv") + " exists; --force replaces it\n"},
    };
    for (const auto& c : cases) {
        const velmora::test::Ran r = E16rec(c.args);
        EXPECT_EQ(r.exit, c.exit) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
    EXPECT_EQ(Slurp(File("old.csv")), "precious");
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
TEST_F(E16recRun, AnAddressGivenOpensThatModuleAndLeavesTheListAlone) {
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

} // namespace
