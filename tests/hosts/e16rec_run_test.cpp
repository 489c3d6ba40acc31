// e16rec run as a user runs it, against the simulated module in a private
// store: what it writes, what it says and how it ends.
#include <hdf5.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using velmora::test::Slurp;

class E16recRun : public ::testing::Test {
protected:
    // The build's e16rec, or the one E16REC names (an installed tree).
    static std::string Program() {
        const char* installed = std::getenv("E16REC");
        return installed != nullptr ? installed : "./e16rec";
    }

    // Arguments hold no quote. No display and no terminal: the driver's
    // chooser takes its preselected address, 127.0.0.1 in a fresh folder.
    // With `interruptAfter`, SIGINT reaches the program that long after its start.
    velmora::test::Ran E16rec(const std::string& args, const char* interruptAfter = nullptr) {
        std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY ";
        if (interruptAfter != nullptr)
            command += std::string("timeout --preserve-status -s INT ") + interruptAfter + " ";
        return velmora::test::RunCommand(command + Program() + " " + args + " </dev/null",
                                         store.dir().path());
    }
    std::string File(const char* name) const { return (store.dir().path() / name).string(); }

    velmora::test::PrivateStore store;
};

long Rows(const std::string& text) {
    return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
}

// The channel table reaches the module's own key too, so an earlier
// differential run does not turn the next single-ended one into XY and
// "Calibration 0" columns.
TEST_F(E16recRun, InputsTakeEffectAfterAnEarlierRunAndNothingIsLost) {
    ASSERT_EQ(E16rec("--inputs diff -c 0-31 -t 0.1 -q -o -").exit, 0);
    const velmora::test::Ran r = E16rec("--inputs se -c 0-31 -r 15625 -t 0.5 -q -o " + File("se.csv"));
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("module: simulated module"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("), address 127.0.0.1\n"), std::string::npos) << "the chooser's address: " << r.out;
    EXPECT_NE(r.out.find("recorded 7813 of 7813 kadrs"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Y16 ramp of the simulated module: 0 lost kadrs, 0 repeated kadrs"),
              std::string::npos)
        << r.out;
    const std::string csv = Slurp(File("se.csv"));
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "time,X1,X2,X3,X4,X5,X6,X7,X8,X9,X10,X11,X12,X13,X14,X15,X16,"
                                             "Y1,Y2,Y3,Y4,Y5,Y6,Y7,Y8,Y9,Y10,Y11,Y12,Y13,Y14,Y15,Y16");
    EXPECT_EQ(Rows(csv), 7814);
}

// The length is the data's, not the wall clock's: a rate the driver changes
// is said, and the kadr count follows the achieved rate.
TEST_F(E16recRun, RecordsExactlyTheKadrsAskedFor) {
    velmora::test::Ran r = E16rec("-r 1000 --time=1 -q -o " + File("a.csv"));
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::string a = Slurp(File("a.csv"));
    EXPECT_EQ(Rows(a), 1001);
    EXPECT_EQ(a.find("0.9990000,"), a.rfind('\n', a.size() - 2) + 1) << "the last row is at 0.999 s";
    r = E16rec("-c 0-31 -r 20000 -n 300 -q -o " + File("b.csv"));
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("adjusted rate: 20000 kadrs/s asked, 15625 kadrs/s set by the driver"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Rows(Slurp(File("b.csv"))), 301);
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
    EXPECT_EQ(Rows(csv), recorded + 1);
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
        {"--setup -a 127.0.0.1", 2,
         "e16rec: --setup asks for the address in the driver's chooser; leave out --address\n"},
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

} // namespace
