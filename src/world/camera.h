// The camera above and behind the creature, and the scenery drawn around the
// world: the planet and the slowly turning sky.
#pragma once

#include "engine/math.h"
#include "platform/graphics.h"
#include "world/chara.h"

namespace world {

struct Camera {
  engine::Vec3 eye, lookAt, up;
  engine::Matrix view, projection;
};

inline constexpr float kCameraFov = 1.0471976f;  // 60 degrees
inline constexpr float kCameraAspect = 1.3333334f;
inline constexpr float kCameraNear = 1.0f;
inline constexpr float kCameraFar = 1000.0f;
// The camera's distance from the planet's centre beyond the surface.
inline constexpr float kCameraAltitude = 8.0f;

// Where the camera stands for a creature at `rotation` heading `angle`
// degrees: the creature's own heading taken out (turning in place does not
// swing the camera), turned by `yaw` degrees about the creature, turned back
// over the sphere by `distance / R` degrees (the game's distance is a number
// of degrees times R, not an arc length), R + 8 from the centre, looking at
// the surface point under the creature.
Camera UpdateCamera(const engine::Quaternion& rotation, float angle, float yaw, float distance,
                    float R);
// Sets the camera's view and projection on the device.
void ApplyCamera(platform::Device& device, const Camera& camera);

// The planet at its scale, and the sky sphere (scale 50) turned `skyAngle`
// degrees about the world's Y axis. The caller switches lighting off for the
// sky.
void DrawPlanet(platform::Device& device, media::MeshManager& meshes, float scale);
void DrawSky(platform::Device& device, media::MeshManager& meshes, float skyAngle);

}  // namespace world
