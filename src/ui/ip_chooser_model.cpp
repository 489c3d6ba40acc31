#include "ui/ip_chooser_model.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <utility>

#include "platform/locale.h"

#include <velmora/registry_store.h>

namespace velmora::ui {
namespace {

constexpr int32_t kLoopback = 0x7F000001; // 127.0.0.1, the fixed first item
constexpr std::string_view kListName = "iplist.txt";

struct Resource {
    int32_t id;
    const char* english;
    const char* russian;
};

constexpr Resource kResources[] = {
    {kTextCancel, "Cancel", "Отмена"},
    {kTextClear, "Clear", "Очистить"},
    {kTextRemove, "Remove", "Удалить"},
    {kTextTitle, "Select IP Address", "Выбор IP адреса"},
    {kTextSelectAddress, "Please select IP address!", "Пожалуйста укажите IP адрес!"},
};

// Up to `limit` bytes of a regular file; nothing for anything else. Opened
// without blocking, so a FIFO put in the file's place cannot stall the
// detection, and checked after opening, so nothing can be swapped in between.
std::string ReadRegularFile(const std::string& name, std::size_t limit) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    std::string bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        bytes.resize(std::min(limit, static_cast<std::size_t>(std::max<off_t>(info.st_size, 0))));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
    }
    ::close(fd);
    return bytes;
}

// Calls line(text) for each of the first `most` lines. Lines end in CR LF in
// the file; a lone LF or CR ends a line too.
template <typename Line> void ForEachLine(std::string_view bytes, std::size_t most, Line line) {
    std::size_t count = 0;
    while (!bytes.empty() && count < most) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n"), bytes.size());
        line(bytes.substr(0, end));
        ++count;
        std::size_t next = end;
        if (next < bytes.size()) next += bytes.compare(next, 2, "\r\n") == 0 ? 2 : 1;
        bytes.remove_prefix(next);
    }
}

} // namespace

std::string ResourceText(int32_t id) {
    const bool russian = platform::UiLanguage() == "ru";
    for (const Resource& r : kResources) {
        if (r.id == id) return russian ? r.russian : r.english;
    }
    return {};
}

dlgIPModel::dlgIPModel(std::filesystem::path folder) : folder_(std::move(folder)) {}

void dlgIPModel::Load() {
    list_.clear();
    listed_.clear();
    listIndex_ = -1;
    edit_ = ucIPModel{};
    chosenAddress_ = 0;
    open_ = true;
    AddAddress(kLoopback, 0, true);
    LoadAddressList();
    listChanged_ = false;
    if (list_.size() >= 2) SelectItem(1);
}

void dlgIPModel::SelectItem(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(list_.size())) return;
    listIndex_ = index;
    edit_.SetValue(list_[static_cast<std::size_t>(index)].address);
}

bool dlgIPModel::Ok() {
    const int32_t value = edit_.Value();
    if (value == 0) return false;
    AddAddress(value, 1, true);
    chosenAddress_ = value;
    Close();
    return true;
}

void dlgIPModel::Cancel() {
    chosenAddress_ = 0;
    Close();
}

void dlgIPModel::Remove() {
    const int32_t i = listIndex_;
    if (i < 1) return;
    listed_.erase(list_[static_cast<std::size_t>(i)].address);
    list_.erase(list_.begin() + i);
    listIndex_ = -1;
    SelectItem(std::min(i, static_cast<int32_t>(list_.size()) - 1));
    listChanged_ = true;
}

void dlgIPModel::Clear() {
    if (list_.size() < 2) return;
    SelectItem(0);
    list_.resize(1);
    listed_ = {list_[0].address};
    listChanged_ = true;
}

void dlgIPModel::AddAddress(int32_t address, int32_t position, bool select) {
    if (address == 0 || !listed_.insert(address).second) return;
    const auto count = static_cast<int32_t>(list_.size());
    const int32_t at = position > 0 && position <= count ? position : count;
    list_.insert(list_.begin() + at, Item{DottedText(address), address});
    // Items behind the new one move down, the selection with them.
    if (listIndex_ >= at) ++listIndex_;
    if (select) SelectItem(at);
    listChanged_ = true;
}

int32_t dlgIPModel::ParseAddress(std::string_view text) {
    std::size_t end = 0;
    for (int dots = 0; dots < 4 && end != std::string_view::npos; ++dots)
        end = text.find('.', end + (dots > 0));
    return ParseDotted(text.substr(0, end)).value_or(0);
}

std::filesystem::path AddressListFile(const std::filesystem::path& folder) {
    if (::access(folder.c_str(), W_OK) == 0) return folder / kListName;
    return std::filesystem::path(velmora::reg::StorePath()).parent_path() / kListName;
}

// The user's own list once there is one; until then the list installed
// beside the driver.
void dlgIPModel::LoadAddressList() {
    listFile_ = AddressListFile(folder_).string();
    std::string bytes = ReadRegularFile(listFile_, kMaxListBytes);
    std::error_code ec;
    if (bytes.empty() && !std::filesystem::exists(listFile_, ec))
        bytes = ReadRegularFile((folder_ / kListName).string(), kMaxListBytes);
    // Addresses are plain ASCII, so the single-byte text needs no conversion.
    ForEachLine(bytes, kMaxListLines,
                [this](std::string_view line) { AddAddress(ParseAddress(line), 0, false); });
}

void dlgIPModel::SaveAddressList() {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(listFile_).parent_path(), ec);
    std::ofstream out(listFile_, std::ios::binary | std::ios::trunc);
    if (!out) return;
    for (std::size_t i = 1; i < list_.size(); ++i) out << list_[i].text << "\r\n";
}

void dlgIPModel::Close() {
    if (!open_) return;
    open_ = false;
    if (listChanged_) SaveAddressList();
}

} // namespace velmora::ui
