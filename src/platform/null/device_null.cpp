// The headless device: keeps state, records draws, draws nothing.
#include <cstring>

#include "platform/graphics.h"

namespace platform {

namespace {

class NullSurface : public Surface {
 public:
  NullSurface(std::uint32_t w, std::uint32_t h) : w_(w), h_(h) {}
  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }

 private:
  std::uint32_t w_, h_;
};

class NullTexture : public Texture {
 public:
  NullTexture(std::uint32_t w, std::uint32_t h, Usage usage)
      : w_(w), h_(h), usage_(usage), pixels_(static_cast<std::size_t>(w) * h, 0u) {}
  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Usage GetUsage() const override { return usage_; }
  std::uint32_t* LockRect() override { return pixels_.data(); }
  void UnlockRect() override {}
  Surface* GetSurfaceLevel(std::uint32_t) override { return new NullSurface(w_, h_); }

 private:
  std::uint32_t w_, h_;
  Usage usage_;
  std::vector<std::uint32_t> pixels_;
};

class NullVertexBuffer : public VertexBuffer {
 public:
  NullVertexBuffer(std::uint32_t bytes, std::uint32_t fvf) : data_(bytes), fvf_(fvf) {}
  std::uint32_t SizeBytes() const override { return static_cast<std::uint32_t>(data_.size()); }
  std::uint32_t GetFVF() const override { return fvf_; }
  void* Lock() override { return data_.data(); }
  void Unlock() override {}
  const void* Data() const override { return data_.data(); }

 private:
  std::vector<unsigned char> data_;
  std::uint32_t fvf_;
};

class NullIndexBuffer : public IndexBuffer {
 public:
  explicit NullIndexBuffer(std::uint32_t count) : data_(count) {}
  std::uint32_t Count() const override { return static_cast<std::uint32_t>(data_.size()); }
  std::uint32_t* Lock() override { return data_.data(); }
  void Unlock() override {}
  const std::uint32_t* Data() const override { return data_.data(); }

 private:
  std::vector<std::uint32_t> data_;
};

std::uint32_t VertexCountFor(PrimitiveType type, std::uint32_t prims) {
  switch (type) {
    case PrimitiveType::PointList: return prims;
    case PrimitiveType::LineList: return prims * 2;
    case PrimitiveType::LineStrip: return prims + 1;
    case PrimitiveType::TriangleList: return prims * 3;
    case PrimitiveType::TriangleStrip:
    case PrimitiveType::TriangleFan: return prims + 2;
  }
  return 0;
}

}  // namespace

NullDevice::NullDevice() {
  backBuffer_ = new NullSurface(800, 600);
  depthStencil_ = new NullSurface(800, 600);
  renderTarget_ = backBuffer_;
  renderTarget_->AddRef();
  currentDepth_ = depthStencil_;
  currentDepth_->AddRef();
}

NullDevice::~NullDevice() {
  if (state_.texture) state_.texture->Release();
  renderTarget_->Release();
  if (currentDepth_) currentDepth_->Release();
  backBuffer_->Release();
  depthStencil_->Release();
}

void NullDevice::BeginScene() { ++sceneDepth_; }
void NullDevice::EndScene() { --sceneDepth_; }
void NullDevice::Clear(std::uint32_t flags, Color color, float, std::uint32_t) {
  if (flags & kClearTarget) lastClear_ = color;
}
void NullDevice::Present() { ++presents_; }

void NullDevice::SetRenderState(RenderState s, std::uint32_t v) {
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

std::uint32_t NullDevice::GetRenderState(RenderState s) const {
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

void NullDevice::SetTextureStageState(std::uint32_t stage, TextureStageState t, std::uint32_t v) {
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

void NullDevice::SetSamplerState(std::uint32_t sampler, SamplerState t, std::uint32_t v) {
  if (sampler != 0) return;
  switch (t) {
    case SamplerState::AddressU: state_.addressU = v; break;
    case SamplerState::AddressV: state_.addressV = v; break;
    case SamplerState::MagFilter: state_.magFilter = v; break;
    case SamplerState::MinFilter: state_.minFilter = v; break;
    case SamplerState::MipFilter: state_.mipFilter = v; break;
  }
}

void NullDevice::SetTransform(TransformState s, const Matrix& m) {
  switch (s) {
    case TransformState::View: state_.view = m; break;
    case TransformState::Projection: state_.projection = m; break;
    default: {
      auto i = static_cast<std::uint32_t>(s) - 256u;
      if (i < 4) state_.world[i] = m;
    }
  }
}

Matrix NullDevice::GetTransform(TransformState s) const {
  switch (s) {
    case TransformState::View: return state_.view;
    case TransformState::Projection: return state_.projection;
    default: {
      auto i = static_cast<std::uint32_t>(s) - 256u;
      return i < 4 ? state_.world[i] : Matrix{};
    }
  }
}

void NullDevice::SetFVF(std::uint32_t fvf) { state_.fvf = fvf; }

void NullDevice::SetTexture(std::uint32_t stage, Texture* t) {
  if (stage != 0) return;
  if (t) t->AddRef();
  if (state_.texture) state_.texture->Release();
  state_.texture = t;
}

Texture* NullDevice::GetTexture(std::uint32_t stage) const {
  return stage == 0 ? state_.texture : nullptr;
}

void NullDevice::SetMaterial(const Material& m) { state_.material = m; }
void NullDevice::SetLight(std::uint32_t index, const Light& l) {
  if (index == 0) state_.light = l;
}
void NullDevice::LightEnable(std::uint32_t index, bool enable) {
  if (index == 0) state_.lightEnabled = enable;
}
void NullDevice::SetViewport(const Viewport& vp) { state_.viewport = vp; }
Viewport NullDevice::GetViewport() const { return state_.viewport; }

void NullDevice::SetState(const DeviceState& s) {
  Texture* keep = s.texture;
  if (keep) keep->AddRef();
  if (state_.texture) state_.texture->Release();
  state_ = s;
  state_.texture = keep;
}

void NullDevice::DrawPrimitiveUP(PrimitiveType type, std::uint32_t count, const void* vertices,
                                 std::uint32_t stride) {
  if (!record_) return;
  DrawRecord r;
  r.type = type;
  r.primitiveCount = count;
  r.fvf = state_.fvf;
  std::size_t bytes = static_cast<std::size_t>(VertexCountFor(type, count)) * stride;
  r.vertices.resize(bytes);
  if (bytes) std::memcpy(r.vertices.data(), vertices, bytes);
  r.state = state_;
  // r.state.texture is a plain pointer: valid while the test keeps the texture.
  draws_.push_back(std::move(r));
}

void NullDevice::DrawIndexedPrimitive(VertexBuffer* vb, IndexBuffer*, PrimitiveType type,
                                      std::uint32_t, std::uint32_t count) {
  if (!record_) return;
  DrawRecord r;
  r.type = type;
  r.primitiveCount = count;
  r.fvf = vb ? vb->GetFVF() : 0;
  r.state = state_;
  draws_.push_back(std::move(r));
}

Texture* NullDevice::CreateTexture(std::uint32_t w, std::uint32_t h, Usage usage) {
  return new NullTexture(w, h, usage);
}
Surface* NullDevice::CreateDepthStencilSurface(std::uint32_t w, std::uint32_t h) {
  return new NullSurface(w, h);
}
VertexBuffer* NullDevice::CreateVertexBuffer(std::uint32_t bytes, std::uint32_t fvf) {
  return new NullVertexBuffer(bytes, fvf);
}
IndexBuffer* NullDevice::CreateIndexBuffer(std::uint32_t count) {
  return new NullIndexBuffer(count);
}

Surface* NullDevice::GetBackBuffer() {
  backBuffer_->AddRef();
  return backBuffer_;
}
Surface* NullDevice::GetRenderTarget(std::uint32_t) {
  renderTarget_->AddRef();
  return renderTarget_;
}
void NullDevice::SetRenderTarget(std::uint32_t index, Surface* s) {
  if (index != 0 || !s) return;
  s->AddRef();
  renderTarget_->Release();
  renderTarget_ = s;
}
Surface* NullDevice::GetDepthStencilSurface() {
  if (currentDepth_) currentDepth_->AddRef();
  return currentDepth_;
}
void NullDevice::SetDepthStencilSurface(Surface* s) {
  if (s) s->AddRef();
  if (currentDepth_) currentDepth_->Release();
  currentDepth_ = s;
}

}  // namespace platform
