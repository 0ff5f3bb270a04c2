#include "world/camera.h"

#include "media/mesh_manager.h"
#include "media/paths.h"
#include "world/culling.h"

namespace world {

using engine::Quaternion;
using engine::QuaternionMultiply;
using engine::QuaternionRotationAxis;
using engine::Vec3;

Camera UpdateCamera(const Quaternion& rotation, float angle, float yaw, float distance, float R) {
  Quaternion q = rotation;
  q = QuaternionMultiply(q, QuaternionRotationAxis(Up(q), -angle * engine::kDegToRad));
  q = QuaternionMultiply(q, QuaternionRotationAxis(Up(q), yaw * engine::kDegToRad));
  const Vec3 right = engine::Vec3Cross(Up(q), Forward(q));
  q = QuaternionMultiply(q, QuaternionRotationAxis(right, -(distance / R) * engine::kDegToRad));

  Camera c;
  c.up = Up(q);
  c.eye = c.up * (R + kCameraAltitude);
  const Quaternion under = QuaternionMultiply(rotation, ForwardArcRotation(rotation, 0.0f, R));
  c.lookAt = Up(under) * R;
  c.view = engine::MatrixLookAtLH(c.eye, c.lookAt, c.up);
  c.projection = engine::MatrixPerspectiveFovLH(kCameraFov, kCameraAspect, kCameraNear, kCameraFar);
  return c;
}

void ApplyCamera(platform::Device& device, const Camera& camera) {
  device.SetTransform(platform::TransformState::View, camera.view);
  device.SetTransform(platform::TransformState::Projection, camera.projection);
}

void DrawPlanet(platform::Device& device, media::MeshManager& meshes, float scale) {
  device.SetTransform(platform::TransformState::World, engine::MatrixScaling(scale, scale, scale));
  // The camera sees a cap of the planet's near side: only the faces there
  // go to the device.
  const engine::Matrix view = device.GetTransform(platform::TransformState::View);
  engine::Matrix toWorld;
  if (!engine::MatrixInverse(&toWorld, nullptr, view)) toWorld = engine::Matrix::Identity();
  const ViewVolume volume(view, device.GetTransform(platform::TransformState::Projection));
  media::DrawStaticMeshInView(meshes.FindStaticMesh(content::model::kPlanet), &device, scale,
                              toWorld.Translation(), volume.Planes());
}

void DrawSky(platform::Device& device, media::MeshManager& meshes, float skyAngle) {
  device.SetTransform(platform::TransformState::World,
                      engine::MatrixScaling(50.0f, 50.0f, 50.0f) *
                          engine::MatrixRotationY(skyAngle * engine::kDegToRad));
  media::DrawStaticMesh(meshes.FindStaticMesh(content::model::kSkySphere), &device);
}

}  // namespace world
