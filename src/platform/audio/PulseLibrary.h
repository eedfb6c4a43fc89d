#pragma once

// libpulse, loaded when the first connection to the sound server is made
// rather than when the program starts: with the libraries it pulls in (the
// sound file codecs among them) it is a good part of the program's start-up,
// and a participant who never reaches the audio pages never needs it.
//
// Each libpulse function the backend calls has a pointer of the same name in
// this namespace. Inside it the pointer hides the library's declaration, so
// the backend's calls read as plain libpulse calls, and a function missing
// from the list below is an undefined symbol at link time, never a silent
// fallback to a library that is not linked.

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#define TAVORA_PULSE_FUNCTIONS(X)                                                                            \
    X(pa_channel_map_init_auto)                                                                              \
    X(pa_context_connect)                                                                                    \
    X(pa_context_disconnect)                                                                                 \
    X(pa_context_errno)                                                                                      \
    X(pa_context_get_server_info)                                                                            \
    X(pa_context_get_sink_info_by_name)                                                                      \
    X(pa_context_get_sink_info_list)                                                                         \
    X(pa_context_get_sink_input_info)                                                                        \
    X(pa_context_get_source_info_by_name)                                                                    \
    X(pa_context_get_source_info_list)                                                                       \
    X(pa_context_get_state)                                                                                  \
    X(pa_context_new)                                                                                        \
    X(pa_context_rttime_new)                                                                                 \
    X(pa_context_set_sink_input_volume)                                                                      \
    X(pa_context_set_sink_mute_by_name)                                                                      \
    X(pa_context_set_sink_volume_by_name)                                                                    \
    X(pa_context_set_source_mute_by_name)                                                                    \
    X(pa_context_set_source_volume_by_name)                                                                  \
    X(pa_context_set_state_callback)                                                                         \
    X(pa_context_unref)                                                                                      \
    X(pa_cvolume_init)                                                                                       \
    X(pa_cvolume_max)                                                                                        \
    X(pa_cvolume_set)                                                                                        \
    X(pa_frame_size)                                                                                         \
    X(pa_operation_cancel)                                                                                   \
    X(pa_operation_get_state)                                                                                \
    X(pa_operation_set_state_callback)                                                                       \
    X(pa_operation_unref)                                                                                    \
    X(pa_rtclock_now)                                                                                        \
    X(pa_sample_spec_valid)                                                                                  \
    X(pa_stream_begin_write)                                                                                 \
    X(pa_stream_cancel_write)                                                                                \
    X(pa_stream_connect_playback)                                                                            \
    X(pa_stream_connect_record)                                                                              \
    X(pa_stream_cork)                                                                                        \
    X(pa_stream_disconnect)                                                                                  \
    X(pa_stream_drop)                                                                                        \
    X(pa_stream_flush)                                                                                       \
    X(pa_stream_get_buffer_attr)                                                                             \
    X(pa_stream_get_index)                                                                                   \
    X(pa_stream_get_state)                                                                                   \
    X(pa_stream_get_time)                                                                                    \
    X(pa_stream_new)                                                                                         \
    X(pa_stream_peek)                                                                                        \
    X(pa_stream_readable_size)                                                                               \
    X(pa_stream_set_read_callback)                                                                           \
    X(pa_stream_set_state_callback)                                                                          \
    X(pa_stream_set_underflow_callback)                                                                      \
    X(pa_stream_set_write_callback)                                                                          \
    X(pa_stream_unref)                                                                                       \
    X(pa_stream_writable_size)                                                                               \
    X(pa_stream_write)                                                                                       \
    X(pa_strerror)                                                                                           \
    X(pa_threaded_mainloop_free)                                                                             \
    X(pa_threaded_mainloop_get_api)                                                                          \
    X(pa_threaded_mainloop_in_thread)                                                                        \
    X(pa_threaded_mainloop_lock)                                                                             \
    X(pa_threaded_mainloop_new)                                                                              \
    X(pa_threaded_mainloop_set_name)                                                                         \
    X(pa_threaded_mainloop_signal)                                                                           \
    X(pa_threaded_mainloop_start)                                                                            \
    X(pa_threaded_mainloop_stop)                                                                             \
    X(pa_threaded_mainloop_unlock)                                                                           \
    X(pa_threaded_mainloop_wait)                                                                             \
    X(pa_usec_to_bytes)

namespace tavora::platform::audio {

#define TAVORA_PULSE_POINTER(name) inline decltype(&::name) name = nullptr;
TAVORA_PULSE_FUNCTIONS(TAVORA_PULSE_POINTER)
#undef TAVORA_PULSE_POINTER

// Loads libpulse and sets the pointers above, once; later calls return at
// once. Throws std::runtime_error, saying why, when the library or one of its
// functions cannot be found (the next call tries again). Every path into the
// backend passes here before its first libpulse call.
void loadPulseLibrary();

} // namespace tavora::platform::audio
