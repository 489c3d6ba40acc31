// The address chooser's text handling. The first byte picks the case:
//   even: the rest is both a text for ParseAddress and the address list file
//         that a chooser loads, saves and loads again;
//   odd:  the rest is a sequence of keys, edits and buttons on a chooser and
//         its address edit control.
// Checks: the list never holds 0, a duplicate or a text that is not its
// address; save then load gives the same list; caret and selection stay
// inside the focused box.
#include <cstdint>
#include <fstream>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "ui/ip_chooser_model.h"

namespace {

using velmora::fuzz::ByteReader;
using velmora::fuzz::Check;
using velmora::ui::dlgIPModel;
using velmora::ui::DottedText;
using velmora::ui::IpKey;
using velmora::ui::ucIPModel;

void CheckEdit(const ucIPModel& edit) {
    const int focus = edit.FocusBox();
    Check(focus >= 0 && focus < ucIPModel::kBoxes, "the focus left the four boxes");
    const int length = static_cast<int>(edit.Text(focus).size());
    Check(edit.SelStart() >= 0 && edit.SelStart() <= length, "the caret is outside its box");
    Check(edit.SelLength() >= 0 && edit.SelStart() + edit.SelLength() <= length,
          "the selection reaches outside its box");
}

void CheckList(const dlgIPModel& model) {
    std::set<int32_t> seen;
    for (const dlgIPModel::Item& item : model.List()) {
        Check(item.address != 0, "address 0 is listed");
        Check(seen.insert(item.address).second, "an address is listed twice");
        Check(item.text == DottedText(item.address), "an item's text is not its address");
        Check(dlgIPModel::ParseAddress(item.text) == item.address, "an item's text does not parse back");
    }
    Check(model.List().size() <= 1 + dlgIPModel::kMaxListLines, "more items than the file may give");
    const auto count = static_cast<int32_t>(model.List().size());
    Check(model.ListIndex() >= -1 && model.ListIndex() < count, "the selection is past the list");
    CheckEdit(const_cast<dlgIPModel&>(model).Edit());
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

void ParseAndLoad(const std::filesystem::path& folder, const std::string& bytes) {
    const int32_t address = dlgIPModel::ParseAddress(bytes);
    if (address != 0)
        Check(dlgIPModel::ParseAddress(DottedText(address)) == address, "dotted text round trip");

    WriteFile(folder / "iplist.txt", bytes);
    dlgIPModel model(folder);
    model.Load();
    CheckList(model);
    size_t savedBytes = 0;
    for (const dlgIPModel::Item& item : model.List()) savedBytes += item.text.size() + 2;
    model.SaveAddressList();
    dlgIPModel again(folder);
    again.Load();
    CheckList(again);
    // Within the read limits, what was saved loads as the same list.
    if (savedBytes <= dlgIPModel::kMaxListBytes) {
        Check(again.List().size() == model.List().size(), "a saved list loads with another length");
        for (size_t i = 0; i < model.List().size(); ++i)
            Check(again.List()[i].address == model.List()[i].address, "a saved list loads in another order");
    }
}

void Buttons(dlgIPModel& model, ByteReader& in) {
    switch (in.Byte() % 6) {
    case 0:
        model.SelectItem(static_cast<int8_t>(in.Byte()));
        break;
    case 1:
        if (model.Ok()) {
            Check(model.chosenAddress() != 0 && !model.IsOpen(), "OK closed without an address");
            model.Load();
        }
        break;
    case 2:
        model.Remove();
        break;
    case 3:
        model.Clear();
        break;
    case 4:
        model.AddAddress(static_cast<int32_t>(in.U32()), static_cast<int8_t>(in.Byte()), in.Bool());
        break;
    default:
        model.Cancel();
        Check(model.chosenAddress() == 0, "Cancel chose an address");
        model.Load();
        break;
    }
}

void EditSequence(const std::filesystem::path& folder, ByteReader& in) {
    WriteFile(folder / "iplist.txt", "10.0.0.1\r\n192.168.1.20\r\n");
    dlgIPModel model(folder);
    model.Load();
    ucIPModel& edit = model.Edit();
    for (int step = 0; step < 64 && !in.Empty(); ++step) {
        const uint8_t op = in.Byte();
        const int box = static_cast<int8_t>(in.Byte()) % 6; // now and then outside 0..3
        switch (op % 8) {
        case 0:
            edit.KeyPress(static_cast<char>(in.Byte()));
            break;
        case 1:
            edit.KeyDown(static_cast<IpKey>(in.Byte() % 7));
            break;
        case 2: {
            const int caret = static_cast<int8_t>(in.Byte());
            edit.Edit(box, in.Bytes(in.Byte() % 8), caret);
            break;
        }
        case 3:
            edit.DoubleClick(box);
            break;
        case 4: {
            const int start = static_cast<int8_t>(in.Byte());
            edit.Focus(box, start, static_cast<int8_t>(in.Byte()));
            break;
        }
        case 5:
            if (const int32_t value = edit.Value(); value != 0) {
                edit.SetValue(value);
                Check(edit.Value() == value, "a value set does not read back");
            }
            break;
        case 6:
            edit.SetValue(static_cast<int32_t>(in.U32()));
            break;
        default:
            Buttons(model, in);
            break;
        }
        CheckList(model);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::ForbidSockets();
    velmora::fuzz::PrivateFolder::Init("ip_address");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    const auto folder = velmora::fuzz::PrivateFolder::Get().FreshRun();
    if ((in.Byte() & 1) == 0)
        ParseAndLoad(folder, in.Rest());
    else
        EditSequence(folder, in);
    return 0;
}
