// Detection as the host triggers it with Test: the module at the chosen
// address, a refused address, and a vendor library that is too old.
#include "fixture.h"

namespace e2e {
namespace {

using Detection = HostTest;

std::u16string LastError(IADC3* adc) {
    BSTR text = nullptr;
    EXPECT_EQ(adc->get_LastError(&text), S_OK);
    std::u16string error = Str(text);
    SysFreeString(text);
    return error;
}

int16_t BasePort(IADC3* adc) {
    int16_t port = -1;
    EXPECT_EQ(adc->get_BasePort(&port), S_OK);
    return port;
}

TEST_F(Detection, TestOpensTheModuleAtThePreselectedAddress) {
    Ptr<IADC3> adc = CreateAdc();
    ASSERT_TRUE(adc);
    VARIANT_BOOL found = VARIANT_FALSE, detected = VARIANT_FALSE;
    ASSERT_EQ(adc->Test(&found), S_OK);
    EXPECT_EQ(found, VARIANT_TRUE);
    adc->get_Detected(&detected);
    EXPECT_EQ(detected, VARIANT_TRUE);
    EXPECT_EQ(BasePort(adc.get()), (0x7F000001 & 0x7FFF) + 1);
    EXPECT_EQ(LastError(adc.get()), u"");
    e16sim_state state{};
    e16sim_get_state(E16SIM_MODULE_DAC, &state);
    EXPECT_EQ(state.open, 1);

    // Once detected, Test opens nothing again.
    e16sim_reset_call_counts();
    const Dispatcher disp(adc.get());
    Variant again, port;
    ASSERT_EQ(disp.Call(u"Test", &again), S_OK);
    EXPECT_EQ(again->vt, VT_BOOL);
    EXPECT_EQ(again->boolVal, VARIANT_TRUE);
    EXPECT_EQ(e16sim_call_count("E16_OpenByIpAddr"), 0);
    ASSERT_EQ(disp.Get(u"BasePort", &port), S_OK);
    EXPECT_EQ(port->vt, VT_I2);
    EXPECT_EQ(port->iVal, 2);

    adc.Reset();
    e16sim_get_state(E16SIM_MODULE_DAC, &state);
    EXPECT_EQ(state.open, 0) << "the last object closes the module";
}

TEST_F(Detection, ARefusedAddressFailsAndTheNextTestAsksAgain) {
    WriteAddressList("127.0.0.9\r\n");
    Ptr<IADC3> adc = CreateAdc();
    ASSERT_TRUE(adc);
    VARIANT_BOOL found = VARIANT_TRUE;
    ASSERT_EQ(adc->Test(&found), S_OK);
    EXPECT_EQ(found, VARIANT_FALSE);
    const std::string error = Utf8(LastError(adc.get()));
    EXPECT_TRUE(error.starts_with("Error ")) << error;
    EXPECT_TRUE(error.ends_with(".")) << error;
    EXPECT_GT(error.size(), 8u);
    EXPECT_EQ(BasePort(adc.get()), 0);

    // The chooser now preselects 127.0.0.2, the module without a DAC.
    WriteAddressList("127.0.0.2\r\n");
    ASSERT_EQ(adc->Test(&found), S_OK);
    EXPECT_EQ(found, VARIANT_TRUE);
    EXPECT_EQ(BasePort(adc.get()), (0x7F000002 & 0x7FFF) + 1);
    EXPECT_EQ(LastError(adc.get()), u"") << "a successful detection clears the error";
}

TEST_F(Detection, AVendorLibraryOlderThan1130IsRefused) {
    // A fresh process: the vendor library is bound once per process.
    velmora::test::TempDir folder;
    LinkDriverInto(folder.path());
    fs::create_symlink(E2E_OLD_VENDOR_FILE, folder.path() / "libx502api.so.1");
    const ChildResult child = RunChild("detection", {{"E2E_DRIVER_FOLDER", folder.str()}});
    ASSERT_EQ(child.status, 0) << child.output;
    EXPECT_EQ(child.output,
              "test=0 port=0 error=Please reinstall E16 driver (X502API v1.1.30 is required)!\n");
}

TEST_F(Detection, StartRecordBeforeDetectionLeavesTheErrorAsItWas) {
    WriteAddressList("127.0.0.9\r\n");
    Ptr<IADC3> adc = CreateAdc();
    ASSERT_TRUE(adc);
    VARIANT_BOOL result = VARIANT_TRUE;
    adc->Test(&result);
    const std::u16string before = LastError(adc.get());
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(adc->StartRecord(&result), S_OK);
    EXPECT_EQ(result, VARIANT_FALSE);
    EXPECT_EQ(LastError(adc.get()), before);
}

} // namespace
} // namespace e2e
