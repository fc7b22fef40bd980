// Keyframe animation of 3D objects: the end-of-frame update that advances every animated object's
// current frame and poses its limbs from the keys of its model's animation set (blending from one
// pose into another when asked), the key interpolation, and the recording, deleting and loading
// of keys. The play, loop and blend commands set up what this plays (animation_commands.cpp).
//
// Keys are applied by the frame id of their track, so a set that animates some frames leaves the
// others as they are; the root frame, which places the object, is never animated.
#pragma once
#include <cstdint>
#include <string>

#include "common/maths_types.h"

namespace vx {

class AnimationSet;
struct RotationKey;
struct VectorKey;

// A rotation as the keys hold it: the scalar part, then x, y, z.
struct Quaternion {
  float s, x, y, z;
};

// --- The animated-objects list ---------------------------------------------------------------------
// Adds the object's node at the end of the list (it becomes the head of an empty list).
void AddToAnimatedList(uint32_t objectSlot);
// Playing and looping end, and the object's node leaves the list whenever it has one.
void StopObjectAnimation(uint32_t objectSlot);

// --- The end of the frame ----------------------------------------------------------------------------
// Advances every listed object that is not in the static world and poses its limbs.
void AdvanceAnimations();
// Poses the object's limbs at its current frame (and its pending blend) from the set's keys.
void UpdateObjectAnimation(uint32_t objectSlot, const AnimationSet* set);

// --- Interpolation -----------------------------------------------------------------------------------
// The rotation at a frame between the keys around it; before the first key time and from the last
// key time on, the last key.
Quaternion SlerpRotationKey(int32_t count, const RotationKey* keys, float frame);
// The vector at a frame between the keys around it; before the first key the first key, from the
// last key time on the last key.
Vector3f InterpolateVectorKeys(int32_t count, const VectorKey* keys, float frame);
Vector3f LerpVector(const Vector3f& a, const Vector3f& b, float t);
// The spherical blend of two rotations along the shorter way round.
Quaternion QuaternionSlerp(const Quaternion& a, const Quaternion& b, float t);
// The rotation matrix of a key's quaternion (normalised first; a zero quaternion is no rotation).
Matrix4f MatrixFromQuaternion(const Quaternion& q);

// --- Blends --------------------------------------------------------------------------------------------
// The object's six blend arrays with room for `tracks` tracks: kept when they have it, made again
// (zero-filled) when not. False (and no arrays) when memory is short.
bool EnsureBlendArrays(uint32_t objectSlot, int32_t tracks);

// --- Keys -------------------------------------------------------------------------------------------------
// Reads an animation file's keys into the object's set from the start frame. 1, or 0 when the
// object has no model or the file can't be read.
int32_t LoadAnimationFile(uint32_t objectSlot, const std::string& fileName, int32_t startFrame);
// Frame count and end frame = the latest key time of the set (0 without one).
void RecountFrames(const AnimationSet* set, uint32_t objectSlot);
// A new set with one track per existing limb from limb 1, each holding the limb's current pose at
// time 0; attached to the object's model. Null when the object has no model.
AnimationSet* CreateAnimationSet(uint32_t objectSlot);
// Every track's keys become one rotation key and one position key at time 0: its limb's pose.
void ResetTracksToCurrentPose(AnimationSet& set, uint32_t objectSlot);
// Stores every limb's current pose as keys at the frame (replacing keys of that time; a new time
// from frame 1 on is inserted in order). The larger of the object's frame count and the frame.
int32_t SetKeyframe(AnimationSet& set, uint32_t objectSlot, int32_t frame);
// Removes the keys at the frame (not at frame 0), keeping at least one key of each kind a track has.
void DeleteKeyframe(AnimationSet& set, int32_t frame);

}  // namespace vx
