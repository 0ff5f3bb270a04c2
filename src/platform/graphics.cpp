// Parts of the graphics layer shared by every back end.
#include "platform/graphics.h"

namespace platform {

std::uint32_t GetFVFVertexSize(std::uint32_t fvf) {
  std::uint32_t size = 0;
  switch (fvf & kFvfPositionMask) {
    case kFvfXyz: size = 12; break;
    case kFvfXyzRhw:
    case kFvfXyzW: size = 16; break;
    case kFvfXyzB1: size = 16; break;
    case kFvfXyzB2: size = 20; break;
    case kFvfXyzB3: size = 24; break;
    case kFvfXyzB4: size = 28; break;
    case kFvfXyzB5: size = 32; break;
    default: break;
  }
  if (fvf & kFvfNormal) size += 12;
  if (fvf & kFvfPSize) size += 4;
  if (fvf & kFvfDiffuse) size += 4;
  if (fvf & kFvfSpecular) size += 4;
  std::uint32_t texCount = (fvf & kFvfTexCountMask) >> kFvfTexCountShift;
  for (std::uint32_t i = 0; i < texCount; ++i) {
    switch ((fvf >> (16 + 2 * i)) & 3u) {
      case 0: size += 8; break;
      case 1: size += 12; break;
      case 2: size += 16; break;
      case 3: size += 4; break;
    }
  }
  return size;
}

int FvfBetaCount(std::uint32_t fvf) {
  int betas = 0;
  switch (fvf & kFvfPositionMask) {
    case kFvfXyzB1: betas = 1; break;
    case kFvfXyzB2: betas = 2; break;
    case kFvfXyzB3: betas = 3; break;
    case kFvfXyzB4: betas = 4; break;
    case kFvfXyzB5: betas = 5; break;
    default: return 0;
  }
  if (fvf & kFvfLastBetaUByte4) --betas;
  return betas;
}

}  // namespace platform
