// dlgIPModel: the behaviour of the IP address chooser dlgIP without a toolkit:
// the remembered list and its file "iplist.txt" in the driver's folder, the
// buttons and the chosen address. Not thread-safe; one UI thread, modal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/module_folder.h"
#include "ui/ip_edit_model.h"

namespace velmora::ui {

// The chooser's resource texts, Russian when the user-interface language is
// Russian, English otherwise.
enum ChooserText : int32_t {
    kTextCancel = 21,
    kTextClear = 31,
    kTextRemove = 38,
    kTextTitle = 150,
    kTextSelectAddress = 151,
};
std::string ResourceText(int32_t id);

// The address list file of the driver in `folder`: beside it, or in the
// user's config folder (the registry store's) when `folder` is not writable,
// as for an installed driver.
std::filesystem::path AddressListFile(const std::filesystem::path& folder);

class dlgIPModel {
public:
    struct Item {
        std::string text; // dotted text
        int32_t address;  // item data
    };

    explicit dlgIPModel(std::filesystem::path folder = platform::ModuleFolder());

    // Loads the dialog anew: captions, 127.0.0.1, the list from the file, and
    // the first remembered address selected.
    void Load();
    bool IsOpen() const { return open_; }

    std::string Caption() const { return ResourceText(kTextTitle); }
    const std::vector<Item>& List() const { return list_; }
    int32_t ListIndex() const { return listIndex_; }
    // The user (or the dialog) selects an item: the boxes show its address.
    void SelectItem(int32_t index);
    // Item 0, the loopback address, stays.
    bool RemoveEnabled() const { return listIndex_ >= 1; }
    ucIPModel& Edit() { return edit_; }

    // cmdOK: false when the boxes hold no address; the view then shows text
    // 151 and the dialog stays open.
    bool Ok();
    void Cancel();
    void Remove();
    void Clear();
    // The close box: the dialog closes with no address chosen.
    void CloseBox() { Close(); }

    int32_t chosenAddress() const { return chosenAddress_; }

    // Adds an address (not 0, not already listed) at position, or at the end
    // when position is not within 1..count.
    void AddAddress(int32_t address, int32_t position, bool select);
    // "a.b.c.d" with 1 to 3 digits 0..255 each; parts after the fourth are
    // ignored. 0 when the text is not such an address.
    static int32_t ParseAddress(std::string_view text);
    // Reads the list file when it is a regular file (a FIFO, device or
    // directory, or a link to one, is passed over), its first 1 MiB and at
    // most 65536 lines; invalid lines are skipped.
    void LoadAddressList();
    void SaveAddressList();

    static constexpr std::size_t kMaxListBytes = std::size_t{1} << 20;
    static constexpr std::size_t kMaxListLines = 65536;

private:
    void Close();

    std::filesystem::path folder_;
    std::vector<Item> list_;
    std::set<int32_t> listed_; // the addresses of list_: a long list's duplicates found at once
    int32_t listIndex_ = -1;
    ucIPModel edit_;
    int32_t chosenAddress_ = 0;
    std::string listFile_;
    bool listChanged_ = false;
    bool open_ = false;
};

} // namespace velmora::ui
