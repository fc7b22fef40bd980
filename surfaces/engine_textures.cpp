// Finding, making, sharing and giving up the engine's textures. The surface work is
// surfaces/texture_surface.cpp; the sharing is the texture-name list of surfaces/texture_names.cpp.
#include "surfaces/engine_textures.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "common/host_state.h"
#include "common/runtime_hooks.h"
#include "surfaces/display_state.h"
#include "surfaces/surface_records.h"
#include "surfaces/texture_surface.h"
#include "system/file_functions.h"
#include "system/system_state.h"

namespace vx {

namespace {

// Loads the found file into the record: BMP files through GDI with black transparent, the rest
// through the image context.
int32_t LoadFoundTexture(uint32_t textureSlot, const std::string& path, const std::string& ending) {
  TextureSurface& texture = Records().gTextureRecords[textureSlot].texture;
  if (strcasecmp(ending.c_str(), "bmp") == 0) return LoadTextureBitmap(texture, Display().gD3DDevice, path, 1);
  return LoadTextureImage(texture, path) == 0 ? 1 : 0;
}

std::string LastThree(const std::string& name) { return name.size() >= 3 ? name.substr(name.size() - 3) : name; }

}  // namespace

std::string TextureNameKey(const char* name, int32_t colour, int32_t mode) {
  // Files and colours are keyed apart, so that a file named like a number never stands for a
  // colour; a file named inside a model is keyed by the path it is looked for at, so that two
  // models' folders may each hold a file of the same name.
  return name ? "file:" + (mode == 0 ? Records().gModelFolder : std::string()) + name
              : "colour:" + std::to_string(colour);
}

uint32_t FindOrCreateTexture(const char* name, int32_t colour, int32_t mode) {
  const std::string key = TextureNameKey(name, colour, mode);
  if (TextureNameEntry* hit = FindTextureName(key)) {
    ++hit->useCount;
    return hit->textureSlot;
  }
  const uint32_t slot = AllocTextureRecord();
  if (slot == kNoRecordSlot) return 0;
  const int32_t made =
      name ? LoadTextureFromFile(slot, name, 1, mode)
           : CreateColorTexture(Records().gTextureRecords[slot].texture, Display().gD3DDevice, uint32_t(colour));
  if (!made) {
    FreeTextureRecord(slot);
    return 0;
  }
  AddTextureName(slot, key);
  return slot;
}

uint32_t LoadTextureFile(const char* name, int32_t mode) { return FindOrCreateTexture(name, 0, mode); }

uint32_t GetColorTexture(int32_t colour) { return FindOrCreateTexture(nullptr, colour, 0); }

uint32_t GetImageTexture(uint32_t imageSlot, int32_t colourKey, int32_t makeNew) {
  if (!Records().gImageRecords.IsTaken(imageSlot)) return 0;
  const int32_t existing = Records().gImageRecords[imageSlot].textureSlot;
  if (existing > 0 && makeNew == 0 && AddTextureUse(uint32_t(existing))) return uint32_t(existing);
  if (!Records().gImageRecords[imageSlot].surface) return 0;

  const uint32_t slot = AllocTextureRecord();
  if (slot == kNoRecordSlot) return 0;
  // Taken after the allocation: a grown pool moves its records.
  if (!CreateTextureFromSurface(Records().gTextureRecords[slot].texture, Display().gD3DDevice, int32_t(imageSlot),
                                Records().gImageRecords[imageSlot].surface, colourKey, makeNew, 0)) {
    FreeTextureRecord(slot);
    return 0;
  }
  AddTextureName(slot, "");
  Records().gImageRecords[imageSlot].textureSlot = int32_t(slot);
  return slot;
}

uint32_t GetSharedImageTexture(uint32_t imageSlot, int32_t colourKey) {
  return GetImageTexture(imageSlot, colourKey, 0);
}

int32_t LoadTextureFromFile(uint32_t textureSlot, const std::string& name, int32_t, int32_t mode) {
  if (!Records().gTextureRecords.IsTaken(textureSlot)) return 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string wanted = name;
    if (attempt == 1) {
      if (name.size() < 3) break;
      wanted = name.substr(0, name.size() - 3) + "dds";
    }
    const std::string ending = LastThree(wanted);
    std::string path = wanted;
    const bool attached = mode == 1 ? ResolveVirtualFile(path, VirtualFileEnding(wanted))
                                    : ResolveVirtualFileByName(path, VirtualFileEnding(wanted));
    if (attached) return LoadFoundTexture(textureSlot, path, ending);
    path = Records().gModelFolder + wanted;
    if (FileExists(path)) return LoadFoundTexture(textureSlot, path, ending);
  }
  return 0;
}

void UpdateImageTexture(uint32_t imageSlot, int32_t colourKey, int32_t mipmaps) {
  if (!Records().gImageRecords.IsTaken(imageSlot)) return;
  const ImageRecord& image = Records().gImageRecords[imageSlot];
  const int32_t slot = image.textureSlot;
  if (slot <= 0 || !Records().gTextureRecords.IsTaken(uint32_t(slot))) return;
  TextureSurface& texture = Records().gTextureRecords[uint32_t(slot)].texture;
  if (uint32_t(image.width) == texture.sourceWidth && uint32_t(image.height) == texture.sourceHeight &&
      uint32_t(mipmaps) == texture.mipMapped) {
    UpdateTextureFromSurface(texture, image.surface, uint32_t(image.width), uint32_t(image.height));
    return;
  }
  texture.ReleaseTexture();
  CreateTextureFromSurface(texture, Display().gD3DDevice, int32_t(imageSlot), image.surface, colourKey, mipmaps, 0);
}

int32_t BuildTextureMipmaps(uint32_t textureSlot, int32_t digit) {
  if (!Records().gTextureRecords.IsTaken(textureSlot)) return 0;
  return MakeTextureMipmaps(Records().gTextureRecords[textureSlot].texture, digit) == 1 ? 1 : 0;
}

int32_t ApplyTextureColorKey(uint32_t textureSlot) {
  if (!Records().gTextureRecords.IsTaken(textureSlot)) return 0;
  return RecreateTextureWithColorKey(Records().gTextureRecords[textureSlot].texture) == 1 ? 1 : 0;
}

void ReleaseAllTextureSurfaces() {
  for (int32_t s = 0; s < Records().gTextureRecords.capacity; ++s) ReleaseTextureSurface(uint32_t(s));
}

int32_t FindLostTextureSurface() {
  for (int32_t s = 0; s < Records().gTextureRecords.capacity; ++s) {
    if (!RestoreTextureSurface(Records().gTextureRecords.records[s].texture)) continue;
    PauseProgram();
    return 1;
  }
  return 0;
}

namespace {

void ReleaseImageTextures(bool clearImages) {
  Records().gImageRecords.ForEachUsed([clearImages](uint32_t slot) {
    const int32_t texture = Records().gImageRecords[slot].textureSlot;
    if (texture > 0) ReleaseTextureSlot(uint32_t(texture), 0);
    ImageRecord& image = Records().gImageRecords[slot];
    image.textureSlot = 0;
    if (!clearImages) return;
    image.valid = 0;
    ReleaseSurface(image.surface);
    image.width = image.height = 0;
    image.imageWidth = image.imageHeight = 0;
    image.madeWidth = image.madeHeight = 0;
  });
  Records().gTextureRefreshFlag = 1;
}

}  // namespace

void ReleaseAllImageTextures() { ReleaseImageTextures(true); }

void ReleaseImageTextureLinks() { ReleaseImageTextures(false); }

}  // namespace vx
