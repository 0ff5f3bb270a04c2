#include "media/faces_in_view.h"

#include <algorithm>
#include <cmath>

namespace media {

using engine::Vec3;

namespace {

// How far a face must be turned away before it is left out, in lengths of
// the way from the eye to it: a face seen all but edge-on is handed over,
// however the device's rounding decides it.
constexpr float kEdgeOn = 1e-3f;

}  // namespace

FacesInView::FacesInView(const engine::Mesh& mesh) {
  const std::vector<std::uint32_t>& index = mesh.Indices();
  const std::uint32_t count = mesh.GetNumFaces();
  faces_.resize(count);
  // The model closes up about its origin with its faces wound one way; which
  // way is out is the side most of the faces' plane normals point to.
  double outward = 0;
  for (std::uint32_t f = 0; f < count; ++f) {
    const Vec3 a = mesh.Position(index[3 * f]), b = mesh.Position(index[3 * f + 1]),
               c = mesh.Position(index[3 * f + 2]);
    Face& face = faces_[f];
    face.centre = (a + b + c) * (1.0f / 3.0f);
    face.radius =
        std::max({engine::Vec3Length(a - face.centre), engine::Vec3Length(b - face.centre),
                  engine::Vec3Length(c - face.centre)});
    const Vec3 n = engine::Vec3Cross(b - a, c - a);
    const float length = engine::Vec3Length(n);
    face.normal = length > 0.0f ? n * (1.0f / length) : Vec3{};
    face.offset = engine::Vec3Dot(face.normal, a);
    outward += engine::Vec3Dot(face.normal, face.centre);
  }
  if (outward < 0) {
    for (Face& face : faces_) {
      face.normal = face.normal * -1.0f;
      face.offset = -face.offset;
    }
  }
}

std::vector<std::uint32_t> FacesInView::Visible(const engine::Mesh& mesh, std::uint32_t attribId,
                                                float scale, const Vec3& eye,
                                                const std::array<engine::Plane, 6>& planes,
                                                bool turnedAwayCulled) const {
  std::vector<std::uint32_t> visible;
  if (!(scale > 0.0f)) return visible;
  // The eye in the model's own space; a plane's distance in world lengths
  // is scale times the model's.
  const Vec3 e = eye * (1.0f / scale);
  for (const engine::AttributeRange& r : mesh.GetAttributeTable()) {
    if (r.attribId != attribId) continue;
    visible.reserve(r.faceCount);
    for (std::uint32_t f = r.faceStart; f < r.faceStart + r.faceCount && f < faces_.size(); ++f) {
      const Face& face = faces_[f];
      if (turnedAwayCulled) {
        const float toEye = engine::Vec3Length(e - face.centre);
        if (engine::Vec3Dot(face.normal, e) - face.offset < -kEdgeOn * toEye) continue;
      }
      const float reach = scale * face.radius;
      const Vec3 c = face.centre * scale;
      bool outside = false;
      for (const engine::Plane& p : planes) {
        if (p.a * c.x + p.b * c.y + p.c * c.z + p.d > reach) {
          outside = true;
          break;
        }
      }
      if (!outside) visible.push_back(f);
    }
  }
  return visible;
}

void FacesInView::DrawSubset(const engine::Mesh& mesh, platform::Device* device,
                             std::uint32_t attribId, float scale, const Vec3& eye,
                             const std::array<engine::Plane, 6>& planes,
                             bool turnedAwayCulled) const {
  platform::VertexBuffer* vertices = mesh.GetVertexBuffer();
  if (!device || !vertices) return;
  const std::vector<std::uint32_t> visible =
      Visible(mesh, attribId, scale, eye, planes, turnedAwayCulled);
  if (visible.empty()) return;
  // A fresh buffer every draw: writing again into one the rasteriser may
  // still be reading from would make the device wait for it.
  const auto count = static_cast<std::uint32_t>(visible.size());
  platform::IndexBuffer* buffer = device->CreateIndexBuffer(3 * count);
  if (!buffer) return;
  if (std::uint32_t* at = buffer->Lock()) {
    const std::vector<std::uint32_t>& index = mesh.Indices();
    for (std::uint32_t f : visible) {
      *at++ = index[3 * f];
      *at++ = index[3 * f + 1];
      *at++ = index[3 * f + 2];
    }
    buffer->Unlock();
    device->DrawIndexedPrimitive(vertices, buffer, platform::PrimitiveType::TriangleList, 0, count);
  }
  buffer->Release();
}

}  // namespace media
