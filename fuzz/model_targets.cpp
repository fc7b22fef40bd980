// Fuzz targets of the model files: a .x file loaded as a model (then measured, its geometry copied
// and its animation written out and read back), read as mesh data, read as an animation into a
// model and appended to one; the same readers over data compressed here, so that what lies inside
// valid MSZIP blocks is reached; and a .3ds file through the converter, whose .x the reader must
// then take.
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"
#include "models/scene_model.h"

namespace vx::fuzz {

namespace {

// The model that animation inputs are read into: frames named as animations name them.
constexpr char kAnimatedModel[] = R"(xof 0303txt 0032
Frame Hip {
 FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,1.0,0.0,1.0;; }
 Frame Knee {
  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,-1.0,0.0,1.0;; }
  Mesh Shin { 3; 0.0;0.0;0.0;, 0.0;-1.0;0.0;, 0.5;-1.0;0.0;; 1; 3;0,1,2;; }
 }
 Frame Still { }
}
)";

// What the engine asks of a loaded model.
void UseModel(SceneModel& model) {
  Vector3f centre;
  float radius = 0;
  model.GetBoundingSphere(centre, radius);
  model.GetOriginBoundingSphere(centre, radius);
  MeshCopy copy;
  model.CopyMeshData(copy, -1, -1);
  Matrix4f matrix;
  for (int32_t frame = 0; frame < std::min(model.frameCount, 64); ++frame) model.GetMatrixById(frame, matrix);
}

// The text, binary or compressed file that `body` stands for: the first byte picks the form
// and the size of the MSZIP blocks, the rest is what follows the header.
std::vector<uint8_t> Compressed(const uint8_t* data, size_t size) {
  const bool binary = data[0] & 1;
  const size_t block = size_t(256) << ((data[0] >> 1) & 7);
  std::vector<uint8_t> out;
  const char* header = binary ? "xof 0303bzip0032" : "xof 0303tzip0032";
  out.insert(out.end(), header, header + 16);
  const uint32_t stated = uint32_t(size - 1 + 16);
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(stated >> (8 * i)));
  const uint8_t* body = data + 1;
  const size_t bodySize = size - 1;
  for (size_t at = 0; at < bodySize; at += block) {
    const size_t length = std::min(block, bodySize - at);
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
    // Each block is made against the one before, as the reader inflates it.
    if (at > 0) deflateSetDictionary(&zs, body + at - block, uInt(block));
    std::vector<uint8_t> packed(deflateBound(&zs, uLong(length)) + 16);
    zs.next_in = const_cast<Bytef*>(body + at);
    zs.avail_in = uInt(length);
    zs.next_out = packed.data();
    zs.avail_out = uInt(packed.size());
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END) std::abort();
    const size_t packedSize = packed.size() - zs.avail_out;
    deflateEnd(&zs);
    const size_t blockIn = packedSize + 2;
    for (const size_t word : {length, blockIn}) {
      out.push_back(uint8_t(word));
      out.push_back(uint8_t(word >> 8));
    }
    out.push_back('C');
    out.push_back('K');
    out.insert(out.end(), packed.begin(), packed.begin() + std::ptrdiff_t(packedSize));
  }
  return out;
}

void ReadAsModelAndMesh(const uint8_t* data, size_t size) {
  const std::string path = FuzzWorkFolder() + "model.x";
  WriteFuzzInput(path, data, size);
  SceneModel model;
  if (model.LoadX(path) == kModelOk) {
    UseModel(model);
    // Its animation written out and read back in, as saving and appending animation do.
    const std::string written = FuzzWorkFolder() + "written.x";
    if (model.WriteAnimation(written) == kModelOk) ReadXAnimationIntoModel(model, written, 0, 0);
  }
  MeshCopy mesh;
  std::string error;
  ReadXMeshData(data, size, mesh, error);
}

}  // namespace

void FuzzXModel(const uint8_t* data, size_t size) { ReadAsModelAndMesh(data, size); }

void FuzzXCompressed(const uint8_t* data, size_t size) {
  // Blocks hold at most 64 KB; so many of them make no new case.
  if (size < 1 || size > (1u << 20)) return;
  const std::vector<uint8_t> file = Compressed(data, size);
  ReadAsModelAndMesh(file.data(), file.size());
}

void FuzzXAnimation(const uint8_t* data, size_t size) {
  const std::string modelPath = FuzzWorkFolder() + "animated.x";
  const std::string animationPath = FuzzWorkFolder() + "animation.x";
  WriteFuzzInput(modelPath, reinterpret_cast<const uint8_t*>(kAnimatedModel), std::strlen(kAnimatedModel));
  WriteFuzzInput(animationPath, data, size);
  SceneModel model;
  if (model.LoadX(modelPath) != kModelOk) std::abort();
  ReadXAnimationIntoModel(model, animationPath, 0, 0);
  AppendXAnimationFile(model, modelPath, animationPath, 0, 30, FuzzWorkFolder());
  UseModel(model);
}

void FuzzThreeDs(const uint8_t* data, size_t size) {
  const std::string source = FuzzWorkFolder() + "model.3ds";
  const std::string converted = FuzzWorkFolder() + "converted.x";
  WriteFuzzInput(source, data, size);
  std::string error;
  if (ConvertThreeDsToX(source, converted, &error) < 0) return;
  // What the converter writes, the reader takes.
  SceneModel model;
  if (model.LoadX(converted, error) != kModelOk) std::abort();
  UseModel(model);
}

}  // namespace vx::fuzz
