#include "ui/ip_chooser_model.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>

#include "platform/locale.h"

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

// One byte of a dotted address: 1 to 3 decimal digits, 0..255.
bool ParseByte(std::string_view part, uint32_t& value) {
    if (part.empty() || part.size() > 3) return false;
    value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value <= 255;
}

// Lines end in CR LF in the file; a lone LF or CR ends a line too.
std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        lines.push_back(std::move(line));
        line.clear();
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
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
    listIndex_ = -1;
    removeEnabled_ = false;
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
    removeEnabled_ = index >= 1;
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
    list_.erase(list_.begin() + i);
    listIndex_ = -1;
    SelectItem(std::min(i, static_cast<int32_t>(list_.size()) - 1));
    listChanged_ = true;
}

void dlgIPModel::Clear() {
    if (list_.size() < 2) return;
    SelectItem(0);
    list_.resize(1);
    listChanged_ = true;
}

void dlgIPModel::AddAddress(int32_t address, int32_t position, bool select) {
    if (address == 0) return;
    const bool listed = std::any_of(list_.begin(), list_.end(),
                                    [address](const Item& item) { return item.address == address; });
    if (listed) return;
    const auto count = static_cast<int32_t>(list_.size());
    const int32_t at = position > 0 && position <= count ? position : count;
    list_.insert(list_.begin() + at, Item{DottedText(address), address});
    // Items behind the new one move down, the selection with them.
    if (listIndex_ >= at) ++listIndex_;
    if (select) SelectItem(at);
    listChanged_ = true;
}

int32_t dlgIPModel::ParseAddress(std::string_view text) {
    uint32_t result = 0;
    for (int k = 0; k < 4; ++k) {
        const auto dot = text.find('.');
        uint32_t byte = 0;
        if (!ParseByte(text.substr(0, dot), byte)) return 0;
        result |= byte << (8 * (3 - k));
        if (k == 3) break; // parts after the fourth do not count
        if (dot == std::string_view::npos) return 0;
        text.remove_prefix(dot + 1);
    }
    return static_cast<int32_t>(result);
}

void dlgIPModel::LoadAddressList() {
    const std::string folder = folder_.string();
    listFile_ = folder + (folder.ends_with('/') ? "" : "/") + std::string(kListName);
    std::ifstream in(listFile_, std::ios::binary);
    if (!in) return;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Addresses are plain ASCII, so the single-byte text needs no conversion.
    for (const std::string& line : SplitLines(bytes)) AddAddress(ParseAddress(line), 0, false);
}

void dlgIPModel::SaveAddressList() {
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
