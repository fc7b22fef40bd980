// The SceneModel as the record pools see it, before the model files and their scene tree exist:
// a model is made empty and, holding no tree yet, has nothing to delete with it.
#include "engine3d/scene_model.h"

namespace vx {

SceneModel::SceneModel() : root(nullptr), frameCount(0), animationSet(nullptr) {}

SceneModel::~SceneModel() = default;

}  // namespace vx
