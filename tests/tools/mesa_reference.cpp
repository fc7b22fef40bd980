// Draws one of the reference scenes with Mesa's fixed-function OpenGL through OSMesa and writes
// it as a PPM picture: the outside picture the device's tests compare theirs with. A test tool,
// never part of the product.
//
//   vx_mesa_reference SCENE OUT.ppm
//
// OpenGL samples pixel centres half a pixel away from where Direct3D does; the projection is
// moved by that half pixel so that both sample the same points.
#include <GL/gl.h>
#include <GL/osmesa.h>

#include <cstdio>
#include <cstring>

#include "tests/support/gl_texture.h"
#include "tests/support/reference_scenes.h"

namespace {

using vx::test::ReferenceScene;

void Colour(uint32_t argb, float* out) {
  out[0] = float((argb >> 16) & 0xFF) / 255.0f;
  out[1] = float((argb >> 8) & 0xFF) / 255.0f;
  out[2] = float(argb & 0xFF) / 255.0f;
  out[3] = float(argb >> 24) / 255.0f;
}

bool Draw(const ReferenceScene& scene, std::vector<uint32_t>* pixels) {
  std::vector<uint8_t> frame(size_t(scene.width) * scene.height * 4);
  OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
  if (!context || !OSMesaMakeCurrent(context, frame.data(), GL_UNSIGNED_BYTE, scene.width, scene.height)) return false;
  glViewport(0, 0, scene.width, scene.height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glTranslatef(1.0f / float(scene.width), -1.0f / float(scene.height), 0);
  const double t = std::tan(scene.fovY / 2) * scene.zNear, r = t * scene.width / scene.height;
  glFrustum(-r, r, -t, t, scene.zNear, scene.zFar);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  const float white[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 1};
  const float position[4] = {scene.light[0], scene.light[1], scene.light[2], scene.pointLight ? 1.0f : 0.0f};
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightfv(GL_LIGHT0, GL_SPECULAR, none);
  glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, scene.pointLight ? scene.attenuation[0] : 1.0f);
  glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, scene.pointLight ? scene.attenuation[1] : 0.0f);
  glLightf(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, scene.pointLight ? scene.attenuation[2] : 0.0f);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glShadeModel(GL_SMOOTH);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (scene.fog) {
    float fog[4];
    Colour(scene.fogColour, fog);
    glEnable(GL_FOG);
    glFogfv(GL_FOG_COLOR, fog);
    glFogi(GL_FOG_MODE, scene.fog == 1 ? GL_LINEAR : GL_EXP);
    glFogf(GL_FOG_START, scene.fogStart);
    glFogf(GL_FOG_END, scene.fogEnd);
    glFogf(GL_FOG_DENSITY, scene.fogDensity);
    glHint(GL_FOG_HINT, GL_FASTEST);
  }
  if (!scene.texture.empty()) vx::test::UploadModulatedTexture(16, 16, scene.texture);
  float clear[4];
  Colour(scene.clear, clear);
  glClearColor(clear[0], clear[1], clear[2], clear[3]);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  for (const vx::test::SceneMesh& mesh : scene.meshes) {
    const float ambient[4] = {scene.ambient, scene.ambient, scene.ambient, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, mesh.diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
    if (mesh.diffuse[3] < 1.0f) {
      glEnable(GL_BLEND);
    } else {
      glDisable(GL_BLEND);
    }
    if (mesh.textured) {
      glEnable(GL_TEXTURE_2D);
    } else {
      glDisable(GL_TEXTURE_2D);
    }
    glLoadMatrixf(mesh.world);
    const vx::test::SceneVertex* v = mesh.vertices.data();
    glVertexPointer(3, GL_FLOAT, sizeof *v, &v->x);
    glNormalPointer(GL_FLOAT, sizeof *v, &v->nx);
    glTexCoordPointer(2, GL_FLOAT, sizeof *v, &v->u);
    glDrawElements(GL_TRIANGLES, GLsizei(mesh.indices.size()), GL_UNSIGNED_SHORT, mesh.indices.data());
  }
  glFinish();
  pixels->resize(size_t(scene.width) * scene.height);
  for (int y = 0; y < scene.height; ++y) {
    const uint8_t* row = frame.data() + size_t(scene.height - 1 - y) * scene.width * 4;  // bottom row first
    for (int x = 0; x < scene.width; ++x) {
      const uint8_t* p = row + x * 4;
      (*pixels)[size_t(y) * scene.width + x] = 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
  }
  OSMesaDestroyContext(context);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vx_mesa_reference SCENE OUT.ppm\n");
    return 2;
  }
  for (const ReferenceScene& scene : vx::test::ReferenceScenes()) {
    if (scene.name != argv[1]) continue;
    std::vector<uint32_t> pixels;
    if (!Draw(scene, &pixels)) {
      std::fprintf(stderr, "vx_mesa_reference: OSMesa could not draw\n");
      return 1;
    }
    const std::string ppm = vx::test::EncodePpm(scene.width, scene.height, pixels);
    FILE* file = std::fopen(argv[2], "wb");
    if (!file || std::fwrite(ppm.data(), 1, ppm.size(), file) != ppm.size()) {
      std::fprintf(stderr, "vx_mesa_reference: cannot write %s\n", argv[2]);
      return 1;
    }
    std::fclose(file);
    return 0;
  }
  std::fprintf(stderr, "vx_mesa_reference: no scene %s\n", argv[1]);
  return 2;
}
