// Session as the Python class _lintara.Session: every driver call runs
// without the GIL; fill() drains into a numpy array in place. The module's
// identity comes as a ModuleIdentity.
#include "bindings.h"
#include "drain.h"
#include "session.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

namespace lintara {
namespace {

namespace py = pybind11;
using Unlocked = py::call_guard<py::gil_scoped_release>;
using Codes = py::array_t<int16_t, py::array::c_style>;

const char* EndName(DrainEnd end) {
    switch (end) {
    case DrainEnd::Full:
        return "full";
    case DrainEnd::Ended:
        return "ended";
    case DrainEnd::TimedOut:
        return "timeout";
    }
    return "";
}

// Fills rows first.. of a kadrs x channels array: (rows filled, how it ended).
py::tuple FillRows(Session& session, Codes out, int64_t first, std::optional<double> timeout) {
    if (out.ndim() != 2 || out.shape(1) < 1)
        throw py::value_error("fill needs a 2-D array of kadrs x channels");
    if (!out.writeable()) throw py::value_error("fill needs a writable array");
    const int64_t rows = out.shape(0);
    const int channels = static_cast<int>(out.shape(1));
    if (first < 0 || first > rows) throw py::value_error("first row out of the array");
    const DrainResult r =
        Fill(session, out.mutable_data() + first * channels, rows - first, channels, timeout);
    return py::make_tuple(r.kadrs, EndName(r.end));
}

} // namespace

void BindSession(py::module_& m) {
    using velmora::hosts::ModuleIdentity;
    py::class_<ModuleIdentity>(m, "ModuleIdentity",
                               "The module as IModule reports it; \"\" before a detection.")
        .def_readonly("serial", &ModuleIdentity::serial)
        .def_readonly("name", &ModuleIdentity::name)
        .def_readonly("backend", &ModuleIdentity::backend)
        .def_readonly("address", &ModuleIdentity::address);
    py::class_<Session>(m, "Session", "One driver object with its IADC3, IDAO, IDIO and IModule faces.")
        .def(py::init<>(), Unlocked())
        .def("close", &Session::Close, Unlocked())
        .def_property_readonly("is_open", &Session::IsOpen)
        .def_static("open_count", &Session::OpenCount)
        .def_property_readonly("registration_note", &Session::RegistrationNote)
        .def("test", &Session::Test, Unlocked())
        .def("detected", &Session::Detected, Unlocked())
        .def("busy", &Session::Busy, Unlocked())
        .def("last_error", &Session::LastError, Unlocked())
        .def("channels", &Session::Channels, Unlocked())
        .def("set_channels", &Session::SetChannels, Unlocked())
        .def("channel_name", &Session::ChannelName, Unlocked())
        .def("channel_range", &Session::ChannelRange, Unlocked())
        .def("set_channel_range", &Session::SetChannelRange, Unlocked())
        .def("unit_scale", &Session::UnitScale, Unlocked())
        .def("unit_offset", &Session::UnitOffset, Unlocked())
        .def("range_names", &Session::RangeNames, Unlocked())
        .def("rate", &Session::Rate, Unlocked())
        .def("set_rate", &Session::SetRate, Unlocked())
        .def("input_size", &Session::InputSize, Unlocked())
        .def("set_input_size", &Session::SetInputSize, Unlocked())
        .def("start", &Session::Start, Unlocked())
        .def("stop", &Session::Stop, Unlocked())
        .def("single", &Session::Single, Unlocked())
        .def("fill", &FillRows, py::arg("out").noconvert(), py::arg("first"), py::arg("timeout"))
        .def("identity", &Session::Identity, Unlocked())
        .def("set_address", &Session::SetAddress, Unlocked())
        .def("connected", &Session::Connected, Unlocked())
        .def("kadrs_received", &Session::KadrsReceived, Unlocked())
        .def("start_time", &Session::StartTime, Unlocked())
        .def("end_reason", &Session::EndReason, Unlocked())
        .def("save_settings", &Session::SaveSettings, Unlocked())
        .def("close_module", &Session::CloseModule, Unlocked())
        .def("dac_count", &Session::DacCount, Unlocked())
        .def("dac_name", &Session::DacName, Unlocked())
        .def("dac_code", &Session::DacCode, Unlocked())
        .def("set_dac_code", &Session::SetDacCode, Unlocked())
        .def("dac_volts", &Session::DacVolts, Unlocked())
        .def("set_dac_volts", &Session::SetDacVolts, Unlocked())
        .def("dac_scale", &Session::DacScale, Unlocked())
        .def("digital_inputs", &Session::DigitalInputs, Unlocked())
        .def("digital_outputs", &Session::DigitalOutputs, Unlocked())
        .def("set_digital_outputs", &Session::SetDigitalOutputs, Unlocked())
        .def("digital_input_count", &Session::DigitalInputCount, Unlocked())
        .def("digital_output_count", &Session::DigitalOutputCount, Unlocked());
}

} // namespace lintara
