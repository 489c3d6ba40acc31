#include "view_area.h"

#include "view_export.h"
#include "volts_text.h"

#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageWriter>
#include <QMouseEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace e16scope {

bool SaveImage(const QPixmap& picture, const QString& path, std::string& error) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QByteArray format = suffix.isEmpty() ? QByteArray("png") : suffix.toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format)) {
        error = "cannot write " + path.toStdString() + ": no image format is named ." + suffix.toStdString() +
                "; .png, .jpg and .bmp are";
        return false;
    }
    QFile file(path);
    // Flushed here, so that a full disk is said rather than lost at close.
    if (file.open(QIODevice::WriteOnly) && picture.save(&file, format.constData()) && file.flush())
        return true;
    error = "cannot write " + path.toStdString() + ": " + file.errorString().toStdString();
    return false;
}

ViewArea::ViewArea(QWidget* parent) : QWidget(parent) {
    plot_ = new PlotView;
    spectrum_ = new SpectrumView;
    xy_ = new XyView;
    stack_ = new QStackedWidget;
    stack_->addWidget(plot_);
    stack_->addWidget(spectrum_);
    stack_->addWidget(xy_);
    measurements_ = new MeasurementTable;
    cursors_ = new CursorTable;
    cursors_->hide();
    // Side by side: both are short and narrow, and the plot keeps the height.
    cursors_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    cursors_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Expanding);
    auto* tables = new QWidget;
    auto* row = new QHBoxLayout(tables);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(measurements_);
    row->addWidget(cursors_);
    split_ = new QSplitter(Qt::Vertical);
    split_->addWidget(stack_);
    split_->addWidget(tables);
    split_->setStretchFactor(0, 1);
    split_->setStretchFactor(1, 0);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(split_);
    MakeControls();
    // The line stands at the level plus its trace's offset, as SetTrigger put it.
    connect(plot_, &PlotView::TriggerLevelDragged, this, [this](double volts) {
        const bool placed = trigger_.source < traces_.size();
        emit TriggerLevelDragged(volts - (placed ? traces_[trigger_.source].offset : 0));
    });
    connect(plot_, &PlotView::CursorsMoved, this, [this] { ShowCursors(); });
    connect(plot_, &PlotView::CursorText, this, &ViewArea::CursorText);
    connect(spectrum_, &SpectrumView::CursorText, this, &ViewArea::CursorText);
    connect(xy_, &XyView::CursorText, this, &ViewArea::CursorText);
    for (QWidget* view :
         {static_cast<QWidget*>(plot_), static_cast<QWidget*>(spectrum_), static_cast<QWidget*>(xy_)})
        view->installEventFilter(this);
}

bool ViewArea::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) pointer_ = static_cast<QMouseEvent*>(event)->position();
    if (event->type() == QEvent::Leave) {
        pointer_.reset();
        emit CursorText({});
    }
    return QWidget::eventFilter(watched, event);
}

void ViewArea::MakeControls() {
    kind_ = new QComboBox;
    kind_->setObjectName(QStringLiteral("view"));
    kind_->addItems({tr("Time"), tr("Spectrum"), tr("XY")});
    logFrequency_ = new QCheckBox(tr("&Log frequency"));
    logFrequency_->setObjectName(QStringLiteral("logFrequency"));
    averages_ = new NumberBox(tr("Averages"));
    averages_->setDecimals(0);
    averages_->setObjectName(QStringLiteral("averages"));
    averages_->setRange(1, 64);
    averages_->setToolTip(tr("Spectra averaged (power); 1: none"));
    xChannel_ = new QComboBox;
    xChannel_->setObjectName(QStringLiteral("xChannel"));
    yChannel_ = new QComboBox;
    yChannel_->setObjectName(QStringLiteral("yChannel"));
    controls_ = new QWidget;
    auto* form = new QFormLayout(controls_);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(tr("&View"), kind_);
    form->addRow(logFrequency_);
    form->addRow(tr("A&verages"), averages_);
    form->addRow(tr("X"), xChannel_);
    form->addRow(tr("Y"), yChannel_);
    const auto shown = [this, form] {
        const ViewKind kind = Kind();
        stack_->setCurrentIndex(static_cast<int>(kind));
        form->setRowVisible(logFrequency_, kind == ViewKind::Spectrum);
        form->setRowVisible(averages_, kind == ViewKind::Spectrum);
        form->setRowVisible(xChannel_, kind == ViewKind::Xy);
        form->setRowVisible(yChannel_, kind == ViewKind::Xy);
        cursors_->setVisible(kind == ViewKind::Time && plot_->CursorsShown());
        analyseAgain_ = true;
        pointer_.reset();
        emit CursorText({}); // of the view before
        emit KindChanged();
    };
    connect(kind_, &QComboBox::currentIndexChanged, this, shown);
    connect(logFrequency_, &QCheckBox::toggled, spectrum_, &SpectrumView::SetLogFrequency);
    connect(averages_, &NumberBox::valueChanged, this,
            [this](double count) { analyzer_.SetAveraging(static_cast<std::size_t>(count)); });
    shown();
}

ViewKind ViewArea::Kind() const {
    return static_cast<ViewKind>(kind_->currentIndex());
}

void ViewArea::SetKind(ViewKind kind) {
    kind_->setCurrentIndex(static_cast<int>(kind));
}

void ViewArea::SetTraces(const std::vector<TraceStyle>& traces) {
    Thaw(); // of other channels
    traces_ = traces;
    plot_->SetTraces(traces);
    spectrum_->SetTraces(traces);
    QStringList names;
    std::vector<TableChannel> channels;
    for (const TraceStyle& trace : traces) {
        names << trace.name;
        channels.push_back({trace.colour, velmora::hosts::CodeDecimals(trace.codesPerVolt)});
    }
    for (QComboBox* pick : {xChannel_, yChannel_}) {
        const QString chosen = pick->currentText();
        pick->clear();
        pick->addItems(names);
        if (names.contains(chosen)) pick->setCurrentText(chosen);
    }
    if (yChannel_->currentIndex() == xChannel_->currentIndex() && names.size() > 1)
        yChannel_->setCurrentIndex(xChannel_->currentIndex() == 0 ? 1 : 0);
    measurements_->SetChannels(channels);
    cursors_->SetChannels(std::move(channels));
    measurements_->Show(names, {});
    measured_.clear();
    analyzer_.ResetAverage();
    sweepDrawn_ = ~0ull;
    analyseAgain_ = true;
}

void ViewArea::SetOffset(std::size_t trace, double volts) {
    if (trace < traces_.size()) traces_[trace].offset = volts;
    plot_->SetOffset(trace, volts);
    sweepDrawn_ = ~0ull;
}

void ViewArea::SetAutoscale(bool on) {
    plot_->SetAutoscale(on);
}

void ViewArea::SetTrigger(const TriggerSettings& trigger) {
    trigger_ = trigger;
    analyseAgain_ = true;
    const bool shown = trigger.on && trigger.source < traces_.size();
    if (!shown) {
        plot_->SetTriggerLevel(false, trigger.level, 0, QColor(), 3);
        return;
    }
    const TraceStyle& source = traces_[trigger.source];
    plot_->SetTriggerLevel(true, trigger.level, source.offset, source.colour,
                           LevelDecimals(LevelReach(source.codesPerVolt)));
}

void ViewArea::SetCursorsShown(bool shown) {
    plot_->SetCursorsShown(shown);
    cursors_->setVisible(shown && Kind() == ViewKind::Time);
    FitTables();
    ShowCursors();
}

// The tables as tall as the taller one's rows, up to a third of the area;
// the plot takes the rest.
void ViewArea::FitTables() {
    const auto height = [](const QTableWidget* table) {
        return table->horizontalHeader()->sizeHint().height() + table->verticalHeader()->length() +
               2 * table->frameWidth() + 2;
    };
    int rows = height(measurements_);
    if (cursors_->isVisible()) rows = std::max(rows, height(cursors_));
    const int total = std::max(split_->height(), 300);
    const int tables = std::min(rows, total / 3);
    split_->setSizes({total - tables, tables});
}

void ViewArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FitTables();
}

std::vector<std::string> ViewArea::Names() const {
    std::vector<std::string> names;
    for (const TraceStyle& trace : traces_) names.push_back(trace.name.toStdString());
    return names;
}

bool ViewArea::SweepShown(const Sweeper& sweep) const {
    return trigger_.on && sweep.Current().triggered;
}

bool ViewArea::Rolling(const ScopeSession& session) const {
    const Sweeper& sweep = session.Sweep();
    return Kind() == ViewKind::Time && !frozen_ && !SweepShown(sweep) &&
           !(sweep.State() == SweepState::Armed && sweep.Current().kadrs == 0);
}

void ViewArea::Redraw(const ScopeSession& session, double windowSeconds) {
    if (session.Rate() <= 0) return;
    switch (Kind()) {
    case ViewKind::Time:
        ShowTime(session, windowSeconds);
        break;
    case ViewKind::Spectrum:
        if (!spectrumFresh_) return;
        spectrum_->Show(analyzer_.Last().frequency, analyzer_.Last().dbv);
        spectrum_->replot(QCustomPlot::rpImmediateRefresh);
        spectrumFresh_ = false;
        break;
    case ViewKind::Xy:
        ShowXy(frozen_ ? *frozen_ : session.Sweep().Current());
        break;
    }
    ReadoutAgain();
}

// The pointer stands still while the samples under it change.
void ViewArea::ReadoutAgain() {
    if (!pointer_) return;
    switch (Kind()) {
    case ViewKind::Time:
        plot_->Readout(*pointer_);
        break;
    case ViewKind::Spectrum:
        spectrum_->Readout(*pointer_);
        break;
    case ViewKind::Xy:
        xy_->Readout(*pointer_);
        break;
    }
}

// The triggered sweep, reduced once per sweep, from its trigger point, or
// the frozen view, reduced whenever drawn; else the rolling columns from the
// recording's start.
void ViewArea::ShowTime(const ScopeSession& session, double windowSeconds) {
    shown_ = &session;
    const Sweeper& sweep = session.Sweep();
    const bool triggered = frozen_ ? trigger_.on && frozen_->triggered : SweepShown(sweep);
    if (frozen_ || triggered) {
        const View view = frozen_ ? *frozen_ : sweep.Current();
        if (frozen_ || sweep.Sweeps() != sweepDrawn_) {
            sweepColumns_.Reset(view.channels,
                                KadrsPerColumn(static_cast<double>(view.kadrs), plot_->PixelColumns()),
                                plot_->PixelColumns());
            sweepColumns_.Add(view.first.data(), view.first.size() / view.channels);
            sweepColumns_.Add(view.second.data(), view.second.size() / view.channels);
            sweepDrawn_ = frozen_ ? ~0ull : sweep.Sweeps();
        }
        plot_->ShowSweep(sweepColumns_, session.Rate(), view.Time(0) / session.Rate(), windowSeconds);
    } else if (sweep.State() == SweepState::Armed && sweep.Current().kadrs == 0) {
        // Normal or Single before the first sweep: nothing yet, on the sweep's axis.
        sweepColumns_.Reset(0, 1, 1);
        sweepDrawn_ = ~0ull;
        plot_->ShowSweep(sweepColumns_, session.Rate(), -trigger_.pretrigger * windowSeconds, windowSeconds);
    } else {
        plot_->Show(session.Traces(), session.Rate(), windowSeconds);
    }
    plot_->SetTriggerTime(triggered);
    plot_->replot(QCustomPlot::rpImmediateRefresh);
    ShowCursors();
}

void ViewArea::ShowXy(const View& view) {
    const auto x = static_cast<std::size_t>(std::max(0, xChannel_->currentIndex()));
    const auto y = static_cast<std::size_t>(std::max(0, yChannel_->currentIndex()));
    if (x >= view.channels || y >= view.channels) return;
    std::vector<double> xs(view.kadrs), ys(view.kadrs);
    for (std::size_t k = 0; k < view.kadrs; ++k) {
        xs[k] = view.Volts(k, x) + traces_[x].offset;
        ys[k] = view.Volts(k, y) + traces_[y].offset;
    }
    xy_->Show(xs, ys, traces_[x].name, traces_[y].name, traces_[y].colour);
    xy_->replot(QCustomPlot::rpImmediateRefresh);
}

void ViewArea::ShowCursors() {
    if (!cursors_->isVisible()) return;
    const View view = frozen_ ? *frozen_ : shown_ != nullptr ? shown_->Sweep().Current() : View{};
    const double rate = shown_ != nullptr ? shown_->Rate() : 0;
    // Each cursor reads the kadr nearest it, so that Δt is the samples'. The
    // cursors stay where they were put: each triggered sweep's kadrs lie
    // elsewhere, and snapping them sweep after sweep would walk them away.
    auto [t1, t2] = plot_->CursorTimes();
    const std::optional<std::size_t> k1 = KadrAt(view, rate, t1), k2 = KadrAt(view, rate, t2);
    if (k1) t1 = view.Time(*k1) / rate;
    if (k2) t2 = view.Time(*k2) / rate;
    // The channel's own volts, without the trace's offset.
    const auto volts = [&view](std::optional<std::size_t> kadr, std::size_t channel) {
        return kadr ? view.Volts(*kadr, channel) : std::numeric_limits<double>::quiet_NaN();
    };
    QStringList names;
    std::vector<std::array<double, 2>> values;
    for (std::size_t i = 0; i < traces_.size(); ++i) {
        names << traces_[i].name;
        values.push_back({volts(k1, i), volts(k2, i)});
    }
    const int before = cursors_->rowCount();
    cursors_->Show(t1, t2, names, values);
    if (cursors_->rowCount() != before) FitTables(); // shown before it had its rows
}

// Only when the view holds other samples than at the last measurement: a
// held sweep, or a stopped recording, is measured once; a frozen view when
// it is shown anew.
void ViewArea::Analyse(const ScopeSession& session) {
    const Sweeper& sweep = session.Sweep();
    const View view = frozen_ ? *frozen_ : sweep.Current();
    if (view.kadrs == 0 && !measured_.empty()) { // as blank as the plot
        measured_.clear();
        measurements_->Show({}, measured_);
    }
    if (view.kadrs == 0 || session.Rate() <= 0) return;
    const uint64_t mark = view.triggered ? sweep.Sweeps() : sweep.Received();
    const bool same = frozen_ || (mark == analysed_ && view.triggered == analysedTriggered_);
    if (same && !analyseAgain_) return;
    analysed_ = mark;
    analysedTriggered_ = view.triggered;
    analyseAgain_ = false;
    const Spectrum* spectrum = nullptr;
    if (Kind() == ViewKind::Spectrum) {
        spectrum = &analyzer_.Compute(view, session.Rate());
        spectrumFresh_ = true;
    }
    measured_ = Measure(view, session.Rate(), trigger_, spectrum);
    // The spectrum of the time view is computed only when crossings were too few.
    if (spectrum == nullptr && WantsSpectrum(measured_))
        FillFromSpectrum(measured_, analyzer_.Compute(view, session.Rate()));
    QStringList names;
    for (std::size_t i = 0; i < measured_.size() && i < traces_.size(); ++i) names << traces_[i].name;
    const int before = measurements_->rowCount();
    measurements_->Show(names, measured_);
    if (measurements_->rowCount() != before) FitTables();
}

std::string ViewArea::MeasurementsCsv() const {
    return e16scope::MeasurementsCsv(measured_, Names());
}

// A copy, since the sweep's ring goes on filling under the view.
void ViewArea::Freeze(const ScopeSession& session) {
    View view = session.Sweep().Current();
    frozenCodes_.assign(view.first.begin(), view.first.end());
    frozenCodes_.insert(frozenCodes_.end(), view.second.begin(), view.second.end());
    frozenScales_.assign(view.codesPerVolt.begin(), view.codesPerVolt.end());
    view.first = frozenCodes_;
    view.second = {};
    view.codesPerVolt = frozenScales_;
    frozen_ = view;
}

void ViewArea::Thaw() {
    frozen_.reset();
    frozenCodes_ = {};
    frozenScales_ = {};
    analyseAgain_ = true;
}

void ViewArea::SweepsRestarted() {
    sweepDrawn_ = ~0ull;
    analyseAgain_ = true;
}

bool ViewArea::ExportView(const ScopeSession& session, const std::string& path, std::string& error) const {
    if (Kind() == ViewKind::Spectrum) {
        if (analyzer_.Last().points == 0) {
            error = "no spectrum yet: the view holds too few samples";
            return false;
        }
        return WriteSpectrumCsv(path, analyzer_.Last(), Names(), error);
    }
    const View view = frozen_ ? *frozen_ : session.Sweep().Current();
    if (view.kadrs == 0) {
        error = "no samples in the view yet";
        return false;
    }
    return WriteTimeCsv(path, view, session.Rate(), Names(), error);
}

bool ViewArea::SaveImage(const QString& path, std::string& error) const {
    return e16scope::SaveImage(static_cast<QCustomPlot*>(stack_->currentWidget())->toPixmap(), path, error);
}

} // namespace e16scope
