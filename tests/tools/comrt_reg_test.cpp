// Runs the comrt-reg tool built next to this test against a private store.
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "comrt_reg.h"
#include "settings/cregistry.h"
#include "store_connection.h"
#include "test_support.h"

namespace velmora::settings {
namespace {

// A run of the tool and what it prints; it exits with 1 when it complains.
struct Step {
    std::vector<std::string> args;
    std::string out, err;
    std::string stdoutTo = ""; // a redirection of the tool's standard output
};

const std::string kTool = "HKCU\\Software\\Tool", kDone = "The operation completed successfully.\n";
const Step kAddDir{{"add", kTool, "-v", "Dir", "-d", "C:\\dir"}, kDone, ""};

class ComrtRegTest : public ::testing::Test {
protected:
    // Runs the steps in turn, each on what the ones before it left. Arguments
    // are quoted for the shell; none of them holds a quote.
    void Expect(const std::vector<Step>& steps) {
        const auto tool = std::filesystem::canonical("/proc/self/exe").parent_path() / "comrt-reg";
        for (const Step& step : steps) {
            std::string command = "{ " + tool.string();
            for (const auto& arg : step.args) command += " '" + arg + "'";
            const test::Ran r = test::RunCommand(command + step.stdoutTo + "; }", store.dir().path());
            const std::string args = ::testing::PrintToString(step.args);
            EXPECT_EQ(r.exit, step.err.empty() ? 0 : 1) << args << ": " << r.err;
            EXPECT_EQ(r.out, step.out) << args;
            EXPECT_EQ(r.err, step.err) << args;
        }
    }

    test::PrivateStore store;
    cRegistry reg;
};

TEST_F(ComrtRegTest, ValuesOfEachTypeGoThroughEveryCommand) {
    const std::string queried = "\nHKEY_CURRENT_USER\\Software\\Tool\n"
                                "    Dir    REG_SZ    C:\\dir\n"
                                "    Count    REG_DWORD    0xa (10)\n"
                                "    All    REG_DWORD    0xffffffff (4294967295)\n"
                                "    Blob    REG_BINARY    0AFF05\n\n";
    Expect({
        kAddDir,
        {{"add", kTool, "-v", "Count", "-t", "REG_DWORD", "-d", "0x0A"}, kDone, ""},
        {{"add", kTool, "-v", "All", "-t", "reg_dword", "-d", "4294967295", "-f"}, kDone, ""},
        {{"add", kTool, "-v", "Blob", "-t", "REG_BINARY", "-d", "0aFF05"}, kDone, ""},
        {{"query", kTool}, queried, ""},
    });
    // Export gives the store's own text.
    Expect({
        {{"export", kTool}, reg.ExportKey(HKEY_CURRENT_USER, "Software\\Tool", true), ""},
        {{"export", kTool, "/nonexistent/tool.reg"},
         "",
         "comrt-reg: cannot write /nonexistent/tool.reg: No such file or directory\n"},
        {{"delete", kTool, "-v", "Dir"}, kDone, ""},
        {{"query", kTool, "-v", "Dir"}, "", "comrt-reg: no value Dir in HKEY_CURRENT_USER\\Software\\Tool\n"},
        {{"delete", kTool}, kDone, ""},
        {{"delete", kTool}, "", "comrt-reg: no key HKEY_CURRENT_USER\\Software\\Tool\n"},
    });
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tool")) << "the key was left";
}

// The values the driver keeps in another type's clothes show as its numbers
// too; the REG_DWORD's own, typed back, stores the same.
TEST_F(ComrtRegTest, QueryShowsTheDriversValuesAsItsNumbers) {
    reg.SetPath("Software\\E16");
    ASSERT_TRUE(reg.WriteSingle("Rate", 15625.0f) && reg.WriteDouble("DACChPhase2", 0.25) &&
                reg.WriteLong("Ratex", 7) && reg.WriteInteger("SynchroADPorog", -32768) &&
                reg.WriteInteger("DACChType1", 2));
    const std::string shown = "\nHKEY_CURRENT_USER\\Software\\E16\n"
                              "    Rate    REG_DWORD    0x46742400 (1182016512; Single 15625)\n"
                              "    DACChPhase2    REG_BINARY    000000000000D03F (Double 0.25)\n"
                              "    Ratex    REG_DWORD    0x7 (7)\n"
                              "    SynchroADPorog    REG_DWORD    0x8000 (32768; Integer -32768)\n"
                              "    DACChType1    REG_DWORD    0x2 (2)\n\n";
    Expect({{{"query", "HKCU\\Software\\E16"}, shown, ""},
            {{"add", "HKCU\\Software\\E16", "-v", "SynchroADPorog", "-t", "REG_DWORD", "-d", "32768"},
             kDone,
             ""},
            {{"query", "HKCU\\Software\\E16"}, shown, ""}});
    int16_t level = 0;
    EXPECT_TRUE(reg.GetIntegerAt(HKEY_CURRENT_USER, "Software\\E16", "SynchroADPorog", level));
    EXPECT_EQ(level, -32768);
}

// A branch goes only when the user says yes on the terminal, or with -f.
TEST_F(ComrtRegTest, DeletingABranchAsksFirst) {
    ASSERT_TRUE(reg.CreateKey(HKEY_CURRENT_USER, "Software\\Tree\\Leaf"));
    std::string asked;
    std::optional<bool> answer; // none: no terminal to ask on
    const auto remove = [&] {
        std::string args[] = {"comrt-reg", "delete", "HKCU\\Software\\Tree"};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data()};
        std::ostringstream out, err;
        const ComrtRegConfirm confirm = [&](const std::string& question) {
            asked = question;
            return *answer;
        };
        const int exit = RunComrtReg(3, argv, out, err, answer ? confirm : ComrtRegConfirm());
        return std::pair(exit, err.str());
    };
    EXPECT_EQ(remove(),
              std::pair(1, std::string("comrt-reg: HKEY_CURRENT_USER\\Software\\Tree has sub-keys; add "
                                       "-f to delete them with it\n")));
    answer = false;
    EXPECT_EQ(remove().first, 1);
    EXPECT_EQ(asked, "Delete HKEY_CURRENT_USER\\Software\\Tree and its 1 sub-key(s)? (y/N) ");
    EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tree\\Leaf")) << "deleted after a no";
    answer = true;
    EXPECT_EQ(remove().first, 0);
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tree"));
}

// A store file that cannot be read is named, with why, by every command:
// no key is missing, and the user's settings may well be in it.
// A store that is no database, or a folder where its file should be: every
// command names the file and the reason, never a missing key.
TEST_F(ComrtRegTest, AStoreThatCannotBeReadIsNamed) {
    const auto file = store.dir().path() / "velmora" / "registry.db";
    const std::pair<bool, const char*> stores[] = {{false, "The registry is corrupted"},
                                                   {true, "Access is denied"}};
    for (const auto& [folder, reason] : stores) {
        SCOPED_TRACE(reason);
        std::filesystem::remove_all(file);
        std::filesystem::create_directories(folder ? file : file.parent_path());
        if (!folder) std::ofstream(file) << "not a database, nor empty";
        const std::string why =
            "comrt-reg: the registry store " + file.string() + " cannot be used: " + reason + "\n";
        Expect({{{"query", kTool}, "", why},
                {{"add", kTool, "-v", "N", "-d", "1"}, "", why},
                {{"delete", kTool, "-f"}, "", why},
                {{"export", kTool}, "", why}});
    }
}

// Output that a full disk took is a failure, said.
TEST_F(ComrtRegTest, OutputThatCannotBeWrittenIsAFailure) {
    const std::string full = "comrt-reg: cannot write the standard output: No space left on device\n";
    Expect(
        {kAddDir, {{"query", kTool}, "", full, " >/dev/full"}, {{"export", kTool}, "", full, " >/dev/full"}});
}

// A value the store keeps locked is no missing value.
TEST_F(ComrtRegTest, AValueTheStoreKeepsIsNotSaidToBeMissing) {
    Expect({kAddDir});
    test::StoreConnection other;
    other.Lock(); // for the 5 s that the tool waits
    Expect({{{"delete", kTool, "-v", "Dir"},
             "",
             "comrt-reg: The process cannot access the file because another process has locked a portion of "
             "the file.\n"}});
}

// Every refusal says why in one line, and nothing is written.
TEST_F(ComrtRegTest, RefusalsGiveTheirReasonInOneLine) {
    const std::string help = "; comrt-reg --help shows the usage\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad{
        {{}, "missing command (query, add, delete or export)" + help},
        {{"list", "HKCU\\Software"}, "unknown command list (query, add, delete or export)" + help},
        {{"query"}, "query needs a KEY" + help},
        {{"query", "HKXX\\Software"},
         "invalid key name HKXX\\Software (it starts with HKCU, HKLM, ...)" + help},
        {{"query", "HKCU\\Software", "-v"}, "-v needs a value" + help},
        {{"query", "HKCU\\Software", "-f"}, "unknown option -f for query" + help},
        {{"add", kTool, "-t", "REG_QWORD", "-d", "1"},
         "unknown type REG_QWORD (REG_SZ, REG_DWORD or REG_BINARY)" + help},
        {{"add", kTool, "-v", "N", "-t", "REG_DWORD"}, "add of a value needs -d DATA" + help},
        {{"add", kTool, "-t", "REG_DWORD", "-d", "-5"},
         "REG_DWORD data must be 0 to 4294967295 (or 0x0 to 0xFFFFFFFF), not -5\n"},
        {{"add", kTool, "-t", "REG_DWORD", "-d", "0x1FFFFFFFF"},
         "REG_DWORD data must be 0 to 4294967295 (or 0x0 to 0xFFFFFFFF), not 0x1FFFFFFFF\n"},
        {{"add", kTool, "-t", "REG_BINARY", "-d", "abc"},
         "REG_BINARY data must be hex digits, two per byte, not abc\n"},
        {{"export", kTool, "a", "b"}, "export takes one FILE, not b" + help},
        {{"delete", "HKCU"}, "a root key cannot be deleted: HKCU\n"},
        // "?" in the store: another key, which the delete would take.
        {{"delete", "HKCU\\Software\\Ключ", "-f"},
         "the key name Software\\Ключ cannot be stored: the store keeps Latin-1 texts" + help},
        {{"add", kTool, "-v", "Имя", "-d", "1"},
         "the value name Имя cannot be stored: the store keeps Latin-1 texts" + help},
        {{"add", kTool, "-v", "N", "-d", "Привет"},
         "the data Привет cannot be stored: the store keeps Latin-1 texts" + help},
    };
    for (const auto& [args, why] : bad) Expect({{args, "", "comrt-reg: " + why}});
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tool")) << "a refused add created the key";
}

} // namespace
} // namespace velmora::settings
