// What a camera may be asked for, seen once the model is read: the values the renderers derive
// from the camera and the view (scales, depths) must stay within the 32-bit floats they store,
// and a single picture must have the model in front of its camera. Each check gives the message
// for the user, naming the options that placed the camera, or an empty text.
#pragma once

#include <string>

#include "camera_math.h"
#include "camera_views.h"
#include "options.h"

namespace quarvel {

// The model as the view operations placed it. The moves along its own x and y axes must keep its
// coordinates (and where they came from in the file) within a float's range, unless the model's
// own were not (`modelFinite` false). With the orthographic camera, the moves along z must leave
// its pixel scale, and its depth scale unless the model is flat as seen, within a float's range.
std::string PlacementRefusal(Scene& scene, const RenderOptions& o, bool modelFinite);

// A perspective camera (world to camera, OpenCV's axes, model file units) and the model's
// bounding sphere: each point of the sphere must be within a float's range of the camera, so
// that every depth it gives can be stored; with `mustSee`, part of it must be in front of the
// near plane. `camera` names the camera ("the camera", "pose 3"), `placedBy` lists the options
// that placed it, as typed (may be empty).
std::string PerspectiveRefusal(const Affine& worldToCamera, const ModelSphere& sphere,
                               const std::string& camera, const std::string& placedBy,
                               bool mustSee);

}  // namespace quarvel
