// The Direct3D 9 device: the fixed-function pipeline the game was designed
// for, on a real IDirect3DDevice9. Render states, texture stages, samplers,
// transforms, the light, the material, FVF draws and vertex blending pass
// straight through: the device contract uses Direct3D's own numbering.
//
// Where the contract asks for more than the native call gives:
//  - The game's back buffer is an 800 x 600 render-target surface of our
//    own. Present stretches it into the swap chain's back buffer, which has
//    the window's size, with black bars keeping 4:3 (as the GL device does),
//    so the picture and --shot readings never depend on the window's size.
//  - Textures are 32-bit ARGB with a pitch of exactly Width() * 4: LockRect
//    hands out a CPU copy and UnlockRect writes it into the managed texture,
//    level 0 and every level below it (our box filter, as D3DX made them).
//    A later lock reads level 0 back. Managed textures, vertex and index
//    buffers survive a reset as they are.
//  - Vertex and index buffers keep a CPU copy, since the contract lets any
//    caller read Data() at any time; the managed buffer gets it at the next
//    draw. Indices are 32-bit (D3DFMT_INDEX32).
//  - BeginScene and EndScene are kept by the device itself: a scene opens
//    at the first draw and closes before Present and before any read-back,
//    whatever the caller does.
//  - Render-target textures (the result screen's picture of the world) live
//    in the default pool, which a reset empties. Each is read back once
//    drawing into it has ended and written into its new texture after a
//    reset, so the picture survives a lost device.
//  - Nothing is shifted by half a pixel: pixel centres at integer
//    coordinates are Direct3D's own rule, and the sprite's projection
//    already adds the half pixel that cancels it (as D3DX's did).
//  - N·L is clamped to [0, 1] per light by the pipeline itself;
//    kClampDiffusePerLight only tells the GL device what to match.
//
// The device is made with D3DCREATE_MULTITHREADED: the loader thread creates
// and fills textures and buffers while the drawing thread draws, and
// Direct3D serialises the calls. With D3DCREATE_FPU_PRESERVE the FPU keeps
// the precision the game's arithmetic (and its replayed journals) expects.
//
// A lost device (TestCooperativeLevel) is reset at the start of the next
// frame, and so is the swap chain when the window's size changes: the
// default-pool resources are released, Reset called, and they are made
// again.
#include <d3d9.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/d3d9/backend_d3d9.h"
#include "platform/sdl_gl/backend.h"

namespace platform::d3d9 {

namespace {

using engine::Matrix;
using engine::Vec3;

constexpr UINT kBackBufferWidth = 800;
constexpr UINT kBackBufferHeight = 600;

template <class T>
void SafeRelease(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// A resource with an object in the default pool, which a reset takes away.
class DefaultPoolResource {
 public:
  virtual ~DefaultPoolResource() = default;
  // Releases the default-pool object (before Reset, or when the device goes).
  virtual void Lose() = 0;
  // Makes it again after Reset, with what it held where that can be kept.
  virtual void Restore() = 0;
};

// What the device and its resources share.
struct Shared {
  std::mutex mutex;
  IDirect3DDevice9* device = nullptr;  // null once the device is gone
  UINT maxTextureSize = 4096;
  std::vector<DefaultPoolResource*> defaultPool;

  void Register(DefaultPoolResource* r) {
    std::lock_guard<std::mutex> lock(mutex);
    defaultPool.push_back(r);
  }
  void Unregister(DefaultPoolResource* r) {
    std::lock_guard<std::mutex> lock(mutex);
    defaultPool.erase(std::remove(defaultPool.begin(), defaultPool.end(), r), defaultPool.end());
  }
};
using SharedPtr = std::shared_ptr<Shared>;

// Copies rows of ARGB pixels between our tightly packed pictures and a
// locked Direct3D rectangle.
void CopyIn(const D3DLOCKED_RECT& lr, const std::uint32_t* from, UINT w, UINT h) {
  auto* to = static_cast<unsigned char*>(lr.pBits);
  for (UINT y = 0; y < h; ++y) {
    std::memcpy(to + static_cast<std::size_t>(y) * static_cast<std::size_t>(lr.Pitch),
                from + static_cast<std::size_t>(y) * w, static_cast<std::size_t>(w) * 4);
  }
}
void CopyOut(const D3DLOCKED_RECT& lr, std::uint32_t* to, UINT w, UINT h) {
  const auto* from = static_cast<const unsigned char*>(lr.pBits);
  for (UINT y = 0; y < h; ++y) {
    std::memcpy(to + static_cast<std::size_t>(y) * w,
                from + static_cast<std::size_t>(y) * static_cast<std::size_t>(lr.Pitch),
                static_cast<std::size_t>(w) * 4);
  }
}

// Level 0 of a render-target surface, read through a system-memory copy.
std::vector<std::uint32_t> ReadRenderTarget(IDirect3DDevice9* device, IDirect3DSurface9* surface,
                                            UINT w, UINT h) {
  std::vector<std::uint32_t> px;
  if (!device || !surface) return px;
  D3DSURFACE_DESC desc{};
  surface->GetDesc(&desc);
  IDirect3DSurface9* copy = nullptr;
  if (FAILED(device->CreateOffscreenPlainSurface(w, h, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                 nullptr))) {
    return px;
  }
  D3DLOCKED_RECT lr{};
  if (SUCCEEDED(device->GetRenderTargetData(surface, copy)) &&
      SUCCEEDED(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
    px.resize(static_cast<std::size_t>(w) * h);
    CopyOut(lr, px.data(), w, h);
    copy->UnlockRect();
  }
  copy->Release();
  return px;
}

// Writes a whole picture into a default-pool render-target surface.
void WriteRenderTarget(IDirect3DDevice9* device, IDirect3DSurface9* surface,
                       const std::uint32_t* px, UINT w, UINT h) {
  if (!device || !surface || !px) return;
  IDirect3DSurface9* copy = nullptr;
  if (FAILED(device->CreateOffscreenPlainSurface(w, h, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                                                 nullptr))) {
    return;
  }
  D3DLOCKED_RECT lr{};
  if (SUCCEEDED(copy->LockRect(&lr, nullptr, 0))) {
    CopyIn(lr, px, w, h);
    copy->UnlockRect();
    device->UpdateSurface(copy, nullptr, surface, nullptr);
  }
  copy->Release();
}

class D3dTexture : public Texture, public DefaultPoolResource {
 public:
  D3dTexture(SharedPtr shared, UINT w, UINT h, bool mipmapped, Usage usage)
      : shared_(std::move(shared)),
        w_(w),
        h_(h),
        mipmapped_(mipmapped && usage != Usage::RenderTarget),
        usage_(usage) {
    if (usage_ == Usage::RenderTarget) shared_->Register(this);
  }
  ~D3dTexture() override {
    if (usage_ == Usage::RenderTarget) shared_->Unregister(this);
    Lose();
  }

  // Makes the Direct3D texture. False when Direct3D refuses.
  bool Create() {
    IDirect3DDevice9* device = shared_->device;
    if (!device) return false;
    const bool target = usage_ == Usage::RenderTarget;
    if (FAILED(device->CreateTexture(w_, h_, mipmapped_ ? 0 : 1, target ? D3DUSAGE_RENDERTARGET : 0,
                                     D3DFMT_A8R8G8B8, target ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED,
                                     &texture_, nullptr))) {
      texture_ = nullptr;
      return false;
    }
    if (target) {
      // Transparent black until drawn into, as every new texture is.
      if (IDirect3DSurface9* level = Level0()) device->ColorFill(level, nullptr, 0);
    }
    return true;
  }

  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Usage GetUsage() const override { return usage_; }
  std::uint32_t GetLevelCount() const override {
    return mipmapped_ ? FullMipChainLevels(w_, h_) : 1;
  }

  std::uint32_t* LockRect() override {
    if (cpu_.empty()) cpu_ = Read();
    if (cpu_.empty()) cpu_.assign(static_cast<std::size_t>(w_) * h_, 0u);
    return cpu_.data();
  }

  void UnlockRect() override {
    if (cpu_.empty()) return;
    Write(cpu_.data());
    std::vector<std::uint32_t>().swap(cpu_);
  }

  Surface* GetSurfaceLevel(std::uint32_t level) override;

  IDirect3DTexture9* Get() const { return texture_; }
  IDirect3DSurface9* Level0() {
    if (!level0_ && texture_) texture_->GetSurfaceLevel(0, &level0_);
    return level0_;
  }

  // Level 0 as it is now: a render target's drawing, a texture's pixels.
  std::vector<std::uint32_t> Read() {
    if (!texture_) return backup_;
    if (usage_ == Usage::RenderTarget) return ReadRenderTarget(shared_->device, Level0(), w_, h_);
    std::vector<std::uint32_t> px;
    D3DLOCKED_RECT lr{};
    if (SUCCEEDED(texture_->LockRect(0, &lr, nullptr, D3DLOCK_READONLY))) {
      px.resize(static_cast<std::size_t>(w_) * h_);
      CopyOut(lr, px.data(), w_, h_);
      texture_->UnlockRect(0);
    }
    return px;
  }

  // Keeps what a render target holds now, for a reset to give back.
  void Backup() {
    if (usage_ == Usage::RenderTarget && texture_) backup_ = Read();
  }

  void Lose() override {
    SafeRelease(level0_);
    SafeRelease(texture_);
  }
  void Restore() override {
    if (texture_ || !Create()) return;
    if (!backup_.empty()) WriteRenderTarget(shared_->device, Level0(), backup_.data(), w_, h_);
  }

 private:
  void Write(const std::uint32_t* px) {
    if (!texture_) return;
    if (usage_ == Usage::RenderTarget) {
      WriteRenderTarget(shared_->device, Level0(), px, w_, h_);
      backup_.assign(px, px + static_cast<std::size_t>(w_) * h_);
      return;
    }
    D3DLOCKED_RECT lr{};
    if (SUCCEEDED(texture_->LockRect(0, &lr, nullptr, 0))) {
      CopyIn(lr, px, w_, h_);
      texture_->UnlockRect(0);
    }
    if (!mipmapped_) return;
    std::vector<std::uint32_t> mips(MipChainPixels(w_, h_));
    MakeMipChain(px, w_, h_, mips.data());
    const std::uint32_t* level = mips.data();
    UINT w = w_, h = h_;
    for (DWORD i = 1; i < texture_->GetLevelCount(); ++i) {
      w = MipSide(w);
      h = MipSide(h);
      if (SUCCEEDED(texture_->LockRect(i, &lr, nullptr, 0))) {
        CopyIn(lr, level, w, h);
        texture_->UnlockRect(i);
      }
      level += static_cast<std::size_t>(w) * h;
    }
  }

  SharedPtr shared_;
  UINT w_, h_;
  bool mipmapped_;
  Usage usage_;
  IDirect3DTexture9* texture_ = nullptr;
  IDirect3DSurface9* level0_ = nullptr;
  std::vector<std::uint32_t> cpu_;     // while locked
  std::vector<std::uint32_t> backup_;  // a render target's picture, for a reset
};

// The game's back buffer (and its stand-in while rehearsing), a
// depth-stencil surface, or level 0 of a render-target texture.
class D3dSurface : public Surface, public DefaultPoolResource {
 public:
  enum class Kind { Color, DepthStencil, TextureLevel };
  D3dSurface(SharedPtr shared, Kind kind, UINT w, UINT h, D3dTexture* texture = nullptr,
             DepthFormat depthFormat = DepthFormat::D24S8)
      : shared_(std::move(shared)),
        kind_(kind),
        w_(w),
        h_(h),
        texture_(texture),
        depthFormat_(depthFormat) {
    if (texture_) {
      texture_->AddRef();
    } else {
      shared_->Register(this);
    }
  }
  ~D3dSurface() override {
    if (texture_) {
      texture_->Release();
    } else {
      shared_->Unregister(this);
    }
    Lose();
  }
  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Kind GetKind() const { return kind_; }
  D3dTexture* GetTexture() const { return texture_; }
  bool HasStencil() const {
    return kind_ == Kind::DepthStencil && depthFormat_ == DepthFormat::D24S8;
  }

  bool Create() {
    IDirect3DDevice9* device = shared_->device;
    if (!device || texture_) return texture_ != nullptr;
    HRESULT hr = E_FAIL;
    if (kind_ == Kind::Color) {
      // Like a swap chain's back buffer: no alpha of its own.
      hr = device->CreateRenderTarget(w_, h_, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                      &surface_, nullptr);
      if (SUCCEEDED(hr)) device->ColorFill(surface_, nullptr, D3DCOLOR_XRGB(0, 0, 0));
    } else {
      hr = device->CreateDepthStencilSurface(w_, h_, HasStencil() ? D3DFMT_D24S8 : D3DFMT_D16,
                                             D3DMULTISAMPLE_NONE, 0, FALSE, &surface_, nullptr);
    }
    if (FAILED(hr)) surface_ = nullptr;
    return surface_ != nullptr;
  }

  IDirect3DSurface9* Get() const { return texture_ ? texture_->Level0() : surface_; }
  // Trades storage with another colour surface of the same size.
  void SwapStorage(D3dSurface& other) { std::swap(surface_, other.surface_); }

  void Lose() override { SafeRelease(surface_); }
  void Restore() override {
    if (!surface_) Create();
  }

 private:
  SharedPtr shared_;
  Kind kind_;
  UINT w_, h_;
  D3dTexture* texture_;
  DepthFormat depthFormat_;
  IDirect3DSurface9* surface_ = nullptr;
};

Surface* D3dTexture::GetSurfaceLevel(std::uint32_t level) {
  if (level != 0 || usage_ != Usage::RenderTarget) return nullptr;
  return new D3dSurface(shared_, D3dSurface::Kind::TextureLevel, w_, h_, this);
}

class D3dVertexBuffer : public VertexBuffer {
 public:
  D3dVertexBuffer(SharedPtr shared, std::uint32_t bytes, std::uint32_t fvf)
      : shared_(std::move(shared)), data_(bytes, 0), fvf_(fvf) {}
  ~D3dVertexBuffer() override { SafeRelease(buffer_); }
  std::uint32_t SizeBytes() const override { return static_cast<std::uint32_t>(data_.size()); }
  std::uint32_t GetFVF() const override { return fvf_; }
  void* Lock() override { return data_.data(); }
  void Unlock() override { dirty_ = true; }
  const void* Data() const override { return data_.data(); }

  // The managed buffer with the latest content (drawing thread).
  IDirect3DVertexBuffer9* Get() {
    IDirect3DDevice9* device = shared_->device;
    if (!device || data_.empty()) return nullptr;
    if (!buffer_ &&
        FAILED(device->CreateVertexBuffer(static_cast<UINT>(data_.size()), D3DUSAGE_WRITEONLY, 0,
                                          D3DPOOL_MANAGED, &buffer_, nullptr))) {
      buffer_ = nullptr;
      return nullptr;
    }
    if (dirty_.exchange(false)) {
      void* to = nullptr;
      if (SUCCEEDED(buffer_->Lock(0, 0, &to, 0))) {
        std::memcpy(to, data_.data(), data_.size());
        buffer_->Unlock();
      }
    }
    return buffer_;
  }

 private:
  SharedPtr shared_;
  std::vector<unsigned char> data_;
  std::uint32_t fvf_;
  std::atomic<bool> dirty_{true};
  IDirect3DVertexBuffer9* buffer_ = nullptr;
};

class D3dIndexBuffer : public IndexBuffer {
 public:
  D3dIndexBuffer(SharedPtr shared, std::uint32_t count)
      : shared_(std::move(shared)), data_(count, 0u) {}
  ~D3dIndexBuffer() override { SafeRelease(buffer_); }
  std::uint32_t Count() const override { return static_cast<std::uint32_t>(data_.size()); }
  std::uint32_t* Lock() override { return data_.data(); }
  void Unlock() override { dirty_ = true; }
  const std::uint32_t* Data() const override { return data_.data(); }

  IDirect3DIndexBuffer9* Get() {
    IDirect3DDevice9* device = shared_->device;
    if (!device || data_.empty()) return nullptr;
    if (!buffer_ &&
        FAILED(device->CreateIndexBuffer(static_cast<UINT>(data_.size() * 4), D3DUSAGE_WRITEONLY,
                                         D3DFMT_INDEX32, D3DPOOL_MANAGED, &buffer_, nullptr))) {
      buffer_ = nullptr;
      return nullptr;
    }
    if (dirty_.exchange(false)) {
      void* to = nullptr;
      if (SUCCEEDED(buffer_->Lock(0, 0, &to, 0))) {
        std::memcpy(to, data_.data(), data_.size() * 4);
        buffer_->Unlock();
      }
      maxIndex_ = 0;
      for (std::uint32_t i : data_) maxIndex_ = std::max(maxIndex_, i);
    }
    return buffer_;
  }
  std::uint32_t MaxIndex() const { return maxIndex_; }

 private:
  SharedPtr shared_;
  std::vector<std::uint32_t> data_;
  std::atomic<bool> dirty_{true};
  IDirect3DIndexBuffer9* buffer_ = nullptr;
  std::uint32_t maxIndex_ = 0;
};

D3DCOLORVALUE Native(const ColorValue& c) { return {c.r, c.g, c.b, c.a}; }
D3DVECTOR Native(const Vec3& v) { return {v.x, v.y, v.z}; }

D3DMATERIAL9 Native(const Material& m) {
  D3DMATERIAL9 n{};
  n.Diffuse = Native(m.diffuse);
  n.Ambient = Native(m.ambient);
  n.Specular = Native(m.specular);
  n.Emissive = Native(m.emissive);
  n.Power = m.power;
  return n;
}

D3DLIGHT9 Native(const Light& l) {
  D3DLIGHT9 n{};
  n.Type = static_cast<D3DLIGHTTYPE>(l.type);
  n.Diffuse = Native(l.diffuse);
  n.Specular = Native(l.specular);
  n.Ambient = Native(l.ambient);
  n.Position = Native(l.position);
  n.Direction = Native(l.direction);
  n.Range = l.range;
  n.Falloff = l.falloff;
  n.Attenuation0 = l.attenuation0;
  n.Attenuation1 = l.attenuation1;
  n.Attenuation2 = l.attenuation2;
  n.Theta = l.theta;
  n.Phi = l.phi;
  return n;
}

D3DMATRIX Native(const Matrix& m) {
  D3DMATRIX n;
  std::memcpy(&n, &m.m[0][0], sizeof n);
  return n;
}

class D3dDevice : public StateDevice {
 public:
  D3dDevice(IDirect3D9* d3d, IDirect3DDevice9* device, const D3DPRESENT_PARAMETERS& pp, HWND hwnd,
            std::shared_ptr<void> window, UINT maxTextureSize)
      : d3d_(d3d),
        pp_(pp),
        hwnd_(hwnd),
        window_(std::move(window)),
        shared_(std::make_shared<Shared>()) {
    shared_->device = device;
    shared_->maxTextureSize = maxTextureSize;
    backBuffer_ =
        new D3dSurface(shared_, D3dSurface::Kind::Color, kBackBufferWidth, kBackBufferHeight);
    depthStencil_ = new D3dSurface(shared_, D3dSurface::Kind::DepthStencil, kBackBufferWidth,
                                   kBackBufferHeight);
    backBuffer_->Create();
    depthStencil_->Create();
    renderTarget_ = backBuffer_;
    renderTarget_->AddRef();
    currentDepth_ = depthStencil_;
    currentDepth_->AddRef();
    // A new back buffer starts black with depth 1.
    Clear(kClearTarget | kClearZBuffer | kClearStencil, 0xFF000000u, 1.0f, 0);
  }

  ~D3dDevice() override {
    SetRehearsal(false);
    EndSceneIfOpen();
    IDirect3DDevice9* device = shared_->device;
    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    ReleaseStateTexture();
    renderTarget_->Release();
    if (currentDepth_) currentDepth_->Release();
    backBuffer_->Release();
    depthStencil_->Release();
    {
      // Resources that outlive the device let go of their Direct3D side now.
      std::lock_guard<std::mutex> lock(shared_->mutex);
      for (DefaultPoolResource* r : shared_->defaultPool) r->Lose();
      shared_->device = nullptr;
    }
    device->Release();
    d3d_->Release();
  }

  // Frame. The device opens and closes its scenes itself.
  void BeginScene() override {}
  void EndScene() override {}

  void Clear(std::uint32_t flags, Color color, float z, std::uint32_t stencil) override {
    StartFrame();
    if (!ApplyTargets()) return;
    DWORD native = 0;
    if (flags & kClearTarget) native |= D3DCLEAR_TARGET;
    if (currentDepth_ && (flags & kClearZBuffer)) native |= D3DCLEAR_ZBUFFER;
    if (currentDepth_ && currentDepth_->HasStencil() && (flags & kClearStencil)) {
      native |= D3DCLEAR_STENCIL;
    }
    if (native == 0) return;
    ApplyViewport();
    Dev()->Clear(0, nullptr, native, color, std::clamp(z, 0.0f, 1.0f), stencil & 0xFF);
  }

  void Present() override {
    EndSceneIfOpen();
    frameStarted_ = false;
    if (rehearsal_) return;
    if (Dev()->TestCooperativeLevel() != D3D_OK) return;  // lost: nothing to show
    IDirect3DDevice9* device = Dev();
    IDirect3DSurface9* window = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &window))) return;
    const int w = static_cast<int>(pp_.BackBufferWidth), h = static_cast<int>(pp_.BackBufferHeight);
    const sdl_gl::PresentRect r = sdl_gl::FitBackBuffer(w, h);
    const int top = h - r.y - r.height;  // the rectangle is counted from the bottom
    device->SetRenderTarget(0, window);
    appliedTarget_ = nullptr;
    if (r.width != w || r.height != h) {
      device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    }
    if (r.width > 0 && r.height > 0 && backBuffer_->Get()) {
      const RECT to{r.x, top, r.x + r.width, top + r.height};
      const bool exact = r.width == static_cast<int>(kBackBufferWidth) &&
                         r.height == static_cast<int>(kBackBufferHeight);
      device->StretchRect(backBuffer_->Get(), nullptr, window, &to,
                          exact ? D3DTEXF_POINT : D3DTEXF_LINEAR);
    }
    window->Release();
    if (device->Present(nullptr, nullptr, nullptr, nullptr) == D3DERR_DEVICELOST) {
      std::fprintf(stderr,
                   "graphics: the Direct3D 9 device was lost; it is reset when it can be\n");
    }
  }

  void SetRehearsal(bool on) override {
    if (on == rehearsal_) return;
    EndSceneIfOpen();
    StateDevice::SetRehearsal(on);
    // The rehearsed picture goes into a stand-in, so the back buffer keeps
    // the picture last presented.
    if (on) {
      standIn_ =
          new D3dSurface(shared_, D3dSurface::Kind::Color, kBackBufferWidth, kBackBufferHeight);
      standIn_->Create();
      backBuffer_->SwapStorage(*standIn_);
    } else {
      backBuffer_->SwapStorage(*standIn_);
      standIn_->Release();
      standIn_ = nullptr;
    }
    // Its draws and clears go through a one-pixel scissor: Direct3D builds
    // what they need (its shaders for the fixed-function states) and fills
    // next to nothing.
    IDirect3DDevice9* device = Dev();
    device->SetRenderState(D3DRS_SCISSORTESTENABLE, on ? TRUE : FALSE);
    const RECT pixel{0, 0, 1, 1};
    if (on) device->SetScissorRect(&pixel);
  }

  // Drawing.
  void DrawPrimitiveUP(PrimitiveType type, std::uint32_t primitiveCount, const void* vertices,
                       std::uint32_t stride) override {
    const std::uint32_t count = VerticesForPrimitives(type, primitiveCount);
    const std::uint32_t fvf = state_.fvf;
    if (count == 0 || !vertices || (fvf & kFvfPositionMask) == 0) return;
    if (stride < GetFVFVertexSize(fvf)) {
      Complain("DrawPrimitiveUP: stride smaller than the vertex format; not drawn");
      return;
    }
    if (!Prepare(fvf)) return;
    Dev()->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(type), primitiveCount, vertices, stride);
    // DrawPrimitiveUP unbinds stream 0 and the indices.
    appliedVertices_ = nullptr;
    appliedIndices_ = nullptr;
  }

  void DrawIndexedPrimitive(VertexBuffer* vb, IndexBuffer* ib, PrimitiveType type,
                            std::uint32_t startIndex, std::uint32_t primitiveCount) override {
    auto* vbuf = dynamic_cast<D3dVertexBuffer*>(vb);
    auto* ibuf = dynamic_cast<D3dIndexBuffer*>(ib);
    const std::uint32_t count = VerticesForPrimitives(type, primitiveCount);
    if (!vbuf || !ibuf || count == 0) return;
    const std::uint32_t fvf = vbuf->GetFVF(), stride = GetFVFVertexSize(fvf);
    if ((fvf & kFvfPositionMask) == 0 || stride == 0) return;
    if (startIndex > ibuf->Count() || count > ibuf->Count() - startIndex) {
      Complain("DrawIndexedPrimitive: index range past the index buffer; not drawn");
      return;
    }
    IDirect3DVertexBuffer9* vertices = vbuf->Get();
    IDirect3DIndexBuffer9* indices = ibuf->Get();
    if (!vertices || !indices) return;
    const UINT vertexCount = vbuf->SizeBytes() / stride;
    if (ibuf->MaxIndex() >= vertexCount) {
      Complain("DrawIndexedPrimitive: index past the vertex buffer; not drawn");
      return;
    }
    if (!Prepare(fvf)) return;
    IDirect3DDevice9* device = Dev();
    if (appliedVertices_ != vertices || appliedStride_ != stride) {
      device->SetStreamSource(0, vertices, 0, stride);
      appliedVertices_ = vertices;
      appliedStride_ = stride;
    }
    if (appliedIndices_ != indices) {
      device->SetIndices(indices);
      appliedIndices_ = indices;
    }
    device->DrawIndexedPrimitive(static_cast<D3DPRIMITIVETYPE>(type), 0, 0, vertexCount, startIndex,
                                 primitiveCount);
  }

  // Resources.
  Texture* CreateTexture(std::uint32_t width, std::uint32_t height, Usage usage) override {
    return CreateTexture(width, height, kAllMipLevels, usage, 0, 0);
  }
  Texture* CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                         Usage usage, std::uint32_t /*contentWidth*/,
                         std::uint32_t /*contentHeight*/) override {
    // The padding of a picture costs Direct3D nothing worth trimming: the
    // whole texture is kept.
    const UINT max = shared_->maxTextureSize;
    if (width == 0 || height == 0 || width > max || height > max) {
      std::fprintf(stderr, "CreateTexture: %ux%u is not a possible texture size\n", width, height);
      return nullptr;
    }
    auto* t = new D3dTexture(shared_, width, height, levels != 1, usage);
    if (!t->Create()) {
      std::fprintf(stderr, "CreateTexture: Direct3D 9 cannot make a %ux%u texture\n", width,
                   height);
      t->Release();
      return nullptr;
    }
    return t;
  }
  Surface* CreateDepthStencilSurface(std::uint32_t width, std::uint32_t height,
                                     DepthFormat format) override {
    const UINT max = shared_->maxTextureSize;
    if (width == 0 || height == 0 || width > max || height > max) return nullptr;
    auto* s =
        new D3dSurface(shared_, D3dSurface::Kind::DepthStencil, width, height, nullptr, format);
    if (!s->Create()) {
      s->Release();
      return nullptr;
    }
    return s;
  }
  VertexBuffer* CreateVertexBuffer(std::uint32_t bytes, std::uint32_t fvf) override {
    return new D3dVertexBuffer(shared_, bytes, fvf);
  }
  IndexBuffer* CreateIndexBuffer(std::uint32_t count) override {
    return new D3dIndexBuffer(shared_, count);
  }

  // Render targets.
  Surface* GetBackBuffer() override {
    backBuffer_->AddRef();
    return backBuffer_;
  }
  Surface* GetRenderTarget(std::uint32_t index) override {
    if (index != 0) return nullptr;
    renderTarget_->AddRef();
    return renderTarget_;
  }
  void SetRenderTarget(std::uint32_t index, Surface* surface) override {
    auto* s = dynamic_cast<D3dSurface*>(surface);
    if (index != 0 || !s || s->GetKind() == D3dSurface::Kind::DepthStencil) return;
    if (s != renderTarget_ && renderTarget_->GetTexture()) {
      // Drawing into that texture has ended: what it holds is kept for a
      // reset to give back.
      EndSceneIfOpen();
      renderTarget_->GetTexture()->Backup();
    }
    s->AddRef();
    renderTarget_->Release();
    renderTarget_ = s;
    // A new render target brings a viewport covering all of it.
    state_.viewport = Viewport{0, 0, s->Width(), s->Height(), 0.0f, 1.0f};
  }
  Surface* GetDepthStencilSurface() override {
    if (currentDepth_) currentDepth_->AddRef();
    return currentDepth_;
  }
  void SetDepthStencilSurface(Surface* surface) override {
    auto* s = dynamic_cast<D3dSurface*>(surface);
    if (surface && (!s || s->GetKind() != D3dSurface::Kind::DepthStencil)) return;
    if (s) s->AddRef();
    if (currentDepth_) currentDepth_->Release();
    currentDepth_ = s;
  }

  std::vector<std::uint32_t> ReadBackBuffer() override {
    EndSceneIfOpen();
    std::vector<std::uint32_t> px =
        ReadRenderTarget(Dev(), backBuffer_->Get(), kBackBufferWidth, kBackBufferHeight);
    for (auto& p : px) p |= 0xFF000000u;
    return px;
  }

  std::vector<std::uint32_t> ReadTexture(Texture* texture) override {
    auto* t = dynamic_cast<D3dTexture*>(texture);
    if (!t) return {};
    EndSceneIfOpen();
    return t->Read();
  }

  // Test hooks.
  bool ForceReset() {
    EndSceneIfOpen();
    return Reset(pp_.BackBufferWidth, pp_.BackBufferHeight);
  }
  int Resets() const { return resets_; }

 private:
  IDirect3DDevice9* Dev() const { return shared_->device; }

  void Complain(const char* what) {
    if (complaints_ < 10) std::fprintf(stderr, "%s\n", what);
    ++complaints_;
  }

  // At the first clear or draw of a frame: a lost device is reset once
  // Direct3D allows it, and so is the swap chain when the window's size has
  // changed, so that the picture is scaled once, by us, with black bars. (At
  // Present it would be too late: a reset empties the back buffer, and the
  // picture just drawn is what screenshots read between frames.)
  void StartFrame() {
    if (frameStarted_) return;
    frameStarted_ = true;
    if (!DeviceUsable()) return;
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int w = client.right - client.left, h = client.bottom - client.top;
    if (w > 0 && h > 0 &&
        (static_cast<UINT>(w) != pp_.BackBufferWidth ||
         static_cast<UINT>(h) != pp_.BackBufferHeight)) {
      Reset(static_cast<UINT>(w), static_cast<UINT>(h));
    }
  }

  // Whether the device can draw: a lost device is reset once Direct3D
  // allows it; until then nothing is drawn or shown.
  bool DeviceUsable() {
    const HRESULT hr = Dev()->TestCooperativeLevel();
    if (hr == D3D_OK) return true;
    if (hr == D3DERR_DEVICENOTRESET) return Reset(pp_.BackBufferWidth, pp_.BackBufferHeight);
    return false;  // D3DERR_DEVICELOST: wait
  }

  // Releases everything in the default pool, resets the device to a swap
  // chain of width x height and makes everything again.
  bool Reset(UINT width, UINT height) {
    IDirect3DDevice9* device = Dev();
    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    device->SetDepthStencilSurface(nullptr);
    IDirect3DSurface9* window = nullptr;
    if (SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &window))) {
      device->SetRenderTarget(0, window);
      window->Release();
    }
    ForgetApplied();
    std::lock_guard<std::mutex> lock(shared_->mutex);
    for (DefaultPoolResource* r : shared_->defaultPool) r->Lose();
    D3DPRESENT_PARAMETERS pp = pp_;
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    const HRESULT hr = device->Reset(&pp);
    if (FAILED(hr)) {
      std::fprintf(stderr, "graphics: the Direct3D 9 device cannot be reset (0x%08lx)\n",
                   static_cast<unsigned long>(hr));
      return false;
    }
    pp_ = pp;
    for (DefaultPoolResource* r : shared_->defaultPool) r->Restore();
    if (rehearsal_) {
      const RECT pixel{0, 0, 1, 1};
      device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
      device->SetScissorRect(&pixel);
    }
    ++resets_;
    return true;
  }

  // Everything is sent again at the next draw (Reset restores Direct3D's
  // defaults).
  void ForgetApplied() {
    applied_ = false;
    appliedTarget_ = appliedDepth_ = nullptr;
    appliedDepthSet_ = false;
    appliedVertices_ = nullptr;
    appliedIndices_ = nullptr;
    appliedTexture_ = nullptr;
    appliedViewportValid_ = false;
  }

  void EnsureScene() {
    if (inScene_) return;
    inScene_ = SUCCEEDED(Dev()->BeginScene());
  }
  void EndSceneIfOpen() {
    if (!inScene_) return;
    Dev()->EndScene();
    inScene_ = false;
  }

  // The render target and depth surface. False when there is nothing to
  // draw into (a reset that failed).
  bool ApplyTargets() {
    IDirect3DDevice9* device = Dev();
    IDirect3DSurface9* target = renderTarget_->Get();
    if (!target) return false;
    if (appliedTarget_ != target) {
      device->SetRenderTarget(0, target);
      appliedTarget_ = target;
      // Direct3D sets the viewport to the whole target here.
      appliedViewportValid_ = false;
    }
    IDirect3DSurface9* depth = currentDepth_ ? currentDepth_->Get() : nullptr;
    if (!appliedDepthSet_ || appliedDepth_ != depth) {
      device->SetDepthStencilSurface(depth);
      appliedDepth_ = depth;
      appliedDepthSet_ = true;
    }
    return true;
  }

  void ApplyViewport() {
    // Direct3D refuses a viewport reaching past its target; ours is kept
    // inside it.
    const Viewport& v = state_.viewport;
    D3DVIEWPORT9 vp{};
    vp.X = std::min<DWORD>(v.x, renderTarget_->Width());
    vp.Y = std::min<DWORD>(v.y, renderTarget_->Height());
    vp.Width = std::min<DWORD>(v.width, renderTarget_->Width() - vp.X);
    vp.Height = std::min<DWORD>(v.height, renderTarget_->Height() - vp.Y);
    vp.MinZ = v.minZ;
    vp.MaxZ = v.maxZ;
    if (appliedViewportValid_ && std::memcmp(&vp, &appliedViewport_, sizeof vp) == 0) return;
    Dev()->SetViewport(&vp);
    appliedViewport_ = vp;
    appliedViewportValid_ = true;
  }

  // Sends the state that differs from what was last sent, for a draw in
  // vertex format `fvf`. False when nothing can be drawn.
  bool Prepare(std::uint32_t fvf) {
    StartFrame();
    if (!ApplyTargets()) return false;
    if (state_.viewport.width == 0 || state_.viewport.height == 0) return false;
    ApplyViewport();
    EnsureScene();
    IDirect3DDevice9* device = Dev();
    const DeviceState& s = state_;
    DeviceState& a = sent_;
    const bool all = !applied_;
    auto rs = [&](D3DRENDERSTATETYPE type, std::uint32_t value, std::uint32_t& held) {
      if (all || held != value) {
        device->SetRenderState(type, value);
        held = value;
      }
    };
    // Without a depth surface nothing is tested or written.
    rs(D3DRS_ZENABLE, currentDepth_ ? s.zEnable : 0u, a.zEnable);
    rs(D3DRS_ZWRITEENABLE, s.zWriteEnable, a.zWriteEnable);
    rs(D3DRS_ZFUNC, s.zFunc, a.zFunc);
    rs(D3DRS_ALPHATESTENABLE, s.alphaTestEnable, a.alphaTestEnable);
    rs(D3DRS_ALPHAREF, s.alphaRef, a.alphaRef);
    rs(D3DRS_ALPHAFUNC, s.alphaFunc, a.alphaFunc);
    rs(D3DRS_ALPHABLENDENABLE, s.alphaBlendEnable, a.alphaBlendEnable);
    rs(D3DRS_SRCBLEND, s.srcBlend, a.srcBlend);
    rs(D3DRS_DESTBLEND, s.destBlend, a.destBlend);
    rs(D3DRS_CULLMODE, s.cullMode, a.cullMode);
    rs(D3DRS_LIGHTING, s.lighting, a.lighting);
    rs(D3DRS_AMBIENT, s.ambient, a.ambient);
    rs(D3DRS_SPECULARENABLE, s.specularEnable, a.specularEnable);
    rs(D3DRS_DIFFUSEMATERIALSOURCE, s.diffuseMaterialSource, a.diffuseMaterialSource);
    rs(D3DRS_VERTEXBLEND, s.vertexBlend, a.vertexBlend);

    auto tss = [&](D3DTEXTURESTAGESTATETYPE type, std::uint32_t value, std::uint32_t& held) {
      if (all || held != value) {
        device->SetTextureStageState(0, type, value);
        held = value;
      }
    };
    tss(D3DTSS_COLOROP, s.colorOp, a.colorOp);
    tss(D3DTSS_COLORARG1, s.colorArg1, a.colorArg1);
    tss(D3DTSS_COLORARG2, s.colorArg2, a.colorArg2);
    tss(D3DTSS_ALPHAOP, s.alphaOp, a.alphaOp);
    tss(D3DTSS_ALPHAARG1, s.alphaArg1, a.alphaArg1);
    tss(D3DTSS_ALPHAARG2, s.alphaArg2, a.alphaArg2);

    auto ss = [&](D3DSAMPLERSTATETYPE type, std::uint32_t value, std::uint32_t& held) {
      if (all || held != value) {
        device->SetSamplerState(0, type, value);
        held = value;
      }
    };
    ss(D3DSAMP_MAGFILTER, s.magFilter, a.magFilter);
    ss(D3DSAMP_MINFILTER, s.minFilter, a.minFilter);
    ss(D3DSAMP_MIPFILTER, s.mipFilter, a.mipFilter);
    ss(D3DSAMP_ADDRESSU, s.addressU, a.addressU);
    ss(D3DSAMP_ADDRESSV, s.addressV, a.addressV);

    auto transform = [&](D3DTRANSFORMSTATETYPE type, const Matrix& m, Matrix& held) {
      if (all || std::memcmp(&held, &m, sizeof m) != 0) {
        const D3DMATRIX n = Native(m);
        device->SetTransform(type, &n);
        held = m;
      }
    };
    transform(D3DTS_VIEW, s.view, a.view);
    transform(D3DTS_PROJECTION, s.projection, a.projection);
    for (int i = 0; i < 4; ++i) {
      transform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_WORLDMATRIX(i)), s.world[i], a.world[i]);
    }
    if (all || std::memcmp(&a.material, &s.material, sizeof s.material) != 0) {
      const D3DMATERIAL9 m = Native(s.material);
      device->SetMaterial(&m);
      a.material = s.material;
    }
    if (all || std::memcmp(&a.light, &s.light, sizeof s.light) != 0) {
      const D3DLIGHT9 l = Native(s.light);
      device->SetLight(0, &l);
      a.light = s.light;
    }
    if (all || a.lightEnabled != s.lightEnabled) {
      device->LightEnable(0, s.lightEnabled ? TRUE : FALSE);
      a.lightEnabled = s.lightEnabled;
    }
    auto* tex = dynamic_cast<D3dTexture*>(s.texture);
    IDirect3DTexture9* texture = tex ? tex->Get() : nullptr;
    if (all || appliedTexture_ != texture) {
      device->SetTexture(0, texture);
      appliedTexture_ = texture;
    }
    if (all || a.fvf != fvf) {
      device->SetFVF(fvf);
      a.fvf = fvf;
    }
    applied_ = true;
    return true;
  }

  IDirect3D9* d3d_;
  D3DPRESENT_PARAMETERS pp_;
  HWND hwnd_;
  std::shared_ptr<void> window_;
  SharedPtr shared_;
  D3dSurface* backBuffer_ = nullptr;
  D3dSurface* standIn_ = nullptr;  // while rehearsing
  D3dSurface* depthStencil_ = nullptr;
  D3dSurface* renderTarget_ = nullptr;
  D3dSurface* currentDepth_ = nullptr;
  bool inScene_ = false;
  bool frameStarted_ = false;  // since the last Present (see StartFrame)
  // What was last sent to Direct3D (valid while applied_).
  bool applied_ = false;
  DeviceState sent_;
  IDirect3DTexture9* appliedTexture_ = nullptr;
  IDirect3DSurface9* appliedTarget_ = nullptr;
  IDirect3DSurface9* appliedDepth_ = nullptr;
  bool appliedDepthSet_ = false;
  IDirect3DVertexBuffer9* appliedVertices_ = nullptr;
  UINT appliedStride_ = 0;
  IDirect3DIndexBuffer9* appliedIndices_ = nullptr;
  D3DVIEWPORT9 appliedViewport_{};
  bool appliedViewportValid_ = false;
  int complaints_ = 0;
  int resets_ = 0;
};

}  // namespace

std::unique_ptr<Device> CreateD3d9Device(void* hwnd, std::shared_ptr<void> window,
                                         std::string* error) {
  std::string dummy;
  if (!error) error = &dummy;
  HWND handle = static_cast<HWND>(hwnd);
  if (!handle) {
    *error = "no window handle";
    return nullptr;
  }
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d) {
    *error = "Direct3DCreate9 failed";
    return nullptr;
  }
  D3DCAPS9 caps{};
  if (FAILED(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) {
    d3d->Release();
    *error = "no Direct3D 9 adapter";
    return nullptr;
  }
  RECT client{};
  GetClientRect(handle, &client);
  D3DPRESENT_PARAMETERS pp{};
  pp.Windowed = TRUE;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferCount = 1;
  pp.BackBufferWidth = static_cast<UINT>(std::max<LONG>(client.right - client.left, 1));
  pp.BackBufferHeight = static_cast<UINT>(std::max<LONG>(client.bottom - client.top, 1));
  pp.hDeviceWindow = handle;
  pp.EnableAutoDepthStencil = FALSE;
  // The frame tick paces the game; Present must not wait for the display.
  pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  // Skinned parts blend up to four world matrices; without hardware that
  // can, Direct3D's own software vertex processing does.
  const bool hardware =
      (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0 && caps.MaxVertexBlendMatrices >= 4;
  const DWORD flags =
      (hardware ? D3DCREATE_HARDWARE_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING) |
      D3DCREATE_MULTITHREADED | D3DCREATE_FPU_PRESERVE;
  IDirect3DDevice9* device = nullptr;
  const HRESULT hr =
      d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, handle, flags, &pp, &device);
  if (FAILED(hr) || !device) {
    d3d->Release();
    char text[64];
    std::snprintf(text, sizeof text, "CreateDevice failed (0x%08lx)",
                  static_cast<unsigned long>(hr));
    *error = text;
    return nullptr;
  }
  const UINT maxSize = std::min<DWORD>(caps.MaxTextureWidth, caps.MaxTextureHeight);
  return std::make_unique<D3dDevice>(d3d, device, pp, handle, std::move(window),
                                     maxSize > 0 ? maxSize : 2048);
}

bool IsD3d9Device(const Device& device) { return dynamic_cast<const D3dDevice*>(&device); }

bool ResetDeviceForTest(Device& device) {
  auto* d = dynamic_cast<D3dDevice*>(&device);
  return d && d->ForceReset();
}

int ResetCountForTest(const Device& device) {
  auto* d = dynamic_cast<const D3dDevice*>(&device);
  return d ? d->Resets() : 0;
}

}  // namespace platform::d3d9
