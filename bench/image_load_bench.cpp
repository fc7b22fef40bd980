// Loading a 640x480 photo-like picture (gradients, soft shapes and noise) from a JPEG and from a
// PNG file through the image context, as `load bitmap` does, into a surface of the display's
// format at 16, 24 and 32 bits, against the library's own decode of the same file to RGB in the
// same run. Each iteration times both back to back; `ratio` is the median of load time over
// library time (the target is at most 1.5). The files are encoded here with libjpeg and libpng,
// so nothing large is kept in the repository. Below them, the row conversions alone.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "display/display.h"
#include "images/image_context.h"
#include "images/surface_rows.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/faults.h"
#include "platform/win/window.h"

namespace {

constexpr uint32_t kWidth = 640;
constexpr uint32_t kHeight = 480;
constexpr double kTargetRatio = 1.5;

// RGB bytes, the top row first.
std::vector<uint8_t> PhotoLikePicture() {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  uint32_t seed = 12345;
  auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return int((seed >> 16) % 17) - 8;  // -8..8
  };
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      const double fx = x / double(kWidth), fy = y / double(kHeight);
      const double blob = std::exp(-((fx - 0.6) * (fx - 0.6) + (fy - 0.4) * (fy - 0.4)) * 12.0);
      const double wave = 0.5 + 0.5 * std::sin(fx * 9.0 + fy * 5.0);
      const int channel[3] = {int(40 + 150 * fx + 60 * blob), int(30 + 120 * fy + 80 * wave * blob),
                              int(200 - 140 * fy * fx + 40 * wave)};
      for (int c = 0; c < 3; ++c)
        rgb[(size_t(y) * kWidth + x) * 3 + size_t(c)] = uint8_t(std::clamp(channel[c] + noise(), 0, 255));
    }
  return rgb;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < kHeight) {
    JSAMPROW row = const_cast<uint8_t*>(&rgb[size_t(info.next_scanline) * kWidth * 3]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgb) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> bytes;
  png_set_write_fn(
      png, &bytes,
      [](png_structp p, png_bytep data, size_t count) {
        auto* sink = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        sink->insert(sink->end(), data, data + count);
      },
      [](png_structp) {});
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < kHeight; ++y) png_write_row(png, &rgb[size_t(y) * kWidth * 3]);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fseek(file, 0, SEEK_END);
    bytes.resize(size_t(std::max(0L, std::ftell(file))));
    std::fseek(file, 0, SEEK_SET);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
  }
  return bytes;
}

// libjpeg(-turbo) alone: the file read and decompressed to RGB rows, several rows a call.
void LibraryJpegDecode(const std::string& path, std::vector<uint8_t>& out) {
  const std::vector<uint8_t> file = ReadFile(path);
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const size_t rowBytes = size_t(info.output_width) * 3;
  out.resize(rowBytes * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[4];
    for (uint32_t i = 0; i < 4; ++i)
      rows[i] = &out[rowBytes * std::min<size_t>(info.output_scanline + i, info.output_height - 1)];
    jpeg_read_scanlines(&info, rows, 4);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
}

// libpng alone: the file read and decoded to RGB rows.
void LibraryPngDecode(const std::string& path, std::vector<uint8_t>& out) {
  FILE* file = std::fopen(path.c_str(), "rb");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_read_info(png, info);
  const uint32_t height = png_get_image_height(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  out.resize(rowBytes * height);
  std::vector<png_bytep> rows(height);
  for (uint32_t y = 0; y < height; ++y) rows[y] = &out[rowBytes * y];
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
}

// The files and a display of the wanted depth, made once, with the image context attached to it
// as the display set-up attaches it.
struct Scene {
  std::string folder;
  std::string jpeg;
  std::string png;
  double jpegKilobytes = 0;
  double pngKilobytes = 0;
  vx::win::HWND window = nullptr;
  vx::win::IDirectDraw7* directDraw = nullptr;
  vx::win::IDirectDrawSurface7* primary = nullptr;
  uint32_t bits = 0;

  Scene() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorlix-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    folder = pattern + "/";
    const std::vector<uint8_t> rgb = PhotoLikePicture();
    const std::vector<uint8_t> jpegBytes = EncodeJpeg(rgb), pngBytes = EncodePng(rgb);
    jpeg = folder + "photo.jpg";
    png = folder + "photo.png";
    std::ofstream(jpeg, std::ios::binary)
        .write(reinterpret_cast<const char*>(jpegBytes.data()), std::streamsize(jpegBytes.size()));
    std::ofstream(png, std::ios::binary)
        .write(reinterpret_cast<const char*>(pngBytes.data()), std::streamsize(pngBytes.size()));
    jpegKilobytes = double(jpegBytes.size()) / 1024;
    pngKilobytes = double(pngBytes.size()) / 1024;
    const vx::win::WNDCLASSA windowClass{0, vx::win::DefWindowProcA, 0, "VXBENCH", "VXBENCH"};
    vx::win::RegisterClassA(&windowClass);
    window = vx::win::CreateWindowExA(0, "VXBENCH", "VXBENCH", 0, 0, 0, kWidth, kHeight, nullptr, nullptr);
    // A display another benchmark of this process set up holds the screen exclusively: it goes first.
    vx::ReleaseDirectDrawObjects(0);
    vx::win::ResetDisplayFaults();
    if (vx::win::DirectDrawCreateEx(nullptr, &directDraw, vx::win::IID_IDirectDraw7, nullptr) != vx::win::DD_OK ||
        directDraw->SetCooperativeLevel(window, vx::win::DDSCL_EXCLUSIVE | vx::win::DDSCL_FULLSCREEN) !=
            vx::win::DD_OK) {
      std::abort();
    }
  }
  ~Scene() {
    std::remove(jpeg.c_str());
    std::remove(png.c_str());
    std::remove(folder.c_str());
  }

  // The display in the depth, its primary surface made anew and attached to the image context.
  void UseDepth(uint32_t wanted) {
    if (bits == wanted) return;
    vx::ReleaseImageContext();
    if (primary) primary->Release();
    primary = nullptr;
    if (directDraw->SetDisplayMode(kWidth, kHeight, wanted, 0, 0) != vx::win::DD_OK) std::abort();
    vx::win::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = vx::win::DDSD_CAPS;
    desc.ddsCaps.dwCaps = vx::win::DDSCAPS_PRIMARYSURFACE;
    if (directDraw->CreateSurface(&desc, &primary, nullptr) != vx::win::DD_OK) std::abort();
    vx::AttachImageContext(window, directDraw, primary);
    bits = wanted;
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void LoadAgainstLibrary(benchmark::State& state, bool jpeg) {
  Scene& scene = TheScene();
  scene.UseDepth(uint32_t(state.range(0)));
  const std::string& path = jpeg ? scene.jpeg : scene.png;
  std::vector<uint8_t> rgb;
  std::vector<double> ratios;
  double loadTotal = 0, libraryTotal = 0;
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    vx::win::IDirectDrawSurface7* surface = vx::LoadImageByExtension(path);
    if (!surface) {
      state.SkipWithError("the picture did not load");
      break;
    }
    surface->Release();
    const double load = SecondsSince(start);
    start = Clock::now();
    if (jpeg) {
      LibraryJpegDecode(path, rgb);
    } else {
      LibraryPngDecode(path, rgb);
    }
    benchmark::DoNotOptimize(rgb.data());
    const double library = SecondsSince(start);
    state.SetIterationTime(load);
    loadTotal += load;
    libraryTotal += library;
    ratios.push_back(load / library);
  }
  if (ratios.empty()) return;
  std::nth_element(ratios.begin(), ratios.begin() + ptrdiff_t(ratios.size() / 2), ratios.end());
  const double iterations = double(state.iterations());
  state.counters["load_ms"] = loadTotal / iterations * 1000;
  state.counters["library_ms"] = libraryTotal / iterations * 1000;
  state.counters["ratio"] = ratios[ratios.size() / 2];
  state.counters["target"] = kTargetRatio;
  state.counters["file_kB"] = jpeg ? scene.jpegKilobytes : scene.pngKilobytes;
}

void BM_LoadJpegAgainstLibJpeg(benchmark::State& state) { LoadAgainstLibrary(state, true); }
void BM_LoadPngAgainstLibPng(benchmark::State& state) { LoadAgainstLibrary(state, false); }

BENCHMARK(BM_LoadJpegAgainstLibJpeg)->Arg(32)->Arg(24)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPngAgainstLibPng)->Arg(32)->Arg(24)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The row conversion alone: a 640x480 picture of 0xAARRGGBB pixels into rows of a display
// format (8 bits with a palette of 256 colours), the fast loops and the pixel-by-pixel reference.
void BM_StoreRows(benchmark::State& state) {
  const uint32_t bits = uint32_t(state.range(0));
  const bool reference = state.range(1) != 0;
  const std::vector<uint8_t> rgb = PhotoLikePicture();
  std::vector<uint32_t> argb(size_t(kWidth) * kHeight);
  for (size_t i = 0; i < argb.size(); ++i)
    argb[i] = 0xFF000000u | uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
  std::vector<vx::win::PALETTEENTRY> palette(256);
  for (uint32_t i = 0; i < 256; ++i)
    palette[i] = {uint8_t(i >> 5 << 5), uint8_t((i >> 2 & 7) << 5), uint8_t((i & 3) << 6), 0};
  vx::ArgbRowStore store(vx::win::DescribeFormat(vx::win::DisplayPixelFormat(bits)), palette.data());
  std::vector<uint8_t> out(size_t(kWidth) * kHeight * 4);
  const size_t pitch = size_t(kWidth) * store.BytesPerPixel();
  for (auto _ : state) {
    for (uint32_t y = 0; y < kHeight; ++y) {
      const uint32_t* row = &argb[size_t(y) * kWidth];
      if (reference) {
        store.StoreReference(row, &out[pitch * y], kWidth);
      } else {
        store.Store(row, &out[pitch * y], kWidth);
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_StoreRows)->ArgsProduct({{8, 16, 24, 32}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace
