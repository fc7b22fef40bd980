// Fuzz targets: each runs one input of bytes through one reader of the system the way a user's
// file reaches it (a program image, a game's attached files, BASIC source, a settings file, an
// image file by its ending, a DIB, a static world file, a film, a model file). libFuzzer drives
// them (fuzz/libfuzzer_main.cpp); the replay test runs every file of fuzz/corpus/NAME/ and
// fuzz/crashes/NAME/ through them in make test, so whatever a fuzzer once found stays fixed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vx::fuzz {

using FuzzTarget = void (*)(const uint8_t* data, size_t size);

struct FuzzTargetEntry {
  const char* name;  // also the folder of its corpus and of its crashes
  FuzzTarget run;
};

// Every target. A new reader gets its target by adding one line to the list in fuzz_targets.cpp;
// make fuzz and the replay test find it there.
std::span<const FuzzTargetEntry> FuzzTargets();
const FuzzTargetEntry* FindFuzzTarget(std::string_view name);

// The targets, by the reader they drive.
void FuzzProgramImage(const uint8_t* data, size_t size);
void FuzzAttachedFiles(const uint8_t* data, size_t size);
void FuzzCompiler(const uint8_t* data, size_t size);
void FuzzCompileAndRun(const uint8_t* data, size_t size);
void FuzzProfile(const uint8_t* data, size_t size);
void FuzzDib(const uint8_t* data, size_t size);
// A static world file through the loader into the engine's world.
void FuzzStaticWorld(const uint8_t* data, size_t size);
// A .x file loaded as a model and read as mesh data; the same over what the target compresses
// itself; an animation file read into a model and appended to it; a .3ds file converted and the
// result loaded.
void FuzzXModel(const uint8_t* data, size_t size);
void FuzzXCompressed(const uint8_t* data, size_t size);
void FuzzXAnimation(const uint8_t* data, size_t size);
void FuzzThreeDs(const uint8_t* data, size_t size);
// A film opened from memory and from a file, and one played frame by frame onto a surface with its
// sound track.
void FuzzFilmOpen(const uint8_t* data, size_t size);
void FuzzFilmPlay(const uint8_t* data, size_t size);
// An image file through the image context under a name with this ending.
void FuzzImageFile(std::string_view ending, const uint8_t* data, size_t size);

// A private folder for the targets' work files (ending with '/'), made on first use and removed at
// exit; also the temporary folder of the runtime.
const std::string& FuzzWorkFolder();
// Writes the input as the file that a target hands to its reader.
void WriteFuzzInput(const std::string& path, const uint8_t* data, size_t size);

}  // namespace vx::fuzz
