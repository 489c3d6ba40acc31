// The driver's host interfaces: _Lintara, IADC3 (analog input), IDIO (digital
// I/O), IDAO (analog output) and IModule (the module and the recording's
// state) as dual interfaces, with their identifiers and the class's ProgID.
// The members come from interface_members.h; what each does, and on which
// thread, is in the tables before each interface.
#pragma once

#include <cstddef>

#include <velmora/com.h>
#include <velmora/interface_members.h>

// {BB12D05D-B411-48F7-B216-85A9A272A782}
inline constexpr CLSID CLSID_Lintara = {
    0xBB12D05D, 0xB411, 0x48F7, {0xB2, 0x16, 0x85, 0xA9, 0xA2, 0x72, 0xA7, 0x82}};
// {B4440535-325A-4CBE-BFF5-519F7B757B99}
inline constexpr IID IID__Lintara = {
    0xB4440535, 0x325A, 0x4CBE, {0xBF, 0xF5, 0x51, 0x9F, 0x7B, 0x75, 0x7B, 0x99}};
// {97B526A8-3B46-11D7-B688-FDAEA8668E28}
inline constexpr IID IID_IADC3 = {
    0x97B526A8, 0x3B46, 0x11D7, {0xB6, 0x88, 0xFD, 0xAE, 0xA8, 0x66, 0x8E, 0x28}};
// {71ECC956-D500-11D9-B68D-BB19B6122F29}
inline constexpr IID IID_IDIO = {
    0x71ECC956, 0xD500, 0x11D9, {0xB6, 0x8D, 0xBB, 0x19, 0xB6, 0x12, 0x2F, 0x29}};
// {A982971F-182F-4985-8251-AA1C39AD4900}
inline constexpr IID IID_IDAO = {
    0xA982971F, 0x182F, 0x4985, {0x82, 0x51, 0xAA, 0x1C, 0x39, 0xAD, 0x49, 0x00}};
// {686CEBA0-F3F0-40D3-8E90-0989F9CD1DA7}
inline constexpr IID IID_IModule = {
    0x686CEBA0, 0xF3F0, 0x40D3, {0x8E, 0x90, 0x09, 0x89, 0xF9, 0xCD, 0x1D, 0xA7}};
// {40F7B14B-94A2-4BBA-9094-FA94F4C25B02}, the type library "Velmora"
inline constexpr GUID LIBID_Velmora = {
    0x40F7B14B, 0x94A2, 0x4BBA, {0x90, 0x94, 0xFA, 0x94, 0xF4, 0xC2, 0x5B, 0x02}};

// The class's ProgID, in the UTF-16 that CLSIDFromProgID takes.
inline constexpr OLECHAR PROGID_Lintara[] = u"Velmora.Lintara";

// The ring size asked for until a host lets InputSizeData, in samples.
inline constexpr int32_t kDefaultInputSizeData = 1 << 20;
// The most entries put_InputChannels takes: the module's logical channel table.
inline constexpr std::size_t kMaxInputChannels = 256;

// Each member is a pure virtual of its interface's list, in list order.
#define VELMORA_PURE_MEMBER(kind, name, params, shape)                                                       \
    virtual HRESULT STDMETHODCALLTYPE VELMORA_MEMBER_NAME(kind, name) params = 0;

// What holds for every member below:
// - Threads: call from one thread (the host's), one call at a time, the last Release included; the
//   driver takes no locks, and its recording thread is its own. Test and ShowSetting show dialogs:
//   in a Qt host, call them on the QApplication's thread.
// - Results: S_OK for every outcome described here (false, 0 and "" included); E_POINTER for a null
//   pointer argument or result; E_OUTOFMEMORY when a result cannot be allocated; E_UNEXPECTED for
//   any other fault inside. A bad index is no error: a get gives 0 or "", a let does nothing.
//   Failures show as false results, and for Test and StartRecord as the text of IADC3 LastError.
// - Ownership: an out BSTR or SAFEARRAY is new and the caller's (SysFreeString, SafeArrayDestroy);
//   an out object is AddRef'd (Release); *result is overwritten, not freed. Arrays passed in are
//   only read: the caller destroys them.
// - Booleans are VARIANT_TRUE (-1) or VARIANT_FALSE (0); test for != VARIANT_FALSE.
// - "After Test": after a Test that returned true; until then nothing reaches a module.

// The class's own members. Each returns the object's own IDispatch, AddRef'd, whose Invoke knows
// only these three: QueryInterface it for the interface wanted.
//   GetADC3    this object; QueryInterface(IID_IADC3)
//   GetDIO     this object; QueryInterface(IID_IDIO)
//   GetDAO     this object; QueryInterface(IID_IDAO)
struct _Lintara : public IDispatch {
    VELMORA_LINTARA_MEMBERS(VELMORA_PURE_MEMBER)
};

// Analog input. A kadr is one sample of every selected channel, in the order
// of InputChannels; samples are signed 16-bit codes, code / ChannelUnitScale
// volts (±32000 codes is the range's full scale, clipped at -32768..32767).
// Rates are kadrs per second per channel; RateMax bounds their sum.
//
// Buffers. GetData(buffer, count, rest) writes whole kadrs into the caller's
// buffer; IDAO's SetValues and SetValuesReal read ChCount values from theirs.
// Called through the vtable (or through Invoke with a bare by-reference
// element), the buffer must hold at least `count` (ChCount) elements: the
// driver cannot see its end. Through Invoke with an array, the count is held
// to the elements from the array's first one to its end; the array is of the
// buffer's own type (VT_I2 for GetData, VT_I4 for SetValues, VT_R8 for
// SetValuesReal), and one of Variants, as a VBScript array, a type mismatch.
//
// Member                 Value      Behaviour
// get_ADCName            BSTR       "E16"
// get_Resolution         Byte       16 (bits)
// get_ChannelsCount      Integer    32: logical channels 0..31
// get_RateMax            Single     500000 samples/s, summed over the selected channels
// get_Ranges             SA(BSTR)   0..3: "±10 V", "±2.5 V", "±0.625 V", "±0.156 V", with the user's
//                                   decimal separator
// get_Detected           Boolean    a Test has succeeded and the module is open: false again after
//                                   IModule Close or a lost connection; never detects by itself
// Test                   Boolean    detects: library check, address chooser (modal, may wait for the user),
//                                   open, that module's saved Rate, channel table and start sync loaded
//                                   (the lost module found again keeps what the host had set instead)
//                                   and programmed. False: LastError says why (left as it was when the
//                                   chooser was cancelled), and the next Test asks again. Once it has
//                                   succeeded it returns true at once while the module stays connected.
//                                   IModule Address, when set, replaces the chooser
// get_BasePort           Integer    0 before Test; then (IP address number & 0x7FFF) + 1, never 0
//                                   (-32768 where that is 32768)
// get_Busy               Boolean    recording: from a StartRecord that returned true to StopRecord, or
//                                   until the recording ended by itself (IModule EndReason says why;
//                                   an overflow is seen only once the host reads again)
// get_ChannelName        BSTR       "X1".."X16", "Y1".."Y16" (to ground), "XY1".."XY16" (differential) or
//                                   "Calibration 0", as the channel table maps *Index; "" outside 0..31
// get_ChannelRange       Integer    range 0..3 of channel *Index (0 at start; not saved)
// put_ChannelRange       -          *RangeIndex 0..3 for channel *Index, sent to the module after Test;
//                                   while recording it counts from the next StartRecord, yet the gets
//                                   and ChannelUnitScale answer with it at once: set ranges first
// get_ChannelUnitScale   Single     codes per volt of the channel's range: 3200, 12800, 51200, 204800
// get_ChannelUnitOffset  Single     0
// get_ChannelUnitName    BSTR       ""
// get_Rate               Single     the kadr rate achieved for the request and the selection's size, also
//                                   stored as the request; programs the module (after Test); while
//                                   recording, the rate in force, the module left alone
// put_Rate               -          requests |*sRate|, at most RateMax; ignored while recording or for NaN;
//                                   nothing is sent: read Rate back. Test may replace it by the module's
//                                   saved one
// put_InputSizeData      -          ring size asked for, in samples (default kDefaultInputSizeData, 1048576;
//                                   below 1024: 32768);
//                                   a running recording keeps its ring until the next start
// get_InputSizeData      Long       ring size in samples, InputSizeKadrs x InputCountChannels (1 to 2
//                                   times the request); 0 until InputChannels/InputSizeData let or a start
// get_InputCountData     Long       unread samples: InputCountKadrs x InputCountChannels
// get_InputSizeKadrs     Long       ring size in kadrs: request / (largest power of two <= channels)
// get_InputCountKadrs    Long       unread kadrs, counted now
// get_InputCountChannels Integer    number of selected channels (1 at start)
// get_InputChannels      SA(Int)    0..n-1: the selected channels in scan order (channel 0 at start)
// put_InputChannels      -          the selection from *ChTable (1-D, any lower bound, elements that convert
//                                   to Integer, all within 0..31, repeats allowed, at most 256 of them:
//                                   the module's channel table), sent to the module;
//                                   anything else is ignored whole, as is any call while recording. A
//                                   new count drops the unread kadrs
// GetChannel             Integer    one reading of channel *Index as a code of its range (a frame waits up
//                                   to 150 ms), leaving the module set for it until the next start; 0 out
//                                   of range, before Test, while recording or on failure
// GetKadr                SA         always null: not provided
// StartRecord            Boolean    clears LastError, empties the ring, lowers a Rate x channels above
//                                   RateMax, programs rate, channels and start sync, starts. False with
//                                   LastError kept while recording or before Test; other failures set
//                                   LastError. Writes DOStartValue if enabled
// StopRecord             -          stops (waits for the driver's thread); unread kadrs stay readable until
//                                   the next start. Writes DOStopValue if enabled, even when idle
// get_InputData          SA(Int)    every unread kadr, taken: 2-D (0..n-1, 0..U), column 0 the selection,
//                                   columns 1..U the kadrs; element (i, k) at i + k x n
// GetData                Long       copies unread kadrs, whole, into buffer: *count is its capacity in
//                                   samples (less than a kadr copies nothing), then the samples written;
//                                   *rest gets the samples still unread; returns the kadrs written
// get_LastError          BSTR       why the last Test or StartRecord failed; "" after one that succeeded;
//                                   reading does not clear it
// ShowSetting            Boolean    the modal setup dialog (needs a display; refused while recording);
//                                   always false. What OK stores applies at once and is saved with the
//                                   other settings when the last object goes
// get_Parent             IDispatch  this object (as GetADC3)
struct IADC3 : public IDispatch {
    VELMORA_IADC3_MEMBERS(VELMORA_PURE_MEMBER)
};

// Digital inputs and outputs: 16 of each, words with bit i = line i; only the
// low 16 bits of a word reach the lines. Before Test the words are only
// stored and read back. Reads and writes are allowed while recording.
//
// Member                 Value      Behaviour
// get_DIOName            BSTR       "E16"
// get_Detected           Boolean    true from the first successful Test in this process on
// get_DIBits             Byte       16 from the first successful Test on, 0 before
// get_DOBits             Byte       16 from the first successful Test on, 0 before
// get_DIValue            Long       reads the inputs now: 0..0xFFFF (0 when the read fails)
// get_DOValue            Long       the word last written, whole; 0 after Test; the module is not read
// put_DOValue            -          writes the low 16 bits of *lValue to all outputs at once
// get_DOStartEnabled     Boolean    write DOStartValue when a StartRecord succeeds (false at start)
// put_DOStartEnabled     -          only stored, like the other start and stop settings: kept for the
//                                   process, never saved
// get_DOStartValue       Long       the word for the start
// put_DOStartValue       -          stored; used at the next start
// get_DOStopEnabled      Boolean    write DOStopValue at every StopRecord (even when idle) and when a
//                                   start fails at the module
// put_DOStopEnabled      -          stored
// get_DOStopValue        Long       the word for the stop
// put_DOStopValue        -          stored
struct IDIO : public IDispatch {
    VELMORA_IDIO_MEMBERS(VELMORA_PURE_MEMBER)
};

// Analog outputs: static levels in codes or volts, singly or as a block.
// Index is 0 (DAC1) or 1 (DAC2). The description exists after a Test of a
// module with outputs, which sets both to 0 V; until then, and for a module
// without them, ChannelsCount is 0 and every write is ignored (before, the
// numbers below read 0). A write goes to the module at once and its failure
// is not reported; the level read back stays the one the module has, so the
// same level asked again is written again.
//
// Member                 Value      Behaviour
// get_Name               BSTR       "E16"
// get_Resolution         Byte       16
// get_Detected           Boolean    the module has outputs: ChannelsCount >= 1
// get_Busy               Boolean    a generator waveform (armed in the setup dialog) plays: recording only
// get_LastError          BSTR       always ""
// get_ChannelsCount      Integer    2 after Test of a module with outputs, else 0
// get_ChannelName        BSTR       "DAC1", "DAC2"; "" out of range
// get_ChannelMax         Long       32000, any Index
// get_ChannelMin         Long       -32000, any Index
// get_ChannelMaxReal     Double     10.0 V, any Index
// get_ChannelMinReal     Double     -10.0 V, any Index
// get_RangesCount        Integer    1
// get_Ranges             SA(BSTR)   0..0: "±10 V"
// get_ChannelRange       Integer    0
// put_ChannelRange       -          ignored
// get_ChannelUnitScale   Double     3200 codes per volt, any Index
// get_ChannelUnitOffset  Double     0
// get_ChannelUnitName    BSTR       ""
// get_Value              Long       the static level last written, as a code (halves to even); 0 out of range
// put_Value              -          code / 3200 V; from 32000 up 10 V, from -32000 down -10 V. No module
//                                   call for the level the channel already has, or while it plays
// get_ValueReal          Double     the static level last written, volts; 0 out of range
// put_ValueReal          -          ChValue held to -10..10 V (NaN ignored); otherwise as put_Value
// SetValues              Long       ChCount codes for channels ChFirst, ChFirst + 1, ...: those of existing
//                                   channels clamped to ±32000 in place and written (both channels in one
//                                   write, even while playing); returns how many named a channel; ChCount
//                                   below 1 touches nothing
// SetValuesReal          Long       the same in volts, clamped to ±10 V
struct IDAO : public IDispatch {
    VELMORA_IDAO_MEMBERS(VELMORA_PURE_MEMBER)
};

// What a host may ask beyond the three interfaces; QueryInterface any face
// of the object for IID_IModule. Hosts that never ask work as before.
//
// A recording ends by itself when the module library reports a lost
// connection or an input overflow, when no data arrive for longer than
// the receive time-out (twice the module's kadr time plus 5 s) once data
// have started, when every read fails for as long, or when the library
// cannot convert what came (its kadrs would be lost unsaid); a start waiting for
// its synchronization condition waits without limit. Busy then reads false,
// the streams are stopped, and at the host's next call the outputs stop
// playing and the digital stop word is written as on StopRecord. After a
// lost connection the module counts as not detected, and the next Test
// opens the same address again; the same module found there keeps the rate,
// channel table and generator set since its settings were loaded.
//
// Member                 Value      Behaviour
// get_Address            BSTR       the dotted address of the open module; else the one set; else, after
//                                   a lost connection, the lost module's; else the one the last Test
//                                   opened or was refused at (to name it); "" otherwise
// put_Address            -          the address ("a.b.c.d") the next detection opens, without the chooser
//                                   and without touching the remembered list; "" returns to the chooser;
//                                   any other text is ignored. Set it before Test: an open module stays
// get_SerialNumber       BSTR       the serial number of the module last opened; "" before a detection
// get_ModuleName         BSTR       board and revision, as "E16 rev. A"; "" before a detection
// get_Backend            BSTR       "vendor library PATH, version V" or "simulated module (PATH), version V";
//                                   "" before a detection; after a refused one, the library it found
//                                   (one too old too), "" when none loaded
// get_Connected          Boolean    the module is open and its connection has not been lost
// get_KadrsReceived      Double     whole kadrs put into the ring since the last StartRecord (exact up to
//                                   2^53): what the host drained plus what is unread
// get_StartTime          Double     the time of the recording's first kadr, seconds since 1970 UTC; 0 until
//                                   the first kadr of the last StartRecord arrived
// get_EndReason          BSTR       "" while recording, after StopRecord and before any start; otherwise why
//                                   the recording ended by itself (also in IADC3 LastError)
// SaveSettings           Boolean    saves the settings now, as the last release does; false with the reason
//                                   in IADC3 LastError when the store stays locked past its wait (5 s) or
//                                   cannot be written; the last release then saves only what changed since
// Close                  -          stops a recording if one runs and closes the module: Detected and
//                                   Connected are false, and the next Test detects again
// ChooseAddress          BSTR       shows the address chooser over the remembered list, as a detection
//                                   without an address would; the dotted address chosen, "" when
//                                   cancelled. The remembered list is saved as the chooser left it;
//                                   nothing is opened or set: put it into Address
// get_KadrRate           Double     the kadr rate the module runs at, frame frequency over decimation:
//                                   IADC3 Rate before its rounding to a Single, read the same way (the
//                                   recording's while Busy). Times and rates a host writes use this
// ShowSetup              Long       the setup dialog, as IADC3 ShowSetting opens it: 1 when OK stored the
//                                   pages, 0 when it closed without storing (Cancel, Esc, the close box),
//                                   -1 when it did not show: a recording runs, there is no display (the
//                                   driver says so on standard error), or the dialog failed (its message
//                                   box says why)
struct IModule : public IDispatch {
    VELMORA_IMODULE_MEMBERS(VELMORA_PURE_MEMBER)
};

#undef VELMORA_PURE_MEMBER
