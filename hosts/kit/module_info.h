// What a host learns from the driver's IModule face: the address to open,
// the module's identity, how a recording ended and when it began; and the
// driver's texts as UTF-8. Every host (e16rec, e16scope, the Python
// package) asks through these, so none guesses. Public headers only.
#pragma once

#include <string>
#include <vector>

#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

namespace velmora::hosts {

// A host string (a BSTR, or null for "") as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(BSTR text);
// The same, and the BSTR freed: for a member's out string.
std::string TakeUtf8(BSTR text);
// A new BSTR of UTF-8 text (invalid bytes become U+FFFD); the caller frees it.
BSTR NewBstr(const std::string& utf8);

// The IModule face of the driver object behind `face`; null when it has none.
ComPtr<IModule> ModuleOf(IUnknown* face);

// Sets the address the next detection opens ("" returns to the chooser);
// false with `error` set when the driver did not take it (read back).
bool SetModuleAddress(IModule* module, const std::string& address, std::string& error);

struct ModuleIdentity {
    std::string serial, name, backend, address;
};
// As the driver reports it; empty fields before a detection.
ModuleIdentity IdentifyModule(IModule* module);
// The backend with its library's file name for the path: "simulated module
// (libe16sim.so), version V", whatever spaces or brackets the path holds.
std::string ShortBackend(const std::string& backend);

// IADC3 Ranges: the driver's input ranges by number ("±10 V", ...); a host
// checks a range number against these rather than a count of its own.
std::vector<std::string> RangeNames(IADC3* adc);
// "" when `range` is one of `ranges` (RangeNames), else the refusal naming
// them: "the driver has no range 7; its ranges are 0 ±10 V, 1 ±2.5 V, ...".
std::string RangeRefusal(int range, const std::vector<std::string>& ranges);

// IModule EndReason and IADC3 LastError as UTF-8.
std::string EndReason(IModule* module);
std::string LastError(IADC3* adc);
// Why the driver ended a recording by itself: EndReason, else LastError;
// "" when it said neither. Read before StopRecord, which clears them.
std::string WhyEnded(IModule* module, IADC3* adc);
// The kadr rate the module runs at: IModule KadrRate, of which IADC3 Rate
// is the float; Rate itself only when there is no IModule. Times and
// rates a host writes come from this, so they do not drift.
double KadrRate(IModule* module, IADC3* adc);
// IModule StartTime: seconds since 1970 UTC, 0 before the first kadr.
double StartTime(IModule* module);
// Seconds since 1970 as ISO 8601 UTC with milliseconds ("2026-12-06T21:46:33.125Z"); "" for 0.
std::string IsoUtc(double seconds);
// IModule SaveSettings; false with the driver's reason in `error`.
bool SaveSettings(IModule* module, IADC3* adc, std::string& error);

} // namespace velmora::hosts
