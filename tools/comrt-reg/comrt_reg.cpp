// comrt-reg: looks into the registry store and changes it, in the manner of
// the Windows reg tool: query, add and delete keys and values, export a branch.
#include "comrt_reg.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include <velmora/registry_store.h>

#include "platform/codepage.h"
#include "settings/cregistry.h"
#include "settings/driver_settings.h"

namespace {

using velmora::settings::cRegistry;
using velmora::settings::RegValue;

// In the layout help2man reads: usage lines, a paragraph, then options.
constexpr const char* kUsage = R"(Usage: comrt-reg query KEY [-v NAME | -ve]
  or:  comrt-reg add KEY [-v NAME | -ve] [-t TYPE] -d DATA [-f]
  or:  comrt-reg add KEY
  or:  comrt-reg delete KEY [-v NAME | -ve] [-f]
  or:  comrt-reg export KEY [FILE]
Looks into the per-user registry store and changes it. KEY is
ROOT\path\below\root; ROOT is HKCR, HKCU, HKLM, HKU, HKCC or a long name
such as HKEY_CURRENT_USER. query without -v or -ve lists every value and
sub-key: a REG_DWORD in hex and decimal, as -d takes it, and the driver's
own values also as the number it reads (Single, Double, Integer); add
without an option creates the key; export writes the key and its sub-keys
as text to FILE or standard output.

  -v NAME   the value NAME
  -ve       the default (unnamed) value
  -t TYPE   REG_SZ (the default), REG_DWORD (0 to 4294967295, decimal or
            0x hex) or REG_BINARY (hex digits, two per byte)
  -d DATA   the value's data, written as its type reads it
  -f        delete: a key with sub-keys goes without asking (needed off a
            terminal); add: accepted, values are always overwritten
)";

constexpr const char* kCommands = "query, add, delete or export";
constexpr const char* kTypes = "REG_SZ, REG_DWORD or REG_BINARY";

// Where the tool writes: results to out, messages to err.
struct Streams {
    std::ostream& out;
    std::ostream& err;
};

struct Options {
    std::string command;
    std::string key; // as typed, for messages
    int32_t root = 0;
    std::string path;
    std::optional<std::string> name; // empty optional: no -v / -ve
    std::string type = "REG_SZ";
    std::optional<std::string> data;
    bool typed = false; // -t given
    bool force = false;
    std::string file;
};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

bool SameName(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

std::optional<int32_t> ParseRoot(const std::string& text) {
    static constexpr std::pair<const char*, int32_t> kShort[] = {
        {"HKCR", velmora::settings::HKEY_CLASSES_ROOT},
        {"HKCU", velmora::settings::HKEY_CURRENT_USER},
        {"HKLM", velmora::settings::HKEY_LOCAL_MACHINE},
        {"HKU", velmora::settings::HKEY_USERS},
        {"HKCC", velmora::settings::HKEY_CURRENT_CONFIG}};
    const std::string upper = Upper(text);
    for (const auto& [name, root] : kShort)
        if (upper == name) return root;
    for (uint32_t h = 0x80000000u; h <= 0x80000006u; ++h)
        if (upper == cRegistry::RootName(static_cast<int32_t>(h))) return static_cast<int32_t>(h);
    return std::nullopt;
}

bool ParseKey(Options& o) {
    const auto slash = o.key.find('\\');
    const auto root = ParseRoot(o.key.substr(0, slash));
    if (!root) return false;
    o.root = *root;
    o.path = slash == std::string::npos ? "" : o.key.substr(slash + 1);
    while (o.path.ends_with('\\')) o.path.pop_back();
    return true;
}

// Why the command line cannot run, in one line.
struct Refusal {
    std::string why;
};

// Options after KEY.
std::optional<Refusal> ParseOptions(Options& o, const std::vector<std::string>& args) {
    const bool add = o.command == "add";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string opt = Upper(args[i]);
        const bool takesArg = opt == "-V" || (add && (opt == "-T" || opt == "-D"));
        if (takesArg && i + 1 == args.size()) return Refusal{args[i] + " needs a value"};
        if (opt == "-V")
            o.name = args[++i];
        else if (opt == "-VE")
            o.name = "";
        else if (opt == "-T" && add)
            o.type = Upper(args[++i]), o.typed = true;
        else if (opt == "-D" && add)
            o.data = args[++i];
        else if (opt == "-F" && o.command != "query")
            o.force = true;
        else
            return Refusal{"unknown option " + args[i] + " for " + o.command};
    }
    if (o.type != "REG_SZ" && o.type != "REG_DWORD" && o.type != "REG_BINARY")
        return Refusal{"unknown type " + o.type + " (" + kTypes + ")"};
    if (add && !o.data && (o.name || o.typed)) return Refusal{"add of a value needs -d DATA"};
    if (add && o.data && !o.name) o.name = ""; // -d alone sets the default value
    return std::nullopt;
}

// The store keeps Latin-1 texts: a letter past it would be stored as "?",
// and "Демо" would name the key "????" that "Ключ" names too.
std::optional<Refusal> Unstorable(const Options& o) {
    const auto latin1 = [](const std::string& text) {
        return velmora::platform::AnsiToUtf8(velmora::platform::Utf8ToAnsi(text)) == text;
    };
    const std::pair<const char*, std::string> texts[] = {
        {"the key name ", o.path},
        {"the value name ", o.name.value_or("")},
        {"the data ", o.type == "REG_SZ" ? o.data.value_or("") : std::string()}};
    for (const auto& [what, text] : texts)
        if (!latin1(text))
            return Refusal{std::string(what) + text + " cannot be stored: the store keeps Latin-1 texts"};
    return std::nullopt;
}

std::variant<Options, Refusal> Parse(int argc, char** argv) {
    if (argc < 2) return Refusal{std::string("missing command (") + kCommands + ")"};
    Options o;
    o.command = argv[1];
    if (o.command != "query" && o.command != "add" && o.command != "delete" && o.command != "export")
        return Refusal{"unknown command " + o.command + " (" + kCommands + ")"};
    if (argc < 3) return Refusal{o.command + " needs a KEY"};
    o.key = argv[2];
    if (!ParseKey(o)) return Refusal{"invalid key name " + o.key + " (it starts with HKCU, HKLM, ...)"};
    const std::vector<std::string> rest(argv + 3, argv + argc);
    if (o.command == "export") {
        if (rest.size() > 1) return Refusal{"export takes one FILE, not " + rest[1]};
        if (!rest.empty()) o.file = rest[0];
        return o;
    }
    if (auto refusal = ParseOptions(o, rest)) return *refusal;
    if (auto refusal = Unstorable(o)) return *refusal;
    return o;
}

// Decimal or 0x hex, 0 to 2^32 - 1.
std::optional<int32_t> ParseDword(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (ec != std::errc() || end != last || first == last) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<std::vector<uint8_t>> ParseHexBytes(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        uint8_t b = 0;
        const auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, b, 16);
        if (ec != std::errc() || end != text.data() + i + 2) return std::nullopt;
        bytes.push_back(b);
    }
    return bytes;
}

int Fail(const Streams& io, const std::string& message) {
    io.err << "comrt-reg: " << message << "\n";
    return 1;
}

// The store as a whole failed (a file that is no store, a folder that
// cannot be made, a file this user may not open): no key is missing, and
// the user is told which file it is. Access is denied to a key as well (a
// root that takes no writes), so then a write to the store's own keys is
// tried: a read would find a store not made yet empty, and blame nothing.
bool StoreFailed(int32_t code) {
    namespace reg = velmora::reg;
    return code == reg::ERROR_REGISTRY_CORRUPT || code == reg::ERROR_REGISTRY_IO_FAILED ||
           code == reg::ERROR_PATH_NOT_FOUND ||
           (code == reg::ERROR_ACCESS_DENIED &&
            !cRegistry().CreateKey(velmora::settings::HKEY_CURRENT_USER, "Software"));
}

int FailCode(const Streams& io, int32_t code) {
    if (StoreFailed(code))
        return Fail(io, "the registry store " + velmora::reg::StorePath() +
                            " cannot be used: " + cRegistry::ErrorText(code, true));
    const std::string text = cRegistry::ErrorText(code, false);
    return Fail(io, text.empty() ? "error " + std::to_string(code) : text);
}

int Succeed(const Streams& io) {
    io.out << cRegistry::ErrorText(0, false) << "\n";
    return 0;
}

// --- query ---

std::string TypeName(int32_t type) {
    static constexpr const char* kNames[] = {"REG_NONE",   "REG_SZ",      "REG_EXPAND_SZ",
                                             "REG_BINARY", "REG_DWORD",   "REG_DWORD_BIG_ENDIAN",
                                             "REG_LINK",   "REG_MULTI_SZ"};
    if (type >= 0 && type < 8) return kNames[type];
    return type == 11 ? "REG_QWORD" : "REG_TYPE_" + std::to_string(type);
}

std::string HexText(uint32_t n) {
    char buffer[16];
    return "0x" + std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, n, 16).ptr);
}

// The number the driver keeps in a value, for the values that hold a Single
// or a Double in another type's clothes, and for an Integer the driver reads
// otherwise than the REG_DWORD's number (0x8000 is -32768); "" for any other.
std::string DriverNumber(const std::string& name, const RegValue& value) {
    using velmora::settings::StoredKind;
    char buffer[32];
    const auto number = [&](double v) {
        return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
    };
    const StoredKind kind = velmora::settings::StoredKindOf(name);
    if (const auto* n = std::get_if<int32_t>(&value); n && kind == StoredKind::Single)
        return "Single " + number(std::bit_cast<float>(*n));
    if (const auto* n = std::get_if<int32_t>(&value); n && kind == StoredKind::Integer) {
        const int16_t driver =
            velmora::settings::detail::StoredNumber<int16_t>::Decode(static_cast<uint32_t>(*n));
        return driver == *n ? "" : "Integer " + std::to_string(driver);
    }
    if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value);
        bytes && bytes->size() == 8 && kind == StoredKind::Double) {
        uint64_t bits = 0;
        for (std::size_t i = 8; i-- > 0;) bits = bits << 8 | (*bytes)[i];
        return "Double " + number(std::bit_cast<double>(bits));
    }
    return {};
}

std::string DataText(const std::string& name, const RegValue& value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    if (const auto* s = std::get_if<std::string>(&value)) {
        for (char c : *s) {
            if (c == '\0')
                text += "\\0"; // the separators of a multi-string
            else
                text += c;
        }
    } else if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
        for (uint8_t b : *bytes) text += {kDigits[b >> 4], kDigits[b & 0xF]};
    } else if (const auto* n = std::get_if<int32_t>(&value)) {
        text = HexText(static_cast<uint32_t>(*n)) + " (" + std::to_string(static_cast<uint32_t>(*n));
        const std::string number = DriverNumber(name, value);
        text += (number.empty() ? "" : "; " + number) + ")";
        return text;
    }
    const std::string number = DriverNumber(name, value);
    return number.empty() ? text : text + " (" + number + ")";
}

std::string ValueLine(const velmora::settings::NamedValue& v) {
    return "    " + (v.name.empty() ? std::string("(Default)") : v.name) + "    " + TypeName(v.type) +
           "    " + DataText(v.name, v.value) + "\n";
}

std::string KeyName(const Options& o) {
    return cRegistry::RootName(o.root) + (o.path.empty() ? "" : "\\" + o.path);
}

// The store's reason, or, for a missing key or value, which one is missing.
int FailMissing(const Streams& io, cRegistry& reg, const Options& o) {
    if (!reg.KeyExists(o.root, o.path))
        return StoreFailed(reg.LastError()) ? FailCode(io, reg.LastError())
                                            : Fail(io, "no key " + KeyName(o));
    if (o.name) {
        const std::string name = o.name->empty() ? "(Default)" : *o.name;
        return Fail(io, "no value " + name + " in " + KeyName(o));
    }
    return FailCode(io, reg.LastError());
}

// One enumeration of the values with their data, whatever their number.
int Query(const Streams& io, cRegistry& reg, const Options& o) {
    if (!reg.KeyExists(o.root, o.path)) return FailMissing(io, reg, o);
    std::vector<velmora::settings::NamedValue> values;
    reg.QueryValues(o.root, o.path, values);
    std::string lines;
    for (const auto& value : values)
        if (!o.name || SameName(value.name, *o.name)) lines += ValueLine(value);
    if (o.name && lines.empty()) return FailMissing(io, reg, o);
    io.out << "\n" << KeyName(o) << "\n" << lines << "\n";
    if (o.name) return 0;
    std::vector<std::string> names;
    reg.EnumKeys(o.root, o.path, names);
    for (std::size_t i = 1; i < names.size(); ++i) io.out << KeyName(o) << "\\" << names[i] << "\n";
    return 0;
}

// --- add, delete, export ---

// Data are checked before anything is written, so a bad value leaves no key.
int Add(const Streams& io, cRegistry& reg, const Options& o) {
    const std::string data = o.data.value_or("");
    std::optional<int32_t> dword;
    std::optional<std::vector<uint8_t>> bytes;
    if (o.type == "REG_DWORD") {
        dword = ParseDword(data);
        if (!dword)
            return Fail(io, "REG_DWORD data must be 0 to 4294967295 (or 0x0 to 0xFFFFFFFF), not " + data);
    } else if (o.type == "REG_BINARY") {
        bytes = ParseHexBytes(data);
        if (!bytes || bytes->empty())
            return Fail(io, "REG_BINARY data must be hex digits, two per byte, not " + data);
    }
    if (!reg.CreateKey(o.root, o.path)) return FailCode(io, reg.LastError());
    if (!o.name) return Succeed(io);
    const bool written = dword   ? reg.SetLongAt(o.root, o.path, *o.name, *dword)
                         : bytes ? reg.SetBinaryAt(o.root, o.path, *o.name, *bytes)
                                 : reg.SetStringAt(o.root, o.path, *o.name, data);
    return written ? Succeed(io) : FailCode(io, reg.LastError());
}

// Depth-first, since a key with sub-keys cannot be deleted.
bool DeleteTree(cRegistry& reg, int32_t root, const std::string& path) {
    std::vector<std::string> names;
    reg.EnumKeys(root, path, names);
    for (std::size_t i = 1; i < names.size(); ++i)
        if (!DeleteTree(reg, root, path + "\\" + names[i])) return false;
    return reg.DeleteKey(root, path);
}

// A key with sub-keys goes only with -f or the user's yes.
int Delete(const Streams& io, cRegistry& reg, const Options& o, const ComrtRegConfirm& confirm) {
    if (o.name) {
        if (reg.DeleteValue(o.root, o.path, *o.name)) return Succeed(io);
        // A lock or a store that takes no writes is no missing value.
        const int32_t code = reg.LastError();
        return code == velmora::reg::ERROR_FILE_NOT_FOUND ? FailMissing(io, reg, o) : FailCode(io, code);
    }
    if (o.path.empty()) return Fail(io, "a root key cannot be deleted: " + o.key);
    if (!reg.KeyExists(o.root, o.path)) return FailMissing(io, reg, o);
    std::vector<std::string> names;
    reg.EnumKeys(o.root, o.path, names);
    const std::size_t subKeys = names.empty() ? 0 : names.size() - 1;
    if (subKeys > 0 && !o.force) {
        const std::string what = KeyName(o) + " and its " + std::to_string(subKeys) + " sub-key(s)";
        if (!confirm) return Fail(io, KeyName(o) + " has sub-keys; add -f to delete them with it");
        if (!confirm("Delete " + what + "? (y/N) ")) return Fail(io, "nothing deleted");
    }
    return DeleteTree(reg, o.root, o.path) ? Succeed(io) : FailCode(io, reg.LastError());
}

int Export(const Streams& io, cRegistry& reg, const Options& o) {
    if (!reg.KeyExists(o.root, o.path)) return FailMissing(io, reg, o);
    const std::string text = reg.ExportKey(o.root, o.path, true);
    if (text.empty() || reg.LastError() != 0) return FailCode(io, reg.LastError());
    if (o.file.empty()) {
        io.out << text << std::flush;
        return io.out ? 0 : 1;
    }
    std::ofstream out(o.file, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return Fail(io, "cannot write " + o.file + ": " + std::strerror(errno));
    out << text;
    out.close();
    return out ? 0 : Fail(io, "cannot write " + o.file + ": " + std::strerror(errno));
}

int Run(const Streams& io, const Options& o, const ComrtRegConfirm& confirm) {
    cRegistry reg;
    if (o.command == "query") return Query(io, reg, o);
    if (o.command == "add") return Add(io, reg, o);
    if (o.command == "delete") return Delete(io, reg, o, confirm);
    return Export(io, reg, o);
}

} // namespace

int RunComrtReg(int argc, char** argv, std::ostream& out, std::ostream& err, const ComrtRegConfirm& confirm) {
    const Streams io{out, err};
    if (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
        out << kUsage;
        return 0;
    }
    try {
        const auto parsed = Parse(argc, argv);
        if (const auto* refusal = std::get_if<Refusal>(&parsed))
            return Fail(io, refusal->why + "; comrt-reg --help shows the usage");
        return Run(io, std::get<Options>(parsed), confirm);
    } catch (const std::exception& e) {
        return Fail(io, e.what());
    }
}
