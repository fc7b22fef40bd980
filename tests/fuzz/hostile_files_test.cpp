// Image files made to hurt the readers (tests/fixtures/make_hostile.py: a few bytes that declare
// gigabytes, colour maps and tiles out of all proportion, pictures without rows): each is refused
// by the image context, and a program's bitmap load of it ends with the load error, in bounded
// memory and without a sanitizer report.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "platform/gdi/gdi.h"
#include "tests/display/bitmap_test_support.h"
#include "tests/support/temp_folder.h"

#if defined(__SANITIZE_ADDRESS__)
#define VX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_ADDRESS_SANITIZER 1
#endif
#endif

namespace vx::test {
namespace {

struct Hostile {
  std::string path;
  std::string why;
};

std::vector<Hostile> HostileFiles() {
  std::vector<Hostile> files;
#ifdef VX_HOSTILE_FIXTURES_DIR
  const std::string folder = VX_HOSTILE_FIXTURES_DIR;
  std::ifstream in(folder + "/manifest.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Hostile& file = files.emplace_back();
    fields >> file.path;
    std::getline(fields, file.why);
    file.path = folder + "/" + file.path;
  }
#endif
  return files;
}

#define VX_HOSTILE_OR_SKIP(variable)                    \
  const std::vector<Hostile> variable = HostileFiles(); \
  if (variable.empty()) GTEST_SKIP() << "hostile files were not made (python3 missing?)"

#ifndef VX_ADDRESS_SANITIZER
// The process's address space now, from /proc.
uint64_t AddressSpaceBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  return pages * uint64_t(sysconf(_SC_PAGESIZE));
}
#endif

// Loads the file in a child process that may take no more than the readers' budget and some
// room besides: its address space is limited, or, under AddressSanitizer (whose shadow memory no
// such limit leaves room for), every larger allocation is a report (memory_budget.cpp). The
// status: 0 refused, 1 loaded, anything else a crash or memory run out.
int LoadInBoundedChild(const std::string& path) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
#ifndef VX_ADDRESS_SANITIZER
    const rlim_t limit = AddressSpaceBytes() + kImageMemoryBudget + (64u << 20);
    const rlimit bounded{limit, limit};
    setrlimit(RLIMIT_AS, &bounded);
#endif
    win::IDirectDrawSurface7* surface = LoadImageByExtension(path);
    _exit(surface ? 1 : 0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

using HostileImageTest = ImageFileTest;

TEST_F(HostileImageTest, EachIsRefusedInBoundedMemory) {
  VX_HOSTILE_OR_SKIP(files);
  EXPECT_GE(files.size(), 10u);
  for (const Hostile& file : files) EXPECT_EQ(LoadInBoundedChild(file.path), 0) << file.path << ":" << file.why;
}

class HostileBitmapLoadTest : public BitmapWorld {};

TEST_F(HostileBitmapLoadTest, ProgramLoadsEndWithTheLoadErrorAndNoBitmap) {
  VX_HOSTILE_OR_SKIP(files);
  World();
  for (const Hostile& file : files) {
    SCOPED_TRACE(file.path);
    QueueLoadBitmap(1, file.path);
    EXPECT_EQ(Frame(), kErrImageFileNotLoaded);
    EXPECT_EQ(Display().gBitmaps[1], nullptr);
  }
}

// Textures read BMP files through the DIB reader of the GDI stand-in, which must refuse them too.
TEST(HostileDibTest, BitmapsWithoutRowsOrColumnsAreRefusedAndOneRowLoads) {
  VX_HOSTILE_OR_SKIP(files);
  TempFolder temp;
  const auto load = [](const std::string& path) {
    return static_cast<win::HGDIOBJ>(win::LoadImageA(nullptr, path.c_str(), win::IMAGE_BITMAP, 0, 0,
                                                     win::LR_LOADFROMFILE | win::LR_CREATEDIBSECTION));
  };
  // Refused from its header: no memory is asked for the rows it declares.
  EXPECT_EQ(load(std::string(VX_HOSTILE_FIXTURES_DIR) + "/rows_missing.bmp"), nullptr);
  for (const char* name : {"height0.bmp", "width0.bmp"}) {
    const std::string path = std::string(VX_HOSTILE_FIXTURES_DIR) + "/" + name;
    EXPECT_EQ(load(path), nullptr) << name;
    // The same file with a row and a column of pixels is sound.
    std::vector<uint8_t> bytes = FileBytes(path);
    ASSERT_GE(bytes.size(), 26u);
    bytes[18] = bytes[18] ? bytes[18] : 1;
    bytes[22] = bytes[22] ? bytes[22] : 1;
    WriteBytes(temp.path() + name, bytes);
    win::HGDIOBJ bitmap = load(temp.path() + name);
    ASSERT_NE(bitmap, nullptr) << name;
    win::BITMAP info{};
    ASSERT_NE(win::GetObjectA(bitmap, sizeof info, &info), 0);
    EXPECT_GT(info.bmWidth * info.bmHeight, 0);
    win::DeleteObject(bitmap);
  }
}

}  // namespace
}  // namespace vx::test
