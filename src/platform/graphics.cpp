// Parts of the graphics layer shared by every back end.
#include "platform/graphics.h"

#include <algorithm>

namespace platform {

using engine::Matrix;

std::uint32_t FullMipChainLevels(std::uint32_t width, std::uint32_t height) {
  std::uint32_t levels = 1;
  for (std::uint32_t side = std::max(width, height); side > 1; side /= 2) ++levels;
  return levels;
}

std::size_t MipChainPixels(std::uint32_t width, std::uint32_t height) {
  std::size_t total = 0;
  while (width > 1 || height > 1) {
    width = MipSide(width);
    height = MipSide(height);
    total += static_cast<std::size_t>(width) * height;
  }
  return total;
}

void MakeMipChain(const std::uint32_t* argb, std::uint32_t width, std::uint32_t height,
                  std::uint32_t* out) {
  const std::uint32_t* above = argb;
  while (width > 1 || height > 1) {
    const std::uint32_t w = MipSide(width), h = MipSide(height);
    // A side of 1 above stays 1: both taps of it are that one row or column.
    const std::uint32_t dx = width > 1 ? 1 : 0;
    const std::size_t dy = height > 1 ? width : 0;
    for (std::uint32_t y = 0; y < h; ++y) {
      const std::uint32_t* row = above + static_cast<std::size_t>(2 * y * (height > 1)) * width;
      std::uint32_t* dest = out + static_cast<std::size_t>(y) * w;
      for (std::uint32_t x = 0; x < w; ++x) {
        const std::uint32_t* p = row + static_cast<std::size_t>(2 * x * dx);
        const std::uint32_t a = p[0], b = p[dx], c = p[dy], d = p[dy + dx];
        // Two channels at a time, each in a 16-bit lane: 4 x 255 + 2 fits.
        const std::uint32_t even = (a & 0x00FF00FFu) + (b & 0x00FF00FFu) + (c & 0x00FF00FFu) +
                                   (d & 0x00FF00FFu) + 0x00020002u;
        const std::uint32_t odd = ((a >> 8) & 0x00FF00FFu) + ((b >> 8) & 0x00FF00FFu) +
                                  ((c >> 8) & 0x00FF00FFu) + ((d >> 8) & 0x00FF00FFu) + 0x00020002u;
        dest[x] = ((even >> 2) & 0x00FF00FFu) | (((odd >> 2) & 0x00FF00FFu) << 8);
      }
    }
    above = out;
    out += static_cast<std::size_t>(w) * h;
    width = w;
    height = h;
  }
}

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

std::uint32_t VerticesForPrimitives(PrimitiveType type, std::uint32_t primitives) {
  if (primitives == 0) return 0;
  switch (type) {
    case PrimitiveType::PointList: return primitives;
    case PrimitiveType::LineList: return primitives * 2;
    case PrimitiveType::LineStrip: return primitives + 1;
    case PrimitiveType::TriangleList: return primitives * 3;
    case PrimitiveType::TriangleStrip:
    case PrimitiveType::TriangleFan: return primitives + 2;
  }
  return 0;
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

StateDevice::~StateDevice() { ReleaseStateTexture(); }

void StateDevice::ReleaseStateTexture() {
  if (state_.texture) state_.texture->Release();
  state_.texture = nullptr;
}

void StateDevice::SetRenderState(RenderState s, std::uint32_t v) {
  switch (s) {
    case RenderState::ZEnable: state_.zEnable = v; break;
    case RenderState::ZWriteEnable: state_.zWriteEnable = v; break;
    case RenderState::AlphaTestEnable: state_.alphaTestEnable = v; break;
    case RenderState::SrcBlend: state_.srcBlend = v; break;
    case RenderState::DestBlend: state_.destBlend = v; break;
    case RenderState::CullMode: state_.cullMode = v; break;
    case RenderState::ZFunc: state_.zFunc = v; break;
    case RenderState::AlphaRef: state_.alphaRef = v; break;
    case RenderState::AlphaFunc: state_.alphaFunc = v; break;
    case RenderState::AlphaBlendEnable: state_.alphaBlendEnable = v; break;
    case RenderState::SpecularEnable: state_.specularEnable = v; break;
    case RenderState::Lighting: state_.lighting = v; break;
    case RenderState::Ambient: state_.ambient = v; break;
    case RenderState::DiffuseMaterialSource: state_.diffuseMaterialSource = v; break;
    case RenderState::VertexBlend: state_.vertexBlend = v; break;
  }
}

std::uint32_t StateDevice::GetRenderState(RenderState s) const {
  switch (s) {
    case RenderState::ZEnable: return state_.zEnable;
    case RenderState::ZWriteEnable: return state_.zWriteEnable;
    case RenderState::AlphaTestEnable: return state_.alphaTestEnable;
    case RenderState::SrcBlend: return state_.srcBlend;
    case RenderState::DestBlend: return state_.destBlend;
    case RenderState::CullMode: return state_.cullMode;
    case RenderState::ZFunc: return state_.zFunc;
    case RenderState::AlphaRef: return state_.alphaRef;
    case RenderState::AlphaFunc: return state_.alphaFunc;
    case RenderState::AlphaBlendEnable: return state_.alphaBlendEnable;
    case RenderState::SpecularEnable: return state_.specularEnable;
    case RenderState::Lighting: return state_.lighting;
    case RenderState::Ambient: return state_.ambient;
    case RenderState::DiffuseMaterialSource: return state_.diffuseMaterialSource;
    case RenderState::VertexBlend: return state_.vertexBlend;
  }
  return 0;
}

void StateDevice::SetTextureStageState(std::uint32_t stage, TextureStageState t, std::uint32_t v) {
  if (stage != 0) return;
  switch (t) {
    case TextureStageState::ColorOp: state_.colorOp = v; break;
    case TextureStageState::ColorArg1: state_.colorArg1 = v; break;
    case TextureStageState::ColorArg2: state_.colorArg2 = v; break;
    case TextureStageState::AlphaOp: state_.alphaOp = v; break;
    case TextureStageState::AlphaArg1: state_.alphaArg1 = v; break;
    case TextureStageState::AlphaArg2: state_.alphaArg2 = v; break;
  }
}

void StateDevice::SetSamplerState(std::uint32_t sampler, SamplerState t, std::uint32_t v) {
  if (sampler != 0) return;
  switch (t) {
    case SamplerState::AddressU: state_.addressU = v; break;
    case SamplerState::AddressV: state_.addressV = v; break;
    case SamplerState::MagFilter: state_.magFilter = v; break;
    case SamplerState::MinFilter: state_.minFilter = v; break;
    case SamplerState::MipFilter: state_.mipFilter = v; break;
  }
}

void StateDevice::SetTransform(TransformState s, const Matrix& m) {
  switch (s) {
    case TransformState::View: state_.view = m; break;
    case TransformState::Projection: state_.projection = m; break;
    default: {
      auto i = static_cast<std::uint32_t>(s) - 256u;
      if (i < 4) state_.world[i] = m;
    }
  }
}

Matrix StateDevice::GetTransform(TransformState s) const {
  switch (s) {
    case TransformState::View: return state_.view;
    case TransformState::Projection: return state_.projection;
    default: {
      auto i = static_cast<std::uint32_t>(s) - 256u;
      return i < 4 ? state_.world[i] : Matrix{};
    }
  }
}

void StateDevice::SetFVF(std::uint32_t fvf) { state_.fvf = fvf; }

void StateDevice::SetTexture(std::uint32_t stage, Texture* t) {
  if (stage != 0) return;
  if (t) t->AddRef();
  if (state_.texture) state_.texture->Release();
  state_.texture = t;
}

Texture* StateDevice::GetTexture(std::uint32_t stage) const {
  return stage == 0 ? state_.texture : nullptr;
}

void StateDevice::SetMaterial(const Material& m) { state_.material = m; }
void StateDevice::SetLight(std::uint32_t index, const Light& l) {
  if (index == 0) state_.light = l;
}
void StateDevice::LightEnable(std::uint32_t index, bool enable) {
  if (index == 0) state_.lightEnabled = enable;
}
void StateDevice::SetViewport(const Viewport& vp) { state_.viewport = AdjustViewport(vp); }
Viewport StateDevice::GetViewport() const { return state_.viewport; }

void StateDevice::SetState(const DeviceState& s) {
  Texture* keep = s.texture;
  if (keep) keep->AddRef();
  if (state_.texture) state_.texture->Release();
  state_ = s;
  state_.texture = keep;
  state_.viewport = AdjustViewport(s.viewport);
}

}  // namespace platform
