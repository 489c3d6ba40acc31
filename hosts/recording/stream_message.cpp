#include "stream_message.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>

namespace velmora::hosts {
namespace {

// What the count fields take: JSON integers, which a reader in any language
// takes whole; 20.0 or 1e3 would reach some of them as doubles.
constexpr const char* kCount = "a whole number from 0 below 2^63, written without a point or an exponent";
// The scales a float keeps with volts a float holds, well past any range's.
constexpr double kLeastScale = 1e-30, kMostScale = 1e30;

// `text` as a JSON string, on one line.
void Quoted(std::string_view text, std::string& out);

// The byte where `text` stops being UTF-8 (no overlong forms, surrogates or
// points past U+10FFFF), or npos.
std::size_t NotUtf8(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto byte = [&text](std::size_t i) {
            return i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
        };
        const uint8_t lead = byte(at);
        // The continuation bytes a lead takes, and the bounds of the first.
        const int more = lead < 0x80   ? 0
                         : lead < 0xC2 ? -1
                         : lead < 0xE0 ? 1
                         : lead < 0xF0 ? 2
                         : lead < 0xF5 ? 3
                                       : -1;
        if (more < 0) return at;
        const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        for (int i = 1; i <= more; ++i) {
            const uint8_t next = byte(at + static_cast<std::size_t>(i));
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return at;
        }
        at += static_cast<std::size_t>(more) + 1;
    }
    return std::string_view::npos;
}

// A value of the flat header: a scalar, or an array of scalars.
struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array } kind = Kind::Null;
    std::string text; // a string's value, a number's token, "true" or "false"
    std::vector<JsonValue> items;
};

using JsonObject = std::map<std::string, JsonValue, std::less<>>;

// A strict reader of one JSON object whose values are scalars or arrays of
// scalars: what the header holds, and nothing deeper.
class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    // A repeated key is said once the whole text is read: its value is
    // ambiguous, as JSON readers keep the first or the last.
    bool Read(JsonObject& object, std::string& error) {
        std::optional<std::string> repeated;
        Blank();
        if (!Expect('{')) return Failed(error);
        Blank();
        if (!Take('}')) {
            for (;;) {
                std::string key;
                JsonValue value;
                Blank();
                if (!String(key)) return Failed(error);
                Blank();
                if (!Expect(':') || !Value(value, true)) return Failed(error);
                if (!object.emplace(key, std::move(value)).second && !repeated) repeated = key;
                Blank();
                if (Take('}')) break;
                if (!Expect(',')) return Failed(error);
            }
        }
        Blank();
        if (at_ != text_.size()) return Fail("text after the object", error);
        if (!repeated) return true;
        error = "the header repeats the key ";
        Quoted(*repeated, error);
        return false;
    }

private:
    bool Fail(const char* what, std::string& error) {
        problem_ = what;
        return Failed(error);
    }
    bool Failed(std::string& error) {
        error = "bad JSON at byte " + std::to_string(at_) + ": " + problem_;
        return false;
    }
    void Blank() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool Take(char c) {
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool Expect(char c) {
        if (Take(c)) return true;
        problem_ = std::string("expected '") + c + "'";
        return false;
    }

    bool Value(JsonValue& value, bool arrayAllowed) {
        Blank();
        if (at_ >= text_.size()) return Problem("the text ends before a value");
        const char c = text_[at_];
        if (c == '"') {
            value.kind = JsonValue::Kind::String;
            return String(value.text);
        }
        if (c == '[') return arrayAllowed ? Array(value) : Problem("an array inside an array");
        if (c == '{') return Problem("an object inside the header");
        if (Word("null")) return true;
        for (const char* word : {"true", "false"})
            if (Word(word)) {
                value.kind = JsonValue::Kind::Bool;
                value.text = word;
                return true;
            }
        value.kind = JsonValue::Kind::Number;
        return Number(value.text);
    }

    bool Problem(const char* what) {
        problem_ = what;
        return false;
    }

    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool Array(JsonValue& value) {
        value.kind = JsonValue::Kind::Array;
        ++at_;
        Blank();
        if (Take(']')) return true;
        for (;;) {
            JsonValue item;
            if (!Value(item, false)) return false;
            value.items.push_back(std::move(item));
            Blank();
            if (Take(']')) return true;
            if (!Expect(',')) return false;
        }
    }

    // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    bool Number(std::string& token) {
        const std::size_t start = at_;
        const auto digits = [this] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
            return at_ - from;
        };
        Take('-');
        const std::size_t whole = at_;
        if (digits() == 0) return Problem("not a value");
        if (text_[whole] == '0' && at_ - whole > 1) return Problem("a number with a leading zero");
        if (Take('.') && digits() == 0) return Problem("a number without digits after its point");
        if (Take('e') || Take('E')) {
            if (!Take('+')) Take('-');
            if (digits() == 0) return Problem("a number without digits in its exponent");
        }
        token = std::string(text_.substr(start, at_ - start));
        return true;
    }

    bool Hex4(uint32_t& unit) {
        if (text_.size() - at_ < 4) return Problem("a \\u escape cut short");
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return Problem("a \\u escape that is not hex");
            unit = unit * 16 + static_cast<uint32_t>(digit);
        }
        return true;
    }

    static void Utf8(uint32_t point, std::string& out) {
        if (point < 0x80) {
            out += static_cast<char>(point);
        } else if (point < 0x800) {
            out += static_cast<char>(0xC0 | (point >> 6));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            out += static_cast<char>(0xE0 | (point >> 12));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (point >> 18));
            out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (point & 0x3F));
        }
    }

    bool Escape(std::string& out) {
        if (at_ >= text_.size()) return Problem("a string cut short");
        const char c = text_[at_++];
        static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        if (const auto k = kFrom.find(c); k != std::string_view::npos) {
            out += kTo[k];
            return true;
        }
        if (c != 'u') return Problem("an unknown escape");
        uint32_t unit = 0;
        if (!Hex4(unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return Problem("a lone low surrogate");
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint32_t low = 0;
            if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return Problem("a high surrogate without its low one");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        Utf8(unit, out);
        return true;
    }

    bool String(std::string& out) {
        if (!Expect('"')) return false;
        for (;;) {
            if (at_ >= text_.size()) return Problem("a string cut short");
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return Problem("a control character in a string");
            if (c != '\\')
                out += c;
            else if (!Escape(out))
                return false;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string problem_;
};

// The fields of a header, each taken with the check of its type.
class Fields {
public:
    Fields(const JsonObject& object, std::string& error) : object_(object), error_(error) {}

    bool Text(const char* name, std::string& out) {
        const JsonValue* v = Find(name);
        if (v == nullptr) return false;
        if (v->kind != JsonValue::Kind::String) return Wrong(name, "a string");
        out = v->text;
        return true;
    }
    // null, or the reason on the last message: an empty one would be an
    // end to some readers and none to others.
    bool End(const char* name, std::optional<std::string>& out) {
        const JsonValue* v = Find(name);
        if (v == nullptr) return false;
        out.reset();
        if (v->kind == JsonValue::Kind::Null) return true;
        if (v->kind != JsonValue::Kind::String || v->text.empty())
            return Wrong(name, "null, or a text that says why the recording ended");
        out = v->text;
        return true;
    }
    bool Count(const char* name, int64_t& out) {
        const JsonValue* v = Find(name);
        return v != nullptr && (Count(*v, out) || Wrong(name, kCount));
    }
    bool Rate(const char* name, double& out) {
        const JsonValue* v = Find(name);
        return v != nullptr && ((Positive(*v, out) && out >= kSlowestRate && out <= kFastestRate) ||
                                Wrong(name, "kadrs per second from 0.001 to 500000"));
    }
    bool Texts(const char* name, std::vector<std::string>& out) {
        return Array(name, "an array of strings", out, [](const JsonValue& item, std::string& text) {
            if (item.kind != JsonValue::Kind::String) return false;
            text = item.text;
            return true;
        });
    }
    // Read as a double, as any JSON reader does, then kept as the driver's float.
    bool Scales(const char* name, std::vector<float>& out) {
        return Array(name, "a list of numbers from 1e-30 to 1e30", out,
                     [](const JsonValue& item, float& value) {
                         double number = 0;
                         if (!Positive(item, number) || number < kLeastScale || number > kMostScale)
                             return false;
                         value = static_cast<float>(number);
                         return true;
                     });
    }
    // A range index as the driver types it (16 bits), as files and e16scope
    // keep it; which ones the module has is the driver's to say, and a
    // stream's reader has none.
    bool RangeIndexes(const char* name, std::vector<int64_t>& out) {
        return Array(name,
                     "a list of range indexes: whole numbers from 0 to 32767, written without a point or an "
                     "exponent",
                     out, [](const JsonValue& item, int64_t& value) {
                         return Count(item, value) && value <= std::numeric_limits<int16_t>::max();
                     });
    }
    bool StartTime(const char* name, std::string& out) {
        return Text(name, out) &&
               (IsStartTime(out) || Wrong(name, "a UTC time such as 2026-12-07T01:29:39.483Z, or empty"));
    }
    // An array field whose every item `take` accepts; `takes` names it in the refusal.
    template <typename T, typename Take>
    bool Array(const char* name, const char* takes, std::vector<T>& out, Take take) {
        const JsonValue* v = Find(name);
        if (v == nullptr) return false;
        if (v->kind != JsonValue::Kind::Array) return Wrong(name, takes);
        out.assign(v->items.size(), T{});
        for (std::size_t i = 0; i < out.size(); ++i)
            if (!take(v->items[i], out[i])) return Wrong(name, takes);
        return true;
    }
    bool Has(const char* name) const { return object_.find(name) != object_.end(); }
    bool Wrong(const char* name, const char* takes) {
        error_ = std::string("header field \"") + name + "\" is not " + takes;
        return false;
    }

private:
    const JsonValue* Find(const char* name) {
        const auto at = object_.find(name);
        if (at != object_.end()) return &at->second;
        error_ = std::string("header has no field \"") + name + "\"";
        return nullptr;
    }
    // The time the publisher writes, "2026-12-07T01:29:39.483Z" of a real
    // day, or "" before the recording's first kadr: the origin of the kadrs' times.
    static bool IsStartTime(std::string_view t) {
        constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.dddZ";
        if (t.empty()) return true;
        if (t.size() != kShape.size()) return false;
        for (std::size_t i = 0; i < t.size(); ++i)
            if (kShape[i] == 'd' ? t[i] < '0' || t[i] > '9' : t[i] != kShape[i]) return false;
        const auto number = [t](std::size_t at, std::size_t digits) {
            unsigned value = 0;
            for (std::size_t i = at; i < at + digits; ++i)
                value = value * 10 + static_cast<unsigned>(t[i] - '0');
            return value;
        };
        const auto year = static_cast<int>(number(0, 4));
        const std::chrono::year_month_day day{std::chrono::year{year}, std::chrono::month{number(5, 2)},
                                              std::chrono::day{number(8, 2)}};
        return year >= 1 && day.ok() && number(11, 2) < 24 && number(14, 2) < 60 && number(17, 2) < 60;
    }
    static bool Count(const JsonValue& v, int64_t& out) {
        if (v.kind != JsonValue::Kind::Number) return false;
        const char* end = v.text.data() + v.text.size();
        const auto [ptr, ec] = std::from_chars(v.text.data(), end, out);
        return ec == std::errc() && ptr == end && out >= 0;
    }
    static bool Positive(const JsonValue& v, double& out) {
        if (v.kind != JsonValue::Kind::Number) return false;
        const char* end = v.text.data() + v.text.size();
        const auto [ptr, ec] = std::from_chars(v.text.data(), end, out);
        return ec == std::errc() && ptr == end && std::isfinite(out) && out > 0;
    }

    const JsonObject& object_;
    std::string& error_;
};

void Quoted(std::string_view text, std::string& out) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

// The shortest text that reads back as the same value of its own type: a
// scale written from a float reads "3276.7", not its double's 17 digits.
template <typename Real> void Number(Real value, std::string& out) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, ec == std::errc() ? end : text);
}

void Key(const char* name, std::string& out) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += name;
    out += "\":";
}

template <typename T, typename Put> void List(const std::vector<T>& items, std::string& out, Put put) {
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ',';
        put(items[i]);
    }
    out += ']';
}

} // namespace

std::string Counted(int64_t n, std::string_view noun) {
    return std::to_string(n) + " " + std::string(noun) + (n == 1 ? "" : "s");
}

// A recording as its header names it: "SIM0001, 4 channels, started T".
static std::string Described(const StreamHeader& h) {
    return h.serial + ", " + Counted(static_cast<int64_t>(h.channels.size()), "channel") + ", started " +
           h.startTime;
}

std::string NewRecording(const StreamHeader& was, const StreamHeader& now) {
    std::string changed;
    const auto note = [&changed](bool differs, const char* field) {
        if (differs) changed += (changed.empty() ? "" : ", ") + std::string(field);
    };
    note(now.channels != was.channels, "channels");
    note(now.rate != was.rate, "rate");
    note(now.codesPerVolt != was.codesPerVolt, "codes_per_volt");
    // The field is optional: a message without it says nothing of the ranges.
    note(!now.ranges.empty() && !was.ranges.empty() && now.ranges != was.ranges, "ranges");
    note(now.startTime != was.startTime, "start_time");
    if (changed.empty()) return {};
    return "the publisher began another recording (" + Described(now) + "; changed: " + changed + ")";
}

std::string StreamTopic(const std::string& serial) {
    return std::string(kStreamTopicPrefix) + serial;
}

std::string HeaderJson(const StreamHeader& h) {
    std::string out = "{";
    const auto text = [&out](const char* name, std::string_view value) {
        Key(name, out);
        Quoted(value, out);
    };
    const auto count = [&out](const char* name, int64_t value) {
        Key(name, out);
        out += std::to_string(value);
    };
    text("serial", h.serial);
    text("address", h.address);
    count("seq", h.seq);
    count("first_kadr", h.firstKadr);
    count("kadrs", h.kadrs);
    Key("channels", out);
    List(h.channels, out, [&out](const std::string& name) { Quoted(name, out); });
    Key("rate", out);
    Number(h.rate, out);
    Key("codes_per_volt", out);
    List(h.codesPerVolt, out, [&out](float scale) { Number(scale, out); });
    Key("ranges", out);
    List(h.ranges, out, [&out](int64_t range) { out += std::to_string(range); });
    text("start_time", h.startTime);
    count("lost_kadrs", h.lostKadrs);
    text("backend", h.backend);
    Key("end", out);
    if (h.end)
        Quoted(*h.end, out);
    else
        out += "null";
    out += '}';
    return out;
}

bool ParseHeader(std::string_view json, StreamHeader& h, std::string& error) {
    if (const std::size_t bad = NotUtf8(json); bad != std::string_view::npos) {
        error = "the header is not UTF-8 from byte " + std::to_string(bad);
        return false;
    }
    JsonObject object;
    if (!JsonReader(json).Read(object, error)) return false;
    Fields f(object, error);
    h = {};
    if (!f.Text("serial", h.serial) || !f.Text("address", h.address) || !f.Count("seq", h.seq) ||
        !f.Count("first_kadr", h.firstKadr) || !f.Count("kadrs", h.kadrs) ||
        !f.Texts("channels", h.channels) || !f.Rate("rate", h.rate) ||
        !f.Scales("codes_per_volt", h.codesPerVolt) || !f.StartTime("start_time", h.startTime) ||
        !f.Count("lost_kadrs", h.lostKadrs) || !f.End("end", h.end))
        return false;
    if ((f.Has("ranges") && !f.RangeIndexes("ranges", h.ranges)) ||
        (f.Has("backend") && !f.Text("backend", h.backend)))
        return false;
    if (h.channels.empty()) return f.Wrong("channels", "a list of at least one channel");
    if (h.codesPerVolt.size() != h.channels.size())
        return f.Wrong("codes_per_volt", "one number per channel");
    if (!h.ranges.empty() && h.ranges.size() != h.channels.size())
        return f.Wrong("ranges", "one range per channel");
    // The kadr after the block is where the next message goes on: a count too.
    if (h.kadrs > std::numeric_limits<int64_t>::max() - h.firstKadr)
        return f.Wrong("kadrs", "a number that keeps first_kadr + kadrs below 2^63");
    return true;
}

bool CheckMessage(std::span<const std::string_view> frames, StreamHeader& header, std::string& error) {
    if (frames.size() != 3) {
        error = "a message of " + std::to_string(frames.size()) + " frames, not 3 (topic, header, codes)";
        return false;
    }
    if (!ParseHeader(frames[1], header, error)) return false;
    if (frames[0] != StreamTopic(header.serial)) {
        // Both quoted as JSON: a control character in either stays on the one line.
        error = "topic ";
        Quoted(frames[0].substr(0, 64), error);
        error += " does not name serial ";
        Quoted(header.serial, error);
        return false;
    }
    const auto channels = static_cast<uint64_t>(header.channels.size());
    const uint64_t payload = frames[2].size();
    const auto kadrs = static_cast<uint64_t>(header.kadrs);
    // Compared without a product that could overflow.
    if (payload % (2 * channels) != 0 || payload / (2 * channels) != kadrs) {
        error = "a payload of " + Counted(static_cast<int64_t>(payload), "byte") + " for " +
                Counted(static_cast<int64_t>(kadrs), "kadr") + " of " +
                Counted(static_cast<int64_t>(channels), "channel") + " (" + std::to_string(2 * channels) +
                " bytes a kadr)";
        return false;
    }
    return true;
}

namespace {

// Only a big-endian machine swaps; a function there, used nowhere else.
struct Swap {
    int16_t operator()(int16_t code) const {
        const auto bits = static_cast<uint16_t>(code);
        return static_cast<int16_t>(static_cast<uint16_t>(bits >> 8 | bits << 8));
    }
};

} // namespace

bool IsEndpoint(const std::string& text, bool bound) {
    if (text.starts_with("ipc://")) return text.size() > 6;
    if (!text.starts_with("tcp://")) return false;
    const auto colon = text.rfind(':');
    const std::string host = text.substr(6, colon - 6), number = text.substr(colon + 1);
    if (colon <= 6 || host.empty() || (!bound && host == "*")) return false;
    if (bound && number == "*") return true;
    int port = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), port);
    return ec == std::errc() && end == number.data() + number.size() && port > 0 && port < 65536;
}

std::string SilenceReason(const std::string& endpoint, double seconds, int64_t skipped,
                          const std::string& serial, const std::vector<std::string>& others) {
    char time[32];
    std::snprintf(time, sizeof time, " for %g s", seconds);
    // Other modules' messages passed over: the endpoint was not silent.
    const bool named = !serial.empty() && !others.empty();
    const std::string from = " from " + (named ? serial + " at " : "") + endpoint + time;
    std::string reason = skipped == 0
                             ? "no message" + from
                             : "no good message" + from + " (" + std::to_string(skipped) + " skipped)";
    if (!named) return reason;
    reason += "; messages of other modules came (";
    for (std::size_t i = 0; i < others.size(); ++i) reason += (i > 0 ? ", " : "") + others[i];
    return reason + ")";
}

void NoteOtherModule(std::string_view topic, std::vector<std::string>& others) {
    constexpr std::size_t kNamed = 3; // named in a silence's reason; more are passed over unnamed
    if (others.size() >= kNamed) return;
    std::string serial(topic.substr(std::min(topic.size(), kStreamTopicPrefix.size()), 32));
    for (char& c : serial)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    if (std::find(others.begin(), others.end(), serial) == others.end()) others.push_back(serial);
}

void AppendPayload(const int16_t* codes, std::size_t count, std::string& payload) {
    if (count == 0) return; // the end's empty block may have no memory at all
    const std::size_t before = payload.size();
    payload.resize(before + count * 2);
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = 0; i < count; ++i) {
            const int16_t code = Swap{}(codes[i]);
            std::memcpy(payload.data() + before + 2 * i, &code, 2);
        }
    else
        std::memcpy(payload.data() + before, codes, count * 2);
}

void AppendCodes(std::string_view payload, std::vector<int16_t>& codes) {
    const std::size_t before = codes.size(), count = payload.size() / 2;
    if (count == 0) return;
    codes.resize(before + count);
    std::memcpy(codes.data() + before, payload.data(), count * 2);
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = before; i < codes.size(); ++i) codes[i] = Swap{}(codes[i]);
}

} // namespace velmora::hosts
