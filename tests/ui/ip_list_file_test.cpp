// The address list file as a careless or hostile folder may hold it: a FIFO,
// a device, a directory, links to them, a huge file, many addresses.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "list_folder_test.h"
#include "ui/ip_chooser_model.h"

namespace velmora::ui {
namespace {

class ListFileTest : public ListFolderTest {
protected:
    // The addresses the chooser offers after loading, the loopback first.
    std::size_t Offered() {
        dlgIPModel model(dir.path());
        model.Load();
        return model.List().size();
    }
};

TEST_F(ListFileTest, OnlyARegularFileIsRead) {
    ASSERT_EQ(::mkfifo(ListFile().c_str(), 0600), 0);
    EXPECT_EQ(Offered(), 1u) << "a FIFO in the file's place, nobody writing into it";
    std::filesystem::remove(ListFile());

    std::filesystem::create_symlink("/dev/zero", ListFile());
    EXPECT_EQ(Offered(), 1u) << "a link to a device";
    std::filesystem::remove(ListFile());

    std::filesystem::create_directory(ListFile());
    EXPECT_EQ(Offered(), 1u) << "a directory";
    std::filesystem::remove(ListFile());

    WriteList("10.0.0.1\r\n");
    std::filesystem::rename(ListFile(), dir.path() / "real.txt");
    std::filesystem::create_symlink(dir.path() / "real.txt", ListFile());
    EXPECT_EQ(Offered(), 2u) << "a link to a regular file is still a regular file";
}

TEST_F(ListFileTest, AHugeFileIsReadOnlyAsFarAsItsLimits) {
    std::string lines(40u << 20, '\n'); // 40 MiB of empty lines, then an address
    lines += "10.0.0.1\r\n";
    WriteList(lines);
    EXPECT_EQ(Offered(), 1u) << "the address lies past the first MiB";

    std::string many;
    for (int i = 0; i < 70000; ++i) many += "\n";
    many += "10.0.0.2\n";
    WriteList(many);
    EXPECT_EQ(Offered(), 1u) << "the address lies past line 65536";
}

TEST_F(ListFileTest, ManyAddressesLoadOnceEach) {
    std::string many;
    for (int i = 0; i < 65535; ++i)
        many += "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256) + "\r\n";
    many += "10.1.0.0\r\n";
    WriteList(many);
    EXPECT_EQ(Offered(), 65536u) << "the loopback and 65535 addresses, the repeat once";
}

} // namespace
} // namespace velmora::ui
