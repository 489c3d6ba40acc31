#include "scope_window.h"

#include "user_number.h"

#include "panel_inputs.h"
#include "section.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

namespace e16scope {
namespace {

// Drains come at twice the fastest redraw rate, so that a due redraw waits
// at most half a frame for its tick.
constexpr int kDrainMs = 16;
// A redraw starts no sooner than this many times the last one's cost after
// the last one started, so that drawing takes at most a third of the thread,
constexpr double kRedrawSpacing = 3.0;
// and no sooner than a frame at about 30 a second when drawing is cheaper;
// a tick within half an interval of it counts as on time.
constexpr qint64 kFrameMs = 33;
// Measurements (and the spectrum) come every 250 ms, or later when they cost
// more than a tenth of the thread.
constexpr qint64 kAnalysisMs = 250;
constexpr double kAnalysisSpacing = 10.0;
// A file written is said in the status bar for this long, over its fields.
constexpr int kSaidFor = 5000;

// The action's tooltip: its text and its key.
void ShowKey(QAction* action) {
    QString text = action->text().remove(QLatin1Char('&'));
    text.remove(QStringLiteral("..."));
    action->setToolTip(
        QStringLiteral("%1 (%2)").arg(text, action->shortcut().toString(QKeySequence::NativeText)));
}

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString WindowText(double seconds) {
    return seconds < 1 ? QStringLiteral("%1 ms").arg(UserNumber(seconds * 1000))
                       : QStringLiteral("%1 s").arg(UserNumber(seconds));
}

// Measures the time to its end on the GUI thread's busy account.
class BusyTime {
public:
    // `cost`, when given, gets this span alone.
    explicit BusyTime(double& total, double* cost = nullptr) : total_(total), cost_(cost) {}
    ~BusyTime() {
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        total_ += spent;
        if (cost_ != nullptr) *cost_ = spent;
    }

private:
    double& total_;
    double* cost_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace

ScopeWindow::ScopeWindow(ScopeSession& session, QWidget* parent) : QMainWindow(parent), session_(session) {
    setWindowTitle(tr("e16scope"));
    views_ = new ViewArea;
    trigger_ = new TriggerPanel;
    channels_ = new ChannelPanel;
    lines_ = new LinesPanel(session_);
    auto* split = new QSplitter;
    split->addWidget(MakeSidePanel());
    split->addWidget(views_);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);
    MakeToolbar();
    MakeStatusBar();
    Connect();
    drain_.setInterval(kDrainMs);
    poll_.setInterval(1000);
    sinceRedraw_.start();
    sinceAnalysis_.start();
    LoadSettings();
    RestartTraces();
    ShowNames(); // the driver names its channels and ranges before Test too
    ShowModule();
    SetRecording(false);
}

// The rate, the time window and autoscale over the channels and the lines.
QWidget* ScopeWindow::MakeSidePanel() {
    rate_ = new NumberBox(tr("Rate"), tr("kadrs/s"));
    rate_->setObjectName(QStringLiteral("rate"));
    rate_->setRange(kMinRate, kMaxRate);
    rate_->setDecimals(1);
    achieved_ = new QLabel;
    achieved_->setObjectName(QStringLiteral("achieved"));
    window_ = new QComboBox;
    window_->setObjectName(QStringLiteral("window"));
    for (double seconds : WindowChoices()) window_->addItem(WindowText(seconds), seconds);
    autoscale_ = new QCheckBox(tr("&Autoscale"));
    autoscale_->setChecked(true);
    source_ = new QLineEdit;
    source_->setObjectName(QStringLiteral("source"));
    source_->setPlaceholderText(tr("empty: the module"));
    source_->setToolTip(tr("Watch what e16rec --publish sends: tcp://HOST:PORT or ipc://PATH"));

    auto* settings = new QFormLayout;
    settings->addRow(tr("&Rate, kadrs/s"), rate_);
    settings->addRow(tr("Achieved"), achieved_);
    settings->addRow(tr("&Window"), window_);
    settings->addRow(autoscale_);
    settings->addRow(tr("S&tream"), source_);
    auto* side = new QWidget;
    auto* column = new QVBoxLayout(side);
    column->addLayout(settings);
    column->addWidget(new Section(tr("View"), views_->Controls()));
    column->addWidget(new Section(tr("Trigger"), trigger_));
    channels_->setMinimumHeight(channels_->fontMetrics().height() * 16); // about eight rows
    column->addWidget(new Section(tr("Channels"), channels_), 1);
    lines_->setTitle({}); // the section names it
    auto* lines = new Section(tr("Outputs and digital lines"), lines_);
    column->addWidget(lines);
    // Scrolls when the folded-out sections are taller than the window.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("sidePanel"));
    scroll->setFocusPolicy(Qt::NoFocus); // its inputs take the Tab stops, and it scrolls to them
    scroll->setWidget(side);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(side->sizeHint().width() + 20);
    WheelOnlyWhenFocused(side);
    for (NumberBox* box : side->findChildren<NumberBox*>()) {
        connect(box, &NumberBox::Refused, this, &ScopeWindow::ShowError);
        // Another error shown since stays.
        connect(box, &NumberBox::Withdrawn, this, [this](const QString& why) {
            if (error_->text() == why) ShowError({});
        });
    }
    return scroll;
}

void ScopeWindow::Connect() {
    connect(window_, &QComboBox::currentIndexChanged, this, [this] { RestartTraces(); });
    connect(source_, &QLineEdit::textChanged, this, [this] { SetRecording(session_.Recording()); });
    // Offsets and the scale show at once; a stopped recording is drawn again.
    connect(autoscale_, &QCheckBox::toggled, this, [this](bool on) {
        views_->SetAutoscale(on);
        if (!session_.Recording()) Redraw();
    });
    connect(channels_, &ChannelPanel::OffsetChanged, this, [this](int channel, double volts) {
        const auto& chosen = session_.Channels();
        for (std::size_t i = 0; i < chosen.size(); ++i)
            if (chosen[i].channel == channel) views_->SetOffset(i, volts);
        views_->SetTrigger(trigger_->Settings()); // the level line moves with its trace; the sweep stays
        if (!session_.Recording()) Redraw();
    });
    connect(views_, &ViewArea::CursorText, cursor_, &QLabel::setText);
    connect(trigger_, &TriggerPanel::Changed, this, &ScopeWindow::ApplyTrigger);
    connect(trigger_, &TriggerPanel::Rearm, this, [this] { session_.Sweep().Rearm(); });
    connect(views_, &ViewArea::TriggerLevelDragged, trigger_, &TriggerPanel::SetLevel);
    connect(views_, &ViewArea::KindChanged, this, [this] {
        cursors_->setEnabled(views_->Kind() == ViewKind::Time); // time lines, on the time plot only
        Analyse();
        Redraw();
    });
    connect(&drain_, &QTimer::timeout, this, &ScopeWindow::Tick);
    connect(&poll_, &QTimer::timeout, lines_, &LinesPanel::Poll);
}

ScopeWindow::~ScopeWindow() {
    if (!unattended_) { // a script's choices are not the user's
        const QString unsaved = SaveSettings();
        if (!unsaved.isEmpty()) std::fprintf(stderr, "e16scope: warning: %s\n", qUtf8Printable(unsaved));
    }

    std::string ignored;
    session_.Stop(ignored);
}

void ScopeWindow::MakeToolbar() {
    QToolBar* bar = addToolBar(tr("Acquisition"));
    bar->setObjectName(QStringLiteral("toolbar"));
    test_ = bar->addAction(tr("&Test"), this, &ScopeWindow::Detect);
    test_->setObjectName(QStringLiteral("test"));
    start_ = bar->addAction(tr("&Start"), this, &ScopeWindow::StartStop);
    start_->setObjectName(QStringLiteral("start"));
    setup_ = bar->addAction(tr("Set&up..."), this, &ScopeWindow::Setup);
    setup_->setObjectName(QStringLiteral("setup"));
    record_ = bar->addAction(tr("&Record to file..."));
    record_->setObjectName(QStringLiteral("record"));
    record_->setCheckable(true);
    connect(record_, &QAction::triggered, this, &ScopeWindow::ToggleFile);
    pause_ = bar->addAction(tr("&Pause display"));
    pause_->setObjectName(QStringLiteral("pause"));
    pause_->setCheckable(true);
    connect(pause_, &QAction::toggled, this, &ScopeWindow::TogglePause);
    bar->addSeparator();
    cursors_ = bar->addAction(tr("&Cursors"));
    cursors_->setObjectName(QStringLiteral("cursors"));
    cursors_->setCheckable(true);
    connect(cursors_, &QAction::toggled, views_, &ViewArea::SetCursorsShown);
    export_ = bar->addAction(tr("&Export view..."), this, &ScopeWindow::AskExportView);
    export_->setObjectName(QStringLiteral("export"));
    image_ = bar->addAction(tr("Save &image..."), this, &ScopeWindow::AskSaveImage);
    image_->setObjectName(QStringLiteral("image"));
    // A toolbar takes no Tab stop and shows no mnemonic: each button has a
    // key, which its tooltip gives; none a text box takes on an X11 desktop
    // (Ctrl+E, Ctrl+U, Ctrl+K...).
    const std::pair<QAction*, QKeySequence> keys[] = {{test_, Qt::CTRL | Qt::Key_T},
                                                      {start_, Qt::Key_F5},
                                                      {setup_, Qt::CTRL | Qt::Key_Comma},
                                                      {record_, Qt::CTRL | Qt::Key_R},
                                                      {pause_, Qt::CTRL | Qt::Key_P},
                                                      {cursors_, Qt::CTRL | Qt::Key_L},
                                                      {export_, Qt::CTRL | Qt::SHIFT | Qt::Key_E},
                                                      {image_, Qt::CTRL | Qt::Key_S}};
    for (const auto& [action, key] : keys) {
        action->setShortcut(key);
        action->setAutoRepeat(false); // a key held starts once, not on and off
        ShowKey(action);
    }
}

namespace {

// A name to save to, from Qt's own dialog: a name typed without an extension
// takes the first one of the chosen filter, which the dialog then asks
// before replacing.
QString AskSaveName(QWidget* parent, const QString& title, const QString& filters) {
    QFileDialog dialog(parent, title, QString(), filters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const auto take = [&dialog](const QString& filter) {
        static const QRegularExpression kFirst(QStringLiteral("\\*\\.(\\w+)"));
        dialog.setDefaultSuffix(kFirst.match(filter).captured(1));
    };
    take(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, take);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace

void ScopeWindow::ToggleFile(bool on) {
    if (!on) {
        std::string error;
        if (!session_.StopFile(error)) ShowError(tr("The recording file is incomplete: %1").arg(Text(error)));
        return;
    }
    const QString path =
        AskSaveName(this, tr("Record to file"), QString::fromStdString(velmora::hosts::FileDialogFilter()));
    if (path.isEmpty() || !RecordTo(path)) record_->setChecked(false);
}

// What stands still is drawn, measured and exported alike: the newest.
void ScopeWindow::TogglePause(bool paused) {
    if (!paused) views_->Thaw();
    if (paused || !session_.Recording()) { // else the next tick draws
        Analyse();
        Redraw();
    }
    if (paused) views_->Freeze(session_);
}

void ScopeWindow::AskExportView() {
    const QString path = AskSaveName(this, tr("Export the view"), tr("CSV files (*.csv)"));
    if (!path.isEmpty()) ExportView(path);
}

void ScopeWindow::AskSaveImage() {
    const QString path =
        AskSaveName(this, tr("Save the view as an image"),
                    tr("PNG images (*.png);;JPEG images (*.jpg *.jpeg);;BMP images (*.bmp)"));
    std::string error;
    if (path.isEmpty()) return;
    if (views_->SaveImage(path, error))
        statusBar()->showMessage(tr("Saved the view to %1").arg(QFileInfo(path).fileName()), kSaidFor);
    else
        ShowError(Text(error));
}

void ScopeWindow::MakeStatusBar() {
    const auto add = [this](const char* name, int stretch = 0) {
        auto* label = new QLabel;
        label->setObjectName(QString::fromLatin1(name));
        label->setContentsMargins(0, 0, 12, 0); // the fields apart, without frames
        statusBar()->addWidget(label, stretch);
        return label;
    };
    module_ = add("module");
    backend_ = add("backend");
    kadrs_ = add("kadrs");
    fill_ = add("fill");
    file_ = add("file");
    cursor_ = add("cursor");
    error_ = add("error", 1);  // errors in red, other news as the rest
    error_->setWordWrap(true); // a refusal's range and the value kept, whole at 1280 px
}

// The module as the driver names it; the backend's path goes to its tooltip.
void ScopeWindow::ShowModule() {
    if (!session_.Detected()) {
        module_->setText(tr("No module yet: Test detects it"));
        return;
    }
    const velmora::hosts::ModuleIdentity& module = session_.Module();
    module_->setText(
        tr("%1, serial %2, at %3").arg(Text(module.name), Text(module.serial), Text(module.address)));
    backend_->setToolTip(Text(module.backend));
    backend_->setText(tr("via %1").arg(Text(velmora::hosts::ShortBackend(module.backend))));
}

void ScopeWindow::ShowError(const QString& text) {
    ShowMessage(text, true);
}

void ScopeWindow::ShowMessage(const QString& text, bool error) {
    error_->setStyleSheet(error ? QStringLiteral("color: #b00000") : QString());
    error_->setText(text);
    error_->setToolTip(text);
}

void ScopeWindow::ShowNames() {
    channels_->ShowRows(ChannelPanel::kChannels);
    if (session_.adc() == nullptr) return;
    QStringList names;
    for (int16_t c = 0; c < ChannelPanel::kChannels; ++c) names << Text(session_.ChannelName(c));
    channels_->SetNames(names);
    QStringList ranges;
    for (const std::string& range : session_.RangeNames()) ranges << Text(range);
    channels_->SetRangeNames(ranges);
}

// After a stream's watch: the driver's names on every row, and the user's
// own checks, ranges and rate, which no module has achieved yet.
void ScopeWindow::ShowOwnChoice() {
    ShowNames();
    achieved_->clear();
    if (!own_) return;
    channels_->SetChecked(own_->checked);
    for (int row = 0; row < ChannelPanel::kChannels; ++row) channels_->SetRange(row, own_->ranges[row]);
    rate_->setValue(own_->rate);
    own_.reset();
}

void ScopeWindow::Detect() {
    ShowError({});
    if (!session_.Detect()) {
        const std::string why = session_.LastError();
        ShowError(why.empty() ? tr("No module: no address was chosen") : tr("No module: %1").arg(Text(why)));
        return;
    }
    ShowNames();
    // RateMax is over all channels: the start lowers the rate of a larger selection.
    if (session_.RateMax() > 0) rate_->setMaximum(session_.RateMax());
    ShowModule();
    poll_.start();
    SetRecording(false);
}

void ScopeWindow::StartStop() {
    ShowError({});
    // F5 leaves the focus where it is: a number typed there counts.
    if (auto* box = qobject_cast<NumberBox*>(QApplication::focusWidget())) box->Commit();
    if (session_.Recording())
        Stop();
    else if (!source_->text().trimmed().isEmpty())
        StartStream();
    else
        StartModule();
}

void ScopeWindow::Stop() {
    const bool stream = session_.Stream() != nullptr;
    drain_.stop();
    std::string error;
    if (!session_.Stop(error)) ShowError(tr("The recording file is incomplete: %1").arg(Text(error)));
    if (!pause_->isChecked()) { // paused, the picture stays the one exported
        Analyse();              // with the last kadrs the stop drained
        Redraw();
    }
    ShowStatus();
    if (stream) {
        ShowOwnChoice();
        ShowModule(); // the stream is watched no more: the next Start's module
    }
    SetRecording(false);
}

void ScopeWindow::StartModule() {
    // A module lost with its connection is opened again first.
    if (!session_.Detected()) {
        Detect();
        if (!session_.Detected()) return;
    }
    std::string error;
    if (!session_.Start(channels_->Choices(), rate_->value(), WindowSeconds(), Plot()->PixelColumns(),
                        error)) {
        ShowError(Text(error));
        return;
    }
    std::vector<TraceStyle> traces;
    for (std::size_t i = 0; i < session_.Channels().size(); ++i) {
        const int channel = session_.Channels()[i].channel;
        channels_->SetOffsetScale(channel, session_.CodesPerVolt(i));
        traces.push_back({channels_->item(channel, 0)->text(), ChannelPanel::Colour(channel),
                          session_.CodesPerVolt(i), channels_->Offset(channel)});
    }
    ShowTraces(std::move(traces));
    achieved_->setText(RateText(session_.Rate()));
    SetRecording(true);
    drain_.start();
}

// The plot's traces wait for the stream's first message, which names them.
void ScopeWindow::StartStream() {
    std::string error;
    if (!session_.StartStream(source_->text().trimmed().toStdString(), WindowSeconds(),
                              Plot()->PixelColumns(), error)) {
        ShowError(Text(error));
        return;
    }
    ShowTraces({});
    streamTraces_ = 0;
    refusedShown_ = 0;
    achieved_->clear();
    SetRecording(true);
    ShowStream();
    drain_.start();
}

// The stream's channels in order take the panel's rows: their names,
// ranges, checks, colours and offsets; the user's own choice is kept for
// the Stop that gives the panel back.
void ScopeWindow::AdoptStreamRecording(const StreamFeed& stream) {
    if (!own_) {
        own_ = OwnChoice{channels_->Checked(), {}, rate_->value()};
        for (int row = 0; row < ChannelPanel::kChannels; ++row) own_->ranges.push_back(channels_->Range(row));
    }
    ShowNames(); // rows past the stream's keep the driver's names, hidden
    std::vector<TraceStyle> traces;
    QStringList names;
    QList<int> rows;
    const auto& channels = session_.Info().channels;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const int row = static_cast<int>(i % ChannelPanel::kChannels);
        channels_->SetOffsetScale(row, channels[i].codesPerVolt);
        traces.push_back({Text(channels[i].name), ChannelPanel::Colour(row), channels[i].codesPerVolt,
                          channels_->Offset(row)});
        names << traces.back().name;
        rows << row;
        channels_->SetRange(row, channels[i].range);
    }
    channels_->SetNames(names);
    channels_->ShowRows(static_cast<int>(channels.size()));
    channels_->SetChecked(rows);
    ShowError({}); // of the recording before
    const QString source = trigger_->Source();
    if (!ShowTraces(std::move(traces)) && streamTraces_ > 0 && trigger_->Settings().on)
        LostTriggerSource(source);
    rate_->setValue(session_.Rate());
    achieved_->setText(RateText(session_.Rate()));
    streamTraces_ = stream.Recordings();
    if (!TakeTriggerOption()) QApplication::exit(1); // as a refusal before the start ends it
}

void ScopeWindow::ShowStream() {
    const StreamFeed* stream = session_.Stream();
    if (stream == nullptr) return;
    // A publisher restarted on the endpoint: its new recording is watched.
    if (streamTraces_ != stream->Recordings() && !session_.Info().channels.empty())
        AdoptStreamRecording(*stream);
    module_->setText(stream->Serial().empty()
                         ? tr("Waiting for the first message from %1").arg(Text(stream->Endpoint()))
                     : stream->Recordings() > 1
                         ? tr("Stream of %1 from %2, recording %3 (the publisher restarted)")
                               .arg(Text(stream->Serial()), Text(stream->Endpoint()))
                               .arg(stream->Recordings())
                         : tr("Stream of %1 from %2").arg(Text(stream->Serial()), Text(stream->Endpoint())));
    // A normal end is news, not an error.
    if (const std::string end = session_.TakeStreamEnd(); !end.empty()) ShowMessage(Text(end), false);
    backend_->clear();
    fill_->setText(tr("%1 (%2 missing)")
                       .arg(Text(velmora::hosts::Counted(stream->Gaps(), "gap")),
                            Text(velmora::hosts::Counted(stream->GapKadrs(), "kadr"))));
    if (stream->Refused() != refusedShown_)
        ShowError(tr("%1 skipped; the last: %2")
                      .arg(Text(velmora::hosts::Counted(stream->Refused(), "malformed message")),
                           Text(stream->Problem())));
    refusedShown_ = stream->Refused();
}

void ScopeWindow::SetSource(const QString& endpoint) {
    source_->setText(endpoint);
}

void ScopeWindow::Setup() {
    std::string error;
    if (!session_.Setup(error)) ShowError(tr("Setup: %1").arg(Text(error))); // in use, though not stored
    // The dialog may have changed the channel table, the lines and the levels.
    if (session_.Detected()) ShowNames();
    lines_->Poll();
}

bool ScopeWindow::RecordTo(const QString& path) {
    std::string error;
    if (!session_.StartFile(path.toStdString(), error)) {
        ShowError(tr("Cannot record to a file: %1").arg(Text(error))); // which names it
        return false;
    }
    record_->setChecked(true);
    filePath_ = QFileInfo(path).fileName();
    return true;
}

void ScopeWindow::SetRecording(bool recording) {
    start_->setText(recording ? tr("&Stop") : tr("&Start"));
    ShowKey(start_);
    const bool stream = !source_->text().trimmed().isEmpty();
    start_->setEnabled(recording || stream || session_.Detected() || session_.KnowsModule());
    test_->setEnabled(!recording);
    setup_->setEnabled(!recording);
    source_->setEnabled(!recording);
    record_->setEnabled(recording && session_.Stream() == nullptr);
    // Disabled for a stream, it says why where the pointer rests on it.
    if (stream)
        record_->setToolTip(tr("A stream is recorded by e16rec --source; this records the module"));
    else
        ShowKey(record_);
    if (!recording) record_->setChecked(false);
    rate_->setEnabled(!recording);
    channels_->SetRecording(recording);
    lines_->Poll(); // the generator plays from the start to the stop
}

void ScopeWindow::Tick() {
    std::string ended;
    const bool streamed = session_.Stream() != nullptr;
    {
        BusyTime busy(busy_);
        session_.Drain(ended);
    }
    // A module given up is opened again by the next Start (or Test).
    const bool lost = !streamed && session_.adc() != nullptr && !session_.Detected();
    if (!ended.empty()) ShowError(Text(ended) + (lost ? tr("; Start opens the module again") : QString()));
    // The module lost or the file failed: a script's run did not record
    // what it asked. A publisher's end is the stream's own.
    if (unattended_ && !ended.empty() && !streamed && runFailure_.empty()) runFailure_ = ended;
    record_->setChecked(session_.Filing()); // a file that failed is closed
    if (!session_.Recording()) {
        drain_.stop();
        SetRecording(false);
    }
    ShowStatus();
    if (pause_->isChecked()) return;
    const qint64 spacing =
        std::max(kAnalysisMs, static_cast<qint64>(analysisCost_ * kAnalysisSpacing * 1000));
    const qint64 since = sinceRedraw_.elapsed();
    const bool stopped = !session_.Recording();
    const bool redrawDue = stopped || (since >= static_cast<qint64>(redrawCost_ * kRedrawSpacing * 1000) &&
                                       since + kDrainMs / 2 >= kFrameMs);
    const bool analysisDue = stopped || sinceAnalysis_.elapsed() >= spacing;
    // Measured with a redraw, the table and the plot show the same kadrs. A
    // rolling window shorter than the measurements' spacing is drawn with
    // them alone: between them it would show kadrs the table never measured.
    const bool held = views_->Rolling(session_) && WindowSeconds() * 1000 < static_cast<double>(spacing);
    if (analysisDue && (redrawDue || held)) Analyse();
    if (held ? analysisDue : redrawDue) Redraw();
}

void ScopeWindow::Analyse() {
    {
        BusyTime busy(busy_, &analysisCost_);
        views_->Analyse(session_);
    }
    sinceAnalysis_.restart();
}

// The spacing counts from a redraw's start, so that its cost is part of it.
void ScopeWindow::Redraw() {
    if (session_.Rate() <= 0) return;
    sinceRedraw_.restart();
    BusyTime busy(busy_, &redrawCost_);
    views_->Redraw(session_, WindowSeconds());
}

void ScopeWindow::ShowStatus() {
    kadrs_->setText(tr("%1 kadrs").arg(session_.Received()));
    ShowTriggerState();
    if (session_.Stream() != nullptr) {
        ShowStream();
        return;
    }
    fill_->setText(tr("ring %1 %").arg(session_.RingFill() * 100, 0, 'f', 0));
    file_->setText(session_.Filing() ? tr("%1 kadrs to %2").arg(session_.FileKadrs()).arg(filePath_)
                                     : QString());
}

double ScopeWindow::WindowSeconds() const {
    return window_->currentData().toDouble();
}

// A time the list does not offer is added to it, in order.
void ScopeWindow::SetWindowSeconds(double seconds) {
    int at = 0;
    while (at < window_->count() && window_->itemData(at).toDouble() < seconds * (1 - 1e-9)) ++at;
    if (at == window_->count() || std::abs(window_->itemData(at).toDouble() - seconds) > seconds * 1e-9)
        window_->insertItem(at, WindowText(seconds), seconds);
    window_->setCurrentIndex(at);
}

// The recorded channels' traces, for every view and as the trigger's sources.
// Their samples are a new recording's: a pause of the last one ends.
bool ScopeWindow::ShowTraces(std::vector<TraceStyle> traces) {
    pause_->setChecked(false);
    QStringList names;
    std::vector<Reach> reaches;
    for (const TraceStyle& trace : traces) {
        names << trace.name;
        reaches.push_back(LevelReach(trace.codesPerVolt));
    }
    views_->SetTraces(traces);
    const double level = trigger_->Settings().level;
    const bool kept = trigger_->SetSources(names, std::move(reaches));
    const TriggerSettings now = trigger_->Settings();
    if (now.on && now.level != level) // a narrower range's codes no longer reach it
        ShowError(tr("The trigger level %1 V is past what %2 reaches: it is now %3 V")
                      .arg(UserNumber(level, 'g', 12))
                      .arg(trigger_->Source())
                      .arg(trigger_->LevelText()));
    ApplyTrigger();
    return kept;
}

void ScopeWindow::ApplyTrigger() {
    const TriggerSettings settings = trigger_->Settings();
    session_.Sweep().SetTrigger(settings);
    views_->SetTrigger(settings);
    ShowTriggerState();
}

void ScopeWindow::ShowTriggerState() {
    if (!trigger_->Settings().on) {
        trigger_->ShowState({});
        return;
    }
    static const QString kStates[] = {tr("Off"), tr("Armed"), tr("Triggered"), tr("Auto: no trigger"),
                                      tr("Held: Re-arm for another")};
    trigger_->ShowState(kStates[static_cast<int>(session_.Sweep().State())]);
}

bool ScopeWindow::ExportView(const QString& path) {
    std::string error;
    if (views_->ExportView(session_, path.toStdString(), error)) {
        statusBar()->showMessage(tr("Exported the view to %1").arg(QFileInfo(path).fileName()), kSaidFor);
        return true;
    }
    ShowError(tr("Cannot export the view: %1").arg(Text(error)));
    return false;
}

void ScopeWindow::SetRate(double kadrsPerSecond) {
    rate_->setValue(kadrsPerSecond);
}

void ScopeWindow::RestartTraces() {
    if (session_.Recording()) {
        session_.SetWindow(WindowSeconds(), Plot()->PixelColumns());
        views_->SweepsRestarted();
    }
    if (session_.Rate() <= 0) Plot()->ShowSpan(WindowSeconds()); // no kadr yet to draw over it
}

QSize FirstWindowSize(QSize available) {
    const QSize wanted = QSize(1280, 800).expandedTo(available * 4 / 5);
    return wanted.boundedTo(available);
}

void ScopeWindow::LoadSettings() {
    QSettings settings;
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray())) {
        // Offscreen (a script's --screenshot) the screen is only nominal, and
        // smaller than a window whose tables show whole.
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (QGuiApplication::platformName() == QStringLiteral("offscreen"))
            resize(FirstWindowSize({1600, 1000}));
        else if (screen != nullptr)
            resize(FirstWindowSize(screen->availableGeometry().size()));
    }
    QList<int> checked;
    for (const QVariant& channel : settings.value(QStringLiteral("channels"), QVariantList{0}).toList())
        checked << channel.toInt();
    channels_->SetChecked(checked);
    SetWindowSeconds(settings.value(QStringLiteral("window"), 1.0).toDouble());
    rate_->setValue(settings.value(QStringLiteral("rate"), 1000.0).toDouble());
}

QString ScopeWindow::SaveSettings() const {
    QSettings settings;
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    QVariantList checked;
    for (int channel : own_ ? own_->checked : channels_->Checked()) checked << channel;
    settings.setValue(QStringLiteral("channels"), checked);
    settings.setValue(QStringLiteral("window"), WindowSeconds());
    settings.setValue(QStringLiteral("rate"), own_ ? own_->rate : rate_->value());
    settings.sync();
    if (settings.status() == QSettings::NoError) return {};
    return tr("the window's channels, rate and size were not saved: %1 cannot be written")
        .arg(settings.fileName());
}

} // namespace e16scope
