// e16scope's drawing path at 32 channels x 2000 pixel columns: the min/max
// reduction of a 10 s window at 500 kS/s and the redraw of its columns with
// QCustomPlot (the plot's library) and with Qt Charts (the one it was chosen
// over), each against a plain copy of the same samples; then the GUI
// thread's busy share while the real window plots the simulated module at
// 500 kS/s over 32 channels on a 10 s window.
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTest>

#ifdef SCOPE_BENCH_QT_CHARTS
#include <QtCharts>
#endif

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "modal_script.h"
#include "plot_view.h"
#include "ratio_reporter.h"
#include "scope_window.h"

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

void BM_RedrawQCustomPlot(benchmark::State& state) {
    const TraceColumns traces = Reduced();
    PlotView plot;
    std::vector<TraceStyle> styles;
    for (std::size_t c = 0; c < kChannels; ++c)
        styles.push_back({QString::number(c), QColor::fromHsv(static_cast<int>(c * 11), 255, 200), 3200, 0});
    plot.SetTraces(styles);
    plot.resize(kPlotWidth, kPlotHeight);
    plot.show();
    QApplication::processEvents();
    for (auto _ : state) {
        plot.Show(traces, 15625, 10);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_RedrawQCustomPlot)->Unit(benchmark::kMillisecond)->Repetitions(5);

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

// The real window on the simulated module: its drain and redraw time over
// the wall time, after the first second.
double GuiBusyShare(double seconds) {
    ScopeSession session;
    std::string error;
    if (!session.Create(error)) {
        std::fprintf(stderr, "scope_bench: %s\n", error.c_str());
        return -1;
    }
    ScopeWindow window(session);
    window.resize(1400, 860);
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
    window.SetRate(500000.0 / 32);
    window.SetWindowSeconds(10);
    window.StartStop();
    if (!session.Recording()) return -1;
    QTest::qWait(1000);
    const double busyBefore = window.BusySeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(static_cast<int>(seconds * 1000));
    const double share =
        (window.BusySeconds() - busyBefore) / (static_cast<double>(wall.nsecsElapsed()) * 1e-9);
    std::printf("GUI thread at %.0f S/s over 32 channels on a 10 s window: %llu kadrs, ring %.0f %%, %s\n",
                session.Rate() * 32, static_cast<unsigned long long>(session.Received()),
                session.RingFill() * 100, session.Recording() ? "still recording" : "ended by the driver");
    window.StartStop();
    return share;
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
        std::printf("redraw of 32 x 2000 columns, QCustomPlot: %.2f x a plain copy of the samples\n",
                    reporter.Ratio("BM_RedrawQCustomPlot", "BM_PlainCopy"));
        if (const double charts = reporter.Ratio("BM_RedrawQtCharts", "BM_RedrawQCustomPlot"); charts > 0)
            std::printf("redraw with Qt Charts: %.1f x the time of QCustomPlot\n", charts);
        const double share = GuiBusyShare(5);
        if (share >= 0)
            std::printf("GUI thread busy: %.1f %% of the time (target below 20 %%)\n", share * 100);
    });
}
