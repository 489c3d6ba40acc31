// Session as the Python class _lintara.Session: every driver call runs
// without the GIL; fill() drains into a numpy array in place. The module's
// identity comes as a ModuleIdentity.
#include "bindings.h"
#include "drain.h"
#include "session.h"
#include "unlocked.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

namespace lintara {
namespace {

namespace py = pybind11;
using WithoutGil = py::call_guard<Unlocked>;
using Codes = py::array_t<int16_t, py::array::c_style>;

const char* EndName(DrainEnd end) {
    switch (end) {
    case DrainEnd::Full:
        return "full";
    case DrainEnd::Ended:
        return "ended";
    case DrainEnd::TimedOut:
        return "timeout";
    case DrainEnd::Closed:
        return "closed";
    case DrainEnd::Raised:
        return "raised";
    }
    return "";
}

// Fills rows first.. of a kadrs x channels array from recording `run`:
// (rows filled, how it ended, the exception a signal handler raised or None).
py::tuple FillRows(Session& session, Codes out, int64_t first, std::optional<double> timeout, uint64_t run) {
    if (out.ndim() != 2 || out.shape(1) < 1)
        throw py::value_error("fill needs a 2-D array of kadrs x channels");
    if (!out.writeable()) throw py::value_error("fill needs a writable array");
    const int64_t rows = out.shape(0);
    const int channels = static_cast<int>(out.shape(1));
    if (first < 0 || first > rows) throw py::value_error("first row out of the array");
    const DrainResult r =
        Fill(session, run, out.mutable_data() + first * channels, rows - first, channels, timeout);
    if (r.end == DrainEnd::Raised) {
        const py::error_already_set raised; // takes the pending exception
        return py::make_tuple(r.kadrs, EndName(r.end), raised.value());
    }
    return py::make_tuple(r.kadrs, EndName(r.end), py::none());
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
        .def(py::init<>(), WithoutGil())
        .def("close", &Session::Close, WithoutGil())
        .def_property_readonly("is_open", &Session::IsOpen)
        .def_static("open_count", &Session::OpenCount)
        .def_property_readonly("registration_note", &Session::RegistrationNote)
        .def("test", &Session::Test, WithoutGil())
        .def("detected", &Session::Detected, WithoutGil())
        .def("busy", &Session::Busy, WithoutGil())
        .def("last_error", &Session::LastError, WithoutGil())
        .def("channels", &Session::Channels, WithoutGil())
        .def("set_channels", &Session::SetChannels, WithoutGil())
        .def("channel_name", &Session::ChannelName, WithoutGil())
        .def("channel_range", &Session::ChannelRange, WithoutGil())
        .def("set_channel_range", &Session::SetChannelRange, WithoutGil())
        .def("unit_scale", &Session::UnitScale, WithoutGil())
        .def("unit_offset", &Session::UnitOffset, WithoutGil())
        .def("range_names", &Session::RangeNames, WithoutGil())
        .def("rate", &Session::Rate, WithoutGil())
        .def("set_rate", &Session::SetRate, WithoutGil())
        .def("input_size", &Session::InputSize, WithoutGil())
        .def("set_input_size", &Session::SetInputSize, WithoutGil())
        .def("start", &Session::Start, WithoutGil())
        .def("stop", &Session::Stop, WithoutGil())
        .def("stop_own", &Session::StopOwn, WithoutGil())
        .def("single", &Session::Single, WithoutGil())
        .def("fill", &FillRows, py::arg("out").noconvert(), py::arg("first"), py::arg("timeout"),
             py::arg("run"))
        .def("identity", &Session::Identity, WithoutGil())
        .def("set_address", &Session::SetAddress, WithoutGil())
        .def("connected", &Session::Connected, WithoutGil())
        .def("kadrs_received", &Session::KadrsReceived, WithoutGil())
        .def("start_time", &Session::StartTime, WithoutGil())
        .def("end_reason", &Session::EndReason, WithoutGil())
        .def("save_settings", &Session::SaveSettings, WithoutGil())
        .def("close_module", &Session::CloseModule, WithoutGil())
        .def("dac_count", &Session::DacCount, WithoutGil())
        .def("dac_name", &Session::DacName, WithoutGil())
        .def("dac_code", &Session::DacCode, WithoutGil())
        .def("set_dac_code", &Session::SetDacCode, WithoutGil())
        .def("dac_volts", &Session::DacVolts, WithoutGil())
        .def("set_dac_volts", &Session::SetDacVolts, WithoutGil())
        .def("dac_scale", &Session::DacScale, WithoutGil())
        .def("digital_inputs", &Session::DigitalInputs, WithoutGil())
        .def("digital_outputs", &Session::DigitalOutputs, WithoutGil())
        .def("set_digital_outputs", &Session::SetDigitalOutputs, WithoutGil())
        .def("digital_input_count", &Session::DigitalInputCount, WithoutGil())
        .def("digital_output_count", &Session::DigitalOutputCount, WithoutGil());
}

} // namespace lintara
