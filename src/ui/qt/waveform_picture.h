// The DAC page's pictures of the waveform kinds: a red trace on a grid, with
// the amplitude (A) and the baseline (B) marked where the kind uses them.
// Drawn by code, the same pixels every time (the noise has a fixed seed) and
// without fonts. Pure functions; any thread.
#pragma once

#include <QImage>
#include <QSize>

#include "core/generator_setup.h"

namespace velmora::ui {

inline constexpr QSize kWaveformPictureSize{203, 33};

// An unknown kind gets the picture of Off.
QImage WaveformPicture(core::Waveform kind);

} // namespace velmora::ui
