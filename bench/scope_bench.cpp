// e16scope's drawing path at 32 channels x 2000 pixel columns: the min/max
// reduction of a 10 s window at 500 kS/s against a plain copy of the samples,
// and the redraw of its columns (ColumnTraces, the plot's path) against that
// reduction, beside the QCPGraph redraw it replaced and Qt Charts. Then the
// real window against the simulated module at 500 kS/s over 32 channels with
// a full 10 s and a full 60 s window: redraws a second and the GUI thread's
// busy share. For 60 s the module's clock runs 6 times faster at a sixth of
// the rate, so that the same 500 kS/s reach the window each wall second and
// the 60 s of module time fill the window in 10 s of the bench's.
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTest>

#ifdef SCOPE_BENCH_QT_CHARTS
#include <QtCharts>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "cpu_time.h"
#include "e16sim_control.h"
#include "measure.h"
#include "modal_script.h"
#include "plot_view.h"
#include "ratio_reporter.h"
#include "scope_window.h"
#include "spectrum.h"
#include "sweep.h"

namespace {

using namespace e16scope;

constexpr std::size_t kChannels = 32, kColumns = 2000;
constexpr std::size_t kKadrs = 156250; // 10 s at 500 kS/s over 32 channels
constexpr int kPlotWidth = 2100, kPlotHeight = 900;

const std::vector<int16_t>& Samples() {
    static const std::vector<int16_t> samples = [] {
        std::vector<int16_t> codes(kChannels * kKadrs);
        for (std::size_t k = 0; k < kKadrs; ++k)
            for (std::size_t c = 0; c < kChannels; ++c)
                codes[k * kChannels + c] = static_cast<int16_t>(20000 * std::sin(k * 0.0004 * (c + 1)));
        return codes;
    }();
    return samples;
}

TraceColumns Reduced() {
    TraceColumns traces;
    traces.Reset(kChannels, KadrsPerColumn(kKadrs, kColumns), kColumns);
    traces.Add(Samples().data(), kKadrs);
    return traces;
}

QColor Colour(std::size_t channel) {
    return QColor::fromHsv(static_cast<int>(channel * 11), 255, 200);
}

void BM_PlainCopy(benchmark::State& state) {
    std::vector<int16_t> copy(Samples().size());
    for (auto _ : state) {
        std::memcpy(copy.data(), Samples().data(), copy.size() * sizeof(int16_t));
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_Reduce(benchmark::State& state) {
    TraceColumns traces;
    for (auto _ : state) {
        traces.Reset(kChannels, KadrsPerColumn(kKadrs, kColumns), kColumns);
        traces.Add(Samples().data(), kKadrs);
        benchmark::DoNotOptimize(traces.At(0, 0));
    }
}
BENCHMARK(BM_Reduce)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The instrument on the same 10 s: the sweep's copy into its ring alone
// (trigger off), and with a rising trigger on channel 0 searched as it goes.
void SweepAdd(benchmark::State& state, bool trigger) {
    Sweeper sweep;
    TriggerSettings settings;
    settings.on = trigger;
    settings.mode = TriggerMode::Normal;
    sweep.SetTrigger(settings);
    for (auto _ : state) {
        sweep.Reset(kChannels, kKadrs / 10, std::vector<float>(kChannels, 3200)); // a 1 s window
        for (std::size_t k = 0; k < kKadrs; k += 313)                             // the drains of 20 ms
            sweep.Add(Samples().data() + k * kChannels, std::min<std::size_t>(313, kKadrs - k));
        benchmark::DoNotOptimize(sweep.Sweeps());
    }
}
void BM_SweepStore(benchmark::State& state) {
    SweepAdd(state, false);
}
BENCHMARK(BM_SweepStore)->Unit(benchmark::kMillisecond)->Repetitions(5);
void BM_SweepTriggered(benchmark::State& state) {
    SweepAdd(state, true);
}
BENCHMARK(BM_SweepTriggered)->Unit(benchmark::kMillisecond)->Repetitions(5);

// One spectrum of every channel over a full 10 s view, as the window makes
// it four times a second.
void BM_Spectrum(benchmark::State& state) {
    Sweeper sweep;
    sweep.Reset(kChannels, kKadrs, std::vector<float>(kChannels, 3200));
    sweep.Add(Samples().data(), kKadrs);
    SpectrumAnalyzer analyzer;
    for (auto _ : state) benchmark::DoNotOptimize(analyzer.Compute(sweep.Current(), 15625).points);
}
BENCHMARK(BM_Spectrum)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The measurement table's figures over the same full 10 s view.
void BM_Measure(benchmark::State& state) {
    Sweeper sweep;
    sweep.Reset(kChannels, kKadrs, std::vector<float>(kChannels, 3200));
    sweep.Add(Samples().data(), kKadrs);
    for (auto _ : state) benchmark::DoNotOptimize(Measure(sweep.Current(), 15625, TriggerSettings{}).data());
}
BENCHMARK(BM_Measure)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The plot's own path: Show and a full replot onto the widget.
void BM_RedrawColumns(benchmark::State& state) {
    const TraceColumns traces = Reduced();
    PlotView plot;
    std::vector<TraceStyle> styles;
    for (std::size_t c = 0; c < kChannels; ++c) styles.push_back({QString::number(c), Colour(c), 3200, 0});
    plot.SetTraces(styles);
    plot.resize(kPlotWidth, kPlotHeight);
    plot.show();
    QApplication::processEvents();
    for (auto _ : state) {
        plot.Show(traces, 15625, 10);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_RedrawColumns)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The path it replaced: a QCPGraph a channel, two points a column.
void BM_RedrawQCPGraph(benchmark::State& state) {
    const TraceColumns traces = Reduced();
    QCustomPlot plot;
    plot.setNotAntialiasedElements(QCP::aeAll);
    plot.setPlottingHint(QCP::phFastPolylines, true);
    for (std::size_t c = 0; c < kChannels; ++c) {
        plot.addGraph()->setPen(QPen(Colour(c)));
        plot.graph(static_cast<int>(c))->setAdaptiveSampling(false);
    }
    plot.xAxis->setRange(0, 10);
    plot.yAxis->setRange(-7, 7);
    plot.resize(kPlotWidth, kPlotHeight);
    plot.show();
    QApplication::processEvents();
    const double seconds = static_cast<double>(traces.KadrsPerColumn()) / 15625;
    for (auto _ : state) {
        for (std::size_t c = 0; c < kChannels; ++c) {
            QVector<QCPGraphData> points(static_cast<qsizetype>(2 * traces.Count()));
            for (std::size_t i = 0; i < traces.Count(); ++i) {
                const MinMax pair = traces.At(c, i);
                points[static_cast<qsizetype>(2 * i)] = {static_cast<double>(i) * seconds, pair.min / 3200.0};
                points[static_cast<qsizetype>(2 * i + 1)] = {static_cast<double>(i) * seconds,
                                                             pair.max / 3200.0};
            }
            plot.graph(static_cast<int>(c))->data()->set(points, true);
        }
        plot.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_RedrawQCPGraph)->Unit(benchmark::kMillisecond)->Repetitions(3);

#ifdef SCOPE_BENCH_QT_CHARTS
void BM_RedrawQtCharts(benchmark::State& state) {
    const TraceColumns traces = Reduced();
    auto* chart = new QChart;
    QChartView view(chart);
    view.resize(kPlotWidth, kPlotHeight);
    chart->legend()->hide();
    auto *x = new QValueAxis, *y = new QValueAxis;
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    x->setRange(0, 10);
    y->setRange(-10, 10);
    std::vector<QLineSeries*> series;
    for (std::size_t c = 0; c < kChannels; ++c) {
        series.push_back(new QLineSeries);
        chart->addSeries(series.back());
        series.back()->attachAxis(x);
        series.back()->attachAxis(y);
    }
    view.show();
    QApplication::processEvents();
    const double seconds = static_cast<double>(traces.KadrsPerColumn()) / 15625;
    for (auto _ : state) {
        for (std::size_t c = 0; c < kChannels; ++c) {
            QList<QPointF> points;
            points.reserve(static_cast<qsizetype>(2 * traces.Count()));
            for (std::size_t i = 0; i < traces.Count(); ++i) {
                const MinMax pair = traces.At(c, i);
                points << QPointF(i * seconds, pair.min / 3200.0) << QPointF(i * seconds, pair.max / 3200.0);
            }
            series[c]->replace(points);
        }
        view.repaint();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_RedrawQtCharts)->Unit(benchmark::kMillisecond)->Repetitions(3);
#endif

struct WindowRun {
    double redrawsPerSecond = 0, busyShare = 0, cpuShare = 0;
};

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(50);
    }
    return true;
}

// The real window on the simulated module at 500 kS/s (wall time) over 32
// channels, its clock `timeScale` times faster: once the window of
// `windowSeconds` is full, its redraws and drain and redraw time (and the
// thread's CPU time) over `seconds` of wall time. False when it could not run.
bool FullWindow(double windowSeconds, uint32_t timeScale, double seconds, WindowRun& run) {
    e16sim_set_time_scale(timeScale);
    ScopeSession session;
    std::string error;
    if (!session.Create(error)) {
        std::fprintf(stderr, "scope_bench: %s\n", error.c_str());
        return false;
    }
    ScopeWindow window(session);
    window.resize(2400, 1000); // a plot area of about 2000 columns
    window.show();
    int modals = 0;
    OnNextModal(modals, [](QWidget& chooser) {
        if (auto* list = chooser.findChild<QListWidget*>(QStringLiteral("lstIP"))) list->setCurrentRow(0);
        ClickButton(chooser, QStringLiteral("cmdOK"));
    });
    window.Detect();
    QList<int> all;
    for (int c = 0; c < 32; ++c) all << c;
    window.Channels()->SetChecked(all);
    window.SetRate(500000.0 / 32 / timeScale);
    window.SetWindowSeconds(windowSeconds);
    window.StartStop();
    if (!session.Recording()) return false;
    const TraceColumns& traces = session.Traces();
    const int fillMs = static_cast<int>(windowSeconds / timeScale * 1000) + 5000;
    if (!WaitFor([&] { return traces.Count() == traces.Capacity() || !session.Recording(); }, fillMs) ||
        !session.Recording()) {
        std::fprintf(stderr, "scope_bench: the %.0f s window never filled\n", windowSeconds);
        return false;
    }
    int redraws = 0;
    QObject::connect(window.Plot(), &QCustomPlot::afterReplot, [&redraws] { ++redraws; });
    const double busyBefore = window.BusySeconds(), cpuBefore = velmora::bench::ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(static_cast<int>(seconds * 1000));
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
    run.redrawsPerSecond = redraws / elapsed;
    run.busyShare = (window.BusySeconds() - busyBefore) / elapsed;
    run.cpuShare = (velmora::bench::ThreadCpuSeconds() - cpuBefore) / elapsed;
    std::printf("%.0f s window, full (%zu of %zu columns), %.0f S/s over 32 channels: %llu kadrs, ring %.0f "
                "%%, %s\n",
                windowSeconds, traces.Count(), traces.Capacity(), session.Rate() * 32 * timeScale,
                static_cast<unsigned long long>(session.Received()), session.RingFill() * 100,
                session.Recording() ? "still recording" : "ended by the driver");
    window.StartStop();
    e16sim_set_time_scale(1);
    return true;
}

void PrintWindowRuns() {
    struct Case {
        double window;
        uint32_t timeScale;
    };
    for (const Case& c : {Case{10, 1}, Case{60, 6}}) {
        WindowRun run;
        if (!FullWindow(c.window, c.timeScale, 5, run)) continue;
        std::printf("  %.1f redraws a second; GUI thread busy %.1f %% draining, reducing, measuring and drawing "
                    "(its CPU time: %.1f %%)\n",
                    run.redrawsPerSecond, run.busyShare * 100, run.cpuShare * 100);
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("velmora"));
    QApplication::setApplicationName(QStringLiteral("scope_bench"));
    velmora::bench::RatioReporter reporter;
    return velmora::bench::RunBenchmarks(argc, argv, reporter, [&] {
        std::printf(
            "\nreduction of 10 s at 500 kS/s to 32 x 2000 columns: %.2f x a plain copy of the samples\n",
            reporter.Ratio("BM_Reduce", "BM_PlainCopy"));
        std::printf("redraw of 32 x 2000 columns: %.2f x that reduction; the QCPGraph redraw it replaced: "
                    "%.1f x as long\n",
                    reporter.Ratio("BM_RedrawColumns", "BM_Reduce"),
                    reporter.Ratio("BM_RedrawQCPGraph", "BM_RedrawColumns"));
        if (const double charts = reporter.Ratio("BM_RedrawQtCharts", "BM_RedrawQCPGraph"); charts > 0)
            std::printf("redraw with Qt Charts: %.1f x the time of QCPGraph\n", charts);
        // Shares of the GUI thread at 500 kS/s: the search over 10 s of
        // kadrs, and four spectra a second.
        const double search =
            (reporter.Seconds("BM_SweepTriggered") - reporter.Seconds("BM_SweepStore")) / 10;
        const double spectra = reporter.Seconds("BM_Spectrum") * 4;
        std::printf(
            "trigger search at 500 kS/s over 32 channels: %.3f %% of the GUI thread (the sweep's store "
            "beside it: %.3f %%); four spectra a second of 32 channels over a 10 s window: %.2f %%; "
            "together %.2f %% (target: below 10 %%); the measurements of that view four times a "
            "second: %.2f %%\n",
            search * 100, reporter.Seconds("BM_SweepStore") / 10 * 100, spectra * 100,
            (search + spectra) * 100, reporter.Seconds("BM_Measure") * 4 * 100);
        PrintWindowRuns();
    });
}
