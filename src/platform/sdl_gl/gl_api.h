// The OpenGL this back end draws with: OpenGL 3.3 core through epoxy on the
// desktop, WebGL 2 (OpenGL ES 3.0, GLSL ES 3.00) in the browser. Everything
// else in the back end is written once against the common subset; the few
// places where the two differ go through here:
//  - pixels are handed over as B, G, R, A bytes (0xAARRGGBB words in
//    memory), which GL ES cannot take or give: there they are swapped to
//    R, G, B, A on the way in and back on the way out;
//  - a vertex colour is read as four normalised bytes, in B, G, R, A order
//    on the desktop (GL_BGRA size) and swizzled by the shader on GL ES;
//  - shaders start with the header of their language;
//  - depth clear and range take floats; a texture is read back through a
//    framebuffer on GL ES, which has no glGetTexImage.
#pragma once

#include <cstdint>

#if defined(__EMSCRIPTEN__)
#include <GLES3/gl3.h>
// WebGL 2 reads buffers back (getBufferSubData); emscripten gives it the
// desktop's name, which no GL ES header declares.
extern "C" void glGetBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, void* data);
#define POROMEKO_GLES 1
#else
#include <epoxy/gl.h>
#define POROMEKO_GLES 0
#endif

namespace platform::sdl_gl {

inline constexpr bool kGles = POROMEKO_GLES != 0;

// The first lines of every shader: the language version, default
// precisions on GL ES, and DIFFUSE_SWIZZLE, the swizzle that turns the
// vertex colour attribute into r, g, b, a.
inline constexpr const char* kShaderHeader =
    kGles ? "#version 300 es\nprecision highp float;\nprecision highp int;\n"
            "#define DIFFUSE_SWIZZLE bgra\n"
          : "#version 330 core\n#define DIFFUSE_SWIZZLE rgba\n";

// Components and type of a vertex colour attribute (an 0xAARRGGBB word).
#if POROMEKO_GLES
inline constexpr GLint kDiffuseAttributeSize = 4;
#else
inline constexpr GLint kDiffuseAttributeSize = GL_BGRA;
#endif

// Rectangle textures (texel coordinates, one level, clamped): desktop GL
// has them; GL ES has none, and there every texture is a 2D one.
#if POROMEKO_GLES
inline constexpr bool kRectangleTextures = false;
inline constexpr GLenum kTextureRectangle = GL_TEXTURE_2D;
#else
inline constexpr bool kRectangleTextures = true;
inline constexpr GLenum kTextureRectangle = GL_TEXTURE_RECTANGLE;
#endif

// Level `level` of the texture bound to `target` (GL_TEXTURE_2D or
// kTextureRectangle): 8 bits a channel, filled from `pixels` (0xAARRGGBB
// words, top row first, `pitch` words apart; 0: `width`) or left undefined
// when null. On desktop GL the storage is unsized RGBA given as B, G, R, A
// bytes, which Mesa then stores as those bytes: an upload is a plain copy,
// three to four times faster than into RGBA8, which reorders every pixel.
void TexImageBgra(GLenum target, GLsizei width, GLsizei height, const std::uint32_t* pixels,
                  GLsizei pitch = 0, GLint level = 0);
// Rows [y, y + rows) of level `level` of the texture bound to `target`.
void TexSubImageBgra(GLenum target, GLint y, GLsizei width, GLsizei rows,
                     const std::uint32_t* pixels, GLsizei pitch = 0, GLint level = 0);
// Whether textures can be given all their levels at once (glTexStorage2D:
// GL ES 3.0, desktop GL 4.2 or ARB_texture_storage). Asked of the current
// context.
bool HasTextureStorage();
// RGBA8 storage for `levels` levels of the texture bound to `target`, made
// in one piece and fixed from then on: the levels are filled with
// TexSubImageBgra. Only where HasTextureStorage.
void TexStorageRgba8(GLenum target, GLsizei levels, GLsizei width, GLsizei height);
// Pixels of the read framebuffer as 0xAARRGGBB words (pack alignment 4).
void ReadPixelsBgra(GLint x, GLint y, GLsizei width, GLsizei height, std::uint32_t* out);
// Level 0 of texture `name` (width x height, of `target`) as 0xAARRGGBB
// words. Leaves the texture and framebuffer bindings as they were.
void GetTexImageBgra(GLenum target, GLuint name, GLsizei width, GLsizei height, std::uint32_t* out);
void ClearDepth(float depth);
void DepthRange(float nearPlane, float farPlane);
// GL_CLAMP_TO_BORDER where there is one; GL ES 3.0 has none and clamps to
// the edge instead (the game never asks for the border).
GLenum ClampToBorder();

}  // namespace platform::sdl_gl
