// A test fixture with a private driver folder and its address list file.
#pragma once

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace velmora::ui {

class ListFolderTest : public ::testing::Test {
protected:
    void WriteList(const std::string& bytes) { std::ofstream(ListFile(), std::ios::binary) << bytes; }
    std::string ReadList() const { return test::Slurp(ListFile()); }
    std::filesystem::path ListFile() const { return dir.path() / "iplist.txt"; }

    test::TempDir dir;
};

} // namespace velmora::ui
