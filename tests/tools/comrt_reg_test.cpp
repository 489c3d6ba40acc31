// Runs the comrt-reg tool built next to this test against a private store.
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "settings/cregistry.h"
#include "test_support.h"

namespace velmora::settings {
namespace {

struct Result {
    int exit = -1;
    std::string out, err;
};

class ComrtRegTest : public ::testing::Test {
protected:
    // Arguments are quoted for the shell; none of them holds a quote.
    Result Run(const std::vector<std::string>& args) {
        const auto dir = store.dir().path();
        std::string command =
            (std::filesystem::canonical("/proc/self/exe").parent_path() / "comrt-reg").string();
        for (const auto& arg : args) command += " '" + arg + "'";
        const int status = std::system(
            (command + " >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'").c_str());
        std::ostringstream out, err;
        out << std::ifstream(dir / "out").rdbuf();
        err << std::ifstream(dir / "err").rdbuf();
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out.str(), err.str()};
    }

    test::PrivateStore store;
    cRegistry reg;
};

TEST_F(ComrtRegTest, AddThenQueryExportAndDeleteEachType) {
    for (const std::vector<std::string>& add : {std::vector<std::string>{"-v", "Dir", "-d", "C:\\dir"},
                                                {"-v", "Count", "-t", "REG_DWORD", "-d", "0x0A"},
                                                {"-v", "All", "-t", "reg_dword", "-d", "4294967295", "-f"},
                                                {"-v", "Blob", "-t", "REG_BINARY", "-d", "0aFF05"}}) {
        std::vector<std::string> args{"add", "HKCU\\Software\\Tool"};
        args.insert(args.end(), add.begin(), add.end());
        const Result r = Run(args);
        EXPECT_EQ(r.exit, 0) << ::testing::PrintToString(add) << ": " << r.err;
        EXPECT_EQ(r.out, "The operation completed successfully.\n") << ::testing::PrintToString(add);
    }
    Result r = Run({"query", "HKCU\\Software\\Tool"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Tool\n"
                     "    Dir    REG_SZ    C:\\dir\n"
                     "    Count    REG_DWORD    0xa\n"
                     "    All    REG_DWORD    0xffffffff\n"
                     "    Blob    REG_BINARY    0AFF05\n\n");
    EXPECT_EQ(Run({"export", "HKCU\\Software\\Tool"}).out,
              reg.ExportKey(HKEY_CURRENT_USER, "Software\\Tool", true));
    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool", "-v", "Dir"}).exit, 0) << "deleting a value";
    r = Run({"query", "HKCU\\Software\\Tool", "-v", "Dir"});
    EXPECT_EQ(r.exit, 1) << "querying a deleted value";
    EXPECT_EQ(r.err, "comrt-reg: The system cannot find the file specified.\n") << "querying a deleted value";
    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool"}).exit, 0) << "deleting the key";
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tool")) << "the key was left";
    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool"}).exit, 1) << "deleting a missing key";
}

TEST_F(ComrtRegTest, BadArgumentsAndRefusedWritesExitOne) {
    const std::vector<std::vector<std::string>> bad{
        {},
        {"list", "HKCU\\Software"},
        {"query", "HKXX\\Software"},
        {"query", "HKCU\\Software", "-v"},
        {"add", "HKCU\\Software\\Tool", "-t", "REG_QWORD"},
        {"add", "HKCU\\Software\\Tool", "-t", "REG_DWORD", "-d", "0x1FFFFFFFF"},
        {"add", "HKCU\\Software\\Tool", "-t", "REG_BINARY", "-d", "abc"},
        {"add", "HKLM\\Software", "-d", "x"},
        {"delete", "HKCU"},
    };
    for (const auto& args : bad) {
        const Result r = Run(args);
        EXPECT_EQ(r.exit, 1) << ::testing::PrintToString(args);
        EXPECT_TRUE(r.err.starts_with("comrt-reg: ") || r.err.find("usage:") != std::string::npos)
            << ::testing::PrintToString(args) << " gave no reason: " << r.err;
    }
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tool")) << "a refused add created the key";
}

} // namespace
} // namespace velmora::settings
