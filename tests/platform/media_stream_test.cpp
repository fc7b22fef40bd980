// Multimedia streams over FFmpeg on the films that tests/fixtures/make_films.sh makes: the colours
// of the seconds appear as the clock moves, in AVI and MPEG, from files and from memory; a stopped
// stream keeps its time; the sound track reaches the sink and drives the picture; frames land in
// every surface format the same way through the fast and the plain path; bad films fail cleanly;
// a film opens only itself, from a regular file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/audio/audio_output.h"
#include "platform/ddraw/faults.h"
#include "platform/ddraw/pixel_format.h"
#include "platform/media/media_stream.h"
#include "platform/win/time.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_folder.h"
#include "tests/support/writing_fifo.h"

namespace vx::win {
namespace {

DWORD gNow = 0;
DWORD Now() { return gNow; }

std::string Film(const std::string& name) {
#ifdef VX_FILM_FIXTURES_DIR
  const std::string path = std::string(VX_FILM_FIXTURES_DIR) + "/" + name;
  if (std::filesystem::exists(path)) return path;
#endif
  return {};
}

#define FILM_OR_SKIP(variable, name)       \
  const std::string variable = Film(name); \
  if (variable.empty()) GTEST_SKIP() << name << " was not made (no ffmpeg)"

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x008000, kBlue = 0x0000FF;

// Near enough for a solid colour that went through YUV and back.
bool Near(uint32_t a, uint32_t b, int tolerance = 24) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
  return true;
}

class MediaStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDisplayFaults();
    SetClockSource(Now);
    gNow = 1000;
    sound_ = test::RecordingSink::Install();
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &directDraw_, IID_IDirectDraw7, nullptr), DD_OK);
    ASSERT_EQ(directDraw_->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
  }
  void TearDown() override {
    Close();
    directDraw_->Release();
    SetMediaAudioSinkMaker(nullptr);
    SetMediaPlainConversion(false);
    SetMediaFaults({});
    SetClockSource(nullptr);
    EXPECT_EQ(LiveFilmCount(), 0u);
    EXPECT_EQ(LiveSurfaceCount(), 0u);
  }

  // Gives back the sample, the streams and the surface.
  void Close(bool keepSurface = false) {
    if (sample_) sample_->Release();
    if (video_) video_->Release();
    if (stream_) stream_->Release();
    if (surface_ && !keepSurface) surface_->Release();
    sample_ = nullptr;
    video_ = nullptr;
    stream_ = nullptr;
    if (!keepSurface) surface_ = nullptr;
  }

  DirectDrawSurface* MakeSurface(DWORD width, DWORD height, const DDPIXELFORMAT& format) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddpfPixelFormat = format;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    DirectDrawSurface* made = nullptr;
    EXPECT_EQ(directDraw_->CreateSurface(&desc, &made, nullptr), DD_OK);
    return made;
  }

  HRESULT Open(const std::string& path, bool fromMemory = false, bool sound = true) {
    EXPECT_EQ(MultiMediaStream::Create(&stream_), S_OK);
    EXPECT_EQ(stream_->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD), S_OK);
    EXPECT_EQ(stream_->AddMediaStream(directDraw_, MSPID_PrimaryVideo, 0), S_OK);
    EXPECT_EQ(stream_->AddMediaStream(nullptr, MSPID_PrimaryAudio, sound ? AMMSF_ADDDEFAULTRENDERER : 0), S_OK);
    return fromMemory ? stream_->OpenMemory(Bytes(path), 0) : stream_->OpenFile(path, 0);
  }

  // Opens the film and makes a sample on a surface of the frame's format, scaled to the size
  // given (0: the frame's own), and starts the stream.
  void Start(const std::string& path, bool fromMemory = false, DWORD width = 0, DWORD height = 0,
             std::optional<DDPIXELFORMAT> format = std::nullopt) {
    ASSERT_EQ(Open(path, fromMemory), S_OK);
    ASSERT_EQ(stream_->GetMediaStream(MSPID_PrimaryVideo, &video_), S_OK);
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(video_->GetFormat(&desc), S_OK);
    frameWidth_ = desc.dwWidth;
    frameHeight_ = desc.dwHeight;
    surface_ = MakeSurface(width ? width : desc.dwWidth, height ? height : desc.dwHeight,
                           format ? *format : desc.ddpfPixelFormat);
    ASSERT_NE(surface_, nullptr);
    ASSERT_EQ(video_->CreateSample(surface_, nullptr, 0, &sample_), S_OK);
    ASSERT_EQ(stream_->SetState(STREAMSTATE_RUN), S_OK);
  }

  // Moves the clock to ms after the start in steps of a frame or so, updating at each.
  HRESULT PlayUntil(DWORD ms) {
    HRESULT last = S_OK;
    while (gNow < 1000 + ms) {
      gNow = std::min<DWORD>(gNow + 40, 1000 + ms);
      last = sample_->Update(0);
    }
    return last;
  }

  uint32_t Colour(int x = -1, int y = -1) const {
    const SurfacePixels pixels = surface_->Pixels();
    return ReadPixelArgb(pixels, x < 0 ? pixels.width / 2 : uint32_t(x), y < 0 ? pixels.height / 2 : uint32_t(y)) &
           0xFFFFFF;
  }

  std::shared_ptr<test::RecordingSink::Record> sound_;
  DirectDraw* directDraw_ = nullptr;
  MultiMediaStream* stream_ = nullptr;
  DirectDrawMediaStream* video_ = nullptr;
  DirectDrawStreamSample* sample_ = nullptr;
  DirectDrawSurface* surface_ = nullptr;
  DWORD frameWidth_ = 0, frameHeight_ = 0;
};

class FilmColoursTest : public MediaStreamTest, public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

TEST_P(FilmColoursTest, SecondsShowTheirColoursInOrderAndASeekGoesBackToTheFirst) {
  const auto [name, fromMemory] = GetParam();
  FILM_OR_SKIP(path, name);
  Start(path, fromMemory);
  EXPECT_EQ(frameWidth_, 64u);
  EXPECT_EQ(frameHeight_, 48u);
  EXPECT_EQ(sample_->Update(0), S_OK);
  EXPECT_TRUE(Near(Colour(), kRed)) << std::hex << Colour();
  EXPECT_EQ(PlayUntil(900), S_OK);
  EXPECT_TRUE(Near(Colour(), kRed)) << std::hex << Colour();
  EXPECT_EQ(PlayUntil(1200), S_OK);
  EXPECT_TRUE(Near(Colour(), kGreen)) << std::hex << Colour();
  EXPECT_EQ(PlayUntil(2200), S_OK);
  EXPECT_TRUE(Near(Colour(), kBlue)) << std::hex << Colour();
  EXPECT_TRUE(Near(Colour(0, 0), kBlue) && Near(Colour(63, 47), kBlue)) << "the whole frame";
  EXPECT_EQ(PlayUntil(3300), MS_S_ENDOFSTREAM);
  EXPECT_TRUE(Near(Colour(), kBlue)) << "the last frame stays";

  ASSERT_EQ(stream_->Seek(0), S_OK);
  EXPECT_EQ(sample_->Update(0), S_OK);
  EXPECT_TRUE(Near(Colour(), kRed)) << std::hex << Colour();
}

INSTANTIATE_TEST_SUITE_P(Containers, FilmColoursTest,
                         ::testing::Combine(::testing::Values("colours.avi", "colours_sound.avi", "colours.mpg"),
                                            ::testing::Bool()));

TEST_F(MediaStreamTest, AStoppedStreamKeepsItsTimeAndRefusesUpdates) {
  FILM_OR_SKIP(path, "colours.avi");
  Start(path);
  PlayUntil(700);
  ASSERT_EQ(stream_->SetState(STREAMSTATE_STOP), S_OK);
  gNow += 5000;
  EXPECT_EQ(sample_->Update(0), MS_E_NOTRUNNING);
  STREAM_TIME time = 0;
  ASSERT_EQ(stream_->GetTime(&time), S_OK);
  EXPECT_EQ(time, 7000000) << "0.7 seconds";
  EXPECT_TRUE(Near(Colour(), kRed));
  ASSERT_EQ(stream_->SetState(STREAMSTATE_RUN), S_OK);
  gNow += 400;
  EXPECT_EQ(sample_->Update(0), S_OK);
  EXPECT_TRUE(Near(Colour(), kGreen)) << "went on from 0.7 s";
  STREAM_TIME duration = 0;
  ASSERT_EQ(stream_->GetDuration(&duration), S_OK);
  EXPECT_NEAR(double(duration) / kStreamTimeUnitsPerSecond, 3.0, 0.05);
}

// The sine's frequency from its zero crossings, in the left channel.
double Frequency(const std::vector<int16_t>& samples) {
  int crossings = 0;
  for (size_t i = 2; i < samples.size(); i += 2) crossings += (samples[i - 2] < 0) != (samples[i] < 0);
  return crossings / 2.0 / (double(samples.size() / 2) / kAudioOutputRate);
}

TEST_F(MediaStreamTest, TheSoundTrackReachesTheSinkInTheOutputFormat) {
  FILM_OR_SKIP(path, "colours_sound.avi");
  Start(path);
  EXPECT_EQ(PlayUntil(3300), MS_S_ENDOFSTREAM);
  const size_t frames = sound_->samples.size() / 2;
  EXPECT_NEAR(double(frames) / kAudioOutputRate, 3.0, 0.1) << "the whole track, resampled to the output's rate";
  EXPECT_NEAR(Frequency(sound_->samples), 440.0, 5.0);
  int16_t loudest = 0;
  for (int16_t s : sound_->samples) loudest = std::max<int16_t>(loudest, s);
  EXPECT_GT(loudest, 1000);

  // A film without sound, or one told to keep quiet, writes nothing.
  Close(true);
  sound_->samples.clear();
  ASSERT_EQ(Open(path, false, false), S_OK);
  ASSERT_EQ(stream_->GetMediaStream(MSPID_PrimaryVideo, &video_), S_OK);
  ASSERT_EQ(video_->CreateSample(surface_, nullptr, 0, &sample_), S_OK);
  stream_->SetState(STREAMSTATE_RUN);
  PlayUntil(4000);
  EXPECT_TRUE(sound_->samples.empty());
}

// A sink whose played position the test sets, as a sound card that runs its own way.
class SteeredSink final : public MediaAudioSink {
 public:
  explicit SteeredSink(uint64_t* played) : played_(played) {}
  size_t Write(const int16_t*, size_t frames) override {
    written_ += frames;
    return frames;
  }
  uint64_t PlayedFrames() override { return std::min(*played_, written_); }
  size_t QueuedFrames() override { return size_t(written_ - PlayedFrames()); }
  void SetPaused(bool) override {}
  void Flush() override { written_ = 0; }

 private:
  uint64_t* played_;
  uint64_t written_ = 0;
};

TEST_F(MediaStreamTest, ThePictureKeepsToTheSoundClockWhileThereIsSound) {
  FILM_OR_SKIP(path, "colours_sound.avi");
  uint64_t played = 0;
  SetMediaAudioSinkMaker([&played]() { return std::make_unique<SteeredSink>(&played); });
  Start(path);
  gNow += 1500;  // the milliseconds run on, the sound does not
  sample_->Update(0);
  EXPECT_TRUE(Near(Colour(), kRed)) << std::hex << Colour();
  for (int i = 0; i < 10; ++i) {  // the sound runs ahead while the milliseconds stand still
    played += kAudioOutputRate / 4;
    sample_->Update(0);
  }
  EXPECT_TRUE(Near(Colour(), kBlue)) << std::hex << Colour();
}

TEST_F(MediaStreamTest, FramesLandInEveryFormatAndSizeAsThePlainPathPutsThem) {
  FILM_OR_SKIP(path, "pattern.avi");
  DDPIXELFORMAT formats[4] = {DisplayPixelFormat(16), DisplayPixelFormat(24), DisplayPixelFormat(32),
                              DisplayPixelFormat(16)};
  formats[3].dwRBitMask = 0x7C00, formats[3].dwGBitMask = 0x03E0, formats[3].dwBBitMask = 0x001F;
  for (const DDPIXELFORMAT& format : formats) {
    for (const auto& [width, height] : {std::pair<DWORD, DWORD>{0, 0}, {100, 30}}) {
      std::vector<uint32_t> pictures[2];
      for (const bool plain : {false, true}) {
        SetMediaPlainConversion(plain);
        Start(path, false, width, height, format);
        ASSERT_EQ(sample_->Update(0), S_OK);
        const SurfacePixels pixels = surface_->Pixels();
        for (uint32_t y = 0; y < pixels.height; ++y)
          for (uint32_t x = 0; x < pixels.width; ++x) pictures[plain].push_back(ReadPixelArgb(pixels, x, y) & 0xFFFFFF);
        Close();
      }
      ASSERT_EQ(pictures[0].size(), pictures[1].size());
      size_t far = 0;
      // swscale dithers when it writes 16-bit pixels itself.
      const int tolerance = format.dwRGBBitCount == 16 ? 24 : 8;
      for (size_t i = 0; i < pictures[0].size(); ++i) far += !Near(pictures[0][i], pictures[1][i], tolerance);
      EXPECT_EQ(far, 0u) << format.dwRGBBitCount << " bits, red mask " << std::hex << format.dwRBitMask << std::dec
                         << ", " << width << "x" << height;
    }
  }
}

// The scaler writes whole vectors: frames of widths that are no multiple of 16, scaled or not and
// through either path, must land inside their rectangle of a larger surface and leave the rest.
TEST_F(MediaStreamTest, FramesOfAnyWidthStayInsideTheirRectangle) {
  FILM_OR_SKIP(first, "halves40.mpg");
  constexpr uint8_t kUntouched = 0x5A;
  for (const char* name : {"halves40.mpg", "halves200.mpg", "halves360.mpg", "pattern40.mpg", "tall46.mpg"}) {
    for (const bool plain : {false, true}) {
      for (const DDPIXELFORMAT& format : {DisplayPixelFormat(32), DisplayPixelFormat(24), DisplayPixelFormat(16)}) {
        SCOPED_TRACE(std::string(name) + (plain ? ", plain" : "") + ", " + std::to_string(format.dwRGBBitCount) +
                     " bits");
        SetMediaPlainConversion(plain);
        ASSERT_EQ(Open(Film(name)), S_OK);
        ASSERT_EQ(stream_->GetMediaStream(MSPID_PrimaryVideo, &video_), S_OK);
        DDSURFACEDESC2 desc{};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(video_->GetFormat(&desc), S_OK);
        const auto width = LONG(desc.dwWidth), height = LONG(desc.dwHeight);
        surface_ = MakeSurface(DWORD(width) + 64, DWORD(height) + 4, format);
        ASSERT_NE(surface_, nullptr);
        const SurfacePixels pixels = surface_->Pixels();
        std::memset(pixels.bits, kUntouched, size_t(pixels.pitch) * pixels.height);
        const RECT rect{0, 0, width, height};
        ASSERT_EQ(video_->CreateSample(surface_, &rect, 0, &sample_), S_OK);
        ASSERT_EQ(stream_->SetState(STREAMSTATE_RUN), S_OK);
        ASSERT_EQ(sample_->Update(0), S_OK);
        size_t touched = 0;
        for (LONG y = 0; y < LONG(pixels.height); ++y)
          for (LONG x = y < height ? width * LONG(pixels.bytesPerPixel) : 0; x < pixels.pitch; ++x)
            touched += pixels.bits[size_t(y) * size_t(pixels.pitch) + size_t(x)] != kUntouched;
        EXPECT_EQ(touched, 0u) << "bytes written outside the frame's rectangle";
        if (std::string(name).starts_with("halves")) {
          EXPECT_TRUE(Near(Colour(0, height / 2), kRed)) << std::hex << Colour(0, height / 2);
          EXPECT_TRUE(Near(Colour(width - 1, height / 2), kBlue)) << std::hex << Colour(width - 1, height / 2);
        }
        Close();
      }
    }
  }
}

// MP2 frames of two channels and then of one, as streams joined end to end carry them.
TEST_F(MediaStreamTest, ASoundTrackThatTurnsFromStereoToMonoPlaysToItsEnd) {
  FILM_OR_SKIP(path, "stereo_mono.mpg");
  Start(path);
  EXPECT_EQ(PlayUntil(2600), MS_S_ENDOFSTREAM);
  EXPECT_TRUE(Near(Colour(), kGreen)) << std::hex << Colour();
  const size_t frames = sound_->samples.size() / 2;
  EXPECT_NEAR(double(frames) / kAudioOutputRate, 2.0, 0.15) << "both halves of the track";
  const auto half = std::ptrdiff_t(sound_->samples.size() / 2) & ~std::ptrdiff_t{1};
  for (const std::vector<int16_t>& part :
       {std::vector<int16_t>(sound_->samples.begin(), sound_->samples.begin() + half),
        std::vector<int16_t>(sound_->samples.begin() + half, sound_->samples.end())}) {
    // MP2's noise crosses zero too: a crossing counts once the wave is well past it.
    int crossings = 0;
    bool above = part[0] > 0;
    for (size_t i = 0; i < part.size(); i += 2)
      if (above ? part[i] < -2000 : part[i] > 2000) ++crossings, above = !above;
    EXPECT_NEAR(crossings / 2.0 / (double(part.size() / 2) / kAudioOutputRate), 440.0, 10.0);
    int16_t loudest = 0;
    for (int16_t sample : part) loudest = std::max(loudest, sample);
    EXPECT_GT(loudest, 1000);
  }
}

TEST_F(MediaStreamTest, MissingDamagedAndForeignFilmsFailToOpenOrEndQuietly) {
  FILM_OR_SKIP(truncated, "truncated.avi");
  for (const std::string& path : {Film("garbage.avi"), truncated + ".missing", std::string()}) {
    EXPECT_EQ(Open(path), MS_E_BADFILE) << path;
    Close();
  }
  EXPECT_EQ(Open(Film("garbage.avi"), true), MS_E_BADFILE);
  Close();

  // Films cut short at several places, and films whose middle is overwritten, play as far as
  // they can.
  std::vector<std::string> paths{truncated};
  for (const char* name : {"colours_sound.avi", "colours.mpg"}) {
    const std::vector<uint8_t> whole = Bytes(Film(name));
    for (int part = 1; part <= 4; ++part) {
      std::vector<uint8_t> damaged = whole;
      if (part == 4)
        for (size_t i = damaged.size() / 3; i < damaged.size() / 2; i += 7) damaged[i] ^= 0x5A;
      else
        damaged.resize(damaged.size() * size_t(part) / 4);
      paths.push_back(truncated + "." + std::to_string(paths.size()) + "." + name);
      std::ofstream(paths.back(), std::ios::binary)
          .write(reinterpret_cast<const char*>(damaged.data()), std::streamsize(damaged.size()));
    }
  }
  for (const std::string& path : paths) {
    const bool opens = Open(path) == S_OK;
    Close();
    if (!opens) continue;
    Start(path);
    EXPECT_EQ(PlayUntil(60000), MS_S_ENDOFSTREAM) << path;
    Close();
    gNow = 1000;
  }
  for (size_t i = 1; i < paths.size(); ++i) std::filesystem::remove(paths[i]);
}

// A FIFO once kept the open waiting for a writer for ever (or played what one wrote), and a
// playlist or a list of files played the film it named, wherever it lay; none of them opens.
TEST_F(MediaStreamTest, AFilmOpensOnlyItselfFromARegularFile) {
  FILM_OR_SKIP(real, "colours.avi");
  test::TempFolder dir;
  const std::string elsewhere = dir.MakeFolder("elsewhere") + "/real.avi";
  std::filesystem::copy_file(real, elsewhere);
  std::filesystem::copy_file(real, dir.path() + "real.avi");
  const test::WritingFifo fifo(dir.path() + "fifo.avi", Bytes(real));
  ASSERT_TRUE(fifo.made());
  dir.MakeFolder("folder.avi");
  const std::string lists[][2] = {
      {"playlist.avi", "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXTINF:3,\n" + elsewhere + "\n#EXT-X-ENDLIST\n"},
      {"nearby.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXTINF:3,\nreal.avi\n#EXT-X-ENDLIST\n"},
      {"list.avi", "ffconcat version 1.0\nfile real.avi\n"},
      {"absolute.ffconcat", "ffconcat version 1.0\nfile " + elsewhere + "\n"},
      {"remote.sdp",
       "v=0\no=- 0 0 IN IP4 127.0.0.1\ns=film\nc=IN IP4 127.0.0.1\nt=0 0\nm=video 5004 RTP/AVP 96\n"
       "a=rtpmap:96 MP4V-ES/90000\n"},
  };
  for (const auto& [name, text] : lists) {
    const std::string path = dir.Write(name, text);
    EXPECT_EQ(Open(path), MS_E_BADFILE) << name;
    Close();
    EXPECT_EQ(Open(path, true), MS_E_BADFILE) << name << " from memory";
    Close();
  }
  for (const char* name : {"fifo.avi", "folder.avi"}) {
    EXPECT_EQ(Open(dir.path() + name), MS_E_BADFILE) << name;
    Close();
  }
  // The film they name opens by itself, from either.
  for (const std::string& path : {elsewhere, dir.path() + "real.avi"}) {
    EXPECT_EQ(Open(path), S_OK) << path;
    Close();
  }
  EXPECT_EQ(Open(elsewhere, true), S_OK);
}

TEST_F(MediaStreamTest, TheFilmLivesWhileAnyHandleDoesAndTheSampleHoldsItsSurface) {
  FILM_OR_SKIP(path, "colours.avi");
  Start(path);
  stream_->Release(), stream_ = nullptr;
  video_->Release(), video_ = nullptr;
  surface_->Release(), surface_ = nullptr;
  EXPECT_EQ(LiveFilmCount(), 1u);
  EXPECT_EQ(LiveSurfaceCount(), 1u);
  DirectDrawSurface* held = nullptr;
  RECT clip{};
  ASSERT_EQ(sample_->GetSurface(&held, &clip), S_OK);
  EXPECT_EQ(clip.right, 64);
  EXPECT_EQ(sample_->Update(0), S_OK);
  held->Release();
  sample_->Release(), sample_ = nullptr;
  EXPECT_EQ(LiveFilmCount(), 0u);

  SetMediaFaults({true});
  MultiMediaStream* none = nullptr;
  EXPECT_TRUE(Failed(MultiMediaStream::Create(&none)));
  EXPECT_EQ(none, nullptr);
}

TEST_F(MediaStreamTest, OnTheAudioOutputTheSoundTrackPlaysWhileTheFilmIsOpen) {
  FILM_OR_SKIP(path, "colours_sound.avi");
  SetMediaAudioSinkMaker(nullptr);
  Start(path);
  EXPECT_TRUE(IsAudioOutputOpen());
  EXPECT_EQ(sample_->Update(0), S_OK);
  EXPECT_TRUE(Near(Colour(), kRed));
  Close();
  EXPECT_FALSE(IsAudioOutputOpen());
}

}  // namespace
}  // namespace vx::win
