// A stream message read by the hosts' own reader: the package refuses what
// e16rec --source and e16scope refuse, in their words, and tells another
// recording by their rule.
#include "bindings.h"
#include "stream_message.h"

#include <pybind11/stl.h>

#include <string_view>
#include <variant>

namespace lintara {
namespace {

namespace py = pybind11;
namespace hosts = velmora::hosts;

std::string_view View(const py::bytes& frame) {
    return {PyBytes_AS_STRING(frame.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(frame.ptr()))};
}

// The message's header, or why the frames are none.
std::variant<hosts::StreamHeader, std::string> CheckMessage(const std::vector<py::bytes>& frames) {
    std::vector<std::string_view> views;
    for (const py::bytes& frame : frames) views.push_back(View(frame));
    hosts::StreamHeader header;
    std::string error;
    if (!hosts::CheckMessage(views, header, error)) return error;
    return header;
}

} // namespace

void BindStream(py::module_& m) {
    using hosts::StreamHeader;
    py::class_<StreamHeader>(m, "StreamHeader", "A stream message's header as the hosts read it.")
        .def_readonly("serial", &StreamHeader::serial)
        .def_readonly("address", &StreamHeader::address)
        .def_readonly("seq", &StreamHeader::seq)
        .def_readonly("first_kadr", &StreamHeader::firstKadr)
        .def_readonly("kadrs", &StreamHeader::kadrs)
        .def_readonly("channels", &StreamHeader::channels)
        .def_readonly("rate", &StreamHeader::rate)
        .def_readonly("codes_per_volt", &StreamHeader::codesPerVolt)
        .def_readonly("start_time", &StreamHeader::startTime)
        .def_readonly("lost_kadrs", &StreamHeader::lostKadrs)
        .def_readonly("end", &StreamHeader::end)
        .def_readonly("ranges", &StreamHeader::ranges)
        .def_readonly("backend", &StreamHeader::backend);
    m.def("check_message", &CheckMessage, py::arg("frames"),
          "A message's frames (bytes) checked: its StreamHeader, or a one-line text of what is wrong.");
    m.def("new_recording", &hosts::NewRecording, py::arg("was"), py::arg("now"),
          "\"\" when `now` belongs to the recording `was` describes; else why it is another.");
    m.def(
        "note_other_module",
        [](const py::bytes& topic, std::vector<std::string> others) {
            hosts::NoteOtherModule(View(topic), others);
            return std::vector<py::bytes>(others.begin(), others.end());
        },
        py::arg("topic"), py::arg("others"),
        "`others` (bytes) with the module of a message passed over by its topic, as a silence names them.");
    m.def(
        "silence_reason",
        [](const std::string& endpoint, double seconds, const std::string& serial,
           const std::vector<std::string>& others) {
            const std::string reason = hosts::SilenceReason(endpoint, seconds, 0, serial, others);
            // A module's name is the bytes of its topic: not always UTF-8.
            return py::reinterpret_steal<py::str>(
                PyUnicode_DecodeUTF8(reason.data(), static_cast<Py_ssize_t>(reason.size()), "replace"));
        },
        py::arg("endpoint"), py::arg("seconds"), py::arg("serial"), py::arg("others"),
        "Why a subscriber waited `seconds` in vain, in the hosts' words.");
    m.def(
        "is_endpoint", [](const std::string& text) { return hosts::IsEndpoint(text, false); },
        py::arg("text"),
        "Whether a subscriber can connect to `text`: tcp://HOST:PORT (port 1..65535) or ipc://PATH.");
}

} // namespace lintara
