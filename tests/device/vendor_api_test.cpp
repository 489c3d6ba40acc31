// Run-time binding of the vendor table: search order, the simulator fallback
// and the cross-lookup between the two vendor libraries.
#include <gtest/gtest.h>

#include <filesystem>
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

TEST(VendorApi, NothingFoundLeavesEveryEntryNull) {
    test::TempDir empty; // the simulator is looked for in the driver's folder only
    const VendorApi api = VendorApi::Load(DefaultVendorPaths(empty.path()));
    if (!api.libraries.empty()) GTEST_SKIP() << "the vendor libraries are installed on this system";
    EXPECT_FALSE(api.simulator);
    EXPECT_EQ(api.X502_GetLibraryVersion, nullptr);
    EXPECT_EQ(api.E16_OpenByIpAddr, nullptr);
}

TEST(VendorApi, DefaultSearchFallsBackToTheSimulatorOfTheFolder) {
    const VendorApi api = VendorApi::Load(DefaultVendorPaths(SimulatorFile().parent_path()));
    if (!api.simulator) GTEST_SKIP() << "the vendor libraries are installed on this system";
    EXPECT_EQ(api.libraries, std::vector<std::string>{SimulatorFile().string()});
    EXPECT_EQ(api.X502_GetLibraryVersion(), (1u << 24) | (1u << 16) | (34u << 8));
    // The process table is the same instance that the tests' control API drives.
    EXPECT_EQ(reinterpret_cast<void*>(VendorApi::Process().X502_Create),
              reinterpret_cast<void*>(&::X502_Create));
}

TEST(VendorApi, VendorLibraryInTheFolderWinsAndServesBothPrefixes) {
    // A copy of the simulator stands in for the vendor's x502api; with no
    // e502api anywhere the E16 entries are found in x502api instead.
    test::TempDir folder;
    fs::copy_file(SimulatorFile(), folder.path() / "libx502api.so.1");
    fs::copy_file(SimulatorFile(), folder.path() / "libe16sim.so");
    const VendorApi api = VendorApi::Load(DefaultVendorPaths(folder.path()));
    EXPECT_EQ(api.libraries, std::vector<std::string>{(folder.path() / "libx502api.so.1").string()});
    EXPECT_FALSE(api.simulator);
    EXPECT_NE(api.X502_AsyncOutDac, nullptr);
    EXPECT_NE(api.E16_OpenUsb, nullptr);
}

} // namespace
} // namespace velmora::device
