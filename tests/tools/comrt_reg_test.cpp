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

std::string Slurp(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

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
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir / "out"), Slurp(dir / "err")};
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
    std::vector<uint8_t> blob;
    EXPECT_TRUE(reg.GetBinaryAt(HKEY_CURRENT_USER, "Software\\Tool", "Blob", blob));
    EXPECT_EQ(blob, (std::vector<uint8_t>{0x0A, 0xFF, 0x05})) << "hex text stored as bytes";

    Result r = Run({"query", "HKCU\\Software\\Tool"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Tool\n"
                     "    Dir    REG_SZ    C:\\dir\n"
                     "    Count    REG_DWORD    0xa\n"
                     "    All    REG_DWORD    0xffffffff\n"
                     "    Blob    REG_BINARY    0AFF05\n\n");
    r = Run({"export", "HKCU\\Software\\Tool"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "\r\n[HKEY_CURRENT_USER\\Software\\Tool]\r\n\"Dir\"=\"C:\\\\dir\"\r\n\"Count\"=dword:0000000a\r\n"
        "\"All\"=dword:ffffffff\r\n\"Blob\"=hex:0a,ff,05\r\n");

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
}

} // namespace
} // namespace velmora::settings
