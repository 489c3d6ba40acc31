// The parts of the _lintara extension module, each adding its names.
#pragma once

#include <pybind11/pybind11.h>

namespace lintara {

void BindSession(pybind11::module_& m);
void BindStore(pybind11::module_& m);
void BindStream(pybind11::module_& m);

} // namespace lintara
