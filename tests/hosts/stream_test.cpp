// The recording's stream: its header made and read back, every way a
// message can be malformed refused in one line, the subscriber going past
// such messages and telling gaps, and the gaps a stream's files keep.
#include <zmq.h>

#include <functional>
#include <numeric>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "raw_publisher.h"
#include "recorded_files.h"
#include "recording_file.h"
#include "stream_message.h"
#include "stream_reader.h"
#include "test_support.h"

namespace velmora::hosts {
namespace {

StreamHeader Sample() {
    StreamHeader h;
    h.serial = "SIM\"0001\\\u00e9";
    h.address = "127.0.0.1";
    h.seq = 7;
    h.firstKadr = 5'000'000'000LL; // past 32 bits
    h.kadrs = 2;
    h.channels = {"X1", "Y16", "line\nbreak"};
    h.rate = 15625.0009765625; // a float, whose shortest text is shorter
    h.codesPerVolt = {3276.7f, 800.0f, 0.1f};
    h.ranges = {0, 32767, 1}; // an index the module lacks is the driver's to refuse
    h.startTime = "2026-12-07T01:29:39.483Z";
    h.lostKadrs = 1024;
    h.backend = "simulated module (/x/libe16sim.so), version 1.1.34";
    return h;
}

// Every field of a header.
auto Fields(const StreamHeader& h) {
    return std::tuple(h.serial, h.address, h.seq, h.firstKadr, h.kadrs, h.channels, h.rate, h.codesPerVolt,
                      h.startTime, h.lostKadrs, h.end, h.ranges, h.backend);
}

// With an end or without, at the slowest and the fastest rates, and with
// the smallest scale.
TEST(StreamMessage, HeaderReadsBackAsWritten) {
    const std::function<void(StreamHeader&)> changes[] = {
        [](StreamHeader&) {}, [](StreamHeader& h) { h.end = "complete"; },
        [](StreamHeader& h) { h.rate = 0.001; }, [](StreamHeader& h) { h.rate = 500000; },
        [](StreamHeader& h) { h.codesPerVolt[2] = 1e-30f; }};
    for (const auto& change : changes) {
        StreamHeader h = Sample(), back;
        change(h);
        std::string error;
        ASSERT_TRUE(ParseHeader(HeaderJson(h), back, error)) << error << ": " << HeaderJson(h);
        EXPECT_EQ(Fields(back), Fields(h));
    }
    // A float scale is written as the float's shortest text.
    EXPECT_THAT(HeaderJson(Sample()), testing::HasSubstr("\"codes_per_volt\":[3276.7,800,0.1]"));
}

// The fields every message needs, in JSON, with one replaced or dropped.
std::string Header(const std::string& replace = {}, const std::string& with = {}) {
    std::string json = R"({"serial":"S1","address":"a","seq":0,"first_kadr":0,"kadrs":1,"channels":["Y16"],)"
                       R"("rate":1000,"codes_per_volt":[3276.7],"start_time":"2026-12-07T01:29:39.483Z",)"
                       R"("lost_kadrs":0,"end":null})";
    if (!replace.empty()) json.replace(json.find(replace), replace.size(), with);
    return json;
}

TEST(StreamMessage, HeadersThatAreNotOursAreRefusedInOneLine) {
    const std::string rate = "header field \"rate\" is not kadrs per second from 0.001 to 500000";
    const std::string start =
        "header field \"start_time\" is not a UTC time such as 2026-12-07T01:29:39.483Z";
    const std::string time = "2026-12-07T01:29:39.483Z";
    const std::string count =
        "header field \"seq\" is not a whole number from 0 below 2^63, written without a "
        "point or an exponent";
    const std::string scales = "header field \"codes_per_volt\" is not a list of numbers from 1e-30 to 1e30";
    const struct {
        std::string json, said;
    } cases[] = {
        {"", "bad JSON at byte 0: expected '{'"},
        {"[]", "bad JSON at byte 0: expected '{'"},
        {Header().substr(0, 40), "bad JSON at byte 40: a string cut short"},
        {Header() + "x", "text after the object"},
        {Header() + "{}", "text after the object"},
        {Header(R"("seq":0)", R"("seq":0,"seq":1)"), "the header repeats the key \"seq\""},
        {Header(R"("seq":0)", R"("seq":0,"seq":1,)"), "bad JSON at byte"}, // the whole text read first
        {Header(R"("a")", "\"a\xff\""), "the header is not UTF-8 from byte 27"},
        {Header(R"("a")", "\"a\xc0\x80\""), "the header is not UTF-8 from byte 27"},    // an overlong 0
        {Header(R"("a")", "\"\xed\xa0\x80\""), "the header is not UTF-8 from byte 26"}, // a surrogate
        {Header(R"("end":null)", R"("end":{"why":1})"), "an object inside the header"},
        {Header(R"(["Y16"])", R"([["Y16"]])"), "an array inside an array"},
        {Header(R"("seq":0)", R"("seq":01)"), "a number with a leading zero"},
        {Header(R"("seq":0)", R"("seq":1.)"), "without digits after its point"},
        {Header(R"("seq":0)", R"("seq":1e)"), "without digits in its exponent"},
        {Header(R"("seq":0)", R"("seq":-)"), "not a value"},
        {Header(R"("seq":0)", R"("seq":nul)"), "not a value"},
        {Header(R"("a")", "\"a\tb\""), "a control character in a string"},
        {Header(R"("a")", R"("a\x")"), "an unknown escape"},
        {Header(R"("a")", R"("\ud800")"), "a high surrogate without its low one"},
        {Header(R"("a")", R"("\udc00")"), "a lone low surrogate"},
        {Header(R"("a")", R"("\u12G4")"), "not hex"},
        {Header(R"("rate":1000,)"), "header has no field \"rate\""},
        {Header(R"("end":null)", R"("e":null)"), "header has no field \"end\""},
        {Header(R"("seq":0)", R"("seq":-1)"), count},
        {Header(R"("seq":0)", R"("seq":20.0)"), count},
        {Header(R"("seq":0)", R"("seq":1e0)"), count},
        {Header(R"("kadrs":1)", R"("kadrs":99999999999999999999)"), "header field \"kadrs\" is not"},
        {Header(R"("kadrs":1)", R"("kadrs":"1")"), "header field \"kadrs\" is not"},
        {Header(R"("first_kadr":0)", R"("first_kadr":9223372036854775807)"),
         "header field \"kadrs\" is not a number that keeps first_kadr + kadrs below 2^63"},
        {Header(R"("rate":1000)", R"("rate":1e999)"), rate},
        {Header(R"("rate":1000)", R"("rate":1e-300)"), rate},
        {Header(R"("rate":1000)", R"("rate":500001)"), rate},
        {Header(R"("serial":"S1")", R"("serial":1)"), "header field \"serial\" is not a string"},
        {Header(R"("end":null)", R"("end":true)"),
         "header field \"end\" is not null, or a text that says why the recording ended"},
        {Header(R"("end":null)", R"("end":"")"), "header field \"end\" is not null, or a text"},
        {Header(R"(["Y16"])", "[]"), "header field \"channels\" is not a list of at least one channel"},
        {Header(R"(["Y16"])", "[1]"), "header field \"channels\" is not an array of strings"},
        {Header(R"([3276.7])", "[1,2]"), "header field \"codes_per_volt\" is not one number per channel"},
        {Header(R"([3276.7])", "[-1]"), scales},
        {Header(R"([3276.7])", "[1e-46]"), scales}, // a float's 0
        {Header(R"([3276.7])", "[1e31]"), scales},
        {Header(R"("end":null)", R"("end":null,"ranges":[0,1])"), "header field \"ranges\" is not one range"},
        // Past what an int16 holds: e16rec's files and e16scope would keep -32768.
        {Header(R"("end":null)", R"("end":null,"ranges":[32768])"),
         "header field \"ranges\" is not a list of range indexes: whole numbers from 0 to 32767, written "
         "without a point or an exponent"},
        {Header(R"("end":null)", R"("end":null,"ranges":[1.0])"), "header field \"ranges\" is not a list"},
        {Header(time, "t"), start},
        {Header(time, "2026-02-29T01:29:39.483Z"), start},
        {Header(time, "2026-12-07T01:29:60.483Z"), start},
        {Header(time, "2026-12-07T24:29:39.483Z"), start},
        {Header(R"("end":null)", R"("end":null,"backend":[])"), "header field \"backend\" is not a string"},
    };
    for (const auto& c : cases) {
        StreamHeader h;
        std::string error;
        EXPECT_FALSE(ParseHeader(c.json, h, error)) << c.json;
        EXPECT_THAT(error, testing::AllOf(testing::HasSubstr(c.said), testing::Not(testing::HasSubstr("\n"))))
            << c.json;
    }
    StreamHeader h;
    std::string error;
    EXPECT_TRUE(ParseHeader(" \n" + Header(R"("end":null)", R"("end":"done","future":[1,"x",null])") + "\r\n",
                            h, error))
        << "unknown fields are left for later: " << error;
    EXPECT_EQ(h.end, "done");
}

TEST(StreamMessage, FramesAreCheckedWhole) {
    const std::string header = Header(R"("kadrs":1)", R"("kadrs":2)"), codes(4, '\x01'),
                      huge = Header(R"("kadrs":1)", R"("kadrs":9223372036854775807)");
    const struct {
        std::vector<std::string_view> frames;
        std::string said; // empty: taken
    } cases[] = {
        {{"E16/S1", header, codes}, ""},
        {{"E16/S1", header}, "a message of 2 frames, not 3"},
        {{"E16/S1", header, codes, ""}, "a message of 4 frames, not 3"},
        {{}, "a message of 0 frames, not 3"},
        {{"E16/S2", header, codes}, "topic \"E16/S2\" does not name serial \"S1\""},
        {{"E16/S1\n", header, codes}, "topic \"E16/S1\\u000a\" does not name"}, // still one line
        {{"E16/S1", header, codes.substr(1)}, "a payload of 3 bytes for 2 kadrs of 1 channel"},
        {{"E16/S1", header, codes + "xx"}, "a payload of 6 bytes for 2 kadrs"},
        {{"E16/S1", huge, codes}, "a payload of 4 bytes"},
        {{"E16/S1", "{", codes}, "bad JSON"},
    };
    for (const auto& c : cases) {
        StreamHeader h;
        std::string error;
        EXPECT_EQ(CheckMessage(c.frames, h, error), c.said.empty()) << c.said;
        EXPECT_NE(error.find(c.said), std::string::npos) << c.said << " → " << error;
    }
    // Little-endian codes (what a reader makes of a writer's is the reader's test).
    std::vector<int16_t> decoded;
    AppendCodes("\x01\x02\xff\x7f", decoded);
    EXPECT_EQ(decoded, (std::vector<int16_t>{0x0201, 0x7fff}));
}

// A good message of two channels whose codes count up from first x 2, of
// module S1's recording unless `change` makes it another's.
std::vector<std::string> Good(int64_t first, int64_t kadrs,
                              const std::function<void(StreamHeader&)>& change = {}) {
    StreamHeader h;
    h.serial = "S1";
    h.firstKadr = first;
    h.kadrs = kadrs;
    h.channels = {"Y16", "Y16"};
    h.codesPerVolt.assign(2, 3276.7f);
    h.rate = 1000;
    h.ranges = {0, 0};
    if (change) change(h);
    std::vector<int16_t> codes(static_cast<std::size_t>(kadrs) * h.channels.size());
    std::iota(codes.begin(), codes.end(), static_cast<int16_t>(first * 2));
    std::string payload;
    AppendPayload(codes.data(), codes.size(), payload);
    return {StreamTopic(h.serial), HeaderJson(h), payload};
}

// A malformed message, and one that goes back even a kadr, are refused;
// those of the module's next recording (channels, rate, scales, ranges or
// start; a message without ranges is none) told apart, each said in one
// line with what changed, and the
// reader goes on; another module's (S10, which topic E16/S1 takes too) are
// passed over; a message after missing kadrs tells them.
TEST(StreamReader, GoesPastWhatItRefusesCountingGaps) {
    test::TempDir dir;
    const std::string endpoint = "ipc://" + (dir.path() / "stream").string();
    StreamReader reader, wrapped;
    std::string error;
    EXPECT_FALSE(wrapped.Open("tcp://127.0.0.1:99999", error)) << "ZeroMQ would take port 34463";
    EXPECT_EQ(error, "cannot subscribe to tcp://127.0.0.1:99999: not tcp://HOST:PORT with a port from 1 to "
                     "65535, or ipc://PATH");
    ASSERT_TRUE(reader.Open(endpoint, error, "E16/S1")) << error;
    test::Publish(endpoint, {Good(0, 10),
                             {"E16/S1", Header()},
                             Good(9, 4), // goes back a kadr
                             Good(0, 4, [](StreamHeader& h) { h.serial = "S10"; }),
                             Good(10, 4,
                                  [](StreamHeader& h) {
                                      h.channels.push_back("X1");
                                      h.codesPerVolt.push_back(1);
                                      h.ranges.push_back(0);
                                  }),
                             Good(10, 4, [](StreamHeader& h) { h.rate = 2000; }),
                             Good(10, 4, [](StreamHeader& h) { h.codesPerVolt[1] = 800; }),
                             Good(10, 4, [](StreamHeader& h) { h.ranges.assign(2, 1); }),
                             Good(10, 4, [](StreamHeader& h) { h.startTime = "2026-12-07T01:29:39.483Z"; }),
                             Good(14, 6, [](StreamHeader& h) { h.ranges.clear(); }), // after a gap of 4
                             Good(20, 1)});
    const std::string another = "the publisher began another recording (S1, ";
    const struct {
        StreamReader::Got got;
        std::string said;
        int64_t first = 0, missing = 0;
    } expected[] = {
        {StreamReader::Got::Block, "", 0, 0},
        {StreamReader::Got::Refused, "a message of 2 frames, not 3 (topic, header, codes)"},
        {StreamReader::Got::Refused, "message 0 goes back to kadr 9 after kadr 9"},
        {StreamReader::Got::Another,
         another + "3 channels, started ; changed: channels, codes_per_volt, ranges)"},
        {StreamReader::Got::Another, another + "2 channels, started ; changed: rate)"},
        {StreamReader::Got::Another, another + "2 channels, started ; changed: codes_per_volt)"},
        {StreamReader::Got::Another, another + "2 channels, started ; changed: ranges)"},
        {StreamReader::Got::Another,
         another + "2 channels, started 2026-12-07T01:29:39.483Z; changed: start_time)"},
        {StreamReader::Got::Block, "", 14, 4},
        {StreamReader::Got::Block, "", 20, 0},
        {StreamReader::Got::Nothing, ""},
    };
    for (const auto& e : expected) {
        StreamBlock block;
        error.clear();
        ASSERT_EQ(reader.Next(2000, block, error), e.got) << e.said << ": " << error;
        EXPECT_EQ(error, e.said);
        if (e.got != StreamReader::Got::Block) continue;
        ASSERT_EQ(block.codes.size(), static_cast<std::size_t>(block.header.kadrs * 2));
        EXPECT_EQ(std::tuple(block.header.firstKadr, block.missingBefore, block.codes.front()),
                  std::tuple(e.first, e.missing, e.first * 2))
            << "first kadr, kadrs missing before, first code";
    }
    EXPECT_EQ(std::pair(reader.Gaps(), reader.GapKadrs()), std::pair(int64_t{1}, int64_t{4}));
}

// Another module's messages do not lengthen a wait however many are queued
// (a timeout of 0 passes over one), and the silence of the module followed
// names them.
TEST(StreamReader, AnotherModulesMessagesEndNoWait) {
    test::TempDir dir;
    const std::string endpoint = "ipc://" + (dir.path() / "stream").string();
    StreamReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(endpoint, error)) << error;
    std::vector<std::vector<std::string>> messages{Good(0, 1)};
    messages.insert(messages.end(), 100, Good(0, 1, [](StreamHeader& h) { h.serial = "S2"; }));
    messages.push_back(Good(1, 1));
    test::Publish(endpoint, messages);
    StreamBlock block;
    ASSERT_EQ(reader.Next(2000, block, error), StreamReader::Got::Block) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // all of them queued
    EXPECT_EQ(reader.Next(0, block, error), StreamReader::Got::Nothing);
    EXPECT_EQ(SilenceReason("E", 10, 0, "S1", reader.Others()),
              "no message from S1 at E for 10 s; messages of other modules came (S2)");
    ASSERT_EQ(reader.Next(2000, block, error), StreamReader::Got::Block) << error;
    EXPECT_EQ(block.header.firstKadr, 1);
    EXPECT_THAT(reader.Others(), testing::IsEmpty()) << "named since the last message taken";
}

// A stream's file keeps its gaps where they fell: rows of the dataset
// "gaps", or comment lines in CSV with the time going on after them.
TEST(StreamFiles, GapsAreKeptWhereTheyFell) {
    test::TempDir dir;
    RecordingInfo info;
    info.channels = {{"Y16", 0, 1000.0f}};
    info.rate = 1000;
    info.firstKadr = 100;
    info.source = "ipc:///run/e16";
    const int16_t codes[] = {1, 2, 3};
    for (const FileFormat format : {FileFormat::Csv, FileFormat::Hdf5}) {
        const auto file = dir.path() / (format == FileFormat::Csv ? "gaps.csv" : "gaps.h5");
        std::string error;
        auto writer = OpenWriter(file, format, info, false, error);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(writer->Write(codes, 2) && writer->Gap(102, 5) && writer->Write(codes + 2, 1) &&
                    writer->Gap(108, 1000000) && writer->Write(codes, 1) && writer->Close())
            << writer->Error();
        EXPECT_EQ(writer->Kadrs(), 4u);
        if (format == FileFormat::Csv) {
            EXPECT_EQ(test::Slurp(file), "# first_kadr 100, source ipc:///run/e16\n"
                                         "time,Y16\n"
                                         "0.1000000,0.001000\n"
                                         "0.1010000,0.002000\n"
                                         "# gap first_kadr 102, kadrs 5\n"
                                         "0.1070000,0.003000\n"
                                         "# gap first_kadr 108, kadrs 1000000\n"
                                         "1000.1080000,0.001000\n");
        } else {
            EXPECT_EQ(test::ReadHdf5(file.string(), false).gaps, (std::vector<int64_t>{102, 5, 108, 1000000}))
                << "two rows of (first, kadrs)";
        }
    }
}

} // namespace
} // namespace velmora::hosts
