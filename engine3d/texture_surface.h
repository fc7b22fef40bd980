// The texture object inside a TextureRecord: its managed surface and palette and what it was made
// from. The display's texture operations (loading, fitting, mipmaps) work on it; the record pools
// need only its release and the clearing of its source.
#pragma once
#include <cstdint>

#include "engine3d/engine_services.h"

namespace vx {

struct TextureSurface {
  win::IDirectDrawSurface7* surface;  // managed texture surface, null when empty
  win::IDirectDrawPalette* palette;   // palette of an 8-bit texture, null otherwise
  int32_t sourceId;                   // ImageRecord slot it was made from (0 none, -1 not recorded)
  uint32_t sourceWidth;
  uint32_t sourceHeight;
  uint32_t textureWidth;   // power of two
  uint32_t textureHeight;  // power of two
  uint8_t dxt1;            // 1 when the surface holds a DXT1-compressed copy
  uint32_t mipMapped;      // 1 when the surface has a mip-map chain

  // Releases the surface and the palette and clears both; harmless when they are already gone.
  void ReleaseTexture() {
    ReleaseSurface(surface);
    ReleasePalette(palette);
  }
  void ClearTextureSourceInfo() {
    sourceId = 0;
    sourceWidth = sourceHeight = 0;
    textureWidth = textureHeight = 0;
  }
};

}  // namespace vx
