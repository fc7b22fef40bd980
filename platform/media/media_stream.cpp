// Multimedia streams over FFmpeg: libavformat reads the container (from a file or from memory,
// through our own reads either way), libavcodec decodes, libswscale writes pictures in the sample
// surface's pixel format and libswresample turns the sound track into the audio output's format.
// Packets are read on demand and kept per stream, so that the picture and the sound can each be
// decoded as far as it needs.
#include "platform/media/media_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>

#include "platform/audio/audio_output.h"
#include "platform/ddraw/pixel_format.h"
#include "platform/media/ffmpeg_api.h"
#include "platform/win/files.h"
#include "platform/win/time.h"

namespace vx::win {

namespace {

MediaAudioSinkMaker gSinkMaker;
bool gPlainConversion = false;
MediaFaults gFaults;
std::atomic<size_t> gLiveFilms{0};

// Sound is decoded this far ahead of the clock, so that the output never runs dry between frames.
constexpr double kSoundLeadSeconds = 0.5;
// A stream whose packets pile up this high while the other is read is given up on.
constexpr size_t kPacketQueueLimit = 2048;
constexpr int kReadBufferBytes = 32768;
// A picture larger than this (4096 by 4096) is refused: its frames alone would take hundreds of
// megabytes, far beyond any screen it could be played on.
constexpr int64_t kLargestPicturePixels = int64_t{4096} * 4096;
constexpr size_t kLargestAllocationBytes = size_t{256} << 20;
// Rows the scaler writes start on this boundary and have this much room past their pixels.
constexpr size_t kScaleAlignment = 64;
constexpr size_t kScaleSlackBytes = 256;

}  // namespace

// The sound track on the audio output (output_sink.cpp); null without an audio device.
std::unique_ptr<MediaAudioSink> MakeOutputSink();

namespace media_detail {

struct PacketQueue {
  std::deque<AVPacket*> packets;
  void Clear() {
    for (AVPacket* p : packets) Ffmpeg().av_packet_free(&p);
    packets.clear();
  }
  AVPacket* Take() {
    AVPacket* p = packets.front();
    packets.pop_front();
    return p;
  }
};

struct Decoder {
  int index = -1;
  AVCodecContext* codec = nullptr;
  PacketQueue queue;
  bool flushSent = false;  // the end-of-stream packet went to the decoder
  bool ended = false;      // the decoder gave its last frame
};

struct Film {
  Film() { ++gLiveFilms; }
  ~Film();
  Film(const Film&) = delete;
  Film& operator=(const Film&) = delete;

  bool Open(const std::string& path, bool wantSound);
  bool MakeSource(const std::string& path);
  bool OpenDecoder(Decoder& decoder, int index);
  bool ReadPacket();
  // Decodes the next frame of the stream into frame; false at its end.
  bool Decode(Decoder& decoder, AVFrame* frame);
  double FrameTime(const AVFrame* frame, const Decoder& decoder, double previous) const;

  double Clock();
  void SetRunning(bool run);
  bool Seek(double seconds);
  void FeedSound();
  bool MakeResampler(const AVChannelLayout& layout, int sampleFormat, int rate);
  bool ResamplerFits(const AVFrame& frame) const;
  // Converts a frame (null: what the resampler holds back) and adds it to `converted`.
  void Resample(const AVFrame* frame);
  void AdvancePicture(double now);
  bool PictureOver(double now) const {
    return picture.ended && !pending && (!current || now >= currentTime + frameDuration);
  }
  HRESULT WriteFrame(DirectDrawSurface* surface, const RECT& rect);

  // Source.
  AVFormatContext* format = nullptr;
  AVIOContext* io = nullptr;
  int file = -1;                // the film's file, when it is not read from memory
  std::vector<uint8_t> memory;  // the film, when held in memory
  size_t memoryPosition = 0;
  bool demuxEnded = false;
  double startSeconds = 0;  // the container's first time stamp: time 0 of the film

  // Picture.
  Decoder picture;
  AVFrame* current = nullptr;  // the frame due now
  AVFrame* pending = nullptr;  // the next one
  double currentTime = 0, pendingTime = 0;
  double frameDuration = 0.04;
  double dropBefore = -1e9;  // after a seek: frames before this are decoded but not shown
  uint64_t serial = 0;       // moves on with every frame that becomes current
  bool showAtOnce = true;    // the first frame after the start or a seek, even when stamped a little later
  SwsContext* scaler = nullptr;
  std::vector<uint8_t> scaled;  // the scaler's rows, padded

  // Sound.
  Decoder sound;
  SwrContext* resampler = nullptr;    // null while the track's format can't be converted
  AVChannelLayout resamplerLayout{};  // what the resampler was made for
  int resamplerFormat = -1, resamplerRate = 0;
  std::unique_ptr<MediaAudioSink> sink;
  std::vector<int16_t> converted;  // stereo frames the sink has not taken yet
  size_t convertedTaken = 0;       // samples of converted already written
  double soundBase = 0;            // film time of the sink's frame 0
  bool clockOnSound = false;

  // Clock when it runs on milliseconds.
  bool running = false;
  double anchorSeconds = 0;
  DWORD anchorMillis = 0;
};

Film::~Film() {
  sink.reset();
  picture.queue.Clear();
  sound.queue.Clear();
  Ffmpeg().av_frame_free(&current);
  Ffmpeg().av_frame_free(&pending);
  Ffmpeg().avcodec_free_context(&picture.codec);
  Ffmpeg().avcodec_free_context(&sound.codec);
  Ffmpeg().swr_free(&resampler);
  Ffmpeg().av_channel_layout_uninit(&resamplerLayout);
  Ffmpeg().sws_freeContext(scaler);
  Ffmpeg().avformat_close_input(&format);
  if (io) {
    Ffmpeg().av_freep(&io->buffer);
    Ffmpeg().avio_context_free(&io);
  }
  if (file >= 0) close(file);
  --gLiveFilms;
}

namespace {

int ReadMemory(void* opaque, uint8_t* buffer, int size) {
  Film& film = *static_cast<Film*>(opaque);
  const size_t left = film.memory.size() - film.memoryPosition;
  if (left == 0) return AVERROR_EOF;
  const size_t n = std::min(left, size_t(size));
  std::memcpy(buffer, film.memory.data() + film.memoryPosition, n);
  film.memoryPosition += n;
  return int(n);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
  Film& film = *static_cast<Film*>(opaque);
  const auto size = int64_t(film.memory.size());
  if (whence & AVSEEK_SIZE) return size;
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = int64_t(film.memoryPosition); break;
    case SEEK_END: base = size; break;
    default: return AVERROR(EINVAL);
  }
  if (offset > size - base || offset < -base) return AVERROR(EINVAL);
  film.memoryPosition = size_t(base + offset);
  return base + offset;
}

int ReadFile(void* opaque, uint8_t* buffer, int size) {
  const int file = static_cast<Film*>(opaque)->file;
  for (;;) {
    const ssize_t got = read(file, buffer, size_t(size));
    if (got > 0) return int(got);
    if (got == 0) return AVERROR_EOF;
    if (errno != EINTR) return AVERROR(errno);
  }
}

int64_t SeekFile(void* opaque, int64_t offset, int whence) {
  const int file = static_cast<Film*>(opaque)->file;
  if (whence & AVSEEK_SIZE) {
    struct stat info {};
    return fstat(file, &info) == 0 ? int64_t(info.st_size) : AVERROR(errno);
  }
  const int from = whence & ~AVSEEK_FORCE;
  if (from != SEEK_SET && from != SEEK_CUR && from != SEEK_END) return AVERROR(EINVAL);
  const off_t at = lseek(file, off_t(offset), from);
  return at < 0 ? AVERROR(errno) : int64_t(at);
}

// A film opens only itself: whatever a container names besides (a playlist's parts, a list's
// files, another picture of a numbered sequence) is not opened.
int RefuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// Containers that are lists of other files or streams, and those that open their input
// themselves, are no films: a game's film would be a file the builder does not ship, or a network
// address.
bool ContainerIsRefused(const AVInputFormat& container) {
  if (container.flags & AVFMT_NOFILE) return true;
  for (const char* name : {"hls", "concat", "dash", "imf", "sdp"})
    if (std::strcmp(container.name, name) == 0) return true;
  return false;
}

}  // namespace

bool Film::OpenDecoder(Decoder& decoder, int index) {
  const AVCodecParameters* parameters = format->streams[index]->codecpar;
  const AVCodec* codec = Ffmpeg().avcodec_find_decoder(parameters->codec_id);
  if (!codec) return false;
  decoder.codec = Ffmpeg().avcodec_alloc_context3(codec);
  if (decoder.codec) decoder.codec->max_pixels = kLargestPicturePixels;  // frames larger are not decoded
  if (!decoder.codec || Ffmpeg().avcodec_parameters_to_context(decoder.codec, parameters) < 0 ||
      Ffmpeg().avcodec_open2(decoder.codec, codec, nullptr) < 0) {
    Ffmpeg().avcodec_free_context(&decoder.codec);
    return false;
  }
  decoder.codec->pkt_timebase = format->streams[index]->time_base;
  decoder.index = index;
  return true;
}

// The film's bytes come through reads of ours, from memory or from the file opened here; FFmpeg
// opens nothing itself.
bool Film::MakeSource(const std::string& path) {
  const bool fromFile = memory.empty();
  if (fromFile && (file = win::OpenRegularFile(path)) < 0) return false;  // a FIFO, a device or a folder is no film
  auto* buffer = static_cast<uint8_t*>(Ffmpeg().av_malloc(kReadBufferBytes));
  io = buffer ? Ffmpeg().avio_alloc_context(buffer, kReadBufferBytes, 0, this, fromFile ? ReadFile : ReadMemory,
                                            nullptr, fromFile ? SeekFile : SeekMemory)
              : nullptr;
  if (!io) {
    Ffmpeg().av_free(buffer);
    return false;
  }
  format->pb = io;
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  format->io_open = RefuseOtherFiles;
  return true;
}

bool Film::Open(const std::string& path, bool wantSound) {
  format = Ffmpeg().avformat_alloc_context();
  if (!format || !MakeSource(path)) return false;
  // The name only helps to tell the container by its ending.
  const char* name = memory.empty() ? path.c_str() : nullptr;
  const AVInputFormat* container = nullptr;
  if (Ffmpeg().av_probe_input_buffer2(io, &container, name, nullptr, 0, 0) < 0 || !container ||
      ContainerIsRefused(*container))
    return false;
  // No protocol at all: a container that opens another file past io_open still opens nothing.
  AVDictionary* options = nullptr;
  Ffmpeg().av_dict_set(&options, "protocol_whitelist", "", 0);
  // On failure avformat_open_input frees the context and clears the pointer.
  const int opened = Ffmpeg().avformat_open_input(&format, name, container, &options);
  Ffmpeg().av_dict_free(&options);
  if (opened < 0) return false;
  if (Ffmpeg().avformat_find_stream_info(format, nullptr) < 0) return false;
  if (format->start_time != AV_NOPTS_VALUE) startSeconds = double(format->start_time) / AV_TIME_BASE;

  const int videoIndex = Ffmpeg().av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (videoIndex < 0 || !OpenDecoder(picture, videoIndex)) return false;
  if (picture.codec->width <= 0 || picture.codec->height <= 0 ||
      int64_t(picture.codec->width) * picture.codec->height > kLargestPicturePixels)
    return false;
  const AVRational rate = Ffmpeg().av_guess_frame_rate(format, format->streams[videoIndex], nullptr);
  if (rate.num > 0 && rate.den > 0) frameDuration = av_q2d(av_inv_q(rate));

  // A sound track that cannot be decoded or played leaves the film silent, not unplayable.
  if (wantSound) {
    const int audioIndex = Ffmpeg().av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);
    if (audioIndex >= 0 && OpenDecoder(sound, audioIndex)) {
      const bool resampling = MakeResampler(sound.codec->ch_layout, sound.codec->sample_fmt, sound.codec->sample_rate);
      sink = resampling ? (gSinkMaker ? gSinkMaker() : MakeOutputSink()) : nullptr;
      if (sink) {
        sink->SetPaused(true);
        clockOnSound = true;
      } else {
        Ffmpeg().swr_free(&resampler);
        Ffmpeg().avcodec_free_context(&sound.codec);
        sound.index = -1;
      }
    }
  }
  return true;
}

bool Film::MakeResampler(const AVChannelLayout& layout, int sampleFormat, int rate) {
  Ffmpeg().swr_free(&resampler);
  AVChannelLayout in{};
  if (layout.order == AV_CHANNEL_ORDER_UNSPEC || Ffmpeg().av_channel_layout_copy(&in, &layout) < 0)
    Ffmpeg().av_channel_layout_default(&in, std::max(1, layout.nb_channels));
  AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
  const bool made = rate > 0 &&
                    Ffmpeg().swr_alloc_set_opts2(&resampler, &out, AV_SAMPLE_FMT_S16, int(kAudioOutputRate), &in,
                                                 AVSampleFormat(sampleFormat), rate, 0, nullptr) == 0 &&
                    Ffmpeg().swr_init(resampler) >= 0;
  Ffmpeg().av_channel_layout_uninit(&resamplerLayout);
  resamplerLayout = in;
  resamplerFormat = sampleFormat;
  resamplerRate = rate;
  if (!made) Ffmpeg().swr_free(&resampler);
  return made;
}

bool Film::ResamplerFits(const AVFrame& frame) const {
  return frame.format == resamplerFormat && frame.sample_rate == resamplerRate &&
         frame.ch_layout.nb_channels == resamplerLayout.nb_channels &&
         (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
          Ffmpeg().av_channel_layout_compare(&frame.ch_layout, &resamplerLayout) == 0);
}

void Film::Resample(const AVFrame* frame) {
  if (!resampler) return;
  const int samples = frame ? frame->nb_samples : 0;
  const int room = Ffmpeg().swr_get_out_samples(resampler, samples);
  if (room <= 0) return;
  const size_t had = converted.size();
  converted.resize(had + size_t(room) * 2);
  uint8_t* out = reinterpret_cast<uint8_t*>(converted.data() + had);
  const int made = Ffmpeg().swr_convert(resampler, &out, room,
                                        frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, samples);
  converted.resize(had + size_t(std::max(made, 0)) * 2);
}

bool Film::ReadPacket() {
  if (demuxEnded) return false;
  AVPacket* packet = Ffmpeg().av_packet_alloc();
  if (!packet) return false;
  while (Ffmpeg().av_read_frame(format, packet) >= 0) {
    Decoder* owner = packet->stream_index == picture.index ? &picture
                     : packet->stream_index == sound.index ? &sound
                                                           : nullptr;
    if (owner) {
      if (owner->queue.packets.size() >= kPacketQueueLimit) {
        AVPacket* oldest = owner->queue.Take();
        Ffmpeg().av_packet_free(&oldest);
      }
      owner->queue.packets.push_back(packet);
      return true;
    }
    Ffmpeg().av_packet_unref(packet);
  }
  Ffmpeg().av_packet_free(&packet);
  demuxEnded = true;
  return false;
}

bool Film::Decode(Decoder& decoder, AVFrame* frame) {
  while (!decoder.ended) {
    const int received = Ffmpeg().avcodec_receive_frame(decoder.codec, frame);
    if (received == 0) return true;
    if (received != AVERROR(EAGAIN)) {
      decoder.ended = true;  // the end, or a decoder that cannot go on
      break;
    }
    if (decoder.flushSent) {
      decoder.ended = true;
      break;
    }
    while (decoder.queue.packets.empty() && ReadPacket()) {
    }
    if (decoder.queue.packets.empty()) {
      Ffmpeg().avcodec_send_packet(decoder.codec, nullptr);
      decoder.flushSent = true;
      continue;
    }
    AVPacket* packet = decoder.queue.Take();
    Ffmpeg().avcodec_send_packet(decoder.codec, packet);  // a damaged packet is skipped
    Ffmpeg().av_packet_free(&packet);
  }
  return false;
}

double Film::FrameTime(const AVFrame* frame, const Decoder& decoder, double previous) const {
  const int64_t stamp = frame->best_effort_timestamp;
  if (stamp == AV_NOPTS_VALUE) return previous + frameDuration;
  return double(stamp) * av_q2d(format->streams[decoder.index]->time_base) - startSeconds;
}

double Film::Clock() {
  if (clockOnSound) {
    const double heard = soundBase + double(sink->PlayedFrames()) / kAudioOutputRate;
    if (!(sound.ended && converted.size() == convertedTaken && sink->QueuedFrames() == 0)) return heard;
    // The sound track is over: the picture goes on by the millisecond clock from where it ended.
    clockOnSound = false;
    anchorSeconds = heard;
    anchorMillis = timeGetTime();
  }
  if (!running) return anchorSeconds;
  return anchorSeconds + double(DWORD(timeGetTime() - anchorMillis)) / 1000.0;
}

void Film::SetRunning(bool run) {
  if (run == running) return;
  if (!run) anchorSeconds = Clock();
  anchorMillis = timeGetTime();
  running = run;
  if (sink) sink->SetPaused(!run);
}

bool Film::Seek(double seconds) {
  const auto target = int64_t((seconds + startSeconds) * AV_TIME_BASE);
  if (Ffmpeg().av_seek_frame(format, -1, target, AVSEEK_FLAG_BACKWARD) < 0 &&
      !(seconds <= 0 && Ffmpeg().av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) >= 0))
    return false;
  demuxEnded = false;
  for (Decoder* decoder : {&picture, &sound}) {
    decoder->queue.Clear();
    decoder->flushSent = decoder->ended = false;
    if (decoder->codec) Ffmpeg().avcodec_flush_buffers(decoder->codec);
  }
  Ffmpeg().av_frame_free(&pending);
  showAtOnce = true;
  dropBefore = seconds - frameDuration / 2;
  anchorSeconds = seconds;
  anchorMillis = timeGetTime();
  if (sink) {
    sink->Flush();
    soundBase = seconds;
    converted.clear();
    convertedTaken = 0;
    clockOnSound = true;
    if (resampler) Ffmpeg().swr_init(resampler);  // forgets samples held from before the seek
  }
  return true;
}

void Film::FeedSound() {
  if (!sink || sound.index < 0) return;
  const auto lead = size_t(kSoundLeadSeconds * kAudioOutputRate);
  AVFrame* frame = nullptr;
  while (sink->QueuedFrames() < lead) {
    if (convertedTaken < converted.size()) {
      const size_t frames = (converted.size() - convertedTaken) / 2;
      const size_t taken = sink->Write(converted.data() + convertedTaken, frames);
      convertedTaken += taken * 2;
      if (taken < frames) break;
      continue;
    }
    converted.clear();
    convertedTaken = 0;
    if (sound.ended) break;
    if (!frame && !(frame = Ffmpeg().av_frame_alloc())) break;
    const bool got = Decode(sound, frame);
    if (got && FrameTime(frame, sound, 0) + double(frame->nb_samples) / std::max(1, frame->sample_rate) < dropBefore) {
      Ffmpeg().av_frame_unref(frame);
      continue;
    }
    if (!got) {
      Resample(nullptr);  // what the resampler still holds
      continue;
    }
    // A track may change its channels, rate or sample format between frames: what was made for
    // the old ones is played out, and the resampler made again for the new. A frame it can't be
    // made for is left out.
    if (!ResamplerFits(*frame)) {
      Resample(nullptr);
      MakeResampler(frame->ch_layout, frame->format, frame->sample_rate);
    }
    Resample(frame);
    Ffmpeg().av_frame_unref(frame);
  }
  Ffmpeg().av_frame_free(&frame);
}

void Film::AdvancePicture(double now) {
  auto next = [this]() {
    AVFrame* frame = Ffmpeg().av_frame_alloc();
    double previous = pending ? pendingTime : currentTime;
    while (frame && Decode(picture, frame)) {
      const double time = FrameTime(frame, picture, previous);
      if (time >= dropBefore) {
        pending = frame;
        pendingTime = time;
        return;
      }
      previous = time;
      Ffmpeg().av_frame_unref(frame);
    }
    Ffmpeg().av_frame_free(&frame);
  };
  if (!pending) next();
  while (pending && (pendingTime <= now || showAtOnce)) {
    showAtOnce = false;
    Ffmpeg().av_frame_free(&current);
    current = pending;
    currentTime = pendingTime;
    pending = nullptr;
    ++serial;
    next();
  }
}

namespace {

// The swscale format that lays pixels out as the surface's format does, or none.
AVPixelFormat SwscaleFormatOf(const FormatInfo& f) {
  if (f.kind != PixelKind::Rgb) return AV_PIX_FMT_NONE;
  const uint32_t r = f.red.mask, g = f.green.mask, b = f.blue.mask;
  if (f.bitCount == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF)
    return f.alpha.mask ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
  if (f.bitCount == 24 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) return AV_PIX_FMT_BGR24;
  if (f.bitCount == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F) return AV_PIX_FMT_RGB565LE;
  if (f.bitCount == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F && !f.alpha.mask) return AV_PIX_FMT_RGB555LE;
  return AV_PIX_FMT_NONE;
}

}  // namespace

HRESULT Film::WriteFrame(DirectDrawSurface* surface, const RECT& rect) {
  const FormatInfo info = DescribeFormat(surface->PixelFormat());
  if (info.kind != PixelKind::Rgb) return DDERR_INVALIDPIXELFORMAT;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return DDERR_INVALIDRECT;
  const AVPixelFormat direct = gPlainConversion ? AV_PIX_FMT_NONE : SwscaleFormatOf(info);
  const AVPixelFormat target = direct != AV_PIX_FMT_NONE ? direct : AV_PIX_FMT_BGRA;
  scaler = Ffmpeg().sws_getCachedContext(scaler, current->width, current->height, AVPixelFormat(current->format), width,
                                         height, target, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler) return DDERR_UNSUPPORTED;

  // swscale writes whole vectors, past the end of a row and of the last one, so it scales into
  // rows of its own with room to spare; only the picture's pixels are copied into the surface.
  const size_t pixelBytes = direct != AV_PIX_FMT_NONE ? size_t(info.bytesPerPixel) : 4;
  const size_t rowBytes = size_t(width) * pixelBytes;
  const size_t stride = (rowBytes + kScaleSlackBytes + kScaleAlignment - 1) / kScaleAlignment * kScaleAlignment;
  scaled.resize(stride * (size_t(height) + 1) + kScaleAlignment);
  uint8_t* rows = scaled.data() + (kScaleAlignment - uintptr_t(scaled.data()) % kScaleAlignment) % kScaleAlignment;
  uint8_t* planes[4] = {rows, nullptr, nullptr, nullptr};
  const int pitches[4] = {int(stride), 0, 0, 0};
  if (Ffmpeg().sws_scale(scaler, current->data, current->linesize, 0, current->height, planes, pitches) != height)
    return DDERR_GENERIC;

  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  const HRESULT locked = surface->Lock(&rect, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
  if (Failed(locked)) return locked;
  auto* bits = static_cast<uint8_t*>(desc.lpSurface);
  for (int y = 0; y < height; ++y) {
    const uint8_t* from = rows + size_t(y) * stride;
    uint8_t* to = bits + ptrdiff_t(y) * desc.lPitch;
    if (direct != AV_PIX_FMT_NONE) {
      std::memcpy(to, from, rowBytes);
      continue;
    }
    // The plain path: 8-bit colour first, then each pixel in the surface's own format.
    for (int x = 0; x < width; ++x) {
      uint32_t argb;
      std::memcpy(&argb, from + size_t(x) * 4, 4);
      StorePixel(to + ptrdiff_t(x) * info.bytesPerPixel, info.bytesPerPixel, ArgbToPixel(info, argb | 0xFF000000u));
    }
  }
  surface->Unlock(&rect);
  return DD_OK;
}

}  // namespace media_detail

using media_detail::Film;

// --- The stream ----------------------------------------------------------------------------------

HRESULT MultiMediaStream::Create(MultiMediaStream** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (gFaults.failCreate) return E_OUTOFMEMORY;
  if (!LoadFfmpeg()) return E_FAIL;
  Ffmpeg().av_log_set_level(AV_LOG_QUIET);  // damaged films are the caller's to report
  // Containers state the sizes of their parts, and FFmpeg allocates what they state before reading
  // it: no allocation of FFmpeg's may take more than the largest picture's frames need.
  Ffmpeg().av_max_alloc(kLargestAllocationBytes);
  *out = new MultiMediaStream;
  return S_OK;
}

void MultiMediaStream::Release() { delete this; }

HRESULT MultiMediaStream::Initialize(STREAM_TYPE type, DWORD) {
  if (type != STREAMTYPE_READ) return E_INVALIDARG;
  initialized_ = true;
  return S_OK;
}

HRESULT MultiMediaStream::AddMediaStream(DirectDraw* directDraw, MediaPurpose purpose, DWORD flags) {
  if (!initialized_ || film_) return MS_E_NOTINIT;
  if (purpose == MSPID_PrimaryVideo) {
    if (!directDraw) return E_INVALIDARG;
    directDraw_ = directDraw;
  } else {
    wantSound_ = (flags & AMMSF_ADDDEFAULTRENDERER) != 0;
  }
  return S_OK;
}

HRESULT MultiMediaStream::Open(std::shared_ptr<Film> film) {
  if (!initialized_ || !directDraw_ || film_) return MS_E_NOTINIT;
  if (!film) return E_OUTOFMEMORY;
  film_ = std::move(film);
  return S_OK;
}

HRESULT MultiMediaStream::OpenFile(const std::string& path, DWORD) {
  if (!initialized_ || !directDraw_ || film_) return MS_E_NOTINIT;
  auto film = std::make_shared<Film>();
  if (!film->Open(path, wantSound_)) return MS_E_BADFILE;
  return Open(std::move(film));
}

HRESULT MultiMediaStream::OpenMemory(std::vector<uint8_t> bytes, DWORD) {
  if (!initialized_ || !directDraw_ || film_) return MS_E_NOTINIT;
  if (bytes.empty()) return MS_E_BADFILE;
  auto film = std::make_shared<Film>();
  film->memory = std::move(bytes);
  if (!film->Open({}, wantSound_)) return MS_E_BADFILE;
  return Open(std::move(film));
}

HRESULT MultiMediaStream::GetMediaStream(MediaPurpose purpose, DirectDrawMediaStream** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!film_) return MS_E_NOTINIT;
  if (purpose != MSPID_PrimaryVideo) return MS_E_NOSTREAM;
  *out = new DirectDrawMediaStream(film_, directDraw_);
  return S_OK;
}

HRESULT MultiMediaStream::SetState(STREAM_STATE state) {
  if (!film_) return MS_E_NOTINIT;
  film_->SetRunning(state == STREAMSTATE_RUN);
  return S_OK;
}

HRESULT MultiMediaStream::GetState(STREAM_STATE* state) {
  if (!state) return E_INVALIDARG;
  *state = film_ && film_->running ? STREAMSTATE_RUN : STREAMSTATE_STOP;
  return S_OK;
}

HRESULT MultiMediaStream::Seek(STREAM_TIME time) {
  if (!film_) return MS_E_NOTINIT;
  return film_->Seek(double(time) / kStreamTimeUnitsPerSecond) ? S_OK : E_FAIL;
}

HRESULT MultiMediaStream::GetTime(STREAM_TIME* time) {
  if (!time) return E_INVALIDARG;
  if (!film_) return MS_E_NOTINIT;
  *time = STREAM_TIME(film_->Clock() * kStreamTimeUnitsPerSecond);
  return S_OK;
}

HRESULT MultiMediaStream::GetDuration(STREAM_TIME* duration) {
  if (!duration) return E_INVALIDARG;
  if (!film_) return MS_E_NOTINIT;
  const int64_t d = film_->format->duration;
  *duration = d == AV_NOPTS_VALUE ? 0 : STREAM_TIME(d) * (kStreamTimeUnitsPerSecond / AV_TIME_BASE);
  return S_OK;
}

// --- The video stream and its samples -----------------------------------------------------------

void DirectDrawMediaStream::Release() { delete this; }

HRESULT DirectDrawMediaStream::GetFormat(DDSURFACEDESC2* current) {
  if (!current || current->dwSize != sizeof(DDSURFACEDESC2)) return E_INVALIDARG;
  std::memset(static_cast<void*>(current), 0, sizeof *current);
  current->dwSize = sizeof *current;
  current->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  current->dwWidth = DWORD(film_->picture.codec->width);
  current->dwHeight = DWORD(film_->picture.codec->height);
  current->ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  // Frames come in the display's format; a palettised display gets 32-bit frames.
  DDSURFACEDESC2 mode{};
  mode.dwSize = sizeof mode;
  const bool rgb =
      Succeeded(directDraw_->GetDisplayMode(&mode)) && DescribeFormat(mode.ddpfPixelFormat).kind == PixelKind::Rgb;
  current->ddpfPixelFormat = rgb ? mode.ddpfPixelFormat : DisplayPixelFormat(32);
  return S_OK;
}

HRESULT DirectDrawMediaStream::CreateSample(DirectDrawSurface* surface, const RECT* rect, DWORD,
                                            DirectDrawStreamSample** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!surface) return E_INVALIDARG;
  const RECT whole{0, 0, LONG(surface->Width()), LONG(surface->Height())};
  const RECT area = rect ? *rect : whole;
  if (area.left < 0 || area.top < 0 || area.right > whole.right || area.bottom > whole.bottom ||
      area.right <= area.left || area.bottom <= area.top)
    return DDERR_INVALIDRECT;
  if (DescribeFormat(surface->PixelFormat()).kind != PixelKind::Rgb) return DDERR_INVALIDPIXELFORMAT;
  *out = new DirectDrawStreamSample(film_, surface, area);
  return S_OK;
}

DirectDrawStreamSample::DirectDrawStreamSample(std::shared_ptr<Film> film, DirectDrawSurface* surface, RECT rect)
    : film_(std::move(film)), surface_(surface), rect_(rect) {
  surface_->AddRef();
}

DirectDrawStreamSample::~DirectDrawStreamSample() { surface_->Release(); }

void DirectDrawStreamSample::Release() { delete this; }

HRESULT DirectDrawStreamSample::Update(DWORD) {
  Film& film = *film_;
  if (!film.running) return MS_E_NOTRUNNING;
  film.FeedSound();
  const double now = film.Clock();
  film.AdvancePicture(now);
  if (film.current && frameShown_ != film.serial) {
    const HRESULT written = film.WriteFrame(surface_, rect_);
    if (Failed(written)) return written;
    frameShown_ = film.serial;
  }
  return film.PictureOver(now) ? MS_S_ENDOFSTREAM : S_OK;
}

HRESULT DirectDrawStreamSample::GetSurface(DirectDrawSurface** surface, RECT* clip) {
  if (!surface) return E_INVALIDARG;
  surface_->AddRef();
  *surface = surface_;
  if (clip) *clip = rect_;
  return S_OK;
}

// --- Switches --------------------------------------------------------------------------------------

void SetMediaAudioSinkMaker(MediaAudioSinkMaker maker) { gSinkMaker = std::move(maker); }
void SetMediaPlainConversion(bool plain) { gPlainConversion = plain; }
void SetMediaFaults(const MediaFaults& faults) { gFaults = faults; }
size_t LiveFilmCount() { return gLiveFilms; }

}  // namespace vx::win
