// The list of fuzz targets, the work folder they share, and the targets of the image readers: an
// image file through the image context by its ending, as a program's bitmap load reaches it, and a
// BMP file through the GDI stand-in's DIB reader, as a texture load reaches it.
#include "fuzz/fuzz_targets.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "images/image_context.h"
#include "platform/gdi/gdi.h"
#include "runtime/runtime_state.h"

namespace vx::fuzz {

namespace {

template <size_t N>
struct Ending {
  char letters[N];
  constexpr Ending(const char (&text)[N]) { std::copy_n(text, N, letters); }
};

// One target per ending that the image context reads ("rle" and "dib" are BMP files too).
template <Ending ending>
void FuzzImage(const uint8_t* data, size_t size) {
  FuzzImageFile(ending.letters, data, size);
}

constexpr FuzzTargetEntry kTargets[] = {
    {"program_image", FuzzProgramImage},
    {"attached_files", FuzzAttachedFiles},
    {"compiler", FuzzCompiler},
    {"compile_run", FuzzCompileAndRun},
    {"profile", FuzzProfile},
    {"image_jpg", FuzzImage<"jpg">},
    {"image_bmp", FuzzImage<"bmp">},
    {"image_psd", FuzzImage<"psd">},
    {"image_pcx", FuzzImage<"pcx">},
    {"image_tga", FuzzImage<"tga">},
    {"image_dds", FuzzImage<"dds">},
    {"image_png", FuzzImage<"png">},
    {"image_tif", FuzzImage<"tif">},
    {"dib", FuzzDib},
    {"static_world", FuzzStaticWorld},
    {"x_model", FuzzXModel},
    {"x_compressed", FuzzXCompressed},
    {"x_animation", FuzzXAnimation},
    {"three_ds", FuzzThreeDs},
    {"film_open", FuzzFilmOpen},
    {"film_play", FuzzFilmPlay},
};

}  // namespace

void WriteFuzzInput(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

std::span<const FuzzTargetEntry> FuzzTargets() { return kTargets; }

const FuzzTargetEntry* FindFuzzTarget(std::string_view name) {
  for (const FuzzTargetEntry& target : kTargets)
    if (name == target.name) return &target;
  return nullptr;
}

const std::string& FuzzWorkFolder() {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorlix-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    // Kept apart from the string, which is gone by the time exit handlers run.
    static char made[4096];
    pattern.copy(made, sizeof made - 1);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return pattern + "/";
  }();
  Host().gTempFolder = folder;
  return folder;
}

void FuzzImageFile(std::string_view ending, const uint8_t* data, size_t size) {
  const std::string path = FuzzWorkFolder() + "input." + std::string(ending);
  WriteFuzzInput(path, data, size);
  // Headless, as the tests run; a context that a caller attached is used and left to it.
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  const bool own = !gImageContext.directDraw;
  if (own && !CreateImageContext(nullptr)) std::abort();
  if (win::IDirectDrawSurface7* surface = LoadImageByExtension(path)) surface->Release();
  if (own) ReleaseImageContext();
}

void FuzzDib(const uint8_t* data, size_t size) {
  const std::string path = FuzzWorkFolder() + "input.bmp";
  WriteFuzzInput(path, data, size);
  // Loaded at its own size and stretched to another, and asked for its size, as texture loads do.
  for (const auto& [width, height] : {std::pair{0, 0}, std::pair{3, 5}}) {
    auto* bitmap = static_cast<win::HGDIOBJ>(win::LoadImageA(nullptr, path.c_str(), win::IMAGE_BITMAP, width, height,
                                                             win::LR_LOADFROMFILE | win::LR_CREATEDIBSECTION));
    if (!bitmap) continue;
    win::BITMAP info{};
    win::GetObjectA(bitmap, sizeof info, &info);
    win::DeleteObject(bitmap);
  }
}

}  // namespace vx::fuzz
