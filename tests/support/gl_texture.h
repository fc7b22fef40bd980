// One texture for Mesa's fixed-function OpenGL, as the tools that draw reference pictures use it:
// 0xAARRGGBB texels, linear filtering, repeated, modulating the lit colour. Header-only; the
// includer links OpenGL.
#pragma once
#include <GL/gl.h>

#include <cstdint>
#include <vector>

namespace vx::test {

inline void UploadModulatedTexture(int width, int height, const std::vector<uint32_t>& argb) {
  std::vector<uint8_t> rgba;
  rgba.reserve(argb.size() * 4);
  for (const uint32_t p : argb)
    rgba.insert(rgba.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

}  // namespace vx::test
