/* Control of the simulated E16 modules, for tests and demonstrations: the
 * signals on the inputs, the TRIG/INT edges, read-back of what the module was
 * told and what it outputs, call counts and injected faults. Every call is
 * thread-safe; it may run while another thread waits in X502_Recv. */
#ifndef E16SIM_CONTROL_H
#define E16SIM_CONTROL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Module indexes: 127.0.0.1 (with DAC, SIM0001), 127.0.0.2 (no DAC, SIM0002);
 * USB modules that e16sim_add_usb_module adds come after them. */
#define E16SIM_MODULE_DAC 0u
#define E16SIM_MODULE_NODAC 1u

/* Inputs of the edge start modes: TRIG (start codes 2, 3) and INT (6, 7). */
#define E16SIM_INPUT_TRIG 0u
#define E16SIM_INPUT_INT 1u

/* Outputs of the output stream. */
#define E16SIM_OUT_DAC1 0u
#define E16SIM_OUT_DAC2 1u
#define E16SIM_OUT_DIGITAL 2u

#define E16SIM_NO_DISCONNECT UINT64_MAX

/* Stream states reported by e16sim_get_state. */
#define E16SIM_STREAM_IDLE 0
#define E16SIM_STREAM_WAIT_EDGE 1
#define E16SIM_STREAM_WAIT_LEVEL 2
#define E16SIM_STREAM_RUNNING 3
#define E16SIM_STREAM_NO_CLOCK 4

typedef struct {
    uint32_t phy;
    uint32_t mode;
    uint32_t range;
} e16sim_lchannel;

/* The settings of a module: those last set through the library (pending) or
 * those X502_Configure handed to the module (applied). */
typedef struct {
    uint32_t lch_count;
    e16sim_lchannel lch[256];
    uint32_t adc_div;
    uint32_t frame_delay;
    uint32_t din_div;
    uint32_t out_div;
    double ref_freq;
    double adc_freq;
    double frame_freq;
    double din_freq;
    double out_freq;
    uint32_t sync_mode;
    uint32_t sync_start_mode;
    uint32_t watch_phy;
    uint32_t watch_mode;
    uint32_t watch_range;
    double watch_level;
} e16sim_config;

typedef struct {
    int32_t open;             /* 1 while a handle has the module open */
    int32_t stream_state;     /* E16SIM_STREAM_... */
    uint32_t enabled_streams; /* X502_STREAM_... bits */
    uint32_t in_buf_words;
    uint32_t in_step;
    uint32_t out_buf_words;
    int32_t flash_write_enabled;
    uint32_t led_blinks;
    uint64_t first_frame; /* frame at which the running stream started (analog level start) */
} e16sim_state;

/* Power-on state: handles closed, modules rebuilt (flash erased, outputs 0),
 * USB modules removed, default signals, faults and call counts cleared. */
void e16sim_reset(void);

/* Signals on physical inputs 0..31 (X1..X16, Y1..Y16). Return 0, or -1 for a bad input. */
int32_t e16sim_set_sine(uint32_t phy, double amplitude, double freq_hz, double phase_rad, double offset);
int32_t e16sim_set_dc(uint32_t phy, double volts);
/* volts = start + step * (frame mod period_frames) */
int32_t e16sim_set_ramp(uint32_t phy, double start, double step, uint32_t period_frames);
/* uniform in offset +- half_width, the same for the same sample */
int32_t e16sim_set_noise(uint32_t phy, double offset, double half_width);
int32_t e16sim_set_default_signal(uint32_t phy);

/* An edge on TRIG or INT (rising when nonzero) for every module waiting for it. */
void e16sim_fire_edge(uint32_t input, int32_t rising);

/* What a module was told and what it outputs. Return 0, or -1 for a bad index. */
int32_t e16sim_get_config(uint32_t module, int32_t applied, e16sim_config* config);
int32_t e16sim_get_state(uint32_t module, e16sim_state* state);
/* DAC channel 0/1: level driven now, last static level and the flags of its write. */
int32_t e16sim_get_dac(uint32_t module, uint32_t channel, double* level_now, double* static_level,
                       uint32_t* flags);
/* Digital outputs driven now and the input pull-up bits. */
int32_t e16sim_get_digital(uint32_t module, uint32_t* outputs, uint32_t* pullups);
/* The active cyclic buffer of an output (volts for a DAC, line bits for the
 * digital output): copies up to `capacity` samples, returns the full length. */
int32_t e16sim_get_out_cycle(uint32_t module, uint32_t output, double* samples, uint32_t capacity);

/* Calls of an exported entry point by name since the last reset; -1 for an unknown name. */
int64_t e16sim_call_count(const char* name);
void e16sim_reset_call_counts(void);

/* Faults. Return 0, or -1 for a bad index or name. */
/* After `words` more words X502_Recv fails with X502_ERR_CONNECTION_LOST. */
int32_t e16sim_fault_disconnect_after(uint32_t module, uint64_t words);
/* While stalled, X502_Recv delivers nothing (data still pile up in the buffer). */
int32_t e16sim_fault_stall(uint32_t module, int32_t stalled);
/* Opening fails with `code` (a positive value: X502_ERR_CONNECTION_REFUSED); 0 allows it again. */
void e16sim_fault_refuse_open(int32_t code);
/* The entry point returns `code` without doing anything; 0 heals it.
 * X502_Create then returns null, X502_GetLibraryVersion returns `code` as the version. */
int32_t e16sim_fault_fail_call(const char* name, int32_t code);
void e16sim_fault_clear_all(void);

/* The modules' clock runs `factor` (1..10000) times faster than the wall
 * clock from the next stream start on: data come that much sooner, time-outs
 * stay in wall time. The driver is not told. e16sim_reset returns to the
 * power-on value, which E16SIM_TIME_SCALE sets (1 when unset). Returns 0, or
 * -1 for a factor out of range. */
int32_t e16sim_set_time_scale(uint32_t factor);
uint32_t e16sim_get_time_scale(void);

/* From the next stream start on, an ADC stream alone started at once
 * repeats its first `frames` frames (at most 65536), worked out once at the
 * start, instead of working out every sample: what the stream costs is then
 * the copy, its timing is unchanged. A multiple of 1000 keeps Y16's default
 * ramp unbroken. 0 (the power-on value, which e16sim_reset restores) works
 * out every sample. Returns 0, or -1 for too many frames. */
int32_t e16sim_set_replay(uint32_t frames);

/* Adds a USB module (serial below 32 characters, unique); returns its index or -1. */
int32_t e16sim_add_usb_module(const char* serial, int32_t with_dac);

#ifdef __cplusplus
}
#endif

#endif
