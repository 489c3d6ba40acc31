// A test fixture with a private driver folder and its address list file.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace velmora::ui {

class ListFolderTest : public ::testing::Test {
protected:
    void WriteList(const std::string& bytes) { std::ofstream(ListFile(), std::ios::binary) << bytes; }
    std::string ReadList() const {
        std::ifstream in(ListFile(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path ListFile() const { return dir.path() / "iplist.txt"; }

    test::TempDir dir;
};

} // namespace velmora::ui
