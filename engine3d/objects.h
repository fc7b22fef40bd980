// 3D objects and their models: loading .x and .3ds files into an object's scene tree, setting up a
// new object's records (render item, limbs, bounds, collision box), instancing an object, building
// objects from mesh records, the frame transform of an object, the sharing of one scene tree by an
// object and its instances, the services the model code asks of the engine, and the object
// collision bookkeeping over the collision library.
#pragma once
#include <cstdint>
#include <string>

#include "collision/collision.h"
#include "common/maths_types.h"
#include "engine3d/engine_state.h"
#include "models/model_services.h"

namespace vx {

class SceneModel;
struct MeshRecord;
struct ObjectLimbRecord;

// Load results besides a positive limb count: 0 the model could not be read.
constexpr int32_t kLoadUnsupportedEnding = -1;
constexpr int32_t kLoadFileMissing = -4;

// --- Sharing of scene trees -----------------------------------------------------------------------
// An object and its instances draw with one tree; it goes with its last user, with its textures.
void ShareModel(SceneModel* model);
void DropModel(SceneModel* model);
int32_t ModelUserCount(const SceneModel* model);

// --- Engine services for the model code -----------------------------------------------------------
// Registered at every run set-up: textures by name through the engine's shared textures, stage
// textures, and the Direct3D object for vertex buffers.
void RegisterModelServices();
// The record's arrays as the model code takes them.
MeshRecordView ViewOfMesh(const MeshRecord& mesh);

// --- Loading -------------------------------------------------------------------------------------------
// A name's folder (up to its last separator, "" without one) and ending (after its last dot, ""
// when the dot is the first character or there is none).
std::string ModelFolderOf(const std::string& lowercased);
std::string FileEndingOf(const std::string& lowercased);
int32_t LoadModelFile(uint32_t objectSlot, const std::string& fileName);
// The file read may stand in for another (an attached file's copy, a converted .3ds file): failures
// are logged under `shownName`, the name the program gave, when one is given.
int32_t LoadXModelIntoObject(uint32_t objectSlot, const std::string& path, const std::string& shownName = {});
int32_t LoadThreeDsModelIntoObject(uint32_t objectSlot, const std::string& ending, const std::string& path,
                                   const std::string& shownName = {});
// Negative on failure, with `why` (when given) saying what went wrong.
int32_t ConvertThreeDsFile(const std::string& source, const std::string& output, std::string* why = nullptr);

// --- Objects ---------------------------------------------------------------------------------------------
void ResetLimbRecord(ObjectLimbRecord& limb);
// Sets up a newly loaded or built object; the new RenderItem slot (kNoRecordSlot when none could
// be taken).
uint32_t BuildObjectRecords(uint32_t objectSlot, int32_t placeCamera);
// The whole load of an object number; raises the load's runtime errors.
void LoadObject(const std::string& fileName, int32_t objectNumber);
// A new object drawing with the source's tree; raises 7006 or 7008.
void InstanceObject(int32_t sourceNumber, int32_t newNumber);
int32_t BuildObjectFromMesh(uint32_t objectSlot, uint32_t meshSlot, uint32_t textureSlot);
int32_t AddLimbMesh(uint32_t objectSlot, int32_t limb, uint32_t meshSlot);
int32_t ReplaceLimbMesh(uint32_t objectSlot, int32_t limb, uint32_t meshSlot);
// The root frame of the object's model from its position, angles (or free rotation) and scale.
void UpdateObjectFrame(uint32_t objectSlot);
// The object slot of a number, 0 when none (numbers outside 1..65535 give 0).
uint32_t ObjectSlotOf(int32_t objectNumber);

// --- Collision -------------------------------------------------------------------------------------------
void CollisionPairCallback(void* clientData, CollisionId a, CollisionId b);
int32_t UpdateObjectCollisions();

}  // namespace vx
