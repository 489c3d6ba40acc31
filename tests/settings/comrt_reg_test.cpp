// Runs the comrt-reg tool built next to this test against a private store.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "settings/cregistry.h"
#include "test_support.h"

extern char** environ;

namespace velmora::settings {
namespace {

struct Result {
    int exit = -1;
    std::string out, err;
};

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ComrtRegTest : public ::testing::Test {
protected:
    Result Run(std::vector<std::string> args) {
        const auto tool = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "comrt-reg";
        args.insert(args.begin(), tool.string());
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        const auto out = store.dir().path() / "out.txt", err = store.dir().path() / "err.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        Result result;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        result.out = Slurp(out);
        result.err = Slurp(err);
        return result;
    }

    void Add(const std::vector<std::string>& args) {
        std::vector<std::string> all{"add", "HKCU\\Software\\Tool"};
        all.insert(all.end(), args.begin(), args.end());
        const Result r = Run(all);
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.out, "The operation completed successfully.\n");
    }

    test::PrivateStore store;
    cRegistry reg;
};

TEST_F(ComrtRegTest, AddThenQueryAndExportEachType) {
    Add({"-d", "top"});
    Add({"-v", "Dir", "-d", "C:\\dir"});
    Add({"-v", "Count", "-t", "REG_DWORD", "-d", "0x0A"});
    Add({"-v", "All", "-t", "reg_dword", "-d", "4294967295", "-f"});
    Add({"-v", "Blob", "-t", "REG_BINARY", "-d", "0aFF05"});
    ASSERT_EQ(Run({"add", "HKEY_CURRENT_USER\\Software\\Tool\\Sub", "-v", "X", "-d", "y"}).exit, 0);

    int32_t count = 0;
    EXPECT_TRUE(reg.GetLongAt(HKEY_CURRENT_USER, "Software\\Tool", "Count", count));
    EXPECT_EQ(count, 10);
    std::vector<uint8_t> blob;
    EXPECT_TRUE(reg.GetBinaryAt(HKEY_CURRENT_USER, "Software\\Tool", "Blob", blob));
    EXPECT_EQ(blob, (std::vector<uint8_t>{0x0A, 0xFF, 0x05}));

    Result r = Run({"query", "HKCU\\Software\\Tool"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Tool\n"
                     "    (Default)    REG_SZ    top\n"
                     "    Dir    REG_SZ    C:\\dir\n"
                     "    Count    REG_DWORD    0xa\n"
                     "    All    REG_DWORD    0xffffffff\n"
                     "    Blob    REG_BINARY    0AFF05\n"
                     "\nHKEY_CURRENT_USER\\Software\\Tool\\Sub\n");
    r = Run({"query", "hkcu\\software\\tool\\", "-v", "count"});
    EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\software\\tool\n    Count    REG_DWORD    0xa\n\n");

    const std::string expected = reg.ExportKey(HKEY_CURRENT_USER, "Software\\Tool", true);
    EXPECT_NE(expected.find("\"All\"=dword:ffffffff\r\n\"Blob\"=hex:0a,ff,05\r\n"), std::string::npos);
    EXPECT_NE(expected.find("[HKEY_CURRENT_USER\\Software\\Tool\\Sub]\r\n\"X\"=\"y\""), std::string::npos);
    r = Run({"export", "HKCU\\Software\\Tool"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    const auto file = store.dir().path() / "tool.reg";
    EXPECT_EQ(Run({"export", "HKCU\\Software\\Tool", file.string()}).exit, 0);
    EXPECT_EQ(Slurp(file), expected);
}

TEST_F(ComrtRegTest, DeleteValuesAndWholeKeys) {
    Add({"-v", "Gone", "-d", "x"});
    ASSERT_TRUE(reg.CreateKey(HKEY_CURRENT_USER, "Software\\Tool\\A\\B"));

    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool", "-v", "Gone"}).exit, 0);
    Result r = Run({"query", "HKCU\\Software\\Tool", "-v", "Gone"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "comrt-reg: The system cannot find the file specified.\n");
    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool", "-v", "Gone"}).exit, 1);

    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Tool"}).exit, 0);
    EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\Tool"));
    EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_USER, "Software"));
    r = Run({"delete", "HKCU\\Software\\Tool"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "comrt-reg: The system cannot find the file specified.\n");
    EXPECT_EQ(Run({"export", "HKCU\\Software\\Tool"}).exit, 1);
    EXPECT_EQ(Run({"delete", "HKCU"}).exit, 1);
}

TEST_F(ComrtRegTest, BadArgumentsAndRefusedWritesExitOne) {
    const std::vector<std::vector<std::string>> bad{
        {},
        {"query"},
        {"list", "HKCU\\Software"},
        {"query", "HKXX\\Software"},
        {"query", "HKCU\\Software", "-v"},
        {"query", "HKCU\\Software", "-t", "REG_SZ"},
        {"add", "HKCU\\Software\\Tool", "-t", "REG_QWORD"},
        {"export", "HKCU\\Software", "a", "b"},
    };
    for (const auto& args : bad) {
        const Result r = Run(args);
        EXPECT_EQ(r.exit, 1) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << ::testing::PrintToString(args);
    }
    for (const char* data : {"12ab", "0x", "0x1FFFFFFFF", "-2147483649"}) {
        const Result r = Run({"add", "HKCU\\Software\\Tool", "-t", "REG_DWORD", "-d", data});
        EXPECT_EQ(r.exit, 1) << data;
        EXPECT_EQ(r.err, "comrt-reg: invalid REG_DWORD data: " + std::string(data) + "\n");
    }
    for (const char* data : {"abc", "zz", ""})
        EXPECT_EQ(Run({"add", "HKCU\\Software\\Tool", "-t", "REG_BINARY", "-d", data}).exit, 1) << data;

    const Result denied = Run({"add", "HKLM\\Software", "-d", "x"});
    EXPECT_EQ(denied.exit, 1);
    EXPECT_EQ(denied.err, "comrt-reg: Access is denied.\n");
    EXPECT_EQ(Run({"add", "HKEY_CLASSES_ROOT\\Velmora.Test\\CLSID", "-d", "{x}"}).exit, 0);
    std::string text;
    EXPECT_TRUE(reg.GetStringAt(HKEY_CLASSES_ROOT, "Velmora.Test\\CLSID", "", text));
    EXPECT_EQ(text, "{x}");
    EXPECT_EQ(Run({"query", "HKCR\\Velmora.Test", "-ve"}).exit, 1); // the key has no default value
}

} // namespace
} // namespace velmora::settings
