// The 3D engine's numbered items: 3D objects and their limbs, meshes and lights, one growable
// pool of each beside the shared ones (surfaces/surface_records.h), the number maps from the
// program's item numbers to slots, the reset at the start of every run, and the take/free
// operation of each kind with what a free releases. Also the end-of-frame ageing of images and
// textures and the focus hooks.
#pragma once
#include <cstdint>

#include "common/maths_types.h"
#include "common/record_pool.h"
#include "surfaces/surface_records.h"

namespace vx {

class SceneModel;
struct AnimationListNode;

// One limb of an object (25 words in the object's limb array).
struct ObjectLimbRecord {
  int32_t exists;
  int32_t visible;
  int32_t imageNumber;
  int32_t imageSlot;  // ImageRecord whose image textures the limb, 0 none
  float offsetX, offsetY, offsetZ;
  float angleX, angleY, angleZ;
  float scaleX, scaleY, scaleZ;
  int32_t onRoot;  // 1 while the limb hangs directly under the model's root
  int32_t meshSlot;
  int32_t meshWord;
  int32_t secondMeshSlot;
  int32_t textureSlot;     // TextureRecord made from the limb's image
  int32_t reserved;        // never set by a command
  float worldPosition[3];  // where the limb stood when the world matrices were last brought up to date
  float worldAngles[3];    // the way it faced then (radians)
};

// How an object is drawn, and what the frame's view test found for it.
struct ObjectDrawState {
  int32_t culled;  // 1 when the last view test put the object outside the view volume
  int32_t depthTest;
  int32_t depthWrite;
  int32_t overlay;    // drawn after the depth buffer is cleared
  int32_t ghost;      // alpha blending
  int32_t ghostMode;  // blend mode of the ghost, low 16 bits
  int32_t wireframe;
  int32_t culling;
  int32_t filtering;
  int32_t fullBright;
  int32_t fog;
  int32_t ambient;
  int32_t cameraLocked;
  int32_t addressMode;  // 1 wrap, 2 mirror, 3 clamp
  int32_t inFrame;      // the object takes part in this frame
  double viewDepth;     // view-space z plus culling radius, never below 0
};

// One 3D object.
struct ObjectRecord {
  int32_t next, previous;
  int32_t inUse;
  int32_t inStaticWorld;  // moved into the static world
  int32_t createdWord;    // 1 at creation
  int32_t itemSlot;       // its RenderItem, -1 none
  int32_t objectNumber;
  Vector3f position;
  Vector3f previousPosition;  // the position before this frame's commands ran
  ObjectDrawState draw;
  float angleX, angleY, angleZ;  // degrees
  float scaleX, scaleY, scaleZ;
  int32_t rotationOrder;  // 0 or 1
  int32_t freeRotation;   // free-rotation mode
  Matrix4f freeMatrix;
  int32_t gluedObject;  // object slot, 0 none
  int32_t gluedLimb;
  int32_t collisionOn;
  int32_t lastHit;
  SceneModel* model;  // null none; owned
  int32_t limbCount;
  float frameCount;
  int32_t playing;
  int32_t looping;
  float currentFrame;
  float speed;
  float startFrame, endFrame;
  int32_t blendPending;
  float blendFactor;
  void* blendArrays[6];     // std::malloc blocks, freed with the object
  int32_t blendTrackCount;  // tracks the blend arrays have room for
  float blendTargetFrame;
  float blendProgress;
  AnimationListNode* animationNode;  // null none
  Matrix4f* limbMatrices;            // the keyframe update's poses by frame id, kept between frames; std::malloc
  int32_t limbMatrixCount;
  int32_t collisionShape;
  float radius;
  Vector3f centre;
  float originRadius;
  float extentX, extentY, extentZ;
  uint8_t boxCollision;
  int32_t boxMode;
  float boxMin[3], boxMax[3], boxCentre[3];
  int32_t collisionPartner;
  int32_t watchedPartner;
  uint8_t watchedContact;  // a contact with the watched partner
  uint8_t boxModeByte;
  int32_t limbCapacity;     // 32 at creation
  ObjectLimbRecord* limbs;  // zero-filled std::calloc array of limbCapacity limbs
  float gridWidth, gridDepth;
  int32_t gridSegmentsX, gridSegmentsZ;
  int32_t tileCount, tilesAcross, tilesDown;
  uint8_t worldMatricesCurrent;  // frame matrices brought up to date in this frame
  int32_t gluedHolders;          // objects glued to this one, so that a delete unglues them only when there are some
};

// A mesh built in memory. The four arrays are GlobalAlloc blocks.
struct MeshRecord {
  int32_t next, previous;
  int32_t inUse;
  int32_t vertexCount;
  int32_t normalCount;
  int32_t faceCount;
  int32_t faceWordCount;  // 7 per face
  float* positions;       // 3 floats per vertex
  float* normals;         // 3 floats per vertex
  uint32_t* faces;
  float* textureCoords;  // 2 floats per vertex
  int32_t bounds[2][4];  // written by the .x reader
  int32_t gridWord;
};

// One 3D light.
struct LightRecord {
  int32_t next, previous;
  int32_t inUse;
  int32_t on;
  int32_t deviceEnabled;  // the device light of this index is enabled
  int32_t type;           // 1 point, 2 spot, 3 directional
  float positionX, positionY, positionZ;
  float angleX, angleY, angleZ;
  int32_t lightWord;
  Matrix4f matrix;
  float directionX, directionY, directionZ;
  float innerCone, outerCone;  // radians
  float red, green, blue;      // 0.0 to 1.0
  float range;
};

constexpr int32_t kInitialLimbCapacity = 32;

// Start-up: every pool at its initial capacity, zero-filled and chained. False when memory is short.
bool InitRecordPools();
// Shut-down: every texture let go (with force), whatever the records still own released, and the
// arrays freed.
void FreeRecordPools();
// Run set-up, after the display exists: pools emptied and chained, slot 0 of the image, object and
// texture pools and slots 0 and 1 of the mesh pool taken, the texture-name list emptied.
void ResetEngineRecords();
// Releases whatever the records still own, then zeroes every record, the number maps and the flags.
void ClearRecordPools();
// Chains every pool and takes mesh slot 0.
void ChainRecordPools();

// Take operations: the new slot, or kNoRecordSlot after kErrOutOfMemory.
uint32_t AllocObjectRecord();
uint32_t AllocMeshRecord();
uint32_t AllocLightRecord();
// Free operations: 1, or 0 (and nothing changes) when the slot is not in use.
int32_t FreeObjectRecord(uint32_t slot);
int32_t FreeMeshRecord(uint32_t slot);
int32_t FreeLightRecord(uint32_t slot);

// Frees the mesh's four arrays and clears their pointers.
void FreeMeshArrays(MeshRecord& mesh);

// Doubles the object's limb array when the limb index is above the capacity minus 4.
void GrowLimbArray(uint32_t objectSlot, int32_t limbIndex);
// Hangs the object on the target's limb, off whatever it hung on before.
void GlueObject(uint32_t objectSlot, uint32_t targetSlot, int32_t limb);
// Takes the object off the object it hangs on, if any.
void UnglueObject(uint32_t objectSlot);
// What an object owns: static-world parts, its glue and the glue of others to it, model, animation
// node, blend arrays, limb meshes and the limb array. Costs the same however many objects there are.
void ReleaseObjectContents(uint32_t objectSlot);
// The delete of the object commands: record, its RenderItem and its number.
void DeleteObjectRecord(uint32_t objectSlot, int32_t objectNumber);

// End of frame: images age, pending sprites count down, and after a texture refresh that followed
// freed background copies the objects' limbs take their images' textures again.
void AgeImagesAndTextures();

// Focus hooks of the window procedure.
void PauseMediaOnDeactivate();
void ResumeMediaOnActivate();

}  // namespace vx

// The state of this part is in EngineState (engine3d/engine_state.h), which uses the types above;
// ObjectOfItem, the object of an item, is there too.
#include "engine3d/engine_state.h"
