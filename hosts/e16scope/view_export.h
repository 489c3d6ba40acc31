// The scope's view saved as CSV: its samples in volts against time from the
// trigger point, or its spectrum in dBV against frequency. No Qt.
#pragma once

#include "spectrum.h"
#include "sweep.h"

#include <string>
#include <vector>

namespace e16scope {

// Write the view to `path` as CSV, replacing a file of that name:
// "time_s,NAME1,..." then a row per kadr: seconds from the trigger point (a
// triggered view) or from the recording's start, as the plot's axis has
// them, to the nanosecond, then
// each channel's volts with 6 decimals; or "frequency_hz,NAME1,..." then a
// row per bin, dBV with 3 decimals. `names` by position, else numbers.
// Written a few thousand rows at a time (a 10 s view of 32 channels at 15625
// kadrs/s, 47 MB, in about 0.2 s); false with `error` set ("cannot write
// PATH: reason") when it fails, or when there is nothing to write (rate
// unknown, no spectrum). A failed write leaves a partial file.
bool WriteTimeCsv(const std::string& path, const View& view, double rate,
                  const std::vector<std::string>& names, std::string& error);
bool WriteSpectrumCsv(const std::string& path, const Spectrum& spectrum,
                      const std::vector<std::string>& names, std::string& error);

} // namespace e16scope
