// The address chooser's text handling. The first byte picks the case:
//   even: the rest is both a text for ParseAddress and the address list file
//         that a chooser loads, saves and loads again;
//   odd:  the rest is a sequence of keys, edits and buttons on a chooser and
//         its address edit control.
#include <cstdint>
#include <fstream>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "ui/ip_chooser_model.h"

namespace {

using velmora::DottedText;
using velmora::fuzz::ByteReader;
using velmora::fuzz::Check;
using velmora::ui::dlgIPModel;
using velmora::ui::ucIPModel;

// The list never holds 0, a repeat or a text that is not its address; caret
// and selection stay inside the focused box.
void CheckModel(dlgIPModel& model) {
    std::set<int32_t> seen;
    for (const dlgIPModel::Item& item : model.List()) {
        Check(item.address != 0, "address 0 is listed");
        Check(seen.insert(item.address).second, "an address is listed twice");
        Check(item.text == DottedText(item.address), "an item's text is not its address");
        Check(dlgIPModel::ParseAddress(item.text) == item.address, "an item's text does not parse back");
    }
    Check(model.List().size() <= 1 + dlgIPModel::kMaxListLines, "more items than the file may give");
    Check(model.ListIndex() >= -1 && model.ListIndex() < static_cast<int32_t>(model.List().size()),
          "the selection is past the list");
    const ucIPModel& edit = model.Edit();
    const int focus = edit.FocusBox();
    Check(focus >= 0 && focus < ucIPModel::kBoxes, "the focus left the four boxes");
    const int length = static_cast<int>(edit.Text(focus).size());
    Check(edit.SelStart() >= 0 && edit.SelStart() <= length, "the caret is outside its box");
    Check(edit.SelLength() >= 0 && edit.SelStart() + edit.SelLength() <= length,
          "the selection leaves its box");
}

dlgIPModel Loaded(const std::filesystem::path& folder) {
    dlgIPModel model(folder);
    model.Load();
    CheckModel(model);
    return model;
}

void ParseAndLoad(const std::filesystem::path& folder, const std::string& bytes) {
    const int32_t address = dlgIPModel::ParseAddress(bytes);
    if (address != 0)
        Check(dlgIPModel::ParseAddress(DottedText(address)) == address, "dotted text round trip");
    std::ofstream(folder / "iplist.txt", std::ios::binary) << bytes;
    dlgIPModel model = Loaded(folder);
    size_t savedBytes = 0;
    for (const dlgIPModel::Item& item : model.List()) savedBytes += item.text.size() + 2;
    model.SaveAddressList();
    dlgIPModel again = Loaded(folder);
    if (savedBytes > dlgIPModel::kMaxListBytes) return; // beyond the read limits
    Check(again.List().size() == model.List().size(), "a saved list loads with another length");
    for (size_t i = 0; i < model.List().size(); ++i)
        Check(again.List()[i].address == model.List()[i].address, "a saved list loads in another order");
}

void Buttons(dlgIPModel& model, ByteReader& in) {
    const int button = in.Byte() % 6;
    if (button == 0) model.SelectItem(static_cast<int8_t>(in.Byte()));
    if (button == 1 && model.Ok()) {
        Check(model.chosenAddress() != 0 && !model.IsOpen(), "OK closed without an address");
        model.Load();
    }
    if (button == 2) model.Remove();
    if (button == 3) model.Clear();
    if (button == 4) {
        const auto address = static_cast<int32_t>(in.U32());
        const auto index = static_cast<int8_t>(in.Byte());
        model.AddAddress(address, index, in.Bool());
    }
    if (button == 5) {
        model.Cancel();
        Check(model.chosenAddress() == 0, "Cancel chose an address");
        model.Load();
    }
}

void EditSequence(const std::filesystem::path& folder, ByteReader& in) {
    std::ofstream(folder / "iplist.txt", std::ios::binary) << "10.0.0.1\r\n192.168.1.20\r\n";
    dlgIPModel model = Loaded(folder);
    ucIPModel& edit = model.Edit();
    for (int step = 0; step < 64 && !in.Empty(); ++step) {
        const int op = in.Byte() % 8;
        const int box = static_cast<int8_t>(in.Byte()) % 6; // now and then outside 0..3
        const int first = op == 2 || op == 4 ? static_cast<int8_t>(in.Byte()) : 0; // caret or selection start
        if (op == 0) edit.KeyPress(static_cast<char>(in.Byte()));
        if (op == 1) edit.KeyDown(static_cast<velmora::ui::IpKey>(in.Byte() % 7));
        if (op == 2) edit.Edit(box, in.Bytes(in.Byte() % 8), first);
        if (op == 3) edit.DoubleClick(box);
        if (op == 4) edit.Focus(box, first, static_cast<int8_t>(in.Byte()));
        if (const int32_t value = op == 5 ? edit.Value() : 0; value != 0) {
            edit.SetValue(value);
            Check(edit.Value() == value, "a value set does not read back");
        }
        if (op == 6) edit.SetValue(static_cast<int32_t>(in.U32()));
        if (op == 7) Buttons(model, in);
        CheckModel(model);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::Start("ip_address");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    const auto folder = velmora::fuzz::FreshRun();
    if ((in.Byte() & 1) == 0)
        ParseAndLoad(folder, in.Rest());
    else
        EditSequence(folder, in);
    return 0;
}
