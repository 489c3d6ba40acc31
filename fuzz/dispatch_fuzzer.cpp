// IDispatch::Invoke on every interface of a driver object made in-process,
// against the simulator, with scripted dialogs and a fresh private store per
// run. Input: one byte of addresses for the dialogs to answer, then up to 12
// calls, each an interface, a member (or any DISPID), flags, an argument
// count, named arguments and VARIANT arguments of assorted types.
//
// Bounded here, so that a run stays short and within libFuzzer's memory:
//   - InputSizeData let is not called with more than 4 Mi samples: larger
//     rings are honoured by allocating them (2 bytes a sample);
//   - a bare by-reference buffer (GetData, SetValues, SetValuesReal) points at
//     32 Ki elements here, and GetData's count is held to that: with a bare
//     reference the caller vouches for the room, as in a vtable call.
// Checks: results of gets and functions carry a value, lets and subs leave
// the result empty, every VARIANT left behind can be cleared, the argument
// error index names an argument, and no reference to the object outlives it.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "device/vendor_api.h"
#include "driver/dispatch.h"
#include "driver/lintara.h"
#include "e16sim_control.h"
#include "fuzz_support.h"
#include "ui/scripted_dialogs.h"
#include "variant_builder.h"

namespace {

using velmora::driver::dispatch::Kind;
using velmora::driver::dispatch::Member;
using velmora::driver::dispatch::MemberTable;
using velmora::fuzz::ByteReader;
using velmora::fuzz::Check;
using velmora::fuzz::VariantBuilder;

constexpr int kFaces = 4;
constexpr int kMaxCalls = 12;
constexpr UINT kMaxArgs = 5;
constexpr int32_t kMaxRingRequest = 1 << 22;
constexpr size_t kScratchElements = 32768;

const std::array<MemberTable, kFaces> kTables = {
    velmora::driver::dispatch::LintaraMembers(), velmora::driver::dispatch::Adc3Members(),
    velmora::driver::dispatch::DioMembers(), velmora::driver::dispatch::DaoMembers()};
const std::array<const IID*, kFaces> kFaceIds = {&IID__Lintara, &IID_IADC3, &IID_IDIO, &IID_IDAO};

// Per row of each table, the number of arguments it takes (found at start).
std::array<std::vector<UINT>, kFaces> naturalArgs;

// Where a bare reference to a buffer points; its contents do not matter.
alignas(double) uint64_t scratch[kScratchElements];

WORD NaturalFlags(Kind kind, uint8_t pick) {
    switch (kind) {
    case Kind::Put:
        return pick & 1 ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    case Kind::Sub:
        return DISPATCH_METHOD;
    default:
        return pick % 3 == 0   ? DISPATCH_METHOD
               : pick % 3 == 1 ? DISPATCH_PROPERTYGET
                               : DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    }
}

// Asks each row with 0..kMaxArgs arguments of an invalid type: a wrong count
// says so before anything is loaded, a right one fails on loading the
// first argument, so no member runs.
void FindArgumentCounts() {
    IDispatch* face = nullptr;
    if (FAILED(velmora::driver::Lintara::Create(IID__Lintara, reinterpret_cast<void**>(&face))))
        velmora::fuzz::Broken("cannot create the driver object");
    std::array<VARIANT, kMaxArgs> invalid{};
    for (VARIANT& v : invalid) v.vt = VT_RECORD;
    for (int f = 0; f < kFaces; ++f) {
        IDispatch* dispatch = nullptr;
        face->QueryInterface(*kFaceIds[f], reinterpret_cast<void**>(&dispatch));
        for (const Member& m : kTables[f]) {
            UINT natural = 0;
            for (UINT n = kMaxArgs; n >= 1; --n) {
                DISPPARAMS params{invalid.data(), nullptr, n, 0};
                const HRESULT hr = dispatch->Invoke(m.id, IID_NULL, 0, NaturalFlags(m.kind, 0), &params,
                                                    nullptr, nullptr, nullptr);
                if (hr != DISP_E_BADPARAMCOUNT) natural = n;
            }
            naturalArgs[f].push_back(natural);
        }
        dispatch->Release();
    }
    face->Release();
}

// The position in rgvarg of a buffer argument and of its count; -1 for none.
struct BufferSlots {
    int buffer = -1;
    int count = -1;
};

BufferSlots BufferOf(const Member& m, UINT cArgs) {
    if (cArgs != 3) return {};
    if (m.name == u"GetData") return {2, 1};
    if (m.name == u"SetValues" || m.name == u"SetValuesReal") return {0, -1};
    return {};
}

bool IsBareReference(const VARIANT& v) {
    return v.vt == (VT_BYREF | VT_I2) || v.vt == (VT_BYREF | VT_I4) || v.vt == (VT_BYREF | VT_R8);
}

void HoldBareBuffer(const BufferSlots& slots, std::vector<VARIANT>& args, VariantBuilder& builder,
                    ByteReader& in) {
    if (slots.buffer < 0 || !IsBareReference(args[static_cast<size_t>(slots.buffer)])) return;
    args[static_cast<size_t>(slots.buffer)].byref = scratch;
    if (slots.count < 0) return; // the count is an Integer: within the scratch
    VARIANT& count = args[static_cast<size_t>(slots.count)];
    builder.Release(count);
    count.vt = VT_I4;
    count.lVal = static_cast<int32_t>(in.Below(kScratchElements));
}

bool RingRequestTooLarge(const Member& m, const std::vector<VARIANT>& args) {
    if (m.name != u"InputSizeData" || m.kind != Kind::Put || args.size() != 1) return false;
    VARIANT size;
    VariantInit(&size);
    return SUCCEEDED(VariantChangeType(&size, &args[0], 0, VT_I4)) && size.lVal > kMaxRingRequest;
}

// m: the row that answered, when the flags were its own (other flags may
// reach the other half of a property).
void CheckOutcome(const Member* m, HRESULT hr, VARIANT* result, UINT cArgs, UINT argErr) {
    if (result != nullptr) {
        if (m != nullptr && SUCCEEDED(hr)) {
            const bool gives = m->kind == Kind::Get || m->kind == Kind::Function;
            Check(gives == (result->vt != VT_EMPTY), "a get or function without a value, or a let with one");
        }
        Check(SUCCEEDED(VariantClear(result)), "the result cannot be cleared");
    }
    if (hr == DISP_E_TYPEMISMATCH && argErr != UINT(-1)) Check(argErr < cArgs, "argErr names no argument");
}

void Call(std::array<IDispatch*, kFaces>& faces, ByteReader& in) {
    const int f = in.Byte() % kFaces;
    const MemberTable table = kTables[f];
    const uint8_t pick = in.Byte();
    const Member* m = pick < 0xF0 ? &table[pick % table.size()] : nullptr;
    const DISPID id = m != nullptr  ? m->id
                      : pick < 0xF8 ? static_cast<DISPID>(pick & 7) - 4
                                    : static_cast<DISPID>(in.U32());
    const uint8_t flagPick = in.Byte();
    const bool natural = m != nullptr && flagPick < 0xE0;
    const WORD flags = natural ? NaturalFlags(m->kind, flagPick) : in.U16();
    const uint8_t countPick = in.Byte();
    const UINT cArgs = m != nullptr && countPick < 0xE0
                           ? naturalArgs[f][static_cast<size_t>(m - table.data())]
                           : countPick % (kMaxArgs + 1);

    VariantBuilder builder(in, faces[0]);
    std::vector<VARIANT> args;
    for (UINT i = 0; i < cArgs; ++i) args.push_back(builder.Build());
    if (m != nullptr) {
        HoldBareBuffer(BufferOf(*m, cArgs), args, builder, in);
        if (RingRequestTooLarge(*m, args)) {
            for (VARIANT& v : args) builder.Release(v);
            return;
        }
    }
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
    const uint8_t outPick = in.Byte();
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT argErr = UINT(-1);
    const HRESULT hr =
        faces[f]->Invoke(id, outPick == 0xFF ? IID_IDispatch : IID_NULL, 0, flags,
                         (outPick & 0x40) ? nullptr : &params, (outPick & 1) ? nullptr : &result,
                         (outPick & 2) ? nullptr : &exception, (outPick & 4) ? nullptr : &argErr);
    CheckOutcome(natural ? m : nullptr, hr, (outPick & 1) ? nullptr : &result, cArgs, argErr);
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
    velmora::fuzz::ForbidSockets();
    velmora::fuzz::PrivateFolder::Init("dispatch").FreshRun();
    if (!velmora::device::VendorApi::Process().simulator) {
        std::fprintf(stderr, "dispatch fuzzer: the vendor libraries are installed; it runs only against the "
                             "simulator\n");
        std::exit(77);
    }
    velmora::ui::SetDialogs(std::make_unique<velmora::ui::ScriptedDialogs>());
    FindArgumentCounts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    velmora::fuzz::PrivateFolder::Get().FreshRun();
    e16sim_reset();
    velmora::ui::SetDialogs(Dialogs(in.Byte()));

    std::array<IDispatch*, kFaces> faces{};
    if (FAILED(velmora::driver::Lintara::Create(IID__Lintara, reinterpret_cast<void**>(&faces[0]))))
        velmora::fuzz::Broken("cannot create the driver object");
    for (int f = 1; f < kFaces; ++f)
        faces[0]->QueryInterface(*kFaceIds[f], reinterpret_cast<void**>(&faces[f]));
    for (int call = 0; call < kMaxCalls && !in.Empty(); ++call) Call(faces, in);
    for (IDispatch* face : faces) face->Release();
    Check(velmora::driver::Lintara::LiveObjects() == 0,
          "a reference to the driver object was never released");
    return 0;
}
