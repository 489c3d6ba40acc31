// Runs the comrt-reg tool built next to this test against a private store.
#include <filesystem>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "comrt_reg.h"
#include "settings/cregistry.h"
#include "test_support.h"

namespace velmora::settings {
namespace {

class ComrtRegTest : public ::testing::Test {
protected:
    // Arguments are quoted for the shell; none of them holds a quote.
    test::Ran Run(const std::vector<std::string>& args) {
        std::string command =
            (std::filesystem::canonical("/proc/self/exe").parent_path() / "comrt-reg").string();
        for (const auto& arg : args) command += " '" + arg + "'";
        return test::RunCommand(command, store.dir().path());
    }

    // Adds a value of each type under HKCU\Software\Tool.
    void AddEachType() {
        for (const std::vector<std::string>& add :
             {std::vector<std::string>{"-v", "Dir", "-d", "C:\\dir"},
              {"-v", "Count", "-t", "REG_DWORD", "-d", "0x0A"},
              {"-v", "All", "-t", "reg_dword", "-d", "4294967295", "-f"},
              {"-v", "Blob", "-t", "REG_BINARY", "-d", "0aFF05"}}) {
            std::vector<std::string> args{"add", "HKCU\\Software\\Tool"};
            args.insert(args.end(), add.begin(), add.end());
            const test::Ran r = Run(args);
            EXPECT_EQ(r.exit, 0) << ::testing::PrintToString(add) << ": " << r.err;
            EXPECT_EQ(r.out, "The operation completed successfully.\n") << ::testing::PrintToString(add);
        }
    }

    test::PrivateStore store;
    cRegistry reg;
};

TEST_F(ComrtRegTest, AddedValuesOfEachTypeQueryBack) {
    AddEachType();
    test::Ran r = Run({"query", "HKCU\\Software\\Tool"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Tool\n"
                     "    Dir    REG_SZ    C:\\dir\n"
                     "    Count    REG_DWORD    0xa (10)\n"
                     "    All    REG_DWORD    0xffffffff (4294967295)\n"
                     "    Blob    REG_BINARY    0AFF05\n\n");
}

TEST_F(ComrtRegTest, ExportGivesTheStoresOwnText) {
    AddEachType();
    EXPECT_EQ(Run({"export", "HKCU\\Software\\Tool"}).out,
              reg.ExportKey(HKEY_CURRENT_USER, "Software\\Tool", true));
}

TEST_F(ComrtRegTest, DeleteRemovesAValue) {
    AddEachType();
    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool", "-v", "Dir"}).exit, 0) << "deleting a value";
    const test::Ran r = Run({"query", "HKCU\\Software\\Tool", "-v", "Dir"});
    EXPECT_EQ(r.exit, 1) << "querying a deleted value";
    EXPECT_EQ(r.err, "comrt-reg: no value Dir in HKEY_CURRENT_USER\\Software\\Tool\n");
}

TEST_F(ComrtRegTest, DeleteRemovesTheKey) {
    AddEachType();
    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool"}).exit, 0) << "deleting the key";
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tool")) << "the key was left";
    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool"}).err,
              "comrt-reg: no key HKEY_CURRENT_USER\\Software\\Tool\n");
}

// The values the driver keeps in another type's clothes show as its numbers.
TEST_F(ComrtRegTest, QueryShowsTheDriversFloatingPointValuesAsNumbers) {
    ASSERT_TRUE(reg.CreateKey(HKEY_CURRENT_USER, "Software\\E16"));
    ASSERT_TRUE(reg.SetSingleAt(HKEY_CURRENT_USER, "Software\\E16", "Rate", 15625.0f));
    ASSERT_TRUE(reg.SetDoubleAt(HKEY_CURRENT_USER, "Software\\E16", "DACChPhase2", 0.25));
    ASSERT_TRUE(reg.SetLongAt(HKEY_CURRENT_USER, "Software\\E16", "Ratex", 7));
    EXPECT_EQ(Run({"query", "HKCU\\Software\\E16"}).out,
              "\nHKEY_CURRENT_USER\\Software\\E16\n"
              "    Rate    REG_DWORD    0x46742400 (1182016512; Single 15625)\n"
              "    DACChPhase2    REG_BINARY    000000000000D03F (Double 0.25)\n"
              "    Ratex    REG_DWORD    0x7 (7)\n\n");
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
        {{"add", "HKCU\\Software\\Tool", "-t", "REG_QWORD", "-d", "1"},
         "unknown type REG_QWORD (REG_SZ, REG_DWORD or REG_BINARY)" + help},
        {{"add", "HKCU\\Software\\Tool", "-v", "N", "-t", "REG_DWORD"},
         "add of a value needs -d DATA" + help},
        {{"add", "HKCU\\Software\\Tool", "-t", "REG_DWORD", "-d", "-5"},
         "REG_DWORD data must be 0 to 4294967295 (or 0x0 to 0xFFFFFFFF), not -5\n"},
        {{"add", "HKCU\\Software\\Tool", "-t", "REG_DWORD", "-d", "0x1FFFFFFFF"},
         "REG_DWORD data must be 0 to 4294967295 (or 0x0 to 0xFFFFFFFF), not 0x1FFFFFFFF\n"},
        {{"add", "HKCU\\Software\\Tool", "-t", "REG_BINARY", "-d", "abc"},
         "REG_BINARY data must be hex digits, two per byte, not abc\n"},
        {{"export", "HKCU\\Software\\Tool", "a", "b"}, "export takes one FILE, not b" + help},
        {{"delete", "HKCU"}, "a root key cannot be deleted: HKCU\n"},
    };
    for (const auto& [args, why] : bad) {
        const test::Ran r = Run(args);
        EXPECT_EQ(r.exit, 1) << ::testing::PrintToString(args);
        EXPECT_EQ(r.err, "comrt-reg: " + why) << ::testing::PrintToString(args);
    }
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tool")) << "a refused add created the key";
}

} // namespace
} // namespace velmora::settings
