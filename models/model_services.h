// What the model code needs of the 3D engine, as plain data and one small callback interface, so
// that this library sits below the engine: textures by file name and by slot, and the Direct3D
// object that makes vertex buffers. The engine registers its implementation once at start-up;
// without one, models load without textures and draw nothing.
#pragma once
#include <cstdint>
#include <string>

namespace vx {

namespace win {
class Direct3D;
class Direct3DDevice;
}  // namespace win

class ModelServices {
 public:
  virtual ~ModelServices() = default;
  // The texture for a file name met in a model file (the engine looks in the model's folder and
  // the attached files); 0 when it cannot be loaded. Each call is one use of the texture.
  virtual uint32_t LoadTexture(const std::string& fileName) = 0;
  // Gives up one use of a texture that a mesh held before it was given another.
  virtual void ReleaseTexture(uint32_t textureSlot) = 0;
  // The Direct3D object that makes vertex buffers; null while there is no display.
  virtual win::Direct3D* Direct3DForBuffers() = 0;
};

// Registers the engine's services; null unregisters them.
void SetModelServices(ModelServices* services);
ModelServices* GetModelServices();

// A mesh record's arrays as the engine keeps them: positions and normals of three floats per
// vertex, two texture coordinates per vertex, and a face list of 3 followed by three pairs of
// vertex and normal index per face.
struct MeshRecordView {
  uint32_t vertexCount = 0;
  uint32_t normalCount = 0;
  uint32_t faceCount = 0;
  const float* positions = nullptr;
  const float* normals = nullptr;
  const uint32_t* faces = nullptr;
  const float* textureCoords = nullptr;
};

}  // namespace vx
