// The faces of a static model that can show from an eye, for a model drawn
// whole every frame of which the view sees a part: the planet, of which the
// camera sees a cap on the near side. A software rasteriser pays for every
// face handed to it, seen or not (each is transformed, clipped and set up),
// so the faces wholly outside the view volume, and those turned away from
// the eye while the device culls them, are left out before the draw. The
// rest keep their order: the picture is the same.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/math.h"
#include "engine/mesh.h"
#include "platform/graphics.h"

namespace media {

class FacesInView {
 public:
  // Reads the faces of `mesh`.
  explicit FacesInView(const engine::Mesh& mesh);

  // Draws the faces of subset `attribId` that can show, for the mesh placed
  // by a uniform `scale` about the origin, seen from `eye` through the view
  // volume `planes` (world space, normals out). `turnedAwayCulled`: the
  // device culls faces turned away, so they are left out too.
  void DrawSubset(const engine::Mesh& mesh, platform::Device* device, std::uint32_t attribId,
                  float scale, const engine::Vec3& eye, const std::array<engine::Plane, 6>& planes,
                  bool turnedAwayCulled) const;

  // The faces of the subset that can show, in their order.
  std::vector<std::uint32_t> Visible(const engine::Mesh& mesh, std::uint32_t attribId, float scale,
                                     const engine::Vec3& eye,
                                     const std::array<engine::Plane, 6>& planes,
                                     bool turnedAwayCulled) const;

 private:
  struct Face {
    engine::Vec3 centre;  // of a sphere holding its corners
    float radius = 0;
    engine::Vec3 normal;  // unit, pointing out of the model
    float offset = 0;     // normal . corner
  };
  std::vector<Face> faces_;
};

}  // namespace media
