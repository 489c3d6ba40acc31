// The window run by a script (e16scope's options): the start they ask for,
// the trigger they name, and the unattended end with its actions and status.
#include "scope_window.h"

#include "kadr_count.h"
#include "velmora/dotted_address.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace e16scope {

bool ScopeWindow::Apply(const ScopeOptions& options) {
    unattended_ = options.after.has_value(); // refused or not
    if (options.window) SetWindowSeconds(*options.window);
    if (options.rate) SetRate(*options.rate);
    if (options.channels) {
        QList<int> checked;
        for (int16_t channel : *options.channels) checked << channel;
        channels_->SetChecked(checked);
    }
    if (options.view) views_->SetKind(*options.view);
    if (!options.source.empty()) SetSource(QString::fromStdString(options.source));
    if (options.StartsAtOnce() && !StartFromOptions(options)) return false;
    if (options.after) Unattended(options);
    return true;
}

// Fails with the reason on standard error and in the status bar.
bool ScopeWindow::StartFromOptions(const ScopeOptions& options) {
    std::string error;
    if (options.address && !session_.SetAddress(velmora::DottedText(*options.address), error))
        return Refuse("cannot take the address: " + error);
    if (options.source.empty()) {
        Detect();
        if (!session_.Detected()) return Refuse(error_->text().toStdString());
    }
    if (options.range) { // every row's, as the driver names its ranges
        const std::string why = velmora::hosts::RangeRefusal(*options.range, session_.RangeNames());
        if (!why.empty()) return Refuse(why);
        for (int row = 0; row < ChannelPanel::kChannels; ++row) channels_->SetRange(row, *options.range);
    }
    for (int d = 0; d < 2; ++d) {
        if (!options.dac[d]) continue;
        const std::string dac = "--dac" + std::to_string(d + 1) + ": ";
        if (d >= session_.DacCount()) return Refuse(dac + "the module has no DAC" + std::to_string(d + 1));
        if (!session_.SetDac(d, *options.dac[d])) return Refuse(dac + session_.LastError());
    }
    StartStop();
    if (!session_.Recording()) return Refuse(error_->text().toStdString());
    if ((options.dac[0] || options.dac[1]) && session_.GeneratorPlaying())
        return Refuse("--dac: the waveform generator (Setup, DAC page) plays on the outputs while recording");
    // As e16rec says it: the script asked for another rate than it gets.
    if (options.rate && std::abs(session_.Rate() - *options.rate) > 1e-3 * *options.rate)
        std::fprintf(stderr, "e16scope: adjusted rate: %.7g kadrs/s asked, %.7g kadrs/s set by the driver\n",
                     *options.rate, session_.Rate());
    pendingTrigger_ = options.trigger;
    return TakeTriggerOption();
}

// --trigger names a channel: the module's are known once it starts, a
// stream's with its first message. False, said like the other refusals, when
// none has that name or its codes never reach the level; true while they are
// still unknown.
bool ScopeWindow::TakeTriggerOption() {
    if (!pendingTrigger_ || session_.Channels().empty()) return true;
    const TriggerChoice choice = *std::exchange(pendingTrigger_, std::nullopt);
    std::vector<int16_t> numbers;
    for (const ChannelChoice& chosen : session_.Channels()) numbers.push_back(chosen.channel);
    std::string why;
    if (!trigger_->Apply(choice, numbers)) {
        why = "--trigger: no recorded channel is named " + choice.channel;
    } else {
        const velmora::hosts::ChannelInfo& source = session_.Info().channels.at(trigger_->Settings().source);
        const Reach reach = LevelReach(source.codesPerVolt);
        if (!reach.Holds(choice.level)) {
            const int decimals = LevelDecimals(reach);
            char text[160];
            std::snprintf(text, sizeof text,
                          "--trigger: %s never reaches %g V: its codes reach %.*f to %.*f V",
                          source.name.c_str(), choice.level, decimals, reach.low, decimals, reach.high);
            why = text;
        }
    }
    return why.empty() || Refuse(why);
}

// A stream that sent nothing in `seconds` gave nothing to show (nor its
// channels to --trigger): said in e16rec's words. True otherwise.
bool ScopeWindow::StreamHeard(double seconds) const {
    const StreamFeed* stream = session_.Stream();
    if (stream == nullptr || stream->Recordings() > 0) return true;
    std::fprintf(stderr, "e16scope: %s\n",
                 velmora::hosts::SilenceReason(stream->Endpoint(), seconds, stream->Refused()).c_str());
    return false;
}

// A publisher's next recording without the trigger's channel: the trigger
// takes the first one, which is said; a script's run did not get the
// trigger it asked for.
void ScopeWindow::LostTriggerSource(const QString& source) {
    const std::string why = "the new recording has no " + source.toStdString() + ": the trigger takes " +
                            trigger_->Source().toStdString();
    if (unattended_ && runFailure_.empty()) runFailure_ = "--trigger: " + why;
    ShowError(QString::fromStdString(why));
}

bool ScopeWindow::Refuse(const std::string& why) {
    std::fprintf(stderr, "e16scope: %s\n", why.c_str());
    ShowError(QString::fromStdString(why));
    return false;
}

namespace {

// How long past the time asked the actions wait for its kadrs: the module's
// and the driver's hand-over keep them a few milliseconds behind the clock
// (some hundred on a loaded machine); a module that has not sent them by
// then (stalled, not yet lost) is not waited for longer.
constexpr qint64 kKadrsGraceMs = 2000;

// The kadrs the actions wait for: the module's of the time asked. A stream's
// watch keeps the wall clock: it joins another program's recording part way,
// and messages a slow subscriber missed are gaps never sent again, so no
// count is owed; every message that came is taken at once.
uint64_t KadrsOwed(const ScopeSession& session, double seconds) {
    if (session.Stream() != nullptr) return 0;
    return static_cast<uint64_t>(velmora::hosts::KadrsIn(seconds, session.Rate()));
}

} // namespace

// After the time asked, once its kadrs came (or the recording ended, or the
// grace ran out): the last kadrs drained and drawn, then each action, then
// the window closes with the run's status. A precise timer: a coarse one
// may fire 5 % early; the grace counts from the time asked all the same.
void ScopeWindow::Unattended(const ScopeOptions& options) {
    const int ms = static_cast<int>(std::lround(*options.after * 1000));
    const QDeadlineTimer grace(ms + kKadrsGraceMs, Qt::PreciseTimer);
    QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, options, grace] { AwaitKadrs(options, grace); });
}

// Drains, as the window's ticks do, until the kadrs owed came.
void ScopeWindow::AwaitKadrs(const ScopeOptions& options, QDeadlineTimer grace) {
    Tick();
    const uint64_t owed = KadrsOwed(session_, *options.after);
    const uint64_t came = session_.Received();
    if (came < owed && session_.Recording() && !grace.hasExpired()) {
        QTimer::singleShot(drain_.interval(), Qt::PreciseTimer, this,
                           [this, options, grace] { AwaitKadrs(options, grace); });
        return;
    }
    if (came < owed && runFailure_.empty()) { // a lost module says its own reason
        char text[160];
        std::snprintf(text, sizeof text,
                      "the module sent only %" PRIu64 " of the %" PRIu64
                      " kadrs of --after %g in the %g s after it: the actions used those",
                      came, owed, *options.after, kKadrsGraceMs / 1000.0);
        runFailure_ = text;
    }
    Act(options);
}

void ScopeWindow::Act(const ScopeOptions& options) {
    Analyse();
    Redraw();
    bool done = runFailure_.empty();
    if (!done) std::fprintf(stderr, "e16scope: %s\n", runFailure_.c_str());
    std::string error;
    if (!StreamHeard(*options.after)) done = false;
    if (!options.exportView.empty() && !views_->ExportView(session_, options.exportView, error)) {
        std::fprintf(stderr, "e16scope: cannot export the view: %s\n", error.c_str());
        done = false;
    }
    // The layouts the last texts asked for, else a longer text shows cut.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (!options.screenshot.empty() &&
        !SaveImage(grab(), QString::fromStdString(options.screenshot), error)) {
        std::fprintf(stderr, "e16scope: %s\n", error.c_str());
        done = false;
    }
    if (options.measure && views_->Measured()) std::fputs(views_->MeasurementsCsv().c_str(), stdout);
    if (options.measure && done && !views_->Measured()) {
        std::fputs("e16scope: nothing measured: no samples in the view yet\n", stderr);
        done = false;
    }
    unattendedStatus_ = done ? 0 : 1;
    QApplication::quit();
}

} // namespace e16scope
