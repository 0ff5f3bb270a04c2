// The headless device: keeps state, records draws, draws nothing.
#include "platform/null/device_null.h"

#include <cstring>

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
  NullTexture(std::uint32_t w, std::uint32_t h, std::uint32_t levels, Usage usage)
      : w_(w),
        h_(h),
        levels_(levels == 1 || usage == Usage::RenderTarget ? 1 : FullMipChainLevels(w, h)),
        usage_(usage),
        pixels_(static_cast<std::size_t>(w) * h, 0u) {}
  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Usage GetUsage() const override { return usage_; }
  std::uint32_t* LockRect() override { return pixels_.data(); }
  void UnlockRect() override {}
  Surface* GetSurfaceLevel(std::uint32_t) override { return new NullSurface(w_, h_); }
  std::uint32_t GetLevelCount() const override { return levels_; }

 private:
  std::uint32_t w_, h_;
  std::uint32_t levels_;
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
  ReleaseStateTexture();
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
void NullDevice::Present() {
  if (!rehearsal_) ++presents_;
}

void NullDevice::DrawPrimitiveUP(PrimitiveType type, std::uint32_t count, const void* vertices,
                                 std::uint32_t stride) {
  if (!record_) return;
  DrawRecord r;
  r.type = type;
  r.primitiveCount = count;
  r.fvf = state_.fvf;
  std::size_t bytes = static_cast<std::size_t>(VerticesForPrimitives(type, count)) * stride;
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
  return new NullTexture(w, h, kAllMipLevels, usage);
}

Texture* NullDevice::CreateTexture(std::uint32_t w, std::uint32_t h, std::uint32_t levels,
                                   Usage usage, std::uint32_t, std::uint32_t) {
  return new NullTexture(w, h, levels, usage);
}
Surface* NullDevice::CreateDepthStencilSurface(std::uint32_t w, std::uint32_t h, DepthFormat) {
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
