#include "platform/sdl_gl/gl_api.h"

#include <cstddef>
#include <vector>

namespace platform::sdl_gl {

namespace {

#if POROMEKO_GLES
// 0xAARRGGBB words (B, G, R, A bytes) to R, G, B, A bytes and back: the
// same swap of the first and third byte either way.
std::uint32_t SwapRedBlue(std::uint32_t p) {
  return (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
}

// Scratch for the swapped copies (the drawing thread's only).
std::vector<std::uint32_t>& Scratch(std::size_t words) {
  static std::vector<std::uint32_t> scratch;
  if (scratch.size() < words) scratch.resize(words);
  return scratch;
}

std::size_t Words(GLsizei width, GLsizei height) {
  return width > 0 && height > 0
             ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height)
             : 0;
}

// A swapped, tightly packed copy of `rows` rows of `width` words taken
// `pitch` words apart.
const std::uint32_t* Swapped(const std::uint32_t* pixels, GLsizei width, GLsizei rows,
                             GLsizei pitch) {
  if (!pixels) return nullptr;
  std::vector<std::uint32_t>& s = Scratch(Words(width, rows));
  std::size_t to = 0;
  for (GLsizei y = 0; y < rows; ++y) {
    const std::uint32_t* row =
        pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch);
    for (GLsizei x = 0; x < width; ++x) s[to++] = SwapRedBlue(row[x]);
  }
  return s.data();
}
#else
// Rows `pitch` words apart (none when the rows are packed) until the end of
// the object.
class UnpackRowLength {
 public:
  UnpackRowLength(GLsizei width, GLsizei pitch) : set_(pitch != width) {
    if (set_) glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch);
  }
  ~UnpackRowLength() {
    if (set_) glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  }
  UnpackRowLength(const UnpackRowLength&) = delete;
  UnpackRowLength& operator=(const UnpackRowLength&) = delete;

 private:
  bool set_;
};
#endif

}  // namespace

void TexImageBgra(GLenum target, GLsizei width, GLsizei height, const std::uint32_t* pixels,
                  GLsizei pitch, GLint level) {
  if (pitch == 0) pitch = width;
#if POROMEKO_GLES
  glTexImage2D(target, level, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               Swapped(pixels, width, height, pitch));
#else
  UnpackRowLength rows(width, pixels ? pitch : width);
  glTexImage2D(target, level, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
#endif
}

void TexSubImageBgra(GLenum target, GLint y, GLsizei width, GLsizei rows,
                     const std::uint32_t* pixels, GLsizei pitch, GLint level) {
  if (pitch == 0) pitch = width;
#if POROMEKO_GLES
  glTexSubImage2D(target, level, 0, y, width, rows, GL_RGBA, GL_UNSIGNED_BYTE,
                  Swapped(pixels, width, rows, pitch));
#else
  UnpackRowLength packing(width, pitch);
  glTexSubImage2D(target, level, 0, y, width, rows, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
#endif
}

bool HasTextureStorage() {
#if POROMEKO_GLES
  return true;
#else
  return epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_texture_storage");
#endif
}

void TexStorageRgba8(GLenum target, GLsizei levels, GLsizei width, GLsizei height) {
  glTexStorage2D(target, levels, GL_RGBA8, width, height);
}

void ReadPixelsBgra(GLint x, GLint y, GLsizei width, GLsizei height, std::uint32_t* out) {
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
#if POROMEKO_GLES
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out);
  const std::size_t words = Words(width, height);
  for (std::size_t i = 0; i < words; ++i) out[i] = SwapRedBlue(out[i]);
#else
  glReadPixels(x, y, width, height, GL_BGRA, GL_UNSIGNED_BYTE, out);
#endif
}

void GetTexImageBgra(GLenum target, GLuint name, GLsizei width, GLsizei height,
                     std::uint32_t* out) {
#if POROMEKO_GLES
  GLint was = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &was);
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, target, name, 0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  ReadPixelsBgra(0, 0, width, height, out);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(was));
  glDeleteFramebuffers(1, &fbo);
#else
  GLint was = 0;
  glGetIntegerv(target == GL_TEXTURE_2D ? GL_TEXTURE_BINDING_2D : GL_TEXTURE_BINDING_RECTANGLE,
                &was);
  glBindTexture(target, name);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glGetTexImage(target, 0, GL_BGRA, GL_UNSIGNED_BYTE, out);
  glBindTexture(target, static_cast<GLuint>(was));
  (void)width;
  (void)height;
#endif
}

void ClearDepth(float depth) {
#if POROMEKO_GLES
  glClearDepthf(depth);
#else
  glClearDepth(depth);
#endif
}

void DepthRange(float nearPlane, float farPlane) {
#if POROMEKO_GLES
  glDepthRangef(nearPlane, farPlane);
#else
  glDepthRange(nearPlane, farPlane);
#endif
}

GLenum ClampToBorder() {
#if POROMEKO_GLES
  return GL_CLAMP_TO_EDGE;
#else
  return GL_CLAMP_TO_BORDER;
#endif
}

}  // namespace platform::sdl_gl
