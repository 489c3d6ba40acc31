// The recording files read back: the CSV as text, the HDF5 file through the
// HDF5 library, the way a user's own tools would read them.
#include <hdf5.h>

#include <fstream>

#include <gtest/gtest.h>

#include "recording_file.h"
#include "test_support.h"

namespace velmora::hosts {
namespace {

RecordingInfo TwoChannels() {
    RecordingInfo info;
    info.channels = {{"X1", 0, 800.0f}, {"Y16", 3, 8000.0f}};
    info.rate = 1000;
    info.startTime = "2026-12-06T10:00:00Z";
    info.serial = "SIM0001";
    info.backend = "simulated module";
    info.address = "127.0.0.1";
    return info;
}

using test::Slurp;

// The module's description in a comment line first, then time from the
// first kadr and volts with six decimals, '.' whatever the locale; the time
// keeps counting across writes.
TEST(RecordingFile, CsvHoldsTimeAndVoltsOfEveryKadr) {
    test::TempDir dir;
    std::string error;
    auto writer = OpenWriter(dir.path() / "run.csv", FileFormat::Csv, TwoChannels(), false, error);
    ASSERT_TRUE(writer) << error;
    const int16_t first[] = {800, -8000, -1, 32767};
    const int16_t second[] = {0, 4};
    ASSERT_TRUE(writer->Write(first, 2));
    ASSERT_TRUE(writer->Write(second, 1));
    ASSERT_TRUE(writer->Close()) << writer->Error();
    EXPECT_EQ(writer->Kadrs(), 3u);
    EXPECT_EQ(
        Slurp(dir.path() / "run.csv"),
        "# serial SIM0001, address 127.0.0.1, start_time 2026-12-06T10:00:00Z, backend simulated module\n"
        "time,X1,Y16\n"
        "0.0000000,1.000000,-1.000000\n"
        "0.0010000,-0.001250,4.095875\n"
        "0.0020000,0.000000,0.000500\n");
}

// The comment names what is known, each field on the one line; the backend
// goes last, for its text has commas of its own.
TEST(RecordingFile, CsvCommentHoldsWhatIsKnown) {
    const struct {
        std::string serial, backend, text;
    } cases[] = {
        {"", "", "time,X1\n"},
        {"SIM0002", "vendor library /lib/x.so,\nversion 1.1.34",
         "# serial SIM0002, backend vendor library /lib/x.so, version 1.1.34\ntime,X1\n"},
    };
    for (const auto& c : cases) {
        RecordingInfo info;
        info.channels = {{"X1", 0, 3200.0f}};
        info.serial = c.serial;
        info.backend = c.backend;
        std::string text;
        AppendCsvHeader(info, text);
        EXPECT_EQ(text, c.text);
    }
}

TEST(RecordingFile, KeepsAnExistingFileUnlessToldToReplaceIt) {
    test::TempDir dir;
    for (FileFormat format : {FileFormat::Csv, FileFormat::Hdf5}) {
        const auto file = dir.path() / (format == FileFormat::Csv ? "old.csv" : "old.h5");
        std::ofstream(file) << "precious";
        std::string error;
        EXPECT_FALSE(OpenWriter(file, format, TwoChannels(), false, error));
        EXPECT_EQ(error, file.string() + " exists; --force replaces it");
        EXPECT_EQ(Slurp(file), "precious");
        auto writer = OpenWriter(file, format, TwoChannels(), true, error);
        ASSERT_TRUE(writer) << error;
        EXPECT_TRUE(writer->Close()) << writer->Error();
        EXPECT_NE(Slurp(file), "precious");
    }
}

// A full disk is an error at the write or at the close, never a silent cut.
TEST(RecordingFile, FullDiskFailsWithItsReason) {
    std::string error;
    auto writer = OpenWriter("/dev/full", FileFormat::Csv, TwoChannels(), true, error);
    ASSERT_TRUE(writer) << error;
    std::vector<int16_t> codes(2 * 100000, 1);
    const bool wrote = writer->Write(codes.data(), 100000);
    EXPECT_FALSE(wrote && writer->Close());
    EXPECT_EQ(writer->Error(), "cannot write /dev/full: No space left on device");
    EXPECT_FALSE(writer->Write(codes.data(), 1)) << "nothing more after a failure";
}

template <typename T>
std::vector<T> ReadAttribute(hid_t dataset, const char* name, hid_t type, std::size_t n) {
    std::vector<T> values(n);
    const hid_t attribute = H5Aopen(dataset, name, H5P_DEFAULT);
    EXPECT_GE(H5Aread(attribute, type, values.data()), 0) << name;
    H5Aclose(attribute);
    return values;
}

// Fixed-length strings, one or an array of them.
std::vector<std::string> ReadTexts(hid_t dataset, const char* name) {
    const hid_t attribute = H5Aopen(dataset, name, H5P_DEFAULT);
    const hid_t type = H5Aget_type(attribute);
    const hid_t space = H5Aget_space(attribute);
    const std::size_t width = H5Tget_size(type);
    const auto count = static_cast<std::size_t>(H5Sget_simple_extent_npoints(space));
    std::string packed(width * count, '\0');
    EXPECT_GE(H5Aread(attribute, type, packed.data()), 0) << name;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) texts.push_back(packed.substr(i * width, width).c_str());
    H5Sclose(space);
    H5Tclose(type);
    H5Aclose(attribute);
    return texts;
}

// Codes as written, across writes bigger and smaller than a chunk, with the
// recording's description beside them.
TEST(RecordingFile, Hdf5HoldsTheCodesAndTheirDescription) {
    test::TempDir dir;
    const auto file = dir.path() / "run.h5";
    std::vector<int16_t> codes(2 * 70000);
    for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<int16_t>(i * 7919);
    {
        std::string error;
        auto writer = OpenWriter(file, FileFormat::Hdf5, TwoChannels(), false, error);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(writer->Write(codes.data(), 3));
        ASSERT_TRUE(writer->Write(codes.data() + 6, 69997));
        ASSERT_TRUE(writer->Close()) << writer->Error();
    }
    const hid_t h5 = H5Fopen(file.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    ASSERT_GE(h5, 0);
    const hid_t dataset = H5Dopen2(h5, "codes", H5P_DEFAULT);
    const hid_t space = H5Dget_space(dataset);
    hsize_t dims[2] = {};
    H5Sget_simple_extent_dims(space, dims, nullptr);
    EXPECT_EQ(dims[0], 70000u);
    EXPECT_EQ(dims[1], 2u);
    std::vector<int16_t> read(codes.size());
    EXPECT_GE(H5Dread(dataset, H5T_NATIVE_INT16, H5S_ALL, H5S_ALL, H5P_DEFAULT, read.data()), 0);
    EXPECT_EQ(read, codes);
    EXPECT_EQ(ReadAttribute<double>(dataset, "rate", H5T_NATIVE_DOUBLE, 1)[0], 1000.0);
    EXPECT_EQ((ReadAttribute<int16_t>(dataset, "ranges", H5T_NATIVE_INT16, 2)), (std::vector<int16_t>{0, 3}));
    EXPECT_EQ((ReadAttribute<float>(dataset, "codes_per_volt", H5T_NATIVE_FLOAT, 2)),
              (std::vector<float>{800.0f, 8000.0f}));
    EXPECT_EQ(ReadTexts(dataset, "channel_names"), (std::vector<std::string>{"X1", "Y16"}));
    for (const auto& [name, text] : {std::pair{"serial", "SIM0001"},
                                     {"backend", "simulated module"},
                                     {"start_time", "2026-12-06T10:00:00Z"},
                                     {"address", "127.0.0.1"}})
        EXPECT_EQ(ReadTexts(dataset, name), std::vector<std::string>{text}) << name;
    H5Sclose(space);
    H5Dclose(dataset);
    H5Fclose(h5);
}

// A file opened before the first kadr takes its time once it came: the HDF5
// attribute is replaced at any time, the CSV comment only until the rows
// begin, and a CSV file refusing a late one stays whole.
TEST(RecordingFile, StartTimeComesWithTheFirstKadr) {
    test::TempDir dir;
    const int16_t kadr[] = {1, 2};
    const char* first = "2026-12-06T21:46:33.125Z";
    const char* second = "2026-12-06T21:46:34.000Z";
    for (FileFormat format : {FileFormat::Csv, FileFormat::Hdf5}) {
        const bool csv = format == FileFormat::Csv;
        const auto file = dir.path() / (csv ? "late.csv" : "late.h5");
        RecordingInfo info = TwoChannels();
        info.startTime.clear();
        std::string error;
        auto writer = OpenWriter(file, format, info, false, error);
        ASSERT_TRUE(writer) << error;
        ASSERT_TRUE(writer->SetStartTime(first)) << writer->Error();
        ASSERT_TRUE(writer->Write(kadr, 1));
        EXPECT_EQ(writer->SetStartTime(second), !csv);
        ASSERT_TRUE(writer->Close()) << writer->Error();
        if (csv) {
            EXPECT_EQ(Slurp(file).substr(0, Slurp(file).find('\n')),
                      "# serial SIM0001, address 127.0.0.1, start_time " + std::string(first) +
                          ", backend simulated module");
            continue;
        }
        const hid_t h5 = H5Fopen(file.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
        const hid_t dataset = H5Dopen2(h5, "codes", H5P_DEFAULT);
        EXPECT_EQ(ReadTexts(dataset, "start_time"), std::vector<std::string>{second});
        EXPECT_EQ(ReadTexts(dataset, "serial"), std::vector<std::string>{"SIM0001"}) << "the rest kept";
        H5Dclose(dataset);
        H5Fclose(h5);
    }
}

} // namespace
} // namespace velmora::hosts
