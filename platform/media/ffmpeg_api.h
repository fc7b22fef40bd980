// The FFmpeg functions the film player calls, reached through the libraries loaded when the first
// film stream is made: FFmpeg and the hundred libraries it brings would otherwise be loaded and
// bound at every start, which costs more than everything else a program does before its first
// frame.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace vx::win {

// clang-format off
#define VX_FFMPEG_FUNCTIONS(X)                                                                                         \
  X(avutil, av_channel_layout_compare) X(avutil, av_channel_layout_copy) X(avutil, av_channel_layout_default)          \
  X(avutil, av_channel_layout_uninit) X(avutil, av_dict_free) X(avutil, av_dict_set) X(avutil, av_frame_alloc)         \
  X(avutil, av_frame_free) X(avutil, av_frame_unref) X(avutil, av_free) X(avutil, av_freep)                            \
  X(avutil, av_log_set_level) X(avutil, av_malloc) X(avutil, av_max_alloc) X(avcodec, av_packet_alloc)                 \
  X(avcodec, av_packet_free) X(avcodec, av_packet_unref) X(avcodec, avcodec_alloc_context3)                            \
  X(avcodec, avcodec_find_decoder) X(avcodec, avcodec_flush_buffers) X(avcodec, avcodec_free_context)                  \
  X(avcodec, avcodec_open2) X(avcodec, avcodec_parameters_to_context) X(avcodec, avcodec_receive_frame)                \
  X(avcodec, avcodec_send_packet) X(avformat, av_find_best_stream) X(avformat, av_guess_frame_rate)                    \
  X(avformat, av_read_frame) X(avformat, av_seek_frame) X(avformat, avformat_alloc_context)                            \
  X(avformat, avformat_close_input) X(avformat, avformat_find_stream_info) X(avformat, avformat_open_input)            \
  X(avformat, av_probe_input_buffer2) X(avformat, avio_alloc_context) X(avformat, avio_context_free)                   \
  X(swresample, swr_alloc_set_opts2) X(swresample, swr_convert) X(swresample, swr_free)                                \
  X(swresample, swr_get_out_samples) X(swresample, swr_init) X(swscale, sws_freeContext)                               \
  X(swscale, sws_getCachedContext) X(swscale, sws_scale)
// clang-format on

struct FfmpegApi {
#define VX_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
  VX_FFMPEG_FUNCTIONS(VX_FFMPEG_POINTER)
#undef VX_FFMPEG_POINTER
};

// Loads the libraries and binds the functions on the first call; false when that failed (then no
// film can be opened). Thread-safe.
bool LoadFfmpeg();
// The functions; only valid after LoadFfmpeg has returned true.
const FfmpegApi& Ffmpeg();

}  // namespace vx::win
