// IDispatch::Invoke on every interface of a driver object made in-process,
// against the simulator, with scripted dialogs and a fresh private store per
// run. Input: a byte of addresses for the dialogs to answer, then up to 12
// calls: an interface, a member (or any DISPID), flags, an argument count,
// named arguments and VARIANT arguments of assorted types.
// Held here, so that a run stays short and within memory: InputSizeData is
// not let above 4 Mi samples (a ring that large is allocated), and a bare
// by-reference buffer (GetData, SetValues, SetValuesReal) points at 32 Ki
// elements, GetData's count held to that: with a bare reference the caller
// vouches for the room, as in a vtable call.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "device/vendor_api.h"
#include "driver/dispatch.h"
#include "driver/lintara.h"
#include "e16sim_control.h"
#include "ui/scripted_dialogs.h"
#include "variant_builder.h"

namespace {

namespace dispatch = velmora::driver::dispatch;
using dispatch::Kind;
using dispatch::Member;
using velmora::fuzz::ByteReader;
using velmora::fuzz::Check;
using velmora::fuzz::VariantBuilder;

constexpr int kFaces = 5;
constexpr UINT kMaxArgs = 5;
constexpr size_t kScratchElements = 32768;

const std::array<dispatch::MemberTable, kFaces> kTables = {dispatch::LintaraMembers(),
                                                           dispatch::Adc3Members(), dispatch::DioMembers(),
                                                           dispatch::DaoMembers(), dispatch::ModuleMembers()};
const std::array<const IID*, kFaces> kFaceIds = {&IID__Lintara, &IID_IADC3, &IID_IDIO, &IID_IDAO,
                                                 &IID_IModule};

// Per row of each table, the number of arguments it takes (found at start).
std::array<std::vector<UINT>, kFaces> naturalArgs;
// Where a bare reference to a buffer points; its contents do not matter.
alignas(double) uint64_t scratch[kScratchElements];

WORD NaturalFlags(Kind kind, uint8_t pick) {
    if (kind == Kind::Put) return pick & 1 ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    if (kind == Kind::Sub) return DISPATCH_METHOD;
    return pick % 3 == 0   ? DISPATCH_METHOD
           : pick % 3 == 1 ? DISPATCH_PROPERTYGET
                           : DISPATCH_METHOD | DISPATCH_PROPERTYGET;
}

// Asks each row with 1..kMaxArgs arguments of an invalid type: a wrong count
// says so before anything is loaded, a right one fails on loading the first
// argument, so no member runs and no object is needed.
void FindArgumentCounts() {
    std::array<VARIANT, kMaxArgs> invalid{};
    for (VARIANT& v : invalid) v.vt = VT_RECORD;
    for (int f = 0; f < kFaces; ++f) {
        for (const Member& m : kTables[f]) {
            UINT natural = 0, argErr = 0;
            for (UINT n = kMaxArgs; n >= 1; --n)
                if (m.invoke(nullptr, DISPPARAMS{invalid.data(), nullptr, n, 0}, nullptr, &argErr) !=
                    DISP_E_BADPARAMCOUNT)
                    natural = n;
            naturalArgs[f].push_back(natural);
        }
    }
}

// A bare reference to a buffer points at the scratch, and GetData's count
// stays within it.
void HoldBareBuffer(const Member& m, std::vector<VARIANT>& args, VariantBuilder& builder, ByteReader& in) {
    const bool getData = m.name == u"GetData";
    if (args.size() != 3 || !(getData || m.name == u"SetValues" || m.name == u"SetValuesReal")) return;
    VARIANT& buffer = args[getData ? 2 : 0];
    if (buffer.vt != (VT_BYREF | VT_I2) && buffer.vt != (VT_BYREF | VT_I4) && buffer.vt != (VT_BYREF | VT_R8))
        return;
    buffer.byref = scratch;
    if (!getData) return; // the count is an Integer: within the scratch
    builder.Release(args[1]);
    args[1].vt = VT_I4;
    args[1].lVal = static_cast<int32_t>(in.Below(kScratchElements));
}

bool RingRequestTooLarge(const Member& m, const std::vector<VARIANT>& args) {
    if (m.name != u"InputSizeData" || m.kind != Kind::Put || args.size() != 1) return false;
    VARIANT size{};
    return SUCCEEDED(VariantChangeType(&size, &args[0], 0, VT_I4)) && size.lVal > (1 << 22);
}

void Call(std::array<IDispatch*, kFaces>& faces, ByteReader& in) {
    const int f = in.Byte() % kFaces;
    const uint8_t pick = in.Byte();
    const Member* m = pick < 0xF0 ? &kTables[f][pick % kTables[f].size()] : nullptr;
    const DISPID id = m != nullptr  ? m->id
                      : pick < 0xF8 ? static_cast<DISPID>(pick & 7) - 4
                                    : static_cast<DISPID>(in.U32());
    const uint8_t flagPick = in.Byte();
    // Only with the row's own flags does the row answer: others may reach the other half of a property.
    const bool natural = m != nullptr && flagPick < 0xE0;
    const WORD flags = natural ? NaturalFlags(m->kind, flagPick) : in.U16();
    const uint8_t countPick = in.Byte();
    const UINT cArgs = m != nullptr && countPick < 0xE0
                           ? naturalArgs[f][static_cast<size_t>(m - kTables[f].data())]
                           : countPick % (kMaxArgs + 1);

    VariantBuilder builder(in, faces[0]);
    std::vector<VARIANT> args;
    for (UINT i = 0; i < cArgs; ++i) args.push_back(builder.Build());
    if (m != nullptr) HoldBareBuffer(*m, args, builder, in);
    if (m == nullptr || !RingRequestTooLarge(*m, args)) {
        std::array<DISPID, 2> named = {DISPID_PROPERTYPUT, static_cast<DISPID>(in.U16()) - 8};
        const uint8_t namedPick = in.Byte();
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, cArgs, 0};
        if (namedPick < 0x80 && m != nullptr && m->kind == Kind::Put) {
            params.rgdispidNamedArgs = named.data();
            params.cNamedArgs = 1;
        } else if (namedPick >= 0xE0) {
            params.rgdispidNamedArgs = (namedPick & 4) ? nullptr : named.data();
            params.cNamedArgs = namedPick % 3;
        }
        const uint8_t out = in.Byte();
        VARIANT result{};
        EXCEPINFO exception{};
        UINT argErr = UINT(-1);
        const HRESULT hr = faces[f]->Invoke(id, out == 0xFF ? IID_IDispatch : IID_NULL, 0, flags,
                                            (out & 0x40) ? nullptr : &params, (out & 1) ? nullptr : &result,
                                            (out & 2) ? nullptr : &exception, (out & 4) ? nullptr : &argErr);
        if (natural && SUCCEEDED(hr) && !(out & 1))
            Check((m->kind == Kind::Get || m->kind == Kind::Function) == (result.vt != VT_EMPTY),
                  "a get or function without a value, or a let with one");
        Check(SUCCEEDED(VariantClear(&result)), "the result cannot be cleared");
        if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) && argErr != UINT(-1))
            Check(argErr < cArgs, "argErr names no argument");
    }
    for (VARIANT& v : args) builder.Release(v);
}

// Addresses the dialogs answer, in order: the modules, nobody, cancel.
std::unique_ptr<velmora::ui::ScriptedDialogs> Dialogs(uint8_t pick) {
    static constexpr int32_t kAddresses[] = {0x7F000001, 0x7F000002, 0x7F000003, 0};
    auto dialogs = std::make_unique<velmora::ui::ScriptedDialogs>();
    for (int i = 0; i < (pick & 3); ++i) dialogs->QueueAddress(kAddresses[(pick >> (2 + 2 * i)) & 3]);
    return dialogs;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::Start("dispatch");
    velmora::fuzz::FreshRun();
    if (!velmora::device::VendorApi::Process().simulator) {
        std::fprintf(stderr,
                     "dispatch fuzzer: the vendor libraries are installed; it runs only on the simulator\n");
        std::exit(77);
    }
    velmora::ui::SetDialogs(std::make_unique<velmora::ui::ScriptedDialogs>());
    FindArgumentCounts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    velmora::fuzz::FreshRun();
    e16sim_reset();
    velmora::ui::SetDialogs(Dialogs(in.Byte()));
    std::array<IDispatch*, kFaces> faces{};
    if (FAILED(velmora::driver::Lintara::Create(IID__Lintara, reinterpret_cast<void**>(&faces[0]))))
        velmora::fuzz::Broken("cannot create the driver object");
    for (int f = 1; f < kFaces; ++f)
        faces[0]->QueryInterface(*kFaceIds[f], reinterpret_cast<void**>(&faces[f]));
    for (int call = 0; call < 12 && !in.Empty(); ++call) Call(faces, in);
    for (IDispatch* face : faces) face->Release();
    Check(velmora::driver::Lintara::LiveObjects() == 0,
          "a reference to the driver object was never released");
    return 0;
}
