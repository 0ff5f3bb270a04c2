// The GL device's resources: textures, surfaces, vertex and index buffers,
// and how their content reaches GL.
//
// Resources may be created and filled on the loading thread, which has no
// GL context. They keep a CPU copy and get their GL object (or the new
// content) the next time the drawing thread uses them. GL names of freed
// resources are queued and deleted by the drawing thread; once the device
// is gone the queue is closed and resources free only their CPU side.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/graphics.h"
#include "platform/sdl_gl/gl_api.h"

namespace platform::sdl_gl {

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

// Queues a GL name for deletion by the drawing thread (nothing once the
// device is gone).
void Bury(const SharedPtr& shared, GlKind kind, GLuint name);

// Whether the calling thread is the one that drew with the device (and so
// holds its GL context).
bool OnDrawingThread(const Shared& shared);

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
            std::uint32_t contentW = 0, std::uint32_t contentH = 0);
  ~GlTexture() override;

  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Usage GetUsage() const override { return usage_; }
  std::uint32_t* LockRect() override { return CpuPixels().data(); }
  void UnlockRect() override;
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
  bool Upload(std::size_t* budget, bool* bound);

  // A new render target's storage, transparent black, sent a band of zero
  // rows at a time: it never needs a CPU copy of its whole (the result
  // screen's is as large as the back buffer). False when its rows are wider
  // than the band.
  bool StartTransparent(GLenum target);

  // Stores the whole texture from now on, padding included, as a 2D texture
  // under a new name (drawing thread only, after Name). Sets *bound when it
  // changes anything: the old name is gone and the new one is bound.
  void Untrim(bool* bound);

  // The CPU copy, made again when it was let go: read back from GL on the
  // drawing thread; elsewhere (no context there) transparent black, which
  // is also what a texture never filled holds.
  PixelBlock& CpuPixels();
  const SharedPtr& SharedState() const { return shared_; }

 private:
  static constexpr std::size_t kMaxQueuedBytes = std::size_t{8} << 20;
  static constexpr std::chrono::milliseconds kMaxQueueWait{100};

  // The CPU memory of the uploads queued before this texture (under the
  // shared mutex).
  std::size_t BytesQueuedBefore() const;

  // Levels 1 and below from mips_ (or, had there been no memory for them,
  // made by GL).
  void UploadMipLevels(GLenum target);

  // GL's level 0 into the zeroed CPU copy.
  void ReadBack();

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
  GLuint Renderbuffer();
  bool HasStencil() const { return depthFormat_ == DepthFormat::D24S8; }

  // The colour storage of the back buffer (and of its stand-in while a
  // picture is rehearsed): a texture of unsized RGBA given as B, G, R, A
  // bytes, which the driver may then store as those bytes. That is how the
  // window keeps its pixels, and Mesa copies a picture into the window row
  // for row when the two match (our rows run top first, as the window's
  // memory does, so the flip of Present is a straight copy there) but draws
  // it through a shader when they do not. Made on the first call, which
  // leaves it bound on the active unit and sets *bound.
  GLuint ColorTexture(bool* bound);
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
  GLuint Name(bool* bound);

 private:
  std::vector<unsigned char>& Cpu() const;

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
  GLuint Name(bool* bound);
  // The largest index as of the last upload.
  std::uint32_t MaxIndex() const { return maxIndex_; }

 private:
  // The element binding belongs to the vertex array, so a read-back goes
  // through the copy-read binding point.
  std::vector<std::uint32_t>& Cpu() const;

  SharedPtr shared_;
  std::uint32_t count_;
  mutable std::vector<std::uint32_t> data_;
  std::atomic<bool> dirty_{true};
  GLuint name_ = 0;
  std::uint32_t maxIndex_ = 0;
  bool uploaded_ = false;
};
}  // namespace platform::sdl_gl
