// Run-time binding of the vendor table: search order, the simulator fallback,
// the cross-lookup between the two vendor libraries and the process table.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "device/vendor_api.h"
#include "platform/module_folder.h"
#include "test_support.h"

namespace velmora::device {
namespace {

namespace fs = std::filesystem;

fs::path SimulatorFile() {
    return platform::ModuleFolder() / "libe16sim.so";
}

bool EveryEntryBound(const VendorApi& api) {
    bool all = true;
#define VELMORA_CHECK_BOUND(name) all = all && api.name != nullptr;
    VELMORA_X502_ENTRIES(VELMORA_CHECK_BOUND)
    VELMORA_E16_ENTRIES(VELMORA_CHECK_BOUND)
#undef VELMORA_CHECK_BOUND
    return all;
}

TEST(VendorApi, NothingFoundLeavesEveryEntryNull) {
    test::TempDir empty;
    VendorLibraryPaths paths;
    paths.x502 = {(empty.path() / "libx502api.so.1").string()};
    paths.e502 = {(empty.path() / "libe502api.so.1").string()};
    paths.simulator = {(empty.path() / "libe16sim.so").string()};
    const VendorApi api = VendorApi::Load(paths);
    EXPECT_TRUE(api.libraries.empty());
    EXPECT_FALSE(api.simulator);
    EXPECT_EQ(api.X502_GetLibraryVersion, nullptr);
    EXPECT_EQ(api.E16_OpenByIpAddr, nullptr);
}

TEST(VendorApi, DefaultSearchFallsBackToTheSimulatorOfTheFolder) {
    const auto paths = DefaultVendorPaths(SimulatorFile().parent_path());
    ASSERT_EQ(paths.x502.size(), 2u);
    EXPECT_EQ(paths.x502[1], "libx502api.so.1"); // then the system library path
    EXPECT_EQ(paths.e502[1], "libe502api.so.1");
    const VendorApi api = VendorApi::Load(paths);
    if (!api.simulator) GTEST_SKIP() << "the vendor libraries are installed on this system";
    EXPECT_EQ(api.libraries, std::vector<std::string>{SimulatorFile().string()});
    EXPECT_TRUE(EveryEntryBound(api));
    EXPECT_EQ(api.X502_GetLibraryVersion(), (1u << 24) | (1u << 16) | (34u << 8));
}

TEST(VendorApi, VendorLibraryInTheFolderWinsAndServesBothPrefixes) {
    // A copy of the simulator stands in for the vendor's x502api; with no
    // e502api anywhere the E16 entries are found in x502api instead.
    test::TempDir folder;
    fs::copy_file(SimulatorFile(), folder.path() / "libx502api.so.1");
    fs::copy_file(SimulatorFile(), folder.path() / "libe16sim.so");
    const VendorApi api = VendorApi::Load(DefaultVendorPaths(folder.path()));
    ASSERT_FALSE(api.libraries.empty());
    EXPECT_EQ(api.libraries.front(), (folder.path() / "libx502api.so.1").string());
    EXPECT_FALSE(api.simulator);
    EXPECT_TRUE(EveryEntryBound(api));
}

TEST(VendorApi, ProcessTableIsBuiltOnceForAllThreads) {
    std::vector<const VendorApi*> seen(4);
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&slot] { slot = &VendorApi::Process(); });
    for (auto& t : threads) t.join();
    for (const auto* table : seen) EXPECT_EQ(table, &VendorApi::Process());
    EXPECT_NE(VendorApi::Process().X502_GetLibraryVersion, nullptr);
}

} // namespace
} // namespace velmora::device
