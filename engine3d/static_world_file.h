// The static world file: the texture groups with their parts, then the collision boxes, written and
// read field by field in little-endian order (no header). Each group's texture is written beside
// the file as a DXT1 ".dds" file named after the world file and the group's texture number.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine3d/static_world.h"

namespace vx {

// Larger files are refused before they are read.
constexpr size_t kMaxStaticWorldFileBytes = size_t(256) << 20;

// "level.dat" with texture number 3 gives "level.dat_3.dds".
std::string StaticTextureFileName(const std::string& worldFile, uint32_t textureNumber);

// The bytes of a world; each group is written under its texture slot number.
std::vector<uint8_t> EncodeStaticWorld(const StaticGeometry& geometry);
// The world the bytes hold, its groups still under the texture numbers of the file (no texture is
// touched); nullopt when the bytes end early, a marker is neither 0 nor 1, a count is larger than
// what is left of the file, a part has more vertices than 16-bit indices reach, or its indices are
// not whole triangles of its own vertices. Bytes after the last marker are ignored.
std::optional<StaticGeometry> DecodeStaticWorld(std::span<const uint8_t> bytes);

// Writes the world to the file (through a temporary, so a smaller world leaves nothing of an older
// file) and each group's texture beside it. 1 when the file was written, else 0.
int32_t WriteStaticWorldFile(const std::string& fileName);
// Reads the world of the file at `path` into a new world and swaps it in for the old one. The
// textures are named after `textureName`, the world's name as the program gave it, and found in
// the texture-name list (letter case aside), the attached files or beside the program. 1 when read;
// 0 when the file is missing (an empty file of that name is made), empty, or damaged; the old world
// then stays.
int32_t ReadStaticWorldFile(const std::string& path, const std::string& textureName);

// The file calls of the load and save commands. The load takes the world from the attached files
// of a standalone game when they hold it; the save writes nothing (0) while the world is empty.
int32_t LoadStaticWorldFile(const char* fileName);
int32_t SaveStaticWorldFile(const char* fileName);

}  // namespace vx
