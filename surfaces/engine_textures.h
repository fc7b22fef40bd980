// The shared textures of images and 3D objects. Every texture lives in a TextureRecord and is
// shared through the texture-name list (surfaces/texture_names.h): file textures by file name,
// one-colour textures by their colour written as decimal text, and the texture of a grabbed image
// by that image. This is where textures are found or made (from files in the attached files, the
// model's folder or with the ".dds" ending; from colours; from images), given up, and looked after
// across display changes.
#pragma once
#include <cstdint>
#include <string>

#include "surfaces/surface_hooks.h"
#include "surfaces/surface_records.h"
#include "surfaces/texture_names.h"

namespace vx {

// The shared texture of a file name or, with a null name, of a colour (0xRRGGBB). Mode 1 looks
// attached files up by full path, mode 0 by base name. The TextureRecord slot, or 0 when the file
// can't be loaded or the texture made.
uint32_t FindOrCreateTexture(const char* name, int32_t colour, int32_t mode);
// The name such a texture is found by in the texture-name list.
std::string TextureNameKey(const char* name, int32_t colour, int32_t mode);
uint32_t LoadTextureFile(const char* name, int32_t mode);
uint32_t GetColorTexture(int32_t colour);
// The texture of an image: with makeNew 0 its existing texture gets one more use; otherwise (or
// when it has none) a new texture is made from the image's surface. The slot, or 0 when the image
// has no surface or no texture can be made of it.
uint32_t GetImageTexture(uint32_t imageSlot, int32_t colourKey, int32_t makeNew);
// The shared texture of an image (one more use), 0 when none can be had: GetImageTexture (image,
// colourKey, 0).
uint32_t GetSharedImageTexture(uint32_t imageSlot, int32_t colourKey);

// Fills a taken TextureRecord from an image file (the name, else the name ending in "dds"). 1, or 0.
int32_t LoadTextureFromFile(uint32_t textureSlot, const std::string& name, int32_t unused, int32_t mode);

// The image's texture made again from its surface after a grab.
void UpdateImageTexture(uint32_t imageSlot, int32_t colourKey, int32_t mipmaps);

// 1 when the texture has mip-maps afterwards.
int32_t BuildTextureMipmaps(uint32_t textureSlot, int32_t digit);
// Remakes the texture with black transparent; 1 when it worked.
int32_t ApplyTextureColorKey(uint32_t textureSlot);

// Device change: every texture surface is released (the records and names stay).
void ReleaseAllTextureSurfaces();
// Restores texture surfaces in slot order until one restore works; that one marks the program
// inactive unless it is always active. 1 then, else 0.
int32_t FindLostTextureSurface();
// Display re-initialisation: every image gives up its texture and its surface...
void ReleaseAllImageTextures();
// ...or only its texture.
void ReleaseImageTextureLinks();

}  // namespace vx
