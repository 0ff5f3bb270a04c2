// The OpenGL 3.3 core device: the fixed-function pipeline the game draws with,
// reproduced by shader programs made for each combination of the states that
// decide the code, drawing into an 800 x 600 framebuffer that Present scales
// into the window.
//
// Conventions:
//  - Every render target (the back buffer and render-target textures) is an
//    FBO attachment stored top row first: GL row 0 is the picture's top row.
//    Texture uploads (top row first) and glReadPixels then need no flipping,
//    and a render-target texture samples right side up with (0, 0) at its
//    top-left. The vertex shader negates clip y to get there, which turns the
//    screen's clockwise into GL's counter-clockwise: front faces are GL_CCW.
//  - Pixel centres sit at integer coordinates, as the game expects: vertices
//    are shifted by exactly half a pixel, so a centre on an edge in the
//    game's coordinates is on that edge in GL too and the rasteriser's own
//    tie rule decides it. GL leaves that rule to the driver; Mesa's keeps a
//    centre on a left edge or on a horizontal edge at the triangle's low
//    window y, and window y runs down our targets, so that is the top-left
//    rule the game was drawn with: top and left edges drawn, right and bottom
//    edges not, slanted or straight. (A nudge off the centres cannot do this:
//    it picks a side by the edge's slope, and no shift settles edges of every
//    slope. The GL tests pin the rule down pixel by pixel.)
//    Exact centres also put the samples of a 1:1 screen quad exactly on
//    texel edges, where the game's pipeline takes the texel right and below
//    but GL's interpolation, a hair off either way, may take the one before.
//    Point sampling therefore reads its texel 1/256 pixel right and below
//    the centre: far beyond that error, far too little to move anything else.
//  - Lighting is per vertex in view space with light 0 taken as directional
//    (the only kind the game sets). Specular is never added (the game keeps
//    it off) and a COLOR2 material source falls back to the material. N·L is
//    capped at 1 or not as kClampDiffusePerLight says.
//  - The alpha test weighs the stage's alpha as computed (a texel alpha
//    times a diffuse alpha falls between 8-bit steps) against the reference.
//  - Vertex blending blends view-space positions and normals, each normal
//    through the inverse-transpose of its own world * view matrix, so scaled
//    bones light like unblended scaled meshes.
//  - Software GL pays for every state change at the next draw, so a draw
//    sends only what differs from what this device last set (see Applied);
//    the draw framebuffer is fbo_ between calls.
//  - Resources may be created and filled on the loading thread, which has no
//    GL context. They keep a CPU copy and get their GL object (or the new
//    content) the next time the drawing thread uses them. GL names of freed
//    resources are queued and deleted by the drawing thread; once the device
//    is gone the queue is closed and resources free only their CPU side.

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/sdl_gl/backend.h"
#include "platform/sdl_gl/gl_api.h"

namespace platform::sdl_gl {

using engine::Matrix;
using engine::MatrixInverse;
using engine::Vec3;
using engine::Vec3Normalize;
using engine::Vec3TransformNormal;

namespace {

constexpr std::uint32_t kBackBufferWidth = 800;
constexpr std::uint32_t kBackBufferHeight = 600;
// How far vertices move to put pixel centres on integer coordinates.
constexpr float kPixelCentreShift = 0.5f;
// How far right and down of the pixel centre point sampling reads, in pixels.
constexpr float kPointSampleNudge = 1.0f / 256.0f;

class GlTexture;

// A texture's CPU copy. It starts transparent black without being written: a
// large block comes straight from the system as zeroed pages, which cost
// nothing until touched, so the padding around a picture costs no time or
// memory while the loader fills the picture in.
class PixelBlock {
 public:
  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  std::uint32_t* data() const { return data_.get(); }
  // `n` transparent black pixels (none when memory runs out: data() is null).
  void Zeroed(std::size_t n) {
    data_.reset(static_cast<std::uint32_t*>(std::calloc(n, sizeof(std::uint32_t))));
    size_ = data_ ? n : 0;
  }
  void Release() {
    data_.reset();
    size_ = 0;
  }
  std::vector<std::uint32_t> Copy() const { return {data(), data() + size_}; }

 private:
  struct Free {
    void operator()(std::uint32_t* p) const { std::free(p); }
  };
  std::unique_ptr<std::uint32_t, Free> data_;
  std::size_t size_ = 0;
};

// What the device and its resources share.
struct Shared {
  std::mutex mutex;
  bool alive = true;
  GLint maxTextureSize = 4096;
  // Mip chains get their storage in one piece (see GlTexture::Upload).
  bool textureStorage = false;
  std::thread::id drawingThread = std::this_thread::get_id();
  std::vector<GLuint> deadTextures, deadBuffers, deadRenderbuffers;
  // Loaded textures filled since their last upload, oldest first: the
  // drawing thread uploads them between frames (see UploadPending) and
  // signals `uploadsSent` each time some have gone.
  std::vector<GlTexture*> pendingUploads;
  std::condition_variable uploadsSent;
  // Wakes the drawing thread, to send them now when it has time to spare.
  std::function<void()> wakeDrawingThread;
};
using SharedPtr = std::shared_ptr<Shared>;

enum class GlKind { Texture, Buffer, Renderbuffer };

void Bury(const SharedPtr& shared, GlKind kind, GLuint name) {
  if (name == 0) return;
  std::lock_guard<std::mutex> lock(shared->mutex);
  if (!shared->alive) return;  // the context is gone and took the name with it
  switch (kind) {
    case GlKind::Texture: shared->deadTextures.push_back(name); break;
    case GlKind::Buffer: shared->deadBuffers.push_back(name); break;
    case GlKind::Renderbuffer: shared->deadRenderbuffers.push_back(name); break;
  }
}

// Whether the calling thread is the one that drew with the device (and so
// holds its GL context).
bool OnDrawingThread(const Shared& shared) {
  return std::this_thread::get_id() == shared.drawingThread;
}

// A texture may be trimmed: a picture padded to a power of two is made with
// its content size (see Device::CreateTexture), and GL then stores only the
// content and one transparent row and column beyond it, as a rectangle
// texture. Its draws sample it at texel coordinates, the texture coordinate
// times the whole size, which is the very product a 2D texture of the whole
// size forms (a power of two scales exactly), and a clamped sample past the
// content reads the transparent border as it would read the padding: a
// clamped draw samples bit for bit what it did. A draw that wraps or
// mirrors first gets the whole texture stored as a 2D one (Untrim), since
// there the padding itself is sampled. Only a single-level texture is
// trimmed: a mip chain is made from the whole.
class GlTexture : public Texture {
 public:
  GlTexture(SharedPtr shared, std::uint32_t w, std::uint32_t h, std::uint32_t levels, Usage usage,
            std::uint32_t contentW = 0, std::uint32_t contentH = 0)
      : shared_(std::move(shared)),
        w_(w),
        h_(h),
        storedW_(TrimmedSide(w, levels, contentW)),
        storedH_(TrimmedSide(h, levels, contentH)),
        usage_(usage),
        mipmapped_(levels != 1 && usage != Usage::RenderTarget) {
    // A render target is drawn into whole; like a loaded texture, it keeps
    // no CPU copy beyond the upload of its first (transparent) pixels, and
    // a lock reads back what it holds.
    if (usage_ == Usage::RenderTarget) {
      storedW_ = w;
      storedH_ = h;
    }
  }
  ~GlTexture() override {
    if (usage_ != Usage::RenderTarget) {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      auto& pending = shared_->pendingUploads;
      pending.erase(std::remove(pending.begin(), pending.end(), this), pending.end());
      shared_->uploadsSent.notify_all();
    }
    Bury(shared_, GlKind::Texture, name_);
  }

  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Usage GetUsage() const override { return usage_; }
  std::uint32_t* LockRect() override { return CpuPixels().data(); }
  void UnlockRect() override {
    dirty_ = true;
    if (usage_ == Usage::RenderTarget) return;
    if (mipmapped_ && !pixels_.empty()) {
      // The lower levels are made here, on the loader's thread for a loaded
      // texture, and go up with level 0.
      mips_.Zeroed(MipChainPixels(w_, h_));
      if (!mips_.empty()) MakeMipChain(pixels_.data(), w_, h_, mips_.data());
    }
    std::unique_lock<std::mutex> lock(shared_->mutex);
    auto& pending = shared_->pendingUploads;
    if (std::find(pending.begin(), pending.end(), this) == pending.end()) pending.push_back(this);
    if (!OnDrawingThread(*shared_)) {
      // A loader decodes faster than the frames send pictures up (a few
      // megabytes a frame): it waits here until those queued before this
      // one hold at most kMaxQueuedBytes, so that their CPU copies do not
      // pile up (they did to 20 MB, the largest part of the loading's
      // peak memory). Never longer than a few frames, so that a drawing
      // thread that stopped sending (a window closing) holds it up little.
      if (BytesQueuedBefore() > kMaxQueuedBytes && shared_->wakeDrawingThread) {
        shared_->wakeDrawingThread();
        shared_->uploadsSent.wait_for(lock, kMaxQueueWait,
                                      [this] { return BytesQueuedBefore() <= kMaxQueuedBytes; });
      }
    }
  }
  Surface* GetSurfaceLevel(std::uint32_t level) override;

  std::uint32_t GetLevelCount() const override {
    return mipmapped_ ? FullMipChainLevels(w_, h_) : 1;
  }

  // CPU memory the texture holds until its upload.
  std::size_t CpuBytes() const { return (pixels_.size() + mips_.size()) * sizeof(std::uint32_t); }

  bool Trimmed() const { return storedW_ != w_ || storedH_ != h_; }
  GLenum Target() const { return Trimmed() ? kTextureRectangle : GL_TEXTURE_2D; }

  // The GL texture with the latest CPU content (drawing thread only). An
  // upload leaves it bound on the active unit and sets *bound.
  //
  // A loaded texture lets go of its CPU copy once GL holds the pixels: GL
  // keeps them for as long as the context lives, which is as long as the
  // texture can be drawn, and a later lock reads them back. The lower mip
  // levels, made when it was unlocked, go up once level 0 is whole.
  GLuint Name(bool* bound = nullptr) {
    std::size_t unlimited = SIZE_MAX;
    Upload(&unlimited, bound);
    return name_;
  }

  // Uploads what is pending, at most *budget bytes of it (at least a row),
  // and takes what it sent off *budget. A texture larger than the budget goes
  // up in bands of rows over several calls. True once the texture is whole.
  bool Upload(std::size_t* budget, bool* bound) {
    if (name_ == 0) glGenTextures(1, &name_);
    if (!dirty_.load()) return true;
    const GLenum target = Target();
    glBindTexture(target, name_);
    if (bound) *bound = true;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (rowsDone_ == 0 && target == GL_TEXTURE_2D) {
      // A single level is complete under any filter, mip filters included.
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, mipmapped_ ? 1000 : 0);
    }
    if (usage_ == Usage::RenderTarget && !uploaded_ && pixels_.empty() &&
        StartTransparent(target)) {
      return true;
    }
    const PixelBlock& px = CpuPixels();
    if (!px.data()) return true;  // no memory for the pixels: nothing to send
    const auto sw = static_cast<GLsizei>(storedW_), sh = static_cast<GLsizei>(storedH_);
    const auto pitch = static_cast<GLsizei>(w_);
    const std::size_t rowBytes = static_cast<std::size_t>(storedW_) * 4;
    if (mipmapped_ && shared_->textureStorage && !fixedStorage_) {
      // The whole chain at once. Level by level, Mesa keeps each level apart
      // until the first draw and then copies them into one chain: for the
      // planet's ground, twice its 10.7 MB for a moment.
      TexStorageRgba8(target, static_cast<GLsizei>(GetLevelCount()), sw, sh);
      fixedStorage_ = true;
    }
    if (!fixedStorage_ && rowsDone_ == 0 && *budget >= rowBytes * storedH_) {
      // 0xAARRGGBB words are B, G, R, A bytes in memory.
      TexImageBgra(target, sw, sh, px.data(), pitch);
      rowsDone_ = storedH_;
      *budget -= rowBytes * storedH_;
    } else {
      // In bands of rows, into storage made beforehand.
      if (!fixedStorage_ && rowsDone_ == 0) TexImageBgra(target, sw, sh, nullptr);
      const std::uint32_t rows = static_cast<std::uint32_t>(
          std::clamp<std::size_t>(*budget / rowBytes, 1, storedH_ - rowsDone_));
      TexSubImageBgra(target, static_cast<GLint>(rowsDone_), sw, static_cast<GLsizei>(rows),
                      px.data() + static_cast<std::size_t>(rowsDone_) * w_, pitch);
      rowsDone_ += rows;
      *budget -= std::min(*budget, rows * rowBytes);
    }
    if (rowsDone_ < storedH_) return false;
    if (mipmapped_) UploadMipLevels(target);
    rowsDone_ = 0;
    uploaded_ = true;
    dirty_ = false;
    pixels_.Release();
    mips_.Release();
    return true;
  }

  // A new render target's storage, transparent black, sent a band of zero
  // rows at a time: it never needs a CPU copy of its whole (the result
  // screen's is as large as the back buffer). False when its rows are wider
  // than the band.
  bool StartTransparent(GLenum target) {
    static const std::array<std::uint32_t, 16384> kZeros{};
    const std::uint32_t bandRows = static_cast<std::uint32_t>(kZeros.size()) / w_;
    if (bandRows == 0) return false;
    const auto sw = static_cast<GLsizei>(w_);
    TexImageBgra(target, sw, static_cast<GLsizei>(h_), nullptr);
    for (std::uint32_t y = 0; y < h_; y += bandRows) {
      TexSubImageBgra(target, static_cast<GLint>(y), sw,
                      static_cast<GLsizei>(std::min(bandRows, h_ - y)), kZeros.data());
    }
    uploaded_ = true;
    dirty_ = false;
    return true;
  }

  // Stores the whole texture from now on, padding included, as a 2D texture
  // under a new name (drawing thread only, after Name). Sets *bound when it
  // changes anything: the old name is gone and the new one is bound.
  void Untrim(bool* bound) {
    if (!Trimmed()) return;
    CpuPixels();  // the whole picture, read back while the trimmed one is stored
    glDeleteTextures(1, &name_);
    name_ = 0;
    storedW_ = w_;
    storedH_ = h_;
    rowsDone_ = 0;
    dirty_ = true;
    *bound = true;
    Name(bound);
  }

  // The CPU copy, made again when it was let go: read back from GL on the
  // drawing thread; elsewhere (no context there) transparent black, which
  // is also what a texture never filled holds.
  PixelBlock& CpuPixels() {
    if (pixels_.empty()) {
      pixels_.Zeroed(static_cast<std::size_t>(w_) * h_);
      if (pixels_.empty()) return pixels_;
      if (uploaded_ && name_ != 0 && OnDrawingThread(*shared_)) ReadBack();
    }
    return pixels_;
  }
  const SharedPtr& SharedState() const { return shared_; }

 private:
  static constexpr std::size_t kMaxQueuedBytes = std::size_t{8} << 20;
  static constexpr std::chrono::milliseconds kMaxQueueWait{100};

  // The CPU memory of the uploads queued before this texture (under the
  // shared mutex).
  std::size_t BytesQueuedBefore() const {
    std::size_t bytes = 0;
    for (const GlTexture* t : shared_->pendingUploads) {
      if (t == this) break;
      bytes += t->CpuBytes();
    }
    return bytes;
  }

  // Levels 1 and below from mips_ (or, had there been no memory for them,
  // made by GL).
  void UploadMipLevels(GLenum target) {
    if (mips_.empty()) {
      glGenerateMipmap(target);
      return;
    }
    std::uint32_t w = w_, h = h_;
    const std::uint32_t* level = mips_.data();
    for (GLint i = 1; w > 1 || h > 1; ++i) {
      w = MipSide(w);
      h = MipSide(h);
      if (fixedStorage_) {
        TexSubImageBgra(target, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), level, 0, i);
      } else {
        TexImageBgra(target, static_cast<GLsizei>(w), static_cast<GLsizei>(h), level, 0, i);
      }
      level += static_cast<std::size_t>(w) * h;
    }
  }

  // GL's level 0 into the zeroed CPU copy.
  void ReadBack() {
    const auto sw = static_cast<GLsizei>(storedW_), sh = static_cast<GLsizei>(storedH_);
    if (!Trimmed()) {
      GetTexImageBgra(GL_TEXTURE_2D, name_, sw, sh, pixels_.data());
      return;
    }
    std::vector<std::uint32_t> stored(static_cast<std::size_t>(storedW_) * storedH_);
    GetTexImageBgra(Target(), name_, sw, sh, stored.data());
    for (std::uint32_t y = 0; y < storedH_; ++y) {
      std::copy_n(stored.data() + static_cast<std::size_t>(y) * storedW_, storedW_,
                  pixels_.data() + static_cast<std::size_t>(y) * w_);
    }
  }

  SharedPtr shared_;
  std::uint32_t w_, h_;
  std::uint32_t storedW_, storedH_;  // what GL stores (see the class comment)
  Usage usage_;
  PixelBlock pixels_;
  PixelBlock mips_;  // the levels below level 0 until they are uploaded
  std::atomic<bool> dirty_{true};
  GLuint name_ = 0;
  std::uint32_t rowsDone_ = 0;  // of an upload in bands, drawing thread only
  bool uploaded_ = false;
  const bool mipmapped_;       // the whole chain, made at each unlock
  bool fixedStorage_ = false;  // the chain's storage made in one piece (drawing thread)

  static std::uint32_t TrimmedSide(std::uint32_t side, std::uint32_t levels,
                                   std::uint32_t content) {
    const bool trim = kRectangleTextures && levels == 1 && content > 0 && content < side;
    return trim ? content + 1 : side;
  }
};

// The back buffer, a depth-stencil surface, or level 0 of a render-target
// texture.
class GlSurface : public Surface {
 public:
  enum class Kind { Color, DepthStencil, TextureLevel };
  GlSurface(SharedPtr shared, Kind kind, std::uint32_t w, std::uint32_t h,
            GlTexture* texture = nullptr, DepthFormat depthFormat = DepthFormat::D24S8)
      : shared_(std::move(shared)),
        kind_(kind),
        w_(w),
        h_(h),
        texture_(texture),
        depthFormat_(depthFormat) {
    if (texture_) texture_->AddRef();
  }
  ~GlSurface() override {
    if (texture_) texture_->Release();
    Bury(shared_, GlKind::Renderbuffer, renderbuffer_);
    Bury(shared_, GlKind::Texture, colorTexture_);
  }
  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Kind GetKind() const { return kind_; }
  GlTexture* GetTexture() const { return texture_; }

  // The depth-stencil storage.
  GLuint Renderbuffer() {
    if (renderbuffer_ == 0 && kind_ == Kind::DepthStencil) {
      glGenRenderbuffers(1, &renderbuffer_);
      glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
      glRenderbufferStorage(GL_RENDERBUFFER,
                            HasStencil() ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT16,
                            static_cast<GLsizei>(w_), static_cast<GLsizei>(h_));
    }
    return renderbuffer_;
  }
  bool HasStencil() const { return depthFormat_ == DepthFormat::D24S8; }

  // The colour storage of the back buffer (and of its stand-in while a
  // picture is rehearsed): a texture of unsized RGBA given as B, G, R, A
  // bytes, which the driver may then store as those bytes. That is how the
  // window keeps its pixels, and Mesa copies a picture into the window row
  // for row when the two match (our rows run top first, as the window's
  // memory does, so the flip of Present is a straight copy there) but draws
  // it through a shader when they do not. Made on the first call, which
  // leaves it bound on the active unit and sets *bound.
  GLuint ColorTexture(bool* bound) {
    if (colorTexture_ == 0 && kind_ == Kind::Color) {
      glGenTextures(1, &colorTexture_);
      glBindTexture(GL_TEXTURE_2D, colorTexture_);
#if POROMEKO_GLES
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(w_), static_cast<GLsizei>(h_),
                   0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
#else
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(w_), static_cast<GLsizei>(h_), 0,
                   GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
#endif
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
      *bound = true;
    }
    return colorTexture_;
  }
  // Trades colour storage with another colour surface of the same size.
  void SwapColorTexture(GlSurface& other) { std::swap(colorTexture_, other.colorTexture_); }

 private:
  SharedPtr shared_;
  Kind kind_;
  std::uint32_t w_, h_;
  GlTexture* texture_;
  DepthFormat depthFormat_;
  GLuint renderbuffer_ = 0;
  GLuint colorTexture_ = 0;
};

Surface* GlTexture::GetSurfaceLevel(std::uint32_t level) {
  if (level != 0 || usage_ != Usage::RenderTarget) return nullptr;
  return new GlSurface(shared_, GlSurface::Kind::TextureLevel, w_, h_, this);
}

// Static vertex and index buffers, like loaded textures, let go of their CPU
// copy once GL holds the data; a later lock reads it back on the drawing
// thread (elsewhere it starts zeroed).
class GlVertexBuffer : public VertexBuffer {
 public:
  GlVertexBuffer(SharedPtr shared, std::uint32_t bytes, std::uint32_t fvf)
      : shared_(std::move(shared)), bytes_(bytes), fvf_(fvf) {}
  ~GlVertexBuffer() override { Bury(shared_, GlKind::Buffer, name_); }
  std::uint32_t SizeBytes() const override { return bytes_; }
  std::uint32_t GetFVF() const override { return fvf_; }
  void* Lock() override { return Cpu().data(); }
  void Unlock() override { dirty_ = true; }
  const void* Data() const override { return Cpu().data(); }

  // The GL buffer with the latest content (drawing thread only). An upload
  // leaves it bound to GL_ARRAY_BUFFER and sets *bound.
  GLuint Name(bool* bound) {
    if (name_ == 0) glGenBuffers(1, &name_);
    if (dirty_.exchange(false)) {
      glBindBuffer(GL_ARRAY_BUFFER, name_);
      *bound = true;
      const std::vector<unsigned char>& data = Cpu();
      glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.size()), data.data(),
                   GL_STATIC_DRAW);
      uploaded_ = true;
      std::vector<unsigned char>().swap(data_);
    }
    return name_;
  }

 private:
  std::vector<unsigned char>& Cpu() const {
    if (data_.size() != bytes_) {
      data_.assign(bytes_, 0);
      if (uploaded_ && name_ != 0 && OnDrawingThread(*shared_)) {
        GLint was = 0;
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &was);
        glBindBuffer(GL_ARRAY_BUFFER, name_);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes_), data_.data());
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(was));
      }
    }
    return data_;
  }

  SharedPtr shared_;
  std::uint32_t bytes_;
  mutable std::vector<unsigned char> data_;
  std::uint32_t fvf_;
  std::atomic<bool> dirty_{true};
  GLuint name_ = 0;
  bool uploaded_ = false;
};

class GlIndexBuffer : public IndexBuffer {
 public:
  GlIndexBuffer(SharedPtr shared, std::uint32_t count)
      : shared_(std::move(shared)), count_(count) {}
  ~GlIndexBuffer() override { Bury(shared_, GlKind::Buffer, name_); }
  std::uint32_t Count() const override { return count_; }
  std::uint32_t* Lock() override { return Cpu().data(); }
  void Unlock() override { dirty_ = true; }
  const std::uint32_t* Data() const override { return Cpu().data(); }

  // The GL buffer with the latest content (drawing thread only). An upload
  // leaves it bound to GL_ELEMENT_ARRAY_BUFFER of the bound vertex array and
  // sets *bound.
  GLuint Name(bool* bound) {
    if (name_ == 0) glGenBuffers(1, &name_);
    if (dirty_.exchange(false)) {
      glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, name_);
      *bound = true;
      const std::vector<std::uint32_t>& data = Cpu();
      glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.size() * 4), data.data(),
                   GL_STATIC_DRAW);
      maxIndex_ = 0;
      for (std::uint32_t i : data) maxIndex_ = std::max(maxIndex_, i);
      uploaded_ = true;
      std::vector<std::uint32_t>().swap(data_);
    }
    return name_;
  }
  // The largest index as of the last upload.
  std::uint32_t MaxIndex() const { return maxIndex_; }

 private:
  // The element binding belongs to the vertex array, so a read-back goes
  // through the copy-read binding point.
  std::vector<std::uint32_t>& Cpu() const {
    if (data_.size() != count_) {
      data_.assign(count_, 0u);
      if (uploaded_ && name_ != 0 && OnDrawingThread(*shared_)) {
        GLint was = 0;
        glGetIntegerv(GL_COPY_READ_BUFFER_BINDING, &was);
        glBindBuffer(GL_COPY_READ_BUFFER, name_);
        glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(count_) * 4,
                           data_.data());
        glBindBuffer(GL_COPY_READ_BUFFER, static_cast<GLuint>(was));
      }
    }
    return data_;
  }

  SharedPtr shared_;
  std::uint32_t count_;
  mutable std::vector<std::uint32_t> data_;
  std::atomic<bool> dirty_{true};
  GLuint name_ = 0;
  std::uint32_t maxIndex_ = 0;
  bool uploaded_ = false;
};

// --- Shaders -----------------------------------------------------------------
//
// Each draw runs a program made for the state that decides its code: screen
// or transformed vertices, the number of blend weights, lighting, where the
// diffuse colour comes from, whether the texture is read and how, and the
// alpha comparison. llvmpipe turns every branch on a uniform into code run
// for every vertex and every pixel, so the variants hold none; everything
// else (matrices, colours, the alpha reference) stays a uniform. Programs
// are built the first time their state is drawn with and kept.

// What a stage-0 operation hands on, once its arguments are resolved:
// DIFFUSE and CURRENT both read the interpolated diffuse colour at stage 0.
enum StageSource : std::uint32_t {
  kSourceDiffuse,
  kSourceTexture,
  kSourceTextureTimesDiffuse,
  kSourceDiffuseSquared,
  kSourceTextureSquared,
};

// SELECTARG1, SELECTARG2 and MODULATE; any other operation (DISABLE) passes
// the diffuse colour on.
StageSource SourceOf(std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2) {
  const bool t1 = arg1 == kTaTexture, t2 = arg2 == kTaTexture;
  switch (op) {
    case kTopSelectArg1: return t1 ? kSourceTexture : kSourceDiffuse;
    case kTopSelectArg2: return t2 ? kSourceTexture : kSourceDiffuse;
    case kTopModulate:
      if (t1 && t2) return kSourceTextureSquared;
      if (t1 || t2) return kSourceTextureTimesDiffuse;
      return kSourceDiffuseSquared;
    default: return kSourceDiffuse;
  }
}

bool SourceReadsTexture(StageSource s) { return s != kSourceDiffuse && s != kSourceDiffuseSquared; }

const char* SourceExpression(StageSource s) {
  switch (s) {
    case kSourceTexture: return "tex";
    case kSourceTextureTimesDiffuse: return "(tex * vColor)";
    case kSourceDiffuseSquared: return "(vColor * vColor)";
    case kSourceTextureSquared: return "(tex * tex)";
    case kSourceDiffuse: break;
  }
  return "vColor";
}

// The state a program is made for. Fields that do not matter to a variant
// stay zero, so equal code has one key.
struct ShaderKey {
  bool rhw = false;
  int blendWeights = 0;  // weights read from the vertex (0..3)
  bool lighting = false;
  bool normal = false;             // lit vertices with a normal get the diffuse term
  bool diffuseFromVertex = false;  // COLOR1 material source and a vertex colour
  bool texture = false;            // the stage reads the bound texture
  bool rect = false;               // which is stored trimmed (a rectangle texture)
  bool pointNudge = false;         // point sampling reads just off the centre
  // Unlit vertices without a colour: the diffuse colour is opaque white
  // everywhere, so nothing is interpolated for it.
  bool whiteDiffuse = false;
  StageSource color = kSourceDiffuse, alpha = kSourceDiffuse;
  std::uint32_t alphaFunc = 0;  // 0: no alpha test; else NEVER..GREATEREQUAL

  std::uint32_t Bits() const {
    return static_cast<std::uint32_t>(rhw) | static_cast<std::uint32_t>(blendWeights) << 1 |
           static_cast<std::uint32_t>(lighting) << 3 | static_cast<std::uint32_t>(normal) << 4 |
           static_cast<std::uint32_t>(diffuseFromVertex) << 5 |
           static_cast<std::uint32_t>(texture) << 6 | static_cast<std::uint32_t>(pointNudge) << 7 |
           static_cast<std::uint32_t>(color) << 8 | static_cast<std::uint32_t>(alpha) << 11 |
           alphaFunc << 14 | static_cast<std::uint32_t>(whiteDiffuse) << 18 |
           static_cast<std::uint32_t>(rect) << 19;
  }
};

// The combinations the game draws with (found by logging every program a
// whole run builds): sprites and screen quads, the unlit sky, the lit and
// textured models with up to three blend weights (and four, which a skinned
// part may need), and the see-through trees' alpha-tested draw. The device
// builds them when it is made, before the first frame, so no frame waits for
// a compiler; any other combination is still built on first use.
ShaderKey GameKey(bool rhw, int blendWeights, bool lit, bool texture, bool whiteDiffuse,
                  std::uint32_t alphaFunc) {
  ShaderKey k;
  k.rhw = rhw;
  k.blendWeights = blendWeights;
  k.lighting = lit;
  k.normal = lit;
  k.texture = texture;
  k.whiteDiffuse = whiteDiffuse;
  k.color = k.alpha = texture ? kSourceTextureTimesDiffuse : kSourceDiffuse;
  k.alphaFunc = alphaFunc;
  return k;
}
ShaderKey OnRectangle(ShaderKey k) {
  k.rect = kRectangleTextures;
  return k;
}
const ShaderKey kGameShaderKeys[] = {
    GameKey(true, 0, false, true, false, 0),               // sprites
    OnRectangle(GameKey(true, 0, false, true, false, 0)),  // sprites of padded pictures
    GameKey(true, 0, false, false, false, 0),              // screen quads (fades, bars)
    GameKey(false, 0, false, true, true, 0),               // the sky
    GameKey(false, 0, false, true, false, kCmpGreater),    // trees seen through
    GameKey(false, 0, true, true, false, 0),               // lit models
    GameKey(false, 1, true, true, false, 0),               // skinned, two bones a vertex
    GameKey(false, 2, true, true, false, 0),               // three
    GameKey(false, 3, true, true, false, 0),               // four
};

// Matrices are uploaded as stored (row-major, row vectors); GLSL then reads
// them transposed, so `M * v` computes the row-vector product v·M.
const char* const kVertexShader = R"(
layout(location = 0) in vec4 aPos;
layout(location = 1) in vec4 aWeights;
layout(location = 2) in vec3 aNormal;
layout(location = 3) in vec4 aDiffuse;  // opaque white when the vertex has no colour
layout(location = 4) in vec2 aTex;

#if !WHITE_DIFFUSE
out vec4 vColor;
#endif
out vec2 vTex;

#if RHW
uniform vec2 uRhwScale;       // 2 / render-target size

void main() {
  vTex = aTex;
  float w = aPos.w != 0.0 ? 1.0 / aPos.w : 1.0;
  vec2 ndc = (aPos.xy + vec2(PIXEL_CENTRE_SHIFT)) * uRhwScale - 1.0;
  gl_Position = vec4(ndc, 2.0 * aPos.z - 1.0, 1.0) * w;
#ifdef GL_ES
  gl_PointSize = 1.0;  // GL ES leaves a point's size to the shader
#endif
#if !WHITE_DIFFUSE
  vColor = aDiffuse.DIFFUSE_SWIZZLE;
#endif
}
#else
uniform mat4 uWorldView[BLEND_WEIGHTS + 1];
uniform mat4 uProj;
uniform vec2 uClipShift;      // pixel-centre shift in clip units per w
#if LIGHTING
uniform mat3 uNormalMatrix[BLEND_WEIGHTS + 1];
uniform vec4 uMatDiffuse;
uniform vec3 uMatAmbient;
uniform vec3 uMatEmissive;
uniform vec3 uAmbient;        // global ambient + light ambient
uniform vec3 uLightDiffuse;   // zero while the light is off
uniform vec3 uToLight;        // view space
#endif

void main() {
  vTex = aTex;
  vec4 p = vec4(aPos.xyz, 1.0);
#if BLEND_WEIGHTS == 0
  vec4 pv = uWorldView[0] * p;
#else
  vec4 pv = vec4(0.0);
  float last = 1.0;
  for (int i = 0; i < BLEND_WEIGHTS; ++i) {
    pv += aWeights[i] * (uWorldView[i] * p);
    last -= aWeights[i];
  }
  pv += last * (uWorldView[BLEND_WEIGHTS] * p);
#endif
  vec4 clip = uProj * pv;
  gl_Position = vec4(clip.x + uClipShift.x * clip.w, -clip.y + uClipShift.y * clip.w,
                     2.0 * clip.z - clip.w, clip.w);
#ifdef GL_ES
  gl_PointSize = 1.0;
#endif
#if !LIGHTING
#if !WHITE_DIFFUSE
  vColor = aDiffuse.DIFFUSE_SWIZZLE;
#endif
#else
#if DIFFUSE_FROM_VERTEX
  vec4 md = aDiffuse.DIFFUSE_SWIZZLE;
#else
  vec4 md = uMatDiffuse;
#endif
  vec3 rgb = uMatAmbient * uAmbient + uMatEmissive;
#if NORMAL
#if BLEND_WEIGHTS == 0
  vec3 nv = uNormalMatrix[0] * aNormal;
#else
  vec3 nv = vec3(0.0);
  for (int i = 0; i < BLEND_WEIGHTS; ++i) nv += aWeights[i] * (uNormalMatrix[i] * aNormal);
  nv += last * (uNormalMatrix[BLEND_WEIGHTS] * aNormal);
#endif
  float nDotL = max(0.0, dot(nv, uToLight));
#if CLAMP_DIFFUSE
  nDotL = min(nDotL, 1.0);
#endif
  rgb += md.rgb * uLightDiffuse * nDotL;
#endif
  vColor = vec4(clamp(rgb, 0.0, 1.0), clamp(md.a, 0.0, 1.0));
#endif
}
#endif
)";

const char* const kFragmentShader = R"(
#if WHITE_DIFFUSE
const vec4 vColor = vec4(1.0);
#else
in vec4 vColor;
#endif
in vec2 vTex;

#if RECT
uniform sampler2DRect uTexture;
uniform vec2 uTexSize;        // the whole texture's: texel coordinates are vTex times this
#else
uniform sampler2D uTexture;
#endif
uniform float uAlphaRef;      // 0..255

out vec4 fragColor;

void main() {
#if TEXTURE
#if POINT_NUDGE
  // Window y runs down the picture, so dFdy points down as the game's y does.
  vec2 at = vTex + POINT_SAMPLE_NUDGE * (dFdx(vTex) + dFdy(vTex));
#else
  vec2 at = vTex;
#endif
#if RECT
  vec4 tex = texture(uTexture, at * uTexSize);
#else
  vec4 tex = texture(uTexture, at);
#endif
#endif
  fragColor = vec4(COLOR_SOURCE.rgb, ALPHA_SOURCE.a);
#if ALPHA_FUNC
  // On the reference's 0..255 scale and not rounded: 0x81 * 0xFE / 255 is
  // 128.49, above a reference of 0x80. An 8-bit alpha that came through
  // unchanged arrives a hair off its step, far closer than any product of
  // two 8-bit values (1/255 at least); it counts as the step itself, so
  // EQUAL and GREATER still meet exactly at the reference.
  float alpha = clamp(fragColor.a, 0.0, 1.0) * 255.0;
  float nearest = floor(alpha + 0.5);
  if (abs(alpha - nearest) < 1.0 / 1024.0) alpha = nearest;
  if (!(ALPHA_PASSES)) discard;
#endif
}
)";

// The comparison an alpha test keeps a pixel by.
const char* AlphaPasses(std::uint32_t func) {
  switch (func) {
    case kCmpLess: return "alpha < uAlphaRef";
    case kCmpEqual: return "alpha == uAlphaRef";
    case kCmpLessEqual: return "alpha <= uAlphaRef";
    case kCmpGreater: return "alpha > uAlphaRef";
    case kCmpNotEqual: return "alpha != uAlphaRef";
    case kCmpGreaterEqual: return "alpha >= uAlphaRef";
    default: return "false";  // NEVER
  }
}

std::string VertexSource(const ShaderKey& k) {
  char defines[256];
  std::snprintf(defines, sizeof defines,
                "#define RHW %d\n#define BLEND_WEIGHTS %d\n#define LIGHTING "
                "%d\n#define NORMAL %d\n#define DIFFUSE_FROM_VERTEX %d\n#define CLAMP_DIFFUSE "
                "%d\n#define PIXEL_CENTRE_SHIFT %.9g\n#define WHITE_DIFFUSE %d\n",
                k.rhw, k.blendWeights, k.lighting, k.normal, k.diffuseFromVertex,
                kClampDiffusePerLight ? 1 : 0, static_cast<double>(kPixelCentreShift),
                k.whiteDiffuse);
  return kShaderHeader + (defines + std::string(kVertexShader));
}

std::string FragmentSource(const ShaderKey& k) {
  char defines[512];
  std::snprintf(defines, sizeof defines,
                "#define TEXTURE %d\n#define POINT_NUDGE %d\n#define "
                "POINT_SAMPLE_NUDGE %.9g\n#define COLOR_SOURCE %s\n#define ALPHA_SOURCE "
                "%s\n#define ALPHA_FUNC %u\n#define ALPHA_PASSES %s\n#define WHITE_DIFFUSE %d\n"
                "#define RECT %d\n",
                k.texture, k.pointNudge, static_cast<double>(kPointSampleNudge),
                SourceExpression(k.color), SourceExpression(k.alpha), k.alphaFunc,
                AlphaPasses(k.alphaFunc), k.whiteDiffuse, k.rect);
  return kShaderHeader + (defines + std::string(kFragmentShader));
}

GLuint CompileShader(GLenum type, const char* source) {
  GLuint s = glCreateShader(type);
  glShaderSource(s, 1, &source, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(s, sizeof log, nullptr, log);
    std::fprintf(stderr, "GL shader: %s\n", log);
  }
  return s;
}

GLenum GlCompare(std::uint32_t cmp) {
  switch (cmp) {
    case kCmpNever: return GL_NEVER;
    case kCmpLess: return GL_LESS;
    case kCmpEqual: return GL_EQUAL;
    case kCmpLessEqual: return GL_LEQUAL;
    case kCmpGreater: return GL_GREATER;
    case kCmpNotEqual: return GL_NOTEQUAL;
    case kCmpGreaterEqual: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum GlBlend(std::uint32_t b) {
  switch (b) {
    case kBlendZero: return GL_ZERO;
    case kBlendOne: return GL_ONE;
    case 3: return GL_SRC_COLOR;
    case 4: return GL_ONE_MINUS_SRC_COLOR;
    case kBlendSrcAlpha: return GL_SRC_ALPHA;
    case kBlendInvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    case 7: return GL_DST_ALPHA;
    case 8: return GL_ONE_MINUS_DST_ALPHA;
    case 9: return GL_DST_COLOR;
    case 10: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
  }
}

GLenum GlAddress(std::uint32_t a) {
  switch (a) {
    case 2: return GL_MIRRORED_REPEAT;
    case kTaddressClamp: return GL_CLAMP_TO_EDGE;
    case 4: return ClampToBorder();
    default: return GL_REPEAT;
  }
}

// Whether an address mode reads nothing of a texture beyond its edges but
// its edge (CLAMP) or the border colour (BORDER, transparent black).
bool Clamps(std::uint32_t a) { return a == kTaddressClamp || a == 4; }

GLenum GlPrimitive(PrimitiveType t) {
  switch (t) {
    case PrimitiveType::PointList: return GL_POINTS;
    case PrimitiveType::LineList: return GL_LINES;
    case PrimitiveType::LineStrip: return GL_LINE_STRIP;
    case PrimitiveType::TriangleList: return GL_TRIANGLES;
    case PrimitiveType::TriangleStrip: return GL_TRIANGLE_STRIP;
    case PrimitiveType::TriangleFan: return GL_TRIANGLE_FAN;
  }
  return GL_TRIANGLES;
}

GLenum MinFilter(std::uint32_t min, std::uint32_t mip) {
  bool linear = min == kTexfLinear;
  switch (mip) {
    case kTexfPoint: return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    case kTexfLinear: return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    default: return linear ? GL_LINEAR : GL_NEAREST;
  }
}

// The normal matrix of a row-vector transform: the inverse-transpose of its
// upper 3x3, laid out for `mat3 * n` like the other matrices. A singular
// transform (a bone scaled to nothing) uses the matrix itself.
void NormalMatrix(const Matrix& m, float out[9]) {
  Matrix inv;
  const Matrix* src = &m;
  bool inverted = MatrixInverse(&inv, nullptr, m);
  if (inverted) src = &inv;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      // Row-major N = transpose(inv): N[r][c] = inv[c][r].
      out[r * 3 + c] = inverted ? src->m[c][r] : src->m[r][c];
    }
  }
}

// Whether a stage op reads the texture through one of the arguments it uses.
bool ReadsTexture(std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2) {
  switch (op) {
    case kTopSelectArg1: return arg1 == kTaTexture;
    case kTopSelectArg2: return arg2 == kTaTexture;
    case kTopModulate: return arg1 == kTaTexture || arg2 == kTaTexture;
    default: return false;
  }
}

// The uniforms of the programs, each with its size in floats per element and
// its place in a program's copy of what was last sent.
enum UniformId {
  kURhwScale,
  kUWorldView,
  kUNormalMatrix,
  kUProj,
  kUClipShift,
  kUMatDiffuse,
  kUMatAmbient,
  kUMatEmissive,
  kUAmbient,
  kULightDiffuse,
  kUToLight,
  kUAlphaRef,
  kUTexSize,
  kUniformCount
};

struct UniformInfo {
  const char* name;
  int floats;  // per element
  int offset;  // into Program::values
};

constexpr int kMaxMatrices = 4;
constexpr UniformInfo kUniforms[kUniformCount] = {
    {"uRhwScale", 2, 0},
    {"uWorldView", 16, 2},
    {"uNormalMatrix", 9, 2 + 16 * kMaxMatrices},
    {"uProj", 16, 2 + 25 * kMaxMatrices},
    {"uClipShift", 2, 18 + 25 * kMaxMatrices},
    {"uMatDiffuse", 4, 20 + 25 * kMaxMatrices},
    {"uMatAmbient", 3, 24 + 25 * kMaxMatrices},
    {"uMatEmissive", 3, 27 + 25 * kMaxMatrices},
    {"uAmbient", 3, 30 + 25 * kMaxMatrices},
    {"uLightDiffuse", 3, 33 + 25 * kMaxMatrices},
    {"uToLight", 3, 36 + 25 * kMaxMatrices},
    {"uAlphaRef", 1, 39 + 25 * kMaxMatrices},
    {"uTexSize", 2, 40 + 25 * kMaxMatrices},
};
constexpr int kUniformFloats = 42 + 25 * kMaxMatrices;

// A linked variant with the uniform values it holds, so a draw sends only
// what differs from the last draw with the same program.
struct Program {
  GLuint id = 0;
  bool ok = false;
  GLint location[kUniformCount] = {};
  int sent[kUniformCount] = {};  // floats last sent (0: nothing yet)
  float values[kUniformFloats] = {};
};

void SendUniform(Program& p, UniformId u, const float* v, int elements = 1) {
  const GLint loc = p.location[u];
  if (loc < 0) return;  // not read by this variant
  const UniformInfo& info = kUniforms[u];
  const int n = info.floats * elements;
  float* held = p.values + info.offset;
  const auto bytes = static_cast<std::size_t>(n) * sizeof(float);
  if (p.sent[u] == n && std::memcmp(held, v, bytes) == 0) return;
  std::memcpy(held, v, bytes);
  p.sent[u] = n;
  switch (info.floats) {
    case 1: glUniform1fv(loc, elements, v); break;
    case 2: glUniform2fv(loc, elements, v); break;
    case 3: glUniform3fv(loc, elements, v); break;
    case 4: glUniform4fv(loc, elements, v); break;
    case 9: glUniformMatrix3fv(loc, elements, GL_FALSE, v); break;
    default: glUniformMatrix4fv(loc, elements, GL_FALSE, v); break;
  }
}

class GlDevice;
// The device whose state the context holds. Devices sharing the context
// (tests make a second one) send everything again after another drew.
GlDevice* gStateOwner = nullptr;

class GlDevice : public StateDevice {
 public:
  explicit GlDevice(std::shared_ptr<GlContext> context)
      : context_(std::move(context)), shared_(std::make_shared<Shared>()) {
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &shared_->maxTextureSize);
    shared_->textureStorage = HasTextureStorage();
    shared_->wakeDrawingThread = [context = context_.get()] { context->WakeDrawingThread(); };
    const GLubyte* renderer = glGetString(GL_RENDERER);
    if (renderer && IsCpuRasteriser(reinterpret_cast<const char*>(renderer))) {
      batchPrimitives_ = kCpuRasteriserBatch;
    }
    glGenVertexArrays(1, &vao_);
    glGenBuffers(1, &streamBuffer_);
    glGenFramebuffers(1, &fbo_);
    glGenFramebuffers(1, &readFbo_);
    glGenFramebuffers(1, &presentFbo_);
    glGenSamplers(1, &sampler_);
    Claim();

    backBuffer_ =
        new GlSurface(shared_, GlSurface::Kind::Color, kBackBufferWidth, kBackBufferHeight);
    depthStencil_ =
        new GlSurface(shared_, GlSurface::Kind::DepthStencil, kBackBufferWidth, kBackBufferHeight);
    renderTarget_ = backBuffer_;
    renderTarget_->AddRef();
    currentDepth_ = depthStencil_;
    currentDepth_->AddRef();
    glBindFramebuffer(GL_FRAMEBUFFER, presentFbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           SurfaceTexture(backBuffer_), 0);
    AttachTargets();
    for (const ShaderKey& key : kGameShaderKeys) ProgramFor(key);
    // A new back buffer starts black with depth 1.
    Clear(kClearTarget | kClearZBuffer | kClearStencil, 0xFF000000u, 1.0f, 0);
  }

  ~GlDevice() override {
    SetRehearsal(false);
    ReleaseStateTexture();
    renderTarget_->Release();
    if (currentDepth_) currentDepth_->Release();
    backBuffer_->Release();
    depthStencil_->Release();
    CollectGarbage();
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->alive = false;
      shared_->wakeDrawingThread = nullptr;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo_);
    glDeleteFramebuffers(1, &readFbo_);
    glDeleteFramebuffers(1, &presentFbo_);
    glDeleteBuffers(1, &streamBuffer_);
    glDeleteVertexArrays(1, &vao_);
    glDeleteSamplers(1, &sampler_);
    for (auto& [bits, program] : programs_) glDeleteProgram(program.id);
    if (gStateOwner == this) gStateOwner = nullptr;
  }

  // Frame.
  void BeginScene() override {}
  void EndScene() override {}

  void Clear(std::uint32_t flags, Color color, float z, std::uint32_t stencil) override {
    Claim();
    CollectGarbage();
    BindTargets();
    const Viewport& vp = state_.viewport;
    glEnable(GL_SCISSOR_TEST);
    if (!RehearsingThroughAPixel()) {
      glScissor(static_cast<GLint>(vp.x), static_cast<GLint>(vp.y), static_cast<GLsizei>(vp.width),
                static_cast<GLsizei>(vp.height));
    }
    GLbitfield mask = 0;
    if (flags & kClearTarget) {
      glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f,
                   static_cast<float>((color >> 8) & 0xFF) / 255.0f,
                   static_cast<float>(color & 0xFF) / 255.0f,
                   static_cast<float>((color >> 24) & 0xFF) / 255.0f);
      mask |= GL_COLOR_BUFFER_BIT;
    }
    if (currentDepth_ && (flags & kClearZBuffer)) {
      SetDepthMask(true);
      ClearDepth(std::clamp(z, 0.0f, 1.0f));
      mask |= GL_DEPTH_BUFFER_BIT;
    }
    // Nothing the device offers reads the stencil, so a depth clear takes
    // it along: Mesa's software rasteriser fills whole depth-stencil words
    // at a fraction of the cost of keeping the stencil bits of each one.
    if (currentDepth_ && (flags & (kClearZBuffer | kClearStencil))) {
      glStencilMask(0xFF);
      glClearStencil((flags & kClearStencil) ? static_cast<GLint>(stencil & 0xFF) : 0);
      mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (mask) glClear(mask);
    if (!RehearsingThroughAPixel()) glDisable(GL_SCISSOR_TEST);
  }

  void Present() override {
    Claim();
    CollectGarbage();
    if (rehearsal_) {
      // Drawn now, between ticks, rather than at the next frame's flush.
      glFinish();
      queuedPrimitives_ = 0;
      return;
    }
    // Into the window: black bars, the picture scaled to fit, flipped to
    // GL's bottom-up window rows.
    int ww = 0, wh = 0;
    context_->DrawableSize(&ww, &wh);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, presentFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    PresentRect r = FitBackBuffer(ww, wh);
    if (r.width != ww || r.height != wh) {
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
    }
    if (r.width > 0 && r.height > 0) {
      bool exact = r.width == static_cast<int>(kBackBufferWidth) &&
                   r.height == static_cast<int>(kBackBufferHeight);
      glBlitFramebuffer(0, 0, kBackBufferWidth, kBackBufferHeight, r.x, r.y + r.height,
                        r.x + r.width, r.y, GL_COLOR_BUFFER_BIT, exact ? GL_NEAREST : GL_LINEAR);
    }
    if (capture_) {
      captureWidth_ = ww;
      captureHeight_ = wh;
      capturePixels_.assign(static_cast<std::size_t>(std::max(ww, 0)) * std::max(wh, 0), 0u);
      if (!capturePixels_.empty()) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        ReadPixelsBgra(0, 0, ww, wh, capturePixels_.data());
        FlipRows(&capturePixels_, static_cast<std::size_t>(ww), static_cast<std::size_t>(wh));
      }
    }
    context_->Swap();
    queuedPrimitives_ = 0;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    UploadPending();
  }

  // Drawing.
  void DrawPrimitiveUP(PrimitiveType type, std::uint32_t primitiveCount, const void* vertices,
                       std::uint32_t stride) override {
    std::uint32_t count = VerticesForPrimitives(type, primitiveCount);
    VertexLayout layout = LayoutOfFvf(state_.fvf);
    if (count == 0 || !vertices || !layout.valid) return;
    if (stride < layout.stride) {
      Complain("DrawPrimitiveUP: stride smaller than the vertex format; not drawn");
      return;
    }
    Claim();
    CollectGarbage();
    // Exactly the bytes the vertices occupy: nothing past the last vertex is read.
    std::size_t bytes = static_cast<std::size_t>(count - 1) * stride + layout.stride;
    BindArrayBuffer(streamBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), vertices, GL_STREAM_DRAW);
    SetAttributes(layout, state_.fvf, stride, streamBuffer_);
    if (!Prepare(layout)) return;
    glDrawArrays(GlPrimitive(type), 0, static_cast<GLsizei>(count));
    Queued(primitiveCount);
  }

  void DrawIndexedPrimitive(VertexBuffer* vb, IndexBuffer* ib, PrimitiveType type,
                            std::uint32_t startIndex, std::uint32_t primitiveCount) override {
    auto* vbuf = dynamic_cast<GlVertexBuffer*>(vb);
    auto* ibuf = dynamic_cast<GlIndexBuffer*>(ib);
    std::uint32_t count = VerticesForPrimitives(type, primitiveCount);
    if (!vbuf || !ibuf || count == 0) return;
    VertexLayout layout = LayoutOfFvf(vbuf->GetFVF());
    if (!layout.valid || layout.stride == 0) return;
    if (startIndex > ibuf->Count() || count > ibuf->Count() - startIndex) {
      Complain("DrawIndexedPrimitive: index range past the index buffer; not drawn");
      return;
    }
    Claim();
    CollectGarbage();
    bool bound = false;
    GLuint vertexName = vbuf->Name(&bound);
    if (bound) applied_.arrayBuffer = vertexName;
    bound = false;
    GLuint indexName = ibuf->Name(&bound);
    if (bound) applied_.elementBuffer = indexName;
    if (ibuf->Count() > 0 && ibuf->MaxIndex() >= vbuf->SizeBytes() / layout.stride) {
      Complain("DrawIndexedPrimitive: index past the vertex buffer; not drawn");
      return;
    }
    if (applied_.elementBuffer != indexName) {
      glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexName);
      applied_.elementBuffer = indexName;
    }
    SetAttributes(layout, vbuf->GetFVF(), layout.stride, vertexName);
    if (!Prepare(layout)) return;
    glDrawElements(GlPrimitive(type), static_cast<GLsizei>(count), GL_UNSIGNED_INT,
                   reinterpret_cast<const void*>(static_cast<std::uintptr_t>(startIndex) * 4u));
    Queued(primitiveCount);
  }

  void SetRasteriserBatch(std::uint32_t primitives) { batchPrimitives_ = primitives; }

  // Resources.
  Texture* CreateTexture(std::uint32_t width, std::uint32_t height, Usage usage) override {
    return CreateTexture(width, height, kAllMipLevels, usage, 0, 0);
  }
  Texture* CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                         Usage usage, std::uint32_t contentWidth,
                         std::uint32_t contentHeight) override {
    auto max = static_cast<std::uint32_t>(shared_->maxTextureSize);
    if (width == 0 || height == 0 || width > max || height > max) {
      std::fprintf(stderr, "CreateTexture: %ux%u is not a possible texture size\n", width, height);
      return nullptr;
    }
    return new GlTexture(shared_, width, height, levels, usage, contentWidth, contentHeight);
  }
  Surface* CreateDepthStencilSurface(std::uint32_t width, std::uint32_t height,
                                     DepthFormat format) override {
    auto max = static_cast<std::uint32_t>(shared_->maxTextureSize);
    if (width == 0 || height == 0 || width > max || height > max) return nullptr;
    return new GlSurface(shared_, GlSurface::Kind::DepthStencil, width, height, nullptr, format);
  }
  VertexBuffer* CreateVertexBuffer(std::uint32_t bytes, std::uint32_t fvf) override {
    return new GlVertexBuffer(shared_, bytes, fvf);
  }
  IndexBuffer* CreateIndexBuffer(std::uint32_t count) override {
    return new GlIndexBuffer(shared_, count);
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
    auto* s = dynamic_cast<GlSurface*>(surface);
    if (index != 0 || !s || s->GetKind() == GlSurface::Kind::DepthStencil) return;
    s->AddRef();
    renderTarget_->Release();
    renderTarget_ = s;
    // A new render target brings a viewport covering all of it.
    state_.viewport = Viewport{0, 0, s->Width(), s->Height(), 0.0f, 1.0f};
    targetsDirty_ = true;
  }
  Surface* GetDepthStencilSurface() override {
    if (currentDepth_) currentDepth_->AddRef();
    return currentDepth_;
  }
  void SetDepthStencilSurface(Surface* surface) override {
    auto* s = dynamic_cast<GlSurface*>(surface);
    if (surface && (!s || s->GetKind() != GlSurface::Kind::DepthStencil)) return;
    if (s) s->AddRef();
    if (currentDepth_) currentDepth_->Release();
    currentDepth_ = s;
    targetsDirty_ = true;
  }

  // A rehearsal draws into a stand-in for the back buffer's storage, of the
  // same kind (so that what it builds is what the shown frames use), and
  // the back buffer keeps the picture last presented. Its draws and clears
  // go through a one-pixel scissor: a software rasteriser builds the same
  // code for them (the scissor is no part of what it builds code for) and
  // fills next to nothing, so rehearsing costs what building costs.
  static constexpr bool kRehearseThroughAPixel = true;
  bool RehearsingThroughAPixel() const { return rehearsal_ && kRehearseThroughAPixel; }
  void SetRehearsal(bool on) override {
    if (on == rehearsal_) return;
    StateDevice::SetRehearsal(on);
    Claim();
    if (on) {
      standIn_ =
          new GlSurface(shared_, GlSurface::Kind::Color, kBackBufferWidth, kBackBufferHeight);
      SurfaceTexture(standIn_);
      backBuffer_->SwapColorTexture(*standIn_);
      if (RehearsingThroughAPixel()) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
      }
    } else {
      glDisable(GL_SCISSOR_TEST);
      backBuffer_->SwapColorTexture(*standIn_);
      standIn_->Release();
      standIn_ = nullptr;
      CollectGarbage();
    }
    targetsDirty_ = true;
  }

  std::vector<std::uint32_t> ReadBackBuffer() override {
    Claim();
    std::vector<std::uint32_t> px =
        ReadColorTexture(SurfaceTexture(backBuffer_), kBackBufferWidth, kBackBufferHeight);
    // The back buffer has no alpha channel of its own: it reads as opaque.
    for (auto& p : px) p |= 0xFF000000u;
    return px;
  }

  std::vector<std::uint32_t> ReadTexture(Texture* texture) override {
    auto* t = dynamic_cast<GlTexture*>(texture);
    if (!t) return {};
    if (t->GetUsage() != Usage::RenderTarget) return t->CpuPixels().Copy();
    Claim();
    GLuint name = TextureName(t);
    std::vector<std::uint32_t> px(static_cast<std::size_t>(t->Width()) * t->Height());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name, 0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    ReadPixelsBgra(0, 0, static_cast<GLsizei>(t->Width()), static_cast<GLsizei>(t->Height()),
                   px.data());
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    return px;
  }

  // Test hooks.
  void SetCapture(bool on) { capture_ = on; }
  std::vector<std::uint32_t> Captured(int* w, int* h) const {
    if (w) *w = captureWidth_;
    if (h) *h = captureHeight_;
    return capturePixels_;
  }

 private:
  // What this device last set in the context, so that a draw sends only what
  // changed. A value nothing can equal stands for "not known".
  struct Applied {
    GLuint program = 0;
    GLint viewport[4] = {-1, -1, -1, -1};
    float depthNear = -1, depthFar = -1;
    int blend = -1;
    GLenum srcBlend = 0, destBlend = 0;
    int depthTest = -1, depthMask = -1;
    GLenum depthFunc = 0;
    int cull = -1;
    GLenum cullFace = 0;
    GLuint texture = ~0u;      // on GL_TEXTURE_2D
    GLuint rectTexture = ~0u;  // on the rectangle target
    GLuint arrayBuffer = ~0u, elementBuffer = ~0u;
    // The buffer and format the vertex attributes read.
    GLuint attribBuffer = ~0u;
    std::uint32_t attribFvf = ~0u, attribStride = 0;
  };
  // Sampler 0's parameters (the sampler object is this device's own).
  struct SamplerParams {
    GLint mag = -1, min = -1, wrapS = -1, wrapT = -1;
  };

  // Makes the context this device's: after another device drew, nothing it
  // left is trusted and the fixed state is set again.
  void Claim() {
    if (gStateOwner == this) return;
    gStateOwner = this;
    applied_ = Applied{};
    glBindVertexArray(vao_);
    glActiveTexture(GL_TEXTURE0);
    glBindSampler(0, sampler_);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // Clockwise on screen is front; see the conventions at the top.
    glFrontFace(GL_CCW);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  }

  Program BuildProgram(const ShaderKey& key) {
    Program p;
    const std::string vsSource = VertexSource(key), fsSource = FragmentSource(key);
    GLuint vs = CompileShader(GL_VERTEX_SHADER, vsSource.c_str());
    GLuint fs = CompileShader(GL_FRAGMENT_SHADER, fsSource.c_str());
    p.id = glCreateProgram();
    glAttachShader(p.id, vs);
    glAttachShader(p.id, fs);
    glLinkProgram(p.id);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p.id, GL_LINK_STATUS, &ok);
    if (!ok) {
      char log[2048] = {};
      glGetProgramInfoLog(p.id, sizeof log, nullptr, log);
      std::fprintf(stderr, "GL program %#x: %s\n", key.Bits(), log);
    }
    p.ok = ok != 0;
    for (int u = 0; u < kUniformCount; ++u) {
      p.location[u] = glGetUniformLocation(p.id, kUniforms[u].name);
    }
    if (p.ok) {
      UseProgram(p.id);
      glUniform1i(glGetUniformLocation(p.id, "uTexture"), 0);
    }
    return p;
  }

  Program& ProgramFor(const ShaderKey& key) {
    const std::uint32_t bits = key.Bits();
    if (lastProgram_ && lastProgramBits_ == bits) return *lastProgram_;
    auto found = programs_.find(bits);
    if (found == programs_.end()) found = programs_.emplace(bits, BuildProgram(key)).first;
    lastProgram_ = &found->second;
    lastProgramBits_ = bits;
    return found->second;
  }

  static void FlipRows(std::vector<std::uint32_t>* px, std::size_t w, std::size_t h) {
    for (std::size_t y = 0; y < h / 2; ++y) {
      std::swap_ranges(px->begin() + static_cast<std::ptrdiff_t>(y * w),
                       px->begin() + static_cast<std::ptrdiff_t>((y + 1) * w),
                       px->begin() + static_cast<std::ptrdiff_t>((h - 1 - y) * w));
    }
  }

  void Complain(const char* what) {
    // Once per kind of fault is enough to find it; a frame loop would flood.
    if (complaints_ < 16) {
      ++complaints_;
      std::fprintf(stderr, "%s\n", what);
    }
  }

  Viewport AdjustViewport(const Viewport& requested) const override {
    Viewport vp = requested;
    std::uint32_t tw = renderTarget_ ? renderTarget_->Width() : kBackBufferWidth;
    std::uint32_t th = renderTarget_ ? renderTarget_->Height() : kBackBufferHeight;
    vp.x = std::min(vp.x, tw);
    vp.y = std::min(vp.y, th);
    vp.width = std::min(vp.width, tw - vp.x);
    vp.height = std::min(vp.height, th - vp.y);
    return vp;
  }

  void CollectGarbage() {
    std::vector<GLuint> textures, buffers, renderbuffers;
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      if (shared_->deadTextures.empty() && shared_->deadBuffers.empty() &&
          shared_->deadRenderbuffers.empty()) {
        return;
      }
      textures.swap(shared_->deadTextures);
      buffers.swap(shared_->deadBuffers);
      renderbuffers.swap(shared_->deadRenderbuffers);
    }
    if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    if (!buffers.empty()) glDeleteBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
    if (!renderbuffers.empty()) {
      glDeleteRenderbuffers(static_cast<GLsizei>(renderbuffers.size()), renderbuffers.data());
    }
    // GL unbinds what it deletes, and the names may come back for new
    // objects: bindings by name are no longer known.
    ForgetTextureBindings();
    applied_.arrayBuffer = applied_.elementBuffer = applied_.attribBuffer = ~0u;
  }

  void AttachTargets() {
    // Another target ends the batch (see Queued): llvmpipe sends the queued
    // one off and bins the next into a fresh scene while it draws.
    if (queuedPrimitives_ != 0) {
      glFinish();
      queuedPrimitives_ = 0;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    const GLuint color = renderTarget_->GetKind() == GlSurface::Kind::TextureLevel
                             ? TextureName(renderTarget_->GetTexture())
                             : SurfaceTexture(renderTarget_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
    const GLuint depth = currentDepth_ ? currentDepth_->Renderbuffer() : 0;
    if (!currentDepth_ || currentDepth_->HasStencil()) {
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                depth);
    } else {
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    }
    const GLenum drawTo = GL_COLOR_ATTACHMENT0;
    glDrawBuffers(1, &drawTo);
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
      std::fprintf(stderr, "render target incomplete (0x%x)\n", status);
    }
    targetsDirty_ = false;
  }

  // The draw framebuffer is always fbo_ between calls (whatever binds another
  // binds it back), so only a change of targets needs work.
  void BindTargets() {
    if (targetsDirty_) {
      AttachTargets();
    } else if (renderTarget_->GetKind() == GlSurface::Kind::TextureLevel) {
      // A render-target texture's CPU copy may have been unlocked since.
      TextureName(renderTarget_->GetTexture());
    }
  }

  bool UploadsPending() const override {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return !shared_->pendingUploads.empty();
  }
  void SendUploads() override { UploadPending(); }

  // Uploads textures the loader filled, between frames and a few
  // megabytes at a time, so their CPU copies go as soon as the
  // loader made them and no later frame pays for a large upload when a
  // picture first shows.
  void UploadPending() {
    constexpr std::size_t kBudgetBytes = std::size_t{4} << 20;
    std::size_t budget = kBudgetBytes;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    auto& pending = shared_->pendingUploads;
    std::size_t done = 0;
    while (done < pending.size() && budget > 0) {
      bool bound = false;
      const bool whole = pending[done]->Upload(&budget, &bound);
      ForgetTextureBindings();  // bound whatever it was
      if (!whole) break;
      ++done;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(done));
    if (budget < kBudgetBytes) shared_->uploadsSent.notify_all();
  }

  // A texture's GL name with its latest content, keeping track of the
  // binding an upload leaves behind.
  GLuint TextureName(GlTexture* t) {
    bool bound = false;
    GLuint name = t->Name(&bound);
    if (bound) ForgetTextureBindings();
    return name;
  }

  void ForgetTextureBindings() { applied_.texture = applied_.rectTexture = ~0u; }

  // The colour texture of the back buffer or the presented copy, keeping
  // track of the binding its making leaves behind.
  GLuint SurfaceTexture(GlSurface* s) {
    bool bound = false;
    GLuint name = s->ColorTexture(&bound);
    if (bound) applied_.texture = name;
    return name;
  }

  void BindArrayBuffer(GLuint name) {
    if (applied_.arrayBuffer == name) return;
    glBindBuffer(GL_ARRAY_BUFFER, name);
    applied_.arrayBuffer = name;
  }

  void UseProgram(GLuint id) {
    if (applied_.program == id) return;
    glUseProgram(id);
    applied_.program = id;
  }

  void SetDepthMask(bool on) {
    if (applied_.depthMask == static_cast<int>(on)) return;
    glDepthMask(on ? GL_TRUE : GL_FALSE);
    applied_.depthMask = on;
  }

  static void SetEnabled(GLenum cap, bool on, int* applied) {
    if (*applied == static_cast<int>(on)) return;
    if (on) {
      glEnable(cap);
    } else {
      glDisable(cap);
    }
    *applied = on;
  }

  void ApplyViewport(GLint x, GLint y, GLsizei w, GLsizei h, float n, float f) {
    GLint* v = applied_.viewport;
    if (v[0] != x || v[1] != y || v[2] != w || v[3] != h) {
      glViewport(x, y, w, h);
      v[0] = x, v[1] = y, v[2] = w, v[3] = h;
    }
    if (applied_.depthNear != n || applied_.depthFar != f) {
      DepthRange(n, f);
      applied_.depthNear = n;
      applied_.depthFar = f;
    }
  }

  static void SetSamplerParameter(GLuint sampler, GLenum name, GLint value, GLint* applied) {
    if (*applied == value) return;
    glSamplerParameteri(sampler, name, value);
    *applied = value;
  }

  // The vertex array reads `buffer` in the layout of `fvf` with `stride`.
  void SetAttributes(const VertexLayout& l, std::uint32_t fvf, std::uint32_t stride,
                     GLuint buffer) {
    if (applied_.attribBuffer == buffer && applied_.attribFvf == fvf &&
        applied_.attribStride == stride) {
      return;
    }
    BindArrayBuffer(buffer);
    auto ptr = [](std::uint32_t off) {
      return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(off));
    };
    auto s = static_cast<GLsizei>(stride);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, l.rhw ? 4 : 3, GL_FLOAT, GL_FALSE, s, ptr(0));
    int weights = std::min(l.betas, 4);
    if (weights > 0) {
      glEnableVertexAttribArray(1);
      glVertexAttribPointer(1, weights, GL_FLOAT, GL_FALSE, s, ptr(l.betaOffset));
    } else {
      glDisableVertexAttribArray(1);
      glVertexAttrib4f(1, 0, 0, 0, 1);
    }
    if (l.normal) {
      glEnableVertexAttribArray(2);
      glVertexAttribPointer(2, 3, GL_FLOAT, GL_FALSE, s, ptr(l.normalOffset));
    } else {
      glDisableVertexAttribArray(2);
      glVertexAttrib3f(2, 0, 0, 0);
    }
    if (l.diffuse) {
      glEnableVertexAttribArray(3);
      // GL_BGRA reads the B, G, R, A bytes of an 0xAARRGGBB word as r, g, b, a
      // (GL ES reads them in order and the shader swizzles).
      glVertexAttribPointer(3, kDiffuseAttributeSize, GL_UNSIGNED_BYTE, GL_TRUE, s,
                            ptr(l.diffuseOffset));
    } else {
      // A vertex without a colour is opaque white, lit or not.
      glDisableVertexAttribArray(3);
      glVertexAttrib4f(3, 1, 1, 1, 1);
    }
    if (l.texFloats > 0) {
      glEnableVertexAttribArray(4);
      glVertexAttribPointer(4, std::min(l.texFloats, 2), GL_FLOAT, GL_FALSE, s, ptr(l.texOffset));
    } else {
      glDisableVertexAttribArray(4);
      glVertexAttrib2f(4, 0, 0);
    }
    applied_.attribBuffer = buffer;
    applied_.attribFvf = fvf;
    applied_.attribStride = stride;
  }

  // Counts a draw's primitives; once a batch is queued on a CPU rasteriser,
  // waits for it to be drawn, so the memory it binned goes back before the
  // next batch is binned. (A flush alone would not do: llvmpipe bins the
  // next batch into a fresh scene while the last is still drawing, and keeps
  // each scene's memory until that scene is used again.)
  void Queued(std::uint32_t primitives) {
    if (batchPrimitives_ == 0) return;
    queuedPrimitives_ += primitives;
    if (queuedPrimitives_ < batchPrimitives_) return;
    glFinish();
    queuedPrimitives_ = 0;
  }

  // Applies the state for a draw in the given layout. False when nothing
  // can be drawn.
  bool Prepare(const VertexLayout& l) {
    const DeviceState& s = state_;
    ShaderKey key;
    key.rhw = l.rhw;
    if (!l.rhw) {
      if (s.viewport.width == 0 || s.viewport.height == 0) return false;
      key.blendWeights =
          std::min(static_cast<int>(std::min<std::uint32_t>(s.vertexBlend, 3u)), l.betas);
      key.lighting = s.lighting != 0;
      key.normal = key.lighting && l.normal;
      key.diffuseFromVertex = key.lighting && l.diffuse && s.diffuseMaterialSource == kMcsColor1;
    }
    key.whiteDiffuse = !key.lighting && !l.diffuse;

    // Texture stage 0. An op that reads a texture when none is bound
    // selects CURRENT instead (the diffuse colour at stage 0).
    auto* tex = dynamic_cast<GlTexture*>(s.texture);
    std::uint32_t colorOp = s.colorOp, colorArg1 = s.colorArg1, colorArg2 = s.colorArg2;
    std::uint32_t alphaOp = s.alphaOp, alphaArg1 = s.alphaArg1, alphaArg2 = s.alphaArg2;
    if (colorOp == kTopDisable) {
      // Stage 0 disabled: the diffuse colour and alpha go through untouched.
      alphaOp = kTopDisable;
    }
    if (!tex && ReadsTexture(colorOp, colorArg1, colorArg2)) {
      colorOp = kTopSelectArg1;
      colorArg1 = kTaCurrent;
    }
    if (!tex && ReadsTexture(alphaOp, alphaArg1, alphaArg2)) {
      alphaOp = kTopSelectArg1;
      alphaArg1 = kTaCurrent;
    }
    key.color = SourceOf(colorOp, colorArg1, colorArg2);
    key.alpha = SourceOf(alphaOp, alphaArg1, alphaArg2);
    key.texture = SourceReadsTexture(key.color) || SourceReadsTexture(key.alpha);
    // 1:1 and magnified draws use the mag filter; only point sampling jumps
    // at a texel edge, and linear filtering must keep its exact weights.
    key.pointNudge = key.texture && s.magFilter != kTexfLinear;
    // ALWAYS (and anything unknown) keeps every pixel: no test.
    if (s.alphaTestEnable && s.alphaFunc >= kCmpNever && s.alphaFunc < kCmpAlways) {
      key.alphaFunc = s.alphaFunc;
    }
    GLuint textureName = 0;
    if (key.texture) {
      // The texture's latest content, stored whole when this draw samples
      // its padding (see GlTexture).
      textureName = TextureName(tex);
      bool bound = false;
      if (!Clamps(s.addressU) || !Clamps(s.addressV)) tex->Untrim(&bound);
      if (bound) {
        textureName = tex->Name();
        ForgetTextureBindings();
      }
      key.rect = tex->Trimmed();
    }

    Program& program = ProgramFor(key);
    if (!program.ok) return false;
    BindTargets();
    UseProgram(program.id);

    // Where the vertices go.
    if (l.rhw) {
      // Screen vertices address the whole target, whatever the viewport.
      const std::uint32_t tw = renderTarget_->Width(), th = renderTarget_->Height();
      ApplyViewport(0, 0, static_cast<GLsizei>(tw), static_cast<GLsizei>(th), 0.0f, 1.0f);
      const float scale[2] = {2.0f / static_cast<float>(tw), 2.0f / static_cast<float>(th)};
      SendUniform(program, kURhwScale, scale);
    } else {
      const Viewport& vp = s.viewport;
      ApplyViewport(static_cast<GLint>(vp.x), static_cast<GLint>(vp.y),
                    static_cast<GLsizei>(vp.width), static_cast<GLsizei>(vp.height), vp.minZ,
                    vp.maxZ);
      // One pixel is 2 / size in NDC.
      const float shift = 2.0f * kPixelCentreShift;
      const float clipShift[2] = {shift / static_cast<float>(vp.width),
                                  shift / static_cast<float>(vp.height)};
      SendUniform(program, kUClipShift, clipShift);
      const int matrices = key.blendWeights + 1;
      float wv[kMaxMatrices][16];
      float nm[kMaxMatrices][9];
      for (int i = 0; i < matrices; ++i) {
        Matrix m = s.world[i] * s.view;
        std::memcpy(wv[i], &m.m[0][0], sizeof wv[i]);
        if (key.normal) NormalMatrix(m, nm[i]);
      }
      SendUniform(program, kUWorldView, &wv[0][0], matrices);
      if (key.normal) SendUniform(program, kUNormalMatrix, &nm[0][0], matrices);
      SendUniform(program, kUProj, &s.projection.m[0][0]);

      if (key.lighting) {
        const Material& mat = s.material;
        Color ga = s.ambient;
        const Light& light = s.light;
        const bool on = s.lightEnabled;
        const float ambient[3] = {
            static_cast<float>((ga >> 16) & 0xFF) / 255.0f + (on ? light.ambient.r : 0.0f),
            static_cast<float>((ga >> 8) & 0xFF) / 255.0f + (on ? light.ambient.g : 0.0f),
            static_cast<float>(ga & 0xFF) / 255.0f + (on ? light.ambient.b : 0.0f)};
        SendUniform(program, kUAmbient, ambient);
        const float matAmbient[3] = {mat.ambient.r, mat.ambient.g, mat.ambient.b};
        SendUniform(program, kUMatAmbient, matAmbient);
        const float matEmissive[3] = {mat.emissive.r, mat.emissive.g, mat.emissive.b};
        SendUniform(program, kUMatEmissive, matEmissive);
        const float matDiffuse[4] = {mat.diffuse.r, mat.diffuse.g, mat.diffuse.b, mat.diffuse.a};
        SendUniform(program, kUMatDiffuse, matDiffuse);
        if (key.normal) {
          const float lightDiffuse[3] = {on ? light.diffuse.r : 0.0f, on ? light.diffuse.g : 0.0f,
                                         on ? light.diffuse.b : 0.0f};
          SendUniform(program, kULightDiffuse, lightDiffuse);
          Vec3 toLight = -Vec3Normalize(Vec3TransformNormal(light.direction, s.view));
          const float to[3] = {toLight.x, toLight.y, toLight.z};
          SendUniform(program, kUToLight, to);
        }
      }
    }

    if (key.texture) {
      GLuint& applied = key.rect ? applied_.rectTexture : applied_.texture;
      if (applied != textureName) {
        glBindTexture(tex->Target(), textureName);
        applied = textureName;
      }
      if (key.rect) {
        const float size[2] = {static_cast<float>(tex->Width()), static_cast<float>(tex->Height())};
        SendUniform(program, kUTexSize, size);
      }
      SetSamplerParameter(sampler_, GL_TEXTURE_MAG_FILTER,
                          s.magFilter == kTexfLinear ? GL_LINEAR : GL_NEAREST, &sampler0_.mag);
      // A rectangle texture takes no mip filter; it has a single level,
      // where a mip filter changes nothing.
      const std::uint32_t mip = key.rect ? kTexfNone : s.mipFilter;
      SetSamplerParameter(sampler_, GL_TEXTURE_MIN_FILTER,
                          static_cast<GLint>(MinFilter(s.minFilter, mip)), &sampler0_.min);
      SetSamplerParameter(sampler_, GL_TEXTURE_WRAP_S, static_cast<GLint>(GlAddress(s.addressU)),
                          &sampler0_.wrapS);
      SetSamplerParameter(sampler_, GL_TEXTURE_WRAP_T, static_cast<GLint>(GlAddress(s.addressV)),
                          &sampler0_.wrapT);
    }

    if (key.alphaFunc != 0) {
      const float ref = static_cast<float>(s.alphaRef & 0xFFu);
      SendUniform(program, kUAlphaRef, &ref);
    }

    // Output merger.
    SetEnabled(GL_BLEND, s.alphaBlendEnable != 0, &applied_.blend);
    if (s.alphaBlendEnable) {
      GLenum src = GlBlend(s.srcBlend), dest = GlBlend(s.destBlend);
      if (applied_.srcBlend != src || applied_.destBlend != dest) {
        glBlendFunc(src, dest);
        applied_.srcBlend = src;
        applied_.destBlend = dest;
      }
    }
    const bool depth = s.zEnable && currentDepth_;
    SetEnabled(GL_DEPTH_TEST, depth, &applied_.depthTest);
    if (depth) {
      GLenum func = GlCompare(s.zFunc);
      if (applied_.depthFunc != func) {
        glDepthFunc(func);
        applied_.depthFunc = func;
      }
      SetDepthMask(s.zWriteEnable != 0);
    }
    SetEnabled(GL_CULL_FACE, s.cullMode == kCullCW || s.cullMode == kCullCCW, &applied_.cull);
    if (s.cullMode == kCullCW || s.cullMode == kCullCCW) {
      GLenum face = s.cullMode == kCullCW ? GL_FRONT : GL_BACK;
      if (applied_.cullFace != face) {
        glCullFace(face);
        applied_.cullFace = face;
      }
    }
    return true;
  }

  std::vector<std::uint32_t> ReadColorTexture(GLuint texture, std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, 0u);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    ReadPixelsBgra(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), px.data());
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    return px;
  }

  std::shared_ptr<GlContext> context_;
  SharedPtr shared_;
  std::unordered_map<std::uint32_t, Program> programs_;
  Program* lastProgram_ = nullptr;
  std::uint32_t lastProgramBits_ = 0;
  Applied applied_;
  SamplerParams sampler0_;
  GLuint vao_ = 0, streamBuffer_ = 0, fbo_ = 0, readFbo_ = 0, presentFbo_ = 0, sampler_ = 0;
  GlSurface* backBuffer_ = nullptr;
  GlSurface* standIn_ = nullptr;  // while rehearsing (see SetRehearsal)
  GlSurface* depthStencil_ = nullptr;
  GlSurface* renderTarget_ = nullptr;
  GlSurface* currentDepth_ = nullptr;
  bool targetsDirty_ = true;
  // Primitives queued since the last batch was drawn, and the batch size
  // (0 on a GPU; see kCpuRasteriserBatch).
  std::uint32_t queuedPrimitives_ = 0;
  std::uint32_t batchPrimitives_ = 0;
  int complaints_ = 0;
  bool capture_ = false;
  int captureWidth_ = 0, captureHeight_ = 0;
  std::vector<std::uint32_t> capturePixels_;
};

}  // namespace

std::unique_ptr<Device> CreateGlDevice(std::shared_ptr<GlContext> context) {
  return std::make_unique<GlDevice>(std::move(context));
}

void CaptureWindowOnPresent(Device& device, bool on) {
  if (auto* gl = dynamic_cast<GlDevice*>(&device)) gl->SetCapture(on);
}

std::vector<std::uint32_t> CapturedWindow(Device& device, int* width, int* height) {
  if (auto* gl = dynamic_cast<GlDevice*>(&device)) return gl->Captured(width, height);
  return {};
}

void FinishForTest(Device& device) {
  if (dynamic_cast<GlDevice*>(&device)) glFinish();
}

void SetRasteriserBatchForTest(Device& device, std::uint32_t primitives) {
  if (auto* gl = dynamic_cast<GlDevice*>(&device)) gl->SetRasteriserBatch(primitives);
}

std::uint32_t TakeGlError(Device& device) {
  if (!dynamic_cast<GlDevice*>(&device)) return 0;
  GLenum first = glGetError();
  for (GLenum e = first; e != GL_NO_ERROR;) e = glGetError();
  return first;
}

}  // namespace platform::sdl_gl
