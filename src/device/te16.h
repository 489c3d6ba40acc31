// TE16: the one object through which the driver talks to an E16 module: open
// and close, identity texts, streams, timing, channels, digital and analog I/O,
// flash. No lock: the acquisition worker calls the receive operations while the
// host thread calls the rest; LastResult holds whichever call came last.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/vendor_api.h"
#include "device/x502api.h"

namespace velmora::device {

class TE16 {
public:
    // Codes of the `Interface` argument of Open and UsbGetSerialList.
    static constexpr int32_t kInterfaceUsb = 1;
    static constexpr int32_t kInterfaceEthernet = 2;
    static constexpr int32_t kOpenTimeoutMs = 10000;
    static constexpr int32_t kFlashSector = 4096;

    // The table must outlive the object.
    explicit TE16(const VendorApi& api = VendorApi::Process());
    ~TE16();
    TE16(const TE16&) = delete;
    TE16& operator=(const TE16&) = delete;

    // Library version and state.
    uint32_t LibraryVersion() const { return libraryVersion_; }
    int16_t LibraryVersionMajor() const { return VersionByte(3); }
    int16_t LibraryVersionMinor() const { return VersionByte(2); }
    int16_t LibraryVersionBuild() const { return VersionByte(1); }
    int32_t LastResult() const { return lastResult_.load(std::memory_order_relaxed); }
    // A call reported the connection lost since the last Open; any thread.
    bool ConnectionLost() const { return connectionLost_.load(std::memory_order_relaxed); }
    t_x502_hnd Handle() const { return handle_.load(std::memory_order_acquire); }
    const t_x502_info& DeviceInfo() const { return deviceInfo_; }
    int32_t OpenedAddress() const { return openedAddress_; }

    // USB enumeration, open and close.
    int32_t UsbGetSerialList(int32_t interfaceCode, bool notOpenedOnly);
    int32_t UsbSerialCount() const { return usbSerialCount_; }
    std::string UsbSerial(int32_t index) const;
    bool Open(int32_t address, int32_t interfaceCode);
    void Close();
    bool GetDevInfo(t_x502_info& info);

    // Identity texts from the information record.
    std::string BoardName() const;
    std::string SerialNumber() const;
    std::string BoardRevision() const;
    std::string FpgaVersion() const;
    std::string McuVersion() const;
    bool DacPresent() const;

    // "Error <code>: <library text>" for LastResult, or for `code`.
    std::string LastErrorText() const;
    std::string ErrorText(int32_t code) const;
    // Which library answers, with its file and version: "vendor library
    // PATH, version V" or "simulated module (PATH), version V".
    std::string BackendText() const;
    // Why no library serves, when none loaded: the vendor library that is
    // there but does not load, or that none was found. Empty otherwise.
    std::string LibraryProblem() const;
    // Text of a NUL- or control-padded byte field in the ANSI code page.
    static std::string AnsiFieldText(const char* field, std::size_t size);

    // Streams.
    void SetStreamEnabled(int32_t streams, bool enable);
    bool StartStreams(bool adc, bool dac1, bool dac2, bool din, bool dout);
    bool StopStreams();
    int32_t Recv(uint32_t* buffer, int32_t size, int32_t timeoutMs);
    // Words the module has converted that no Recv took yet; 0 when it cannot say.
    int32_t RecvReadyCount();
    // The values converted, or the library's negative code.
    int32_t ProcessAdcData(const uint32_t* words, int32_t size, double* values);
    void SetInStreamStep(int32_t step);
    bool SetInStreamBufSize(int32_t size);
    bool SetOutStreamBufSize(int32_t size);

    // Converter timing, logical channels and synchronization.
    bool AsyncGetAdcFrame(double* values, int32_t timeoutMs);
    bool SetRefFreq(int32_t freq);
    bool SetAdcFreq(double& acqFreq, double& frameFreq);
    bool SetLChannelCount(int32_t count);
    bool SetLChannel(int32_t index, int32_t phy, int32_t mode, int32_t range, int32_t avg);
    bool Configure();
    bool SetSyncMode(int32_t mode);
    bool SetSyncStartMode(int32_t mode);
    bool SetAdcSyncStartValue(int32_t phy, int32_t mode, int32_t range, double level);

    // Digital lines.
    int32_t AsyncInDig();
    void AsyncOutDig(int32_t value);
    bool SetDinFreq(double& freq);
    bool SetDigInPullup(int32_t bits);

    // Module flash.
    bool FlashRead(int32_t address, uint8_t* buffer, int32_t size);
    bool FlashWrite(int32_t address, const uint8_t* data, int32_t size);
    void LedBlink();

    // Analog output: static levels and the streamed signal.
    bool AsyncOutDac(int16_t channel, double volts);
    bool AsyncOutDacPair(double volts0, double volts1);
    bool SetOutFreq(double& freq);
    bool StartCyclicOutput(int32_t size, bool useDac1, bool useDac2, const double* dac1Data,
                           const double* dac2Data);
    bool StartPreloadedOutput(int32_t size, bool useDac1, bool useDac2, const double* dac1Data,
                              const double* dac2Data);
    bool SendOutput();
    void GetSendReadyCount(int32_t& count);
    int32_t outWords() const { return outWords_.load(std::memory_order_relaxed); }
    int32_t outStreamBufWords() const { return outStreamBufWords_; }
    const std::vector<uint32_t>& outBuffer() const { return outBuffer_; }

private:
    // Calls a library entry (or gives kVendorUnreachable when it is missing)
    // and keeps the code as LastResult.
    template <typename Fn, typename... Args> int32_t Call(Fn fn, Args... args) {
        const int32_t code = fn != nullptr ? fn(args...) : kVendorUnreachable;
        Keep(code);
        return code;
    }
    // For entries whose non-negative result is a count, not a code: a count
    // is kept as success (0), a negative result as the code.
    template <typename Fn, typename... Args> int32_t CallCount(Fn fn, Args... args) {
        const int32_t result = fn != nullptr ? fn(args...) : kVendorUnreachable;
        Keep(result < 0 ? result : 0);
        return result;
    }
    void Keep(int32_t code) {
        lastResult_.store(code, std::memory_order_relaxed);
        if (code == X502_ERR_CONNECTION_LOST) connectionLost_.store(true, std::memory_order_relaxed);
    }
    int16_t VersionByte(int byte) const {
        return static_cast<int16_t>((libraryVersion_ >> (8 * byte)) & 0xFF);
    }
    std::string ErrorString(int32_t code) const;
    bool OpenHandle(int32_t address, int32_t interfaceCode);
    bool PrepareOutput(int32_t size, bool useDac1, bool useDac2);
    bool FillOutBuffer(int32_t size, bool useDac1, bool useDac2, const double* dac1Data,
                       const double* dac2Data);

    const VendorApi& api_;
    uint32_t libraryVersion_ = 0;
    // Written by both threads; relaxed: it only ever holds the latest code.
    std::atomic<int32_t> lastResult_{0};
    // Set by whichever thread's call saw the loss; cleared by Open (no worker runs then).
    std::atomic<bool> connectionLost_{false};
    // Set and cleared by the host thread while no worker runs; read by the
    // worker's calls. Release/acquire so a reader sees the opened handle whole.
    std::atomic<t_x502_hnd> handle_{nullptr};
    t_x502_info deviceInfo_{};
    int32_t openedAddress_ = -1;
    std::vector<char> usbSerials_; // UsbSerialCount entries of 32 bytes
    int32_t usbSerialCount_ = 0;
    // Cleared by StopStreams from either thread; relaxed: a plain counter.
    std::atomic<int32_t> outWords_{0};
    int32_t outStreamBufWords_ = 0;
    std::vector<uint32_t> outBuffer_;
};

} // namespace velmora::device
