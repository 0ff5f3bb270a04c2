// The headless device: keeps every state it is given, records each draw call
// with the state it was made in, and draws nothing. Tests, benchmarks and
// --headless runs draw through it (see the contract in platform/graphics.h).
#pragma once

#include <vector>

#include "platform/graphics.h"

namespace platform {

// One draw call as the null device saw it.
struct DrawRecord {
  PrimitiveType type = PrimitiveType::TriangleList;
  std::uint32_t primitiveCount = 0;
  std::uint32_t fvf = 0;
  std::vector<unsigned char> vertices;  // copied for DrawPrimitiveUP only
  DeviceState state;
};

class NullDevice : public StateDevice {
 public:
  NullDevice();
  ~NullDevice() override;
  void BeginScene() override;
  void EndScene() override;
  void Clear(std::uint32_t flags, Color color, float z, std::uint32_t stencil) override;
  void Present() override;
  void DrawPrimitiveUP(PrimitiveType type, std::uint32_t primitiveCount, const void* vertices,
                       std::uint32_t stride) override;
  void DrawIndexedPrimitive(VertexBuffer* vb, IndexBuffer* ib, PrimitiveType type,
                            std::uint32_t startIndex, std::uint32_t primitiveCount) override;
  Texture* CreateTexture(std::uint32_t width, std::uint32_t height, Usage usage) override;
  Texture* CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                         Usage usage, std::uint32_t contentWidth,
                         std::uint32_t contentHeight) override;
  Surface* CreateDepthStencilSurface(std::uint32_t width, std::uint32_t height,
                                     DepthFormat format) override;
  VertexBuffer* CreateVertexBuffer(std::uint32_t bytes, std::uint32_t fvf) override;
  IndexBuffer* CreateIndexBuffer(std::uint32_t count) override;
  Surface* GetBackBuffer() override;
  Surface* GetRenderTarget(std::uint32_t index) override;
  void SetRenderTarget(std::uint32_t index, Surface* surface) override;
  Surface* GetDepthStencilSurface() override;
  void SetDepthStencilSurface(Surface* surface) override;
  std::vector<std::uint32_t> ReadBackBuffer() override { return {}; }
  std::vector<std::uint32_t> ReadTexture(Texture*) override { return {}; }

  // What tests read.
  const std::vector<DrawRecord>& Draws() const { return draws_; }
  void ClearDraws() { draws_.clear(); }
  int PresentCount() const { return presents_; }
  int SceneDepth() const { return sceneDepth_; }
  Color LastClearColor() const { return lastClear_; }
  // Keep draw records (off by default, so long headless runs stay small).
  void RecordDraws(bool on) { record_ = on; }

 private:
  std::vector<DrawRecord> draws_;
  bool record_ = false;
  int presents_ = 0;
  int sceneDepth_ = 0;
  Color lastClear_ = 0;
  Surface* backBuffer_ = nullptr;
  Surface* depthStencil_ = nullptr;
  Surface* renderTarget_ = nullptr;
  Surface* currentDepth_ = nullptr;
};

}  // namespace platform
