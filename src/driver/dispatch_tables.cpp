// The member tables of the five interfaces, made from their member lists.
#include "driver/dispatch_rows.h"

namespace velmora::driver::dispatch {
namespace {

constexpr auto kLintara = [] {
    using I = _Lintara;
    return std::array{VELMORA_LINTARA_MEMBERS(VELMORA_ROW_SPEC)};
}();

constexpr auto kAdc3 = [] {
    using I = IADC3;
    return std::array{VELMORA_IADC3_MEMBERS(VELMORA_ROW_SPEC)};
}();

constexpr auto kDio = [] {
    using I = IDIO;
    return std::array{VELMORA_IDIO_MEMBERS(VELMORA_ROW_SPEC)};
}();

constexpr auto kDao = [] {
    using I = IDAO;
    return std::array{VELMORA_IDAO_MEMBERS(VELMORA_ROW_SPEC)};
}();

constexpr auto kModule = [] {
    using I = IModule;
    return std::array{VELMORA_IMODULE_MEMBERS(VELMORA_ROW_SPEC)};
}();

} // namespace

MemberTable LintaraMembers() {
    return Table<kLintara>::members;
}

MemberTable Adc3Members() {
    return Table<kAdc3>::members;
}

MemberTable DioMembers() {
    return Table<kDio>::members;
}

MemberTable DaoMembers() {
    return Table<kDao>::members;
}

MemberTable ModuleMembers() {
    return Table<kModule>::members;
}

} // namespace velmora::driver::dispatch
