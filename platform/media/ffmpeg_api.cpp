// Loading FFmpeg on first use: each library by the name of the major version our headers
// describe, so that the functions bound match the declarations they are called through.
#include "platform/media/ffmpeg_api.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace vx::win {

namespace {

FfmpegApi gApi;
bool gLoaded = false;

void* OpenLibrary(const char* stem, int major) {
  const std::string name = std::string("lib") + stem + ".so." + std::to_string(major);
  return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

bool Load() {
  // Loaded in dependency order; kept for the life of the process.
  void* avutil = OpenLibrary("avutil", LIBAVUTIL_VERSION_MAJOR);
  void* swresample = OpenLibrary("swresample", LIBSWRESAMPLE_VERSION_MAJOR);
  void* swscale = OpenLibrary("swscale", LIBSWSCALE_VERSION_MAJOR);
  void* avcodec = OpenLibrary("avcodec", LIBAVCODEC_VERSION_MAJOR);
  void* avformat = OpenLibrary("avformat", LIBAVFORMAT_VERSION_MAJOR);
  if (!avutil || !swresample || !swscale || !avcodec || !avformat) return false;
  FfmpegApi api;
  bool complete = true;
#define VX_FFMPEG_BIND(library, name)                                     \
  api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name)); \
  complete = complete && api.name != nullptr;
  VX_FFMPEG_FUNCTIONS(VX_FFMPEG_BIND)
#undef VX_FFMPEG_BIND
  if (!complete) return false;
  gApi = api;
  return true;
}

}  // namespace

bool LoadFfmpeg() {
  static std::once_flag once;
  std::call_once(once, [] { gLoaded = Load(); });
  return gLoaded;
}

const FfmpegApi& Ffmpeg() { return gApi; }

}  // namespace vx::win
