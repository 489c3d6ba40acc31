// e16scope's main window: the toolbar (Test, Start/Stop, Setup, Record to
// file, Pause, Export, Cursors), the side panel (rate, time window, view,
// trigger, channels, outputs and digital lines, each section folding), the
// views with their measurements, and the status bar. A timer drains the
// driver on this (the GUI) thread; redraws and measurements come no more
// often than keeps the thread mostly free. The command line's options and
// unattended runs are applied here. Settings live in the user's config folder.
#pragma once

#include "channel_panel.h"
#include "lines_panel.h"
#include "panel_inputs.h"
#include "plot_view.h"
#include "scope_options.h"
#include "scope_session.h"
#include "trigger_panel.h"
#include "view_area.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>

#include <optional>

namespace e16scope {

// The first window's size, with no saved geometry, on a screen whose free
// area is `available`: at least 1280 x 800, or four fifths of a larger
// screen, never more than the screen.
QSize FirstWindowSize(QSize available);

class ScopeWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ScopeWindow(ScopeSession& session, QWidget* parent = nullptr);
    ~ScopeWindow() override;

    PlotView* Plot() const { return views_->Plot(); }
    ViewArea* Views() const { return views_; }
    TriggerPanel* Trigger() const { return trigger_; }
    ChannelPanel* Channels() const { return channels_; }
    // Seconds this thread spent draining and drawing since the window opened.
    double BusySeconds() const { return busy_; }
    // Records to `path` from now on (CSV, or HDF5 for .h5/.hdf5); false with
    // the reason shown when it cannot.
    bool RecordTo(const QString& path);
    void SetWindowSeconds(double seconds);
    void SetRate(double kadrsPerSecond);
    // A stream to watch instead of the module (e16rec --publish's endpoint);
    // empty: the module.
    void SetSource(const QString& endpoint);

    // Applies the command line: the fields it sets, the recording it starts,
    // and for --after the actions at the end and the window's close. False
    // (said on standard error) when it cannot start as asked.
    bool Apply(const ScopeOptions& options);
    // An unattended run's exit status: 0 when every action was done.
    int UnattendedStatus() const { return unattendedStatus_; }
    // The view's samples (or spectrum) as CSV; false with the reason shown.
    bool ExportView(const QString& path);

public slots:
    void Detect();
    void StartStop();
    void Setup();

private:
    QWidget* MakeSidePanel();
    void MakeToolbar();
    void ToggleFile(bool on);
    void TogglePause(bool paused);
    void AskExportView();
    void AskSaveImage();
    void Connect();
    void MakeStatusBar();
    void Tick();
    void Redraw();
    void Analyse();
    void ApplyTrigger();
    void ShowTriggerState();
    // False when the trigger's source is not among them: it takes the first.
    bool ShowTraces(std::vector<TraceStyle> traces);
    bool StartFromOptions(const ScopeOptions& options);
    bool TakeTriggerOption();
    // A script's option that cannot be done: said on standard error and in
    // the status bar; false.
    bool Refuse(const std::string& why);
    void LostTriggerSource(const QString& source);
    void Unattended(const ScopeOptions& options);
    void AwaitKadrs(const ScopeOptions& options, QDeadlineTimer grace);
    // An unattended run's actions and its end.
    void Act(const ScopeOptions& options);
    bool StreamHeard(double seconds) const;
    void ShowStatus();
    void ShowModule();
    void ShowError(const QString& text);
    // The status bar's message: an error in red, or news.
    void ShowMessage(const QString& text, bool error);
    void ShowNames();
    void ShowOwnChoice();
    void SetRecording(bool recording);
    void StartStream();
    void StartModule();
    void Stop();
    void ShowStream();
    void AdoptStreamRecording(const StreamFeed& stream);
    void RestartTraces();
    double WindowSeconds() const;
    void LoadSettings();
    // Why the window's own settings could not be saved; empty when they were.
    QString SaveSettings() const;

    ScopeSession& session_;
    ViewArea* views_ = nullptr;
    TriggerPanel* trigger_ = nullptr;
    ChannelPanel* channels_ = nullptr;
    LinesPanel* lines_ = nullptr;
    QAction *test_ = nullptr, *start_ = nullptr, *setup_ = nullptr, *record_ = nullptr, *pause_ = nullptr,
            *export_ = nullptr, *image_ = nullptr, *cursors_ = nullptr;
    NumberBox* rate_ = nullptr;
    QLabel* achieved_ = nullptr;
    QComboBox* window_ = nullptr;
    QLineEdit* source_ = nullptr;
    int streamTraces_ = 0;     // the stream's recordings whose channels the plot has had
    int64_t refusedShown_ = 0; // the stream's malformed messages said
    // The user's channels, ranges and rate while a stream's fill the panel:
    // what the window stores, and shows again when the watch stops.
    struct OwnChoice {
        QList<int> checked;
        std::vector<int> ranges;
        double rate;
    };
    std::optional<OwnChoice> own_;
    QCheckBox* autoscale_ = nullptr;
    QLabel *module_ = nullptr, *backend_ = nullptr, *kadrs_ = nullptr, *fill_ = nullptr, *file_ = nullptr,
           *error_ = nullptr, *cursor_ = nullptr;
    QString filePath_; // the recording file's name, for the status bar
    QTimer drain_, poll_;
    QElapsedTimer sinceRedraw_, sinceAnalysis_;
    double redrawCost_ = 0;   // seconds the last redraw took
    double analysisCost_ = 0; // and the last measurement
    int unattendedStatus_ = 1;
    bool unattended_ = false;                     // an --after run: the window's settings stay as they were
    std::string runFailure_;                      // why the module's recording or its file ended first
    std::optional<TriggerChoice> pendingTrigger_; // --trigger, until the channels are known
    double busy_ = 0;
};

} // namespace e16scope
