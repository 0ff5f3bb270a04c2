#include "platform/sdl_gl/gl_resources.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace platform::sdl_gl {

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

Surface* GlTexture::GetSurfaceLevel(std::uint32_t level) {
  if (level != 0 || usage_ != Usage::RenderTarget) return nullptr;
  return new GlSurface(shared_, GlSurface::Kind::TextureLevel, w_, h_, this);
}

GlTexture::GlTexture(SharedPtr shared, std::uint32_t w, std::uint32_t h, std::uint32_t levels,
                     Usage usage, std::uint32_t contentW, std::uint32_t contentH)
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

GlTexture::~GlTexture() {
  if (usage_ != Usage::RenderTarget) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    auto& pending = shared_->pendingUploads;
    pending.erase(std::remove(pending.begin(), pending.end(), this), pending.end());
    shared_->uploadsSent.notify_all();
  }
  Bury(shared_, GlKind::Texture, name_);
}

void GlTexture::UnlockRect() {
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

bool GlTexture::Upload(std::size_t* budget, bool* bound) {
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
  if (usage_ == Usage::RenderTarget && !uploaded_ && pixels_.empty() && StartTransparent(target)) {
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

bool GlTexture::StartTransparent(GLenum target) {
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

void GlTexture::Untrim(bool* bound) {
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

PixelBlock& GlTexture::CpuPixels() {
  if (pixels_.empty()) {
    pixels_.Zeroed(static_cast<std::size_t>(w_) * h_);
    if (pixels_.empty()) return pixels_;
    if (uploaded_ && name_ != 0 && OnDrawingThread(*shared_)) ReadBack();
  }
  return pixels_;
}

std::size_t GlTexture::BytesQueuedBefore() const {
  std::size_t bytes = 0;
  for (const GlTexture* t : shared_->pendingUploads) {
    if (t == this) break;
    bytes += t->CpuBytes();
  }
  return bytes;
}

void GlTexture::UploadMipLevels(GLenum target) {
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

void GlTexture::ReadBack() {
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

GLuint GlSurface::Renderbuffer() {
  if (renderbuffer_ == 0 && kind_ == Kind::DepthStencil) {
    glGenRenderbuffers(1, &renderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER,
                          HasStencil() ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT16,
                          static_cast<GLsizei>(w_), static_cast<GLsizei>(h_));
  }
  return renderbuffer_;
}

GLuint GlSurface::ColorTexture(bool* bound) {
  if (colorTexture_ == 0 && kind_ == Kind::Color) {
    glGenTextures(1, &colorTexture_);
    glBindTexture(GL_TEXTURE_2D, colorTexture_);
#if POROMEKO_GLES
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(w_), static_cast<GLsizei>(h_), 0,
                 GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
#else
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(w_), static_cast<GLsizei>(h_), 0,
                 GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
#endif
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    *bound = true;
  }
  return colorTexture_;
}

GLuint GlVertexBuffer::Name(bool* bound) {
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

std::vector<unsigned char>& GlVertexBuffer::Cpu() const {
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

GLuint GlIndexBuffer::Name(bool* bound) {
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

std::vector<std::uint32_t>& GlIndexBuffer::Cpu() const {
  if (data_.size() != count_) {
    data_.assign(count_, 0u);
    if (uploaded_ && name_ != 0 && OnDrawingThread(*shared_)) {
      GLint was = 0;
      glGetIntegerv(GL_COPY_READ_BUFFER_BINDING, &was);
      glBindBuffer(GL_COPY_READ_BUFFER, name_);
      glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(count_) * 4, data_.data());
      glBindBuffer(GL_COPY_READ_BUFFER, static_cast<GLuint>(was));
    }
  }
  return data_;
}

}  // namespace platform::sdl_gl
