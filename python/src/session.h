// Session: one driver object as lintara.Driver holds it, with its IADC3, IDAO,
// IDIO and IModule faces, and thin typed calls on them. The driver expects one caller
// at a time, so every call takes one process-wide lock; callers release the
// GIL around these calls (the bindings' job). A closed session refuses every
// call with a DriverFailure.
#pragma once

#include "driver_link.h"

#include "module_info.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace lintara {

class Session {
public:
    Session(); // creates the driver, registering it first if needed
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Releases the driver; the last release in the process stops a recording,
    // ends the worker and saves the driver's settings.
    void Close();
    // Read without the lock, while another thread may be closing it.
    bool IsOpen() const { return open_.load(std::memory_order_acquire); }
    // Sessions of this process not yet closed.
    static int OpenCount();
    // What creating it said of a driver the store named before ("" when none).
    const std::string& RegistrationNote() const { return registrationNote_; }

    // Analog input.
    bool Test();
    bool Detected();
    bool Busy();
    std::u16string LastError();
    std::vector<int16_t> Channels();
    void SetChannels(const std::vector<int16_t>& channels);
    std::u16string ChannelName(int16_t channel);
    int16_t ChannelRange(int16_t channel);
    void SetChannelRange(int16_t channel, int16_t range);
    float UnitScale(int16_t channel);
    float UnitOffset(int16_t channel);
    std::vector<std::u16string> RangeNames();
    double Rate();
    void SetRate(float rate);
    int32_t InputSize();
    void SetInputSize(int32_t samples);
    // Starts a recording for the caller's `claim` (a number it chose before,
    // never 0): its number among the process's recordings (from 1), or 0
    // when the driver refused.
    uint64_t Start(uint64_t claim);
    void Stop();
    // Stops the recording started for `claim`, if it is the last one started:
    // a caller stops its own even when a Ctrl-C cut it off from the start's
    // answer, and never one that another caller started.
    void StopOwn(uint64_t claim);
    int16_t Single(int16_t channel);
    // GetData into `buffer` of `capacity` samples while recording `run` is the
    // last one started (0 kadrs once another began); the kadrs written.
    int32_t GetData(int16_t* buffer, int32_t capacity, uint64_t run);
    // The number of the last recording started in the process.
    static uint64_t LastRun();

    // Analog outputs.
    int16_t DacCount();
    std::u16string DacName(int16_t channel);
    int32_t DacCode(int16_t channel);
    void SetDacCode(int16_t channel, int32_t code);
    double DacVolts(int16_t channel);
    void SetDacVolts(int16_t channel, double volts);
    double DacScale();

    // The module (IModule).
    velmora::hosts::ModuleIdentity Identity();
    // The address the next detection opens; "" returns to the chooser. A
    // dotted address the driver does not take raises.
    void SetAddress(const std::string& address);
    bool Connected();
    double KadrsReceived();
    double StartTime(); // seconds since 1970 UTC, 0 before the first kadr
    std::string EndReason();
    // Raises with the driver's reason when it could not save.
    void SaveSettings();
    void CloseModule();

    // Digital lines.
    int32_t DigitalInputs();
    int32_t DigitalOutputs();
    void SetDigitalOutputs(int32_t lines);
    int DigitalInputCount();
    int DigitalOutputCount();

private:
    IADC3& Adc();
    IDAO& Dao();
    IDIO& Dio();
    IModule* Module();

    velmora::ComPtr<IADC3> adc_;
    velmora::ComPtr<IDAO> dao_;
    velmora::ComPtr<IDIO> dio_;
    velmora::ComPtr<IModule> module_;
    std::string registrationNote_;
    std::atomic<bool> open_{false}; // the interfaces above are held
};

// The driver's text of a BSTR result, the BSTR freed.
std::u16string TakeText(BSTR text);

} // namespace lintara
