// CPU-side helpers of the GL device: vertex layouts, vertex counts, where
// the back buffer goes in the window and whether the renderer is a CPU one.
#include <algorithm>
#include <string_view>

#include "platform/sdl_gl/backend.h"

namespace platform::sdl_gl {

VertexLayout LayoutOfFvf(std::uint32_t fvf) {
  VertexLayout l;
  std::uint32_t off = 0;
  switch (fvf & kFvfPositionMask) {
    case kFvfXyz: off = 12; break;
    case kFvfXyzRhw:
      l.rhw = true;
      l.positionFloats = 4;
      off = 16;
      break;
    case kFvfXyzW:
      // The w of XYZW only means something to vertex shaders; the position is x, y, z.
      off = 16;
      break;
    case kFvfXyzB1:
    case kFvfXyzB2:
    case kFvfXyzB3:
    case kFvfXyzB4:
    case kFvfXyzB5: {
      int stored = static_cast<int>(((fvf & kFvfPositionMask) - kFvfXyzRhw) / 2u);
      l.betas = FvfBetaCount(fvf);
      l.betaOffset = 12;
      off = 12 + 4u * static_cast<std::uint32_t>(stored);
      break;
    }
    default: return l;  // no position: not drawable
  }
  if (fvf & kFvfNormal) {
    l.normal = true;
    l.normalOffset = off;
    off += 12;
  }
  if (fvf & kFvfPSize) off += 4;
  if (fvf & kFvfDiffuse) {
    l.diffuse = true;
    l.diffuseOffset = off;
    off += 4;
  }
  if (fvf & kFvfSpecular) off += 4;
  std::uint32_t sets = (fvf & kFvfTexCountMask) >> kFvfTexCountShift;
  for (std::uint32_t i = 0; i < sets; ++i) {
    static constexpr int kFloats[4] = {2, 3, 4, 1};
    int floats = kFloats[(fvf >> (16 + 2 * i)) & 3u];
    if (i == 0) {
      l.texFloats = floats;
      l.texOffset = off;
    }
    off += 4u * static_cast<std::uint32_t>(floats);
  }
  l.stride = off;
  l.valid = true;
  return l;
}

PresentRect FitBackBuffer(int windowWidth, int windowHeight) {
  PresentRect r;
  if (windowWidth <= 0 || windowHeight <= 0) return r;
  // Compare 4:3 against the window's shape in integers: no rounding drift.
  if (static_cast<long long>(windowWidth) * 3 >= static_cast<long long>(windowHeight) * 4) {
    r.height = windowHeight;
    r.width = std::min(windowWidth, (windowHeight * 4 + 1) / 3);
  } else {
    r.width = windowWidth;
    r.height = std::min(windowHeight, (windowWidth * 3 + 2) / 4);
  }
  r.x = (windowWidth - r.width) / 2;
  r.y = (windowHeight - r.height) / 2;
  return r;
}

bool IsCpuRasteriser(const char* renderer) {
  if (!renderer) return false;
  const std::string_view name(renderer);
  for (std::string_view cpu : {"llvmpipe", "softpipe", "swrast", "SwiftShader"}) {
    if (name.find(cpu) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace platform::sdl_gl
