// What the scope shows of a recording: the time plot (rolling, or the
// triggered sweep), the spectrum or one channel against another, with the
// measurement table and the cursors' readings side by side under it, and
// their exports. Takes its samples from the session's sweep; owns no
// acquisition.
#pragma once

#include "measure.h"
#include "measurement_table.h"
#include "panel_inputs.h"
#include "plot_view.h"
#include "scope_options.h"
#include "scope_session.h"
#include "spectrum.h"
#include "spectrum_view.h"
#include "xy_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

namespace e16scope {

// A picture in the image format its name ends in (PNG where it ends in none),
// replacing a file of that name; false with `error` set ("cannot write PATH:
// reason").
bool SaveImage(const QPixmap& picture, const QString& path, std::string& error);

class ViewArea : public QWidget {
    Q_OBJECT
public:
    explicit ViewArea(QWidget* parent = nullptr);

    // The view's choices for the side panel: the view, the spectrum's
    // frequency axis and averaging, the XY pair.
    QWidget* Controls() const { return controls_; }
    PlotView* Plot() const { return plot_; }
    ViewKind Kind() const;
    void SetKind(ViewKind kind);

    // The recorded channels, in recording order.
    void SetTraces(const std::vector<TraceStyle>& traces);
    void SetOffset(std::size_t trace, double volts);
    void SetAutoscale(bool on);
    void SetTrigger(const TriggerSettings& trigger);
    void SetCursorsShown(bool shown);

    // Draws the current view of `session`'s latest kadrs over `windowSeconds`.
    void Redraw(const ScopeSession& session, double windowSeconds);
    // The time view rolls on with the latest kadrs: neither a sweep nor held.
    bool Rolling(const ScopeSession& session) const;
    // Measures the view (and computes the spectrum when it is shown or a
    // frequency needs it); the tables show the result at the next Redraw.
    void Analyse(const ScopeSession& session);
    // The measurement table as CSV (channel,min_v,...), from the last Analyse;
    // none while the view holds no samples.
    std::string MeasurementsCsv() const;
    bool Measured() const { return !measured_.empty(); }
    // Holds the view's samples as they are now: while the display stands
    // still, every view draws, measures and exports those. Thaw lets them go.
    void Freeze(const ScopeSession& session);
    void Thaw();
    // The session's sweeps start over (a new window): the next of them is
    // drawn and measured, whatever its number.
    void SweepsRestarted();
    // The samples in the view, or those frozen, (or the spectrum) as CSV;
    // false with `error` set.
    bool ExportView(const ScopeSession& session, const std::string& path, std::string& error) const;
    // The view shown as an image, as SaveImage above writes it.
    bool SaveImage(const QString& path, std::string& error) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The pointer's readout follows the samples under it, and goes when the
    // pointer leaves a view.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The level the line was dragged to, less the source trace's offset.
    void TriggerLevelDragged(double volts);
    void CursorText(const QString& text);
    void KindChanged();

private:
    void MakeControls();
    void FitTables();
    void ShowTime(const ScopeSession& session, double windowSeconds);
    void ShowXy(const View& view);
    void ShowCursors();
    void ReadoutAgain();
    std::vector<std::string> Names() const;
    bool SweepShown(const Sweeper& sweep) const;

    PlotView* plot_ = nullptr;
    std::optional<QPointF> pointer_; // over the current view, where it last moved
    SpectrumView* spectrum_ = nullptr;
    XyView* xy_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QSplitter* split_ = nullptr;
    MeasurementTable* measurements_ = nullptr;
    CursorTable* cursors_ = nullptr;
    QWidget* controls_ = nullptr;
    QComboBox *kind_ = nullptr, *xChannel_ = nullptr, *yChannel_ = nullptr;
    QCheckBox* logFrequency_ = nullptr;
    NumberBox* averages_ = nullptr;

    std::vector<TraceStyle> traces_;
    TriggerSettings trigger_;
    SpectrumAnalyzer analyzer_;
    bool spectrumFresh_ = false; // computed since the last draw
    std::vector<Measurement> measured_;
    uint64_t analysed_ = 0; // the sweep (or kadr count) measured last
    bool analysedTriggered_ = false;
    bool analyseAgain_ = true;         // the view or its channels changed
    std::vector<int16_t> frozenCodes_; // the samples the frozen view spans
    std::vector<float> frozenScales_;
    std::optional<View> frozen_;
    const ScopeSession* shown_ = nullptr; // drawn last in the time view
    TraceColumns sweepColumns_;           // the shown sweep, reduced
    uint64_t sweepDrawn_ = ~0ull;         // Sweeps() of the reduced sweep
};

} // namespace e16scope
