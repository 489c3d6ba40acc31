// The stream's header parser and message check, as a subscriber meets them
// from any publisher. The first byte picks the case:
//   even: the rest is a header frame; one that parses is written again and
//         must read back the same;
//   odd:  the rest is up to 4 frames, each a 16-bit length and its bytes;
//         a message taken must decode to exactly kadrs x channels codes.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "stream_message.h"

namespace {

using velmora::fuzz::ByteReader;
using velmora::fuzz::Check;
namespace hosts = velmora::hosts;

void RoundTrip(const std::string& json) {
    hosts::StreamHeader h, again;
    std::string error;
    if (!hosts::ParseHeader(json, h, error)) {
        Check(!error.empty() && error.find('\n') == std::string::npos, "a refusal not in one line");
        return;
    }
    Check(hosts::ParseHeader(hosts::HeaderJson(h), again, error), "a header written does not parse");
    Check(again.serial == h.serial && again.address == h.address && again.channels == h.channels &&
              again.seq == h.seq && again.firstKadr == h.firstKadr && again.kadrs == h.kadrs &&
              again.lostKadrs == h.lostKadrs && again.startTime == h.startTime && again.end == h.end &&
              again.ranges == h.ranges && again.backend == h.backend && again.rate == h.rate &&
              again.codesPerVolt == h.codesPerVolt,
          "a header does not read back as written");
}

void Message(ByteReader& in) {
    std::vector<std::string> frames;
    for (uint32_t n = in.Below(4); n > 0; --n) frames.push_back(in.Bytes(in.U16()));
    std::vector<std::string_view> views(frames.begin(), frames.end());
    hosts::StreamHeader h;
    std::string error;
    if (!hosts::CheckMessage(views, h, error)) {
        Check(!error.empty() && error.find('\n') == std::string::npos, "a refusal not in one line");
        return;
    }
    std::vector<int16_t> codes;
    hosts::AppendCodes(views[2], codes);
    Check(codes.size() == static_cast<std::size_t>(h.kadrs) * h.channels.size(),
          "codes that are not the kadrs");
    Check(views[0] == hosts::StreamTopic(h.serial), "a topic that does not name the serial");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::Start("stream_header");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    if ((in.Byte() & 1) == 0)
        RoundTrip(in.Rest());
    else
        Message(in);
    return 0;
}
