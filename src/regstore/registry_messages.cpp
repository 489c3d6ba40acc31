// The system message texts of the Win32 codes the registry store and its
// callers meet, word for word as Windows gives them in English.
#include <velmora/registry_store.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace velmora::reg {
namespace {

constexpr std::array<std::pair<DWORD, std::string_view>, 32> kMessages{{
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of the file."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {1009, "The configuration registry database is corrupt."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1014, "One of the files in the registry database had to be recovered by use of a log or alternate copy. "
           "The recovery was successful."},
    {1015,
     "The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
     "or the system's memory image of the file is corrupted, or the file could not be recovered because the "
     "alternate copy or log was absent or corrupted."},
    {1016,
     "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
     "write out, or flush, one of the files that contain the system's image of the registry."},
    {1017,
     "The system has attempted to load or restore a file into the registry, but the specified file is not "
     "in a registry file format."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1019, "System could not allocate the required space in a registry log."},
    {1020, "Cannot create a symbolic link in a registry key that already has subkeys or values."},
    {1021, "Cannot create a stable subkey under a volatile parent key."},
}};

static_assert(std::ranges::is_sorted(kMessages, {}, &std::pair<DWORD, std::string_view>::first));

} // namespace

std::string FormatMessage(DWORD code) {
    auto it = std::ranges::lower_bound(kMessages, code, {}, &std::pair<DWORD, std::string_view>::first);
    if (it == kMessages.end() || it->first != code) return {};
    return std::string(it->second) + "\r\n";
}

} // namespace velmora::reg
