// The extension module _lintara: the driver session, the store calls, the
// stream message reader, and DriverFailure raised as
// lintara.DriverError(message, reason).
#include "bindings.h"
#include "driver_access.h"
#include "driver_link.h"
#include "unlocked.h"

#include <pybind11/stl.h>

#include "channel_list.h"
#include "velmora/dotted_address.h"
#include "velmora/interfaces.h"

namespace py = pybind11;

namespace {

// A text that may hold a path's bytes, which need not be UTF-8.
py::str Text(const std::string& bytes) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "replace"));
}

} // namespace

PYBIND11_MODULE(_lintara, m) {
    m.doc() = "The Lintara driver through its host interfaces; lintara wraps it.";
    lintara::Unlocked::Install();
    // Kept for the life of the process, as the module is never unloaded.
    static py::handle driverError =
        py::object(py::module_::import("lintara._errors").attr("DriverError")).release();
    py::register_exception_translator([](std::exception_ptr raised) {
        try {
            if (raised) std::rethrow_exception(raised);
        } catch (const lintara::DriverFailure& e) {
            const py::object error = driverError(Text(e.what()), Text(e.reason));
            PyErr_SetObject(driverError.ptr(), error.ptr());
        }
    });
    m.attr("channel_table_entries") = kMaxInputChannels;
    m.attr("default_input_size") = kDefaultInputSizeData;
    lintara::BindSession(m);
    lintara::BindStore(m);
    lintara::BindStream(m);
    m.def(
        "driver_path",
        [] { // as os.fsdecode gives it: a path of any bytes
            const std::string path = lintara::DriverBeside().string();
            return py::reinterpret_steal<py::str>(
                PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size())));
        },
        "The driver file this package uses; empty when none is found.");
    m.def(
        "dotted_address",
        [](const std::string& text) -> std::optional<std::string> {
            const auto address = velmora::ParseDotted(text);
            if (!address) return std::nullopt;
            return velmora::DottedText(*address);
        },
        "The address as the driver writes it, or None for text the driver takes for no address.");
    m.def("registered_driver", &velmora::hosts::RegisteredDriver,
          "The driver file the store registers for the class; empty when none.");
}
