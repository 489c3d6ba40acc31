// Runs comrt-register on the driver built next to this test, against a
// private store: a failure is printed with its code's message text.
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <velmora/registry_store.h>

#include "store_connection.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int exit = -1;
    std::string err;
};

// The path in single quotes, for a shell command line.
std::string Quoted(const fs::path& path) {
    std::string text = "'";
    text += path.string();
    text += "'";
    return text;
}

Result Register(const fs::path& folder) {
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const std::string command = Quoted(bin / "comrt-register") + " " + Quoted(bin / "Lintara.adc") +
                                " >/dev/null 2>" + Quoted(folder / "err");
    const int status = std::system(command.c_str());
    std::ostringstream err;
    err << std::ifstream(folder / "err").rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err.str()};
}

bool ClassesRootHas(const char* path) {
    using namespace velmora::reg;
    HKEY key = 0;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

TEST(ComrtRegister, ALockedStoreFailsWithTheReasonInWordsAndRegistersNothing) {
    velmora::test::PrivateStore store;
    velmora::reg::HKEY key = 0;
    ASSERT_EQ(velmora::reg::RegCreateKeyEx(velmora::reg::HKEY_CURRENT_USER, "Software", 0, &key, nullptr), 0);
    velmora::reg::RegCloseKey(key);
    velmora::test::StoreConnection other;
    other.Lock();
    const Result locked = Register(store.dir().path());
    other.Release();
    EXPECT_EQ(locked.exit, 1);
    EXPECT_NE(
        locked.err.find("failed: 0x80070021: The process cannot access the file because another process "
                        "has locked a portion of the file\n"),
        std::string::npos)
        << locked.err;
    EXPECT_FALSE(ClassesRootHas("Velmora.Lintara")) << "registered in part";

    const Result registered = Register(store.dir().path());
    EXPECT_EQ(registered.exit, 0) << registered.err;
    EXPECT_TRUE(ClassesRootHas("Velmora.Lintara\\CLSID"));
}

} // namespace
