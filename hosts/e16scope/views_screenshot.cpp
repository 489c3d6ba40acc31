// e16scope-views-screenshot FOLDER: the spectrum (log and linear frequency),
// XY view, measurement table and cursor table of sines of 10/20/30/40 Hz at
// 0.5/1/1.5/2 V on X1..X4, saved as PNGs in FOLDER as a person sees them; and
// how long 32 spectra of 32768 bins and a million XY samples take to draw.
#include "channel_panel.h"
#include "measurement_table.h"
#include "spectrum_view.h"
#include "xy_view.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>

namespace {

using namespace e16scope;

constexpr double kPi = std::numbers::pi;
constexpr double kHertz[] = {10, 20, 30, 40}, kVolts[] = {0.5, 1, 1.5, 2};
constexpr double kRate = 1000, kSamples = 65536; // the transform's length at the module's rate

// A sine's bins through a Hann window: the window's kernel `bins` away.
double HannKernel(double bins) {
    const double d = std::fabs(bins);
    if (d < 1e-9) return 1;
    if (std::fabs(d - 1) < 1e-9) return 0.5;
    return std::sin(kPi * d) / (kPi * d) / (1 - d * d);
}

// The spectrum of a sine of `amplitude` volts with a third harmonic 60 dB
// down, over a noise floor near -115 dBV.
std::vector<double> SineSpectrum(const std::vector<double>& frequencies, double hertz, double amplitude,
                                 std::mt19937& random) {
    std::normal_distribution<double> noise;
    const double step = frequencies[1] - frequencies[0];
    std::vector<double> dbv;
    for (const double f : frequencies) {
        double power = 3.16e-12 * (std::pow(noise(random), 2) + std::pow(noise(random), 2)) / 2;
        power += std::pow(amplitude / std::sqrt(2) * HannKernel((f - hertz) / step), 2);
        power += std::pow(amplitude * 1e-3 / std::sqrt(2) * HannKernel((f - 3 * hertz) / step), 2);
        dbv.push_back(10 * std::log10(power));
    }
    return dbv;
}

// The best of five runs, in milliseconds.
double Milliseconds(const std::function<void()>& work) {
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

std::vector<TraceStyle> Styles(int count) {
    std::vector<TraceStyle> styles;
    for (int c = 0; c < count; ++c)
        styles.push_back({QStringLiteral("X%1").arg(c + 1), ChannelPanel::Colour(c)});
    return styles;
}

bool SaveSpectra(const QString& folder) {
    std::vector<double> frequencies;
    for (int bin = 0; bin <= kSamples / 2; ++bin) frequencies.push_back(bin * kRate / kSamples);
    std::mt19937 random(16);
    std::vector<std::vector<double>> dbv;
    for (std::size_t t = 0; t < 32; ++t) {
        const double hertz = kHertz[t % 4] * static_cast<double>(1 + t / 4);
        dbv.push_back(SineSpectrum(frequencies, hertz, kVolts[t % 4], random));
    }
    SpectrumView view;
    view.resize(1000, 560);
    view.SetTraces(Styles(32));
    const double show = Milliseconds([&] { view.Show(frequencies, dbv); });
    const double replot = Milliseconds([&] { view.replot(); });
    std::printf("32 spectra of %zu bins: Show %.1f ms, replot %.1f ms\n", frequencies.size(), show, replot);
    dbv.resize(4);
    view.SetTraces(Styles(4));
    view.SetLogFrequency(true);
    view.Show(frequencies, dbv);
    const bool log = view.SaveImage(folder + QStringLiteral("/spectrum.png"));
    view.SetLogFrequency(false);
    return view.SaveImage(folder + QStringLiteral("/spectrum_linear.png")) && log;
}

bool SaveXy(const QString& folder) {
    std::vector<double> x1, x2;
    for (int i = 0; i < 1000000; ++i) {
        const double t = i / 100000.0;
        x1.push_back(kVolts[0] * std::sin(2 * kPi * kHertz[0] * t));
        x2.push_back(kVolts[1] * std::sin(2 * kPi * kHertz[1] * t + 0.4));
    }
    XyView view;
    view.resize(700, 640);
    const double show = Milliseconds(
        [&] { view.Show(x1, x2, QStringLiteral("X1"), QStringLiteral("X2"), ChannelPanel::Colour(0)); });
    // A new range each time, so that each replot rasterizes the samples again.
    const double replot = Milliseconds([&] {
        view.xAxis->setRange(view.xAxis->range() * 1.001);
        view.replot();
    });
    std::printf("%zu XY samples: Show %.1f ms, replot %.1f ms\n", x1.size(), show, replot);
    view.Show(x1, x2, QStringLiteral("X1"), QStringLiteral("X2"), ChannelPanel::Colour(0));
    return view.SaveImage(folder + QStringLiteral("/xy.png"));
}

bool SaveTables(const QString& folder) {
    std::vector<QColor> colours;
    for (int c = 0; c < 5; ++c) colours.push_back(ChannelPanel::Colour(c));
    MeasurementTable measurements;
    measurements.SetColours(colours);
    std::vector<std::array<double, 6>> rows;
    for (int c = 0; c < 4; ++c)
        rows.push_back({-kVolts[c], kVolts[c], 0, kVolts[c] / std::sqrt(2), 2 * kVolts[c], kHertz[c]});
    rows.push_back({-0.0012, 0.0015, 0.0001, 0.0004, 0.0027, NAN}); // an idle input
    measurements.Show({"X1", "X2", "X3", "X4", "X5"}, rows);
    measurements.resize(640, 150);

    CursorTable cursors;
    cursors.SetColours(colours);
    std::vector<std::array<double, 2>> atCursors;
    for (int c = 0; c < 4; ++c)
        atCursors.push_back({kVolts[c] * std::sin(2 * kPi * kHertz[c] * 0.0125),
                             kVolts[c] * std::sin(2 * kPi * kHertz[c] * 0.0375)});
    cursors.Show(0.0125, 0.0375, {"X1", "X2", "X3", "X4"}, atCursors);
    cursors.resize(420, 170);
    return measurements.grab().save(folder + QStringLiteral("/measurements.png")) &&
           cursors.grab().save(folder + QStringLiteral("/cursors.png"));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: e16scope-views-screenshot FOLDER\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!SaveSpectra(folder) || !SaveXy(folder) || !SaveTables(folder)) {
        std::fprintf(stderr, "e16scope-views-screenshot: cannot write the images in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
