// The OpenGL 3.3 core device: the fixed-function pipeline the game draws with,
// reproduced by one shader program, drawing into an 800 x 600 framebuffer that
// Present scales into the window.
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
//  - Resources may be created and filled on the loading thread, which has no
//    GL context. They keep a CPU copy and get their GL object (or the new
//    content) the next time the drawing thread uses them. GL names of freed
//    resources are queued and deleted by the drawing thread; once the device
//    is gone the queue is closed and resources free only their CPU side.
#include <epoxy/gl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sdl_gl/backend.h"

namespace platform::sdl_gl {

namespace {

constexpr std::uint32_t kBackBufferWidth = 800;
constexpr std::uint32_t kBackBufferHeight = 600;
// How far vertices move to put pixel centres on integer coordinates.
constexpr float kPixelCentreShift = 0.5f;
// How far right and down of the pixel centre point sampling reads, in pixels.
constexpr float kPointSampleNudge = 1.0f / 256.0f;

// What the device and its resources share.
struct Shared {
  std::mutex mutex;
  bool alive = true;
  GLint maxTextureSize = 4096;
  std::vector<GLuint> deadTextures, deadBuffers, deadRenderbuffers;
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

class GlTexture : public Texture {
 public:
  GlTexture(SharedPtr shared, std::uint32_t w, std::uint32_t h, Usage usage)
      : shared_(std::move(shared)),
        w_(w),
        h_(h),
        usage_(usage),
        pixels_(static_cast<std::size_t>(w) * h, 0u) {}
  ~GlTexture() override { Bury(shared_, GlKind::Texture, name_); }

  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Usage GetUsage() const override { return usage_; }
  std::uint32_t* LockRect() override { return pixels_.data(); }
  void UnlockRect() override { dirty_ = true; }
  Surface* GetSurfaceLevel(std::uint32_t level) override;

  // The GL texture with the latest CPU content (drawing thread only).
  GLuint Name() {
    if (name_ == 0) glGenTextures(1, &name_);
    if (dirty_.exchange(false)) {
      glBindTexture(GL_TEXTURE_2D, name_);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
      // 0xAARRGGBB words are B, G, R, A bytes in memory.
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(w_), static_cast<GLsizei>(h_),
                   0, GL_BGRA, GL_UNSIGNED_BYTE, pixels_.data());
      if (usage_ == Usage::RenderTarget) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
      } else {
        // Loaded textures get their whole mip chain, used while a mip filter is set.
        glGenerateMipmap(GL_TEXTURE_2D);
      }
    }
    return name_;
  }
  std::vector<std::uint32_t>& Pixels() { return pixels_; }
  const SharedPtr& SharedState() const { return shared_; }

 private:
  SharedPtr shared_;
  std::uint32_t w_, h_;
  Usage usage_;
  std::vector<std::uint32_t> pixels_;
  std::atomic<bool> dirty_{true};
  GLuint name_ = 0;
};

// The back buffer, a depth-stencil surface, or level 0 of a render-target
// texture.
class GlSurface : public Surface {
 public:
  enum class Kind { Color, DepthStencil, TextureLevel };
  GlSurface(SharedPtr shared, Kind kind, std::uint32_t w, std::uint32_t h,
            GlTexture* texture = nullptr)
      : shared_(std::move(shared)), kind_(kind), w_(w), h_(h), texture_(texture) {
    if (texture_) texture_->AddRef();
  }
  ~GlSurface() override {
    if (texture_) texture_->Release();
    Bury(shared_, GlKind::Renderbuffer, renderbuffer_);
  }
  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Kind GetKind() const { return kind_; }
  GlTexture* GetTexture() const { return texture_; }

  GLuint Renderbuffer() {
    if (renderbuffer_ == 0 && kind_ != Kind::TextureLevel) {
      glGenRenderbuffers(1, &renderbuffer_);
      glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
      glRenderbufferStorage(GL_RENDERBUFFER, kind_ == Kind::Color ? GL_RGBA8 : GL_DEPTH24_STENCIL8,
                            static_cast<GLsizei>(w_), static_cast<GLsizei>(h_));
    }
    return renderbuffer_;
  }

 private:
  SharedPtr shared_;
  Kind kind_;
  std::uint32_t w_, h_;
  GlTexture* texture_;
  GLuint renderbuffer_ = 0;
};

Surface* GlTexture::GetSurfaceLevel(std::uint32_t level) {
  if (level != 0 || usage_ != Usage::RenderTarget) return nullptr;
  return new GlSurface(shared_, GlSurface::Kind::TextureLevel, w_, h_, this);
}

class GlVertexBuffer : public VertexBuffer {
 public:
  GlVertexBuffer(SharedPtr shared, std::uint32_t bytes, std::uint32_t fvf)
      : shared_(std::move(shared)), data_(bytes), fvf_(fvf) {}
  ~GlVertexBuffer() override { Bury(shared_, GlKind::Buffer, name_); }
  std::uint32_t SizeBytes() const override { return static_cast<std::uint32_t>(data_.size()); }
  std::uint32_t GetFVF() const override { return fvf_; }
  void* Lock() override { return data_.data(); }
  void Unlock() override { dirty_ = true; }
  const void* Data() const override { return data_.data(); }

  // Bound to GL_ARRAY_BUFFER with the latest content (drawing thread only).
  void Bind() {
    if (name_ == 0) glGenBuffers(1, &name_);
    glBindBuffer(GL_ARRAY_BUFFER, name_);
    if (dirty_.exchange(false)) {
      glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data_.size()), data_.data(),
                   GL_STATIC_DRAW);
    }
  }

 private:
  SharedPtr shared_;
  std::vector<unsigned char> data_;
  std::uint32_t fvf_;
  std::atomic<bool> dirty_{true};
  GLuint name_ = 0;
};

class GlIndexBuffer : public IndexBuffer {
 public:
  GlIndexBuffer(SharedPtr shared, std::uint32_t count) : shared_(std::move(shared)), data_(count) {}
  ~GlIndexBuffer() override { Bury(shared_, GlKind::Buffer, name_); }
  std::uint32_t Count() const override { return static_cast<std::uint32_t>(data_.size()); }
  std::uint32_t* Lock() override { return data_.data(); }
  void Unlock() override { dirty_ = true; }
  const std::uint32_t* Data() const override { return data_.data(); }

  // Bound to GL_ELEMENT_ARRAY_BUFFER with the latest content (drawing thread
  // only). Returns the largest index in the buffer.
  std::uint32_t Bind() {
    if (name_ == 0) glGenBuffers(1, &name_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, name_);
    if (dirty_.exchange(false)) {
      glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(data_.size() * 4), data_.data(),
                   GL_STATIC_DRAW);
      maxIndex_ = 0;
      for (std::uint32_t i : data_) maxIndex_ = std::max(maxIndex_, i);
    }
    return maxIndex_;
  }

 private:
  SharedPtr shared_;
  std::vector<std::uint32_t> data_;
  std::atomic<bool> dirty_{true};
  GLuint name_ = 0;
  std::uint32_t maxIndex_ = 0;
};

// --- Shaders -----------------------------------------------------------------

// Matrices are uploaded as stored (row-major, row vectors); GLSL then reads
// them transposed, so `M * v` computes the row-vector product v·M.
const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 aPos;
layout(location = 1) in vec4 aWeights;
layout(location = 2) in vec3 aNormal;
layout(location = 3) in vec4 aDiffuse;
layout(location = 4) in vec2 aTex;

uniform bool uRhw;
uniform vec2 uRhwScale;       // 2 / render-target size
uniform float uRhwShift;      // pixel-centre shift of screen vertices
uniform mat4 uWorldView[4];
uniform mat3 uNormalMatrix[4];
uniform mat4 uProj;
uniform int uBlendWeights;    // weights read from the vertex
uniform vec2 uClipShift;      // pixel-centre shift in clip units per w
uniform bool uLighting;
uniform bool uHasNormal;
uniform bool uHasDiffuse;
uniform bool uDiffuseFromVertex;
uniform vec4 uMatDiffuse;
uniform vec3 uMatAmbient;
uniform vec3 uMatEmissive;
uniform vec3 uAmbient;        // global ambient + light ambient
uniform vec3 uLightDiffuse;   // zero while the light is off
uniform vec3 uToLight;        // view space
uniform bool uClampDiffuse;   // N.L capped at 1 as well as at 0

out vec4 vColor;
out vec2 vTex;

void main() {
  vec4 vertexColor = uHasDiffuse ? aDiffuse : vec4(1.0);
  vTex = aTex;
  if (uRhw) {
    float w = aPos.w != 0.0 ? 1.0 / aPos.w : 1.0;
    vec2 ndc = (aPos.xy + vec2(uRhwShift)) * uRhwScale - 1.0;
    gl_Position = vec4(ndc, 2.0 * aPos.z - 1.0, 1.0) * w;
    vColor = vertexColor;
    return;
  }
  vec4 p = vec4(aPos.xyz, 1.0);
  vec4 pv = vec4(0.0);
  vec3 nv = vec3(0.0);
  float last = 1.0;
  for (int i = 0; i < uBlendWeights; ++i) {
    float weight = aWeights[i];
    pv += weight * (uWorldView[i] * p);
    nv += weight * (uNormalMatrix[i] * aNormal);
    last -= weight;
  }
  pv += last * (uWorldView[uBlendWeights] * p);
  nv += last * (uNormalMatrix[uBlendWeights] * aNormal);
  vec4 clip = uProj * pv;
  gl_Position = vec4(clip.x + uClipShift.x * clip.w, -clip.y + uClipShift.y * clip.w,
                     2.0 * clip.z - clip.w, clip.w);
  if (!uLighting) {
    vColor = vertexColor;
    return;
  }
  vec4 md = (uDiffuseFromVertex && uHasDiffuse) ? aDiffuse : uMatDiffuse;
  vec3 rgb = uMatAmbient * uAmbient + uMatEmissive;
  if (uHasNormal) {
    float nDotL = max(0.0, dot(nv, uToLight));
    if (uClampDiffuse) nDotL = min(nDotL, 1.0);
    rgb += md.rgb * uLightDiffuse * nDotL;
  }
  vColor = vec4(clamp(rgb, 0.0, 1.0), clamp(md.a, 0.0, 1.0));
}
)";

const char* const kFragmentShader = R"(#version 330 core
in vec4 vColor;
in vec2 vTex;

uniform sampler2D uTexture;
uniform bool uHasTexture;
uniform float uTexNudge;      // pixels right and down of the centre to sample at
uniform int uColorOp, uColorArg1, uColorArg2;
uniform int uAlphaOp, uAlphaArg1, uAlphaArg2;
uniform bool uAlphaTest;
uniform int uAlphaFunc;
uniform int uAlphaRef;

out vec4 fragColor;

// Stage 0: DIFFUSE = 0, CURRENT = 1 (the diffuse colour), TEXTURE = 2.
vec4 Arg(int a, vec4 tex) { return a == 2 ? tex : vColor; }

// SELECTARG1 = 2, SELECTARG2 = 3, MODULATE = 4; DISABLE passes CURRENT on.
vec4 Op(int op, vec4 a1, vec4 a2) {
  if (op == 2) return a1;
  if (op == 3) return a2;
  if (op == 4) return a1 * a2;
  return vColor;
}

bool Passes(int func, float a, float ref) {
  if (func == 1) return false;
  if (func == 2) return a < ref;
  if (func == 3) return a == ref;
  if (func == 4) return a <= ref;
  if (func == 5) return a > ref;
  if (func == 6) return a != ref;
  if (func == 7) return a >= ref;
  return true;
}

void main() {
  // Window y runs down the picture, so dFdy points down as the game's y does.
  vec2 at = vTex + uTexNudge * (dFdx(vTex) + dFdy(vTex));
  vec4 tex = uHasTexture ? texture(uTexture, at) : vec4(1.0);
  vec4 c = Op(uColorOp, Arg(uColorArg1, tex), Arg(uColorArg2, tex));
  vec4 a = Op(uAlphaOp, Arg(uAlphaArg1, tex), Arg(uAlphaArg2, tex));
  fragColor = vec4(c.rgb, a.a);
  if (uAlphaTest) {
    // On the reference's 0..255 scale and not rounded: 0x81 * 0xFE / 255 is
    // 128.49, above a reference of 0x80. An 8-bit alpha that came through
    // unchanged arrives a hair off its step, far closer than any product of
    // two 8-bit values (1/255 at least); it counts as the step itself, so
    // EQUAL and GREATER still meet exactly at the reference.
    float alpha = clamp(fragColor.a, 0.0, 1.0) * 255.0;
    float nearest = floor(alpha + 0.5);
    if (abs(alpha - nearest) < 1.0 / 1024.0) alpha = nearest;
    if (!Passes(uAlphaFunc, alpha, float(uAlphaRef))) discard;
  }
}
)";

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
    case 4: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
  }
}

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

class GlDevice : public StateDevice {
 public:
  explicit GlDevice(std::shared_ptr<GlContext> context)
      : context_(std::move(context)), shared_(std::make_shared<Shared>()) {
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &shared_->maxTextureSize);
    BuildProgram();
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &streamBuffer_);
    glGenFramebuffers(1, &fbo_);
    glGenFramebuffers(1, &readFbo_);
    glGenFramebuffers(1, &presentFbo_);
    glGenSamplers(1, &sampler_);
    glBindSampler(0, sampler_);
    glActiveTexture(GL_TEXTURE0);

    backBuffer_ =
        new GlSurface(shared_, GlSurface::Kind::Color, kBackBufferWidth, kBackBufferHeight);
    depthStencil_ =
        new GlSurface(shared_, GlSurface::Kind::DepthStencil, kBackBufferWidth, kBackBufferHeight);
    presented_ =
        new GlSurface(shared_, GlSurface::Kind::Color, kBackBufferWidth, kBackBufferHeight);
    renderTarget_ = backBuffer_;
    renderTarget_->AddRef();
    currentDepth_ = depthStencil_;
    currentDepth_->AddRef();
    glBindFramebuffer(GL_FRAMEBUFFER, presentFbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              backBuffer_->Renderbuffer());
    AttachTargets();
    // A new back buffer starts black with depth 1.
    Clear(kClearTarget | kClearZBuffer | kClearStencil, 0xFF000000u, 1.0f, 0);
  }

  ~GlDevice() override {
    ReleaseStateTexture();
    renderTarget_->Release();
    if (currentDepth_) currentDepth_->Release();
    backBuffer_->Release();
    depthStencil_->Release();
    presented_->Release();
    CollectGarbage();
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->alive = false;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo_);
    glDeleteFramebuffers(1, &readFbo_);
    glDeleteFramebuffers(1, &presentFbo_);
    glDeleteBuffers(1, &streamBuffer_);
    glDeleteVertexArrays(1, &vao_);
    glDeleteSamplers(1, &sampler_);
    glDeleteProgram(program_);
  }

  // Frame.
  void BeginScene() override {}
  void EndScene() override {}

  void Clear(std::uint32_t flags, Color color, float z, std::uint32_t stencil) override {
    CollectGarbage();
    BindTargets();
    const Viewport& vp = state_.viewport;
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(vp.x), static_cast<GLint>(vp.y), static_cast<GLsizei>(vp.width),
              static_cast<GLsizei>(vp.height));
    GLbitfield mask = 0;
    if (flags & kClearTarget) {
      glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f,
                   static_cast<float>((color >> 8) & 0xFF) / 255.0f,
                   static_cast<float>(color & 0xFF) / 255.0f,
                   static_cast<float>((color >> 24) & 0xFF) / 255.0f);
      mask |= GL_COLOR_BUFFER_BIT;
    }
    if (currentDepth_ && (flags & kClearZBuffer)) {
      glDepthMask(GL_TRUE);
      glClearDepth(std::clamp(z, 0.0f, 1.0f));
      mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (currentDepth_ && (flags & kClearStencil)) {
      glStencilMask(0xFF);
      glClearStencil(static_cast<GLint>(stencil & 0xFF));
      mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (mask) glClear(mask);
    glDisable(GL_SCISSOR_TEST);
  }

  void Present() override {
    CollectGarbage();
    glDisable(GL_SCISSOR_TEST);
    // Keep the picture for ReadBackBuffer: the back buffer itself goes on
    // being drawn into.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, presentFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, readFbo_);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              presented_->Renderbuffer());
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    glBlitFramebuffer(0, 0, kBackBufferWidth, kBackBufferHeight, 0, 0, kBackBufferWidth,
                      kBackBufferHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    hasPresented_ = true;

    // Into the window: black bars, the picture scaled to fit, flipped to
    // GL's bottom-up window rows.
    int ww = 0, wh = 0;
    context_->DrawableSize(&ww, &wh);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, presentFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    PresentRect r = FitBackBuffer(ww, wh);
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
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, ww, wh, GL_BGRA, GL_UNSIGNED_BYTE, capturePixels_.data());
        FlipRows(&capturePixels_, static_cast<std::size_t>(ww), static_cast<std::size_t>(wh));
      }
    }
    context_->Swap();
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
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
    CollectGarbage();
    // Exactly the bytes the vertices occupy: nothing past the last vertex is read.
    std::size_t bytes = static_cast<std::size_t>(count - 1) * stride + layout.stride;
    glBindVertexArray(vao_);
    glBindBuffer(GL_ARRAY_BUFFER, streamBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), vertices, GL_STREAM_DRAW);
    SetAttributes(layout, stride);
    if (!Prepare(layout)) return;
    glDrawArrays(GlPrimitive(type), 0, static_cast<GLsizei>(count));
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
    CollectGarbage();
    // Another device on the same context may have left its own bindings.
    glBindVertexArray(vao_);
    vbuf->Bind();
    std::uint32_t maxIndex = ibuf->Bind();
    if (ibuf->Count() > 0 && maxIndex >= vbuf->SizeBytes() / layout.stride) {
      Complain("DrawIndexedPrimitive: index past the vertex buffer; not drawn");
      return;
    }
    SetAttributes(layout, layout.stride);
    if (!Prepare(layout)) return;
    glDrawElements(GlPrimitive(type), static_cast<GLsizei>(count), GL_UNSIGNED_INT,
                   reinterpret_cast<const void*>(static_cast<std::uintptr_t>(startIndex) * 4u));
  }

  // Resources.
  Texture* CreateTexture(std::uint32_t width, std::uint32_t height, Usage usage) override {
    auto max = static_cast<std::uint32_t>(shared_->maxTextureSize);
    if (width == 0 || height == 0 || width > max || height > max) {
      std::fprintf(stderr, "CreateTexture: %ux%u is not a possible texture size\n", width, height);
      return nullptr;
    }
    return new GlTexture(shared_, width, height, usage);
  }
  Surface* CreateDepthStencilSurface(std::uint32_t width, std::uint32_t height) override {
    auto max = static_cast<std::uint32_t>(shared_->maxTextureSize);
    if (width == 0 || height == 0 || width > max || height > max) return nullptr;
    return new GlSurface(shared_, GlSurface::Kind::DepthStencil, width, height);
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

  std::vector<std::uint32_t> ReadBackBuffer() override {
    std::vector<std::uint32_t> px =
        ReadRenderbuffer(hasPresented_ ? presented_->Renderbuffer() : backBuffer_->Renderbuffer(),
                         kBackBufferWidth, kBackBufferHeight);
    // The back buffer has no alpha channel of its own: it reads as opaque.
    for (auto& p : px) p |= 0xFF000000u;
    return px;
  }

  std::vector<std::uint32_t> ReadTexture(Texture* texture) override {
    auto* t = dynamic_cast<GlTexture*>(texture);
    if (!t) return {};
    if (t->GetUsage() != Usage::RenderTarget) return t->Pixels();
    GLuint name = t->Name();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name, 0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, static_cast<GLsizei>(t->Width()), static_cast<GLsizei>(t->Height()), GL_BGRA,
                 GL_UNSIGNED_BYTE, t->Pixels().data());
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    // What was read back is now the texture's CPU copy (see LockRect).
    return t->Pixels();
  }

  // Test hooks.
  void SetCapture(bool on) { capture_ = on; }
  std::vector<std::uint32_t> Captured(int* w, int* h) const {
    if (w) *w = captureWidth_;
    if (h) *h = captureHeight_;
    return capturePixels_;
  }

 private:
  struct Uniforms {
    GLint rhw, rhwScale, rhwShift, worldView, normalMatrix, proj, blendWeights, clipShift;
    GLint lighting, hasNormal, hasDiffuse, diffuseFromVertex, matDiffuse, matAmbient, matEmissive,
        ambient, lightDiffuse, toLight, clampDiffuse;
    GLint texture, hasTexture, texNudge, colorOp, colorArg1, colorArg2, alphaOp, alphaArg1,
        alphaArg2, alphaTest, alphaFunc, alphaRef;
  };

  void BuildProgram() {
    GLuint vs = CompileShader(GL_VERTEX_SHADER, kVertexShader);
    GLuint fs = CompileShader(GL_FRAGMENT_SHADER, kFragmentShader);
    program_ = glCreateProgram();
    glAttachShader(program_, vs);
    glAttachShader(program_, fs);
    glLinkProgram(program_);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program_, GL_LINK_STATUS, &ok);
    if (!ok) {
      char log[2048] = {};
      glGetProgramInfoLog(program_, sizeof log, nullptr, log);
      std::fprintf(stderr, "GL program: %s\n", log);
    }
    programOk_ = ok != 0;
    auto at = [this](const char* name) { return glGetUniformLocation(program_, name); };
    u_.rhw = at("uRhw");
    u_.rhwScale = at("uRhwScale");
    u_.rhwShift = at("uRhwShift");
    u_.worldView = at("uWorldView");
    u_.normalMatrix = at("uNormalMatrix");
    u_.proj = at("uProj");
    u_.blendWeights = at("uBlendWeights");
    u_.clipShift = at("uClipShift");
    u_.lighting = at("uLighting");
    u_.hasNormal = at("uHasNormal");
    u_.hasDiffuse = at("uHasDiffuse");
    u_.diffuseFromVertex = at("uDiffuseFromVertex");
    u_.matDiffuse = at("uMatDiffuse");
    u_.matAmbient = at("uMatAmbient");
    u_.matEmissive = at("uMatEmissive");
    u_.ambient = at("uAmbient");
    u_.lightDiffuse = at("uLightDiffuse");
    u_.toLight = at("uToLight");
    u_.clampDiffuse = at("uClampDiffuse");
    u_.texture = at("uTexture");
    u_.hasTexture = at("uHasTexture");
    u_.texNudge = at("uTexNudge");
    u_.colorOp = at("uColorOp");
    u_.colorArg1 = at("uColorArg1");
    u_.colorArg2 = at("uColorArg2");
    u_.alphaOp = at("uAlphaOp");
    u_.alphaArg1 = at("uAlphaArg1");
    u_.alphaArg2 = at("uAlphaArg2");
    u_.alphaTest = at("uAlphaTest");
    u_.alphaFunc = at("uAlphaFunc");
    u_.alphaRef = at("uAlphaRef");
    glUseProgram(program_);
    glUniform1i(u_.texture, 0);
    glUniform1i(u_.clampDiffuse, kClampDiffusePerLight ? 1 : 0);
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
      textures.swap(shared_->deadTextures);
      buffers.swap(shared_->deadBuffers);
      renderbuffers.swap(shared_->deadRenderbuffers);
    }
    if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    if (!buffers.empty()) glDeleteBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
    if (!renderbuffers.empty()) {
      glDeleteRenderbuffers(static_cast<GLsizei>(renderbuffers.size()), renderbuffers.data());
    }
  }

  void AttachTargets() {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    if (renderTarget_->GetKind() == GlSurface::Kind::TextureLevel) {
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                             renderTarget_->GetTexture()->Name(), 0);
    } else {
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                renderTarget_->Renderbuffer());
    }
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              currentDepth_ ? currentDepth_->Renderbuffer() : 0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
      std::fprintf(stderr, "render target incomplete (0x%x)\n", status);
    }
    targetsDirty_ = false;
  }

  void BindTargets() {
    if (targetsDirty_) {
      AttachTargets();
    } else {
      glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
      // A render-target texture's CPU copy may have been unlocked since.
      if (renderTarget_->GetKind() == GlSurface::Kind::TextureLevel) {
        renderTarget_->GetTexture()->Name();
      }
    }
  }

  void SetAttributes(const VertexLayout& l, std::uint32_t stride) {
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
      // GL_BGRA reads the B, G, R, A bytes of an 0xAARRGGBB word as r, g, b, a.
      glVertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, ptr(l.diffuseOffset));
    } else {
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
  }

  // Applies the state for a draw in the given layout. False when nothing
  // can be drawn.
  bool Prepare(const VertexLayout& l) {
    if (!programOk_) return false;
    BindTargets();
    glUseProgram(program_);
    const DeviceState& s = state_;
    std::uint32_t tw = renderTarget_->Width(), th = renderTarget_->Height();

    // Where the vertices go.
    glUniform1i(u_.rhw, l.rhw ? 1 : 0);
    if (l.rhw) {
      // Screen vertices address the whole target, whatever the viewport.
      glViewport(0, 0, static_cast<GLsizei>(tw), static_cast<GLsizei>(th));
      glDepthRange(0.0, 1.0);
      glUniform2f(u_.rhwScale, 2.0f / static_cast<float>(tw), 2.0f / static_cast<float>(th));
      glUniform1f(u_.rhwShift, kPixelCentreShift);
    } else {
      const Viewport& vp = s.viewport;
      if (vp.width == 0 || vp.height == 0) return false;
      glViewport(static_cast<GLint>(vp.x), static_cast<GLint>(vp.y), static_cast<GLsizei>(vp.width),
                 static_cast<GLsizei>(vp.height));
      glDepthRange(vp.minZ, vp.maxZ);
      // One pixel is 2 / size in NDC.
      const float shift = 2.0f * kPixelCentreShift;
      glUniform2f(u_.clipShift, shift / static_cast<float>(vp.width),
                  shift / static_cast<float>(vp.height));
      int blend = static_cast<int>(std::min<std::uint32_t>(s.vertexBlend, 3u));
      blend = std::min(blend, l.betas);
      glUniform1i(u_.blendWeights, blend);
      float wv[4][16];
      float nm[4][9];
      for (int i = 0; i <= blend; ++i) {
        Matrix m = s.world[i] * s.view;
        std::memcpy(wv[i], &m.m[0][0], sizeof wv[i]);
        NormalMatrix(m, nm[i]);
      }
      glUniformMatrix4fv(u_.worldView, blend + 1, GL_FALSE, &wv[0][0]);
      glUniformMatrix3fv(u_.normalMatrix, blend + 1, GL_FALSE, &nm[0][0]);
      glUniformMatrix4fv(u_.proj, 1, GL_FALSE, &s.projection.m[0][0]);

      // Lighting.
      bool lit = s.lighting != 0;
      glUniform1i(u_.lighting, lit ? 1 : 0);
      if (lit) {
        const Material& mat = s.material;
        Color ga = s.ambient;
        float gr = static_cast<float>((ga >> 16) & 0xFF) / 255.0f;
        float gg = static_cast<float>((ga >> 8) & 0xFF) / 255.0f;
        float gb = static_cast<float>(ga & 0xFF) / 255.0f;
        const Light& light = s.light;
        bool on = s.lightEnabled;
        glUniform3f(u_.ambient, gr + (on ? light.ambient.r : 0.0f),
                    gg + (on ? light.ambient.g : 0.0f), gb + (on ? light.ambient.b : 0.0f));
        glUniform3f(u_.lightDiffuse, on ? light.diffuse.r : 0.0f, on ? light.diffuse.g : 0.0f,
                    on ? light.diffuse.b : 0.0f);
        Vec3 toLight = -Vec3Normalize(Vec3TransformNormal(light.direction, s.view));
        glUniform3f(u_.toLight, toLight.x, toLight.y, toLight.z);
        glUniform4f(u_.matDiffuse, mat.diffuse.r, mat.diffuse.g, mat.diffuse.b, mat.diffuse.a);
        glUniform3f(u_.matAmbient, mat.ambient.r, mat.ambient.g, mat.ambient.b);
        glUniform3f(u_.matEmissive, mat.emissive.r, mat.emissive.g, mat.emissive.b);
        glUniform1i(u_.diffuseFromVertex, s.diffuseMaterialSource == kMcsColor1 ? 1 : 0);
      }
    }
    glUniform1i(u_.hasNormal, l.normal ? 1 : 0);
    glUniform1i(u_.hasDiffuse, l.diffuse ? 1 : 0);

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
    glUniform1i(u_.colorOp, static_cast<GLint>(colorOp));
    glUniform1i(u_.colorArg1, static_cast<GLint>(colorArg1));
    glUniform1i(u_.colorArg2, static_cast<GLint>(colorArg2));
    glUniform1i(u_.alphaOp, static_cast<GLint>(alphaOp));
    glUniform1i(u_.alphaArg1, static_cast<GLint>(alphaArg1));
    glUniform1i(u_.alphaArg2, static_cast<GLint>(alphaArg2));
    glUniform1i(u_.hasTexture, tex ? 1 : 0);
    if (tex) {
      glActiveTexture(GL_TEXTURE0);
      glBindSampler(0, sampler_);
      GLuint name = tex->Name();
      glBindTexture(GL_TEXTURE_2D, name);
      glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER,
                          s.magFilter == kTexfLinear ? GL_LINEAR : GL_NEAREST);
      glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER,
                          static_cast<GLint>(MinFilter(s.minFilter, s.mipFilter)));
      glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, static_cast<GLint>(GlAddress(s.addressU)));
      glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, static_cast<GLint>(GlAddress(s.addressV)));
      // 1:1 and magnified draws use the mag filter; only point sampling jumps
      // at a texel edge, and linear filtering must keep its exact weights.
      glUniform1f(u_.texNudge, s.magFilter == kTexfLinear ? 0.0f : kPointSampleNudge);
    }

    // Alpha test.
    glUniform1i(u_.alphaTest, s.alphaTestEnable ? 1 : 0);
    glUniform1i(u_.alphaFunc, static_cast<GLint>(s.alphaFunc));
    glUniform1i(u_.alphaRef, static_cast<GLint>(s.alphaRef & 0xFFu));

    // Output merger.
    if (s.alphaBlendEnable) {
      glEnable(GL_BLEND);
      glBlendFunc(GlBlend(s.srcBlend), GlBlend(s.destBlend));
    } else {
      glDisable(GL_BLEND);
    }
    if (s.zEnable && currentDepth_) {
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(GlCompare(s.zFunc));
      glDepthMask(s.zWriteEnable ? GL_TRUE : GL_FALSE);
    } else {
      glDisable(GL_DEPTH_TEST);
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // Clockwise on screen is front; see the conventions at the top.
    glFrontFace(GL_CCW);
    if (s.cullMode == kCullCW) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_FRONT);
    } else if (s.cullMode == kCullCCW) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
    } else {
      glDisable(GL_CULL_FACE);
    }
    return true;
  }

  std::vector<std::uint32_t> ReadRenderbuffer(GLuint rb, std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, 0u);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h), GL_BGRA, GL_UNSIGNED_BYTE,
                 px.data());
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    return px;
  }

  std::shared_ptr<GlContext> context_;
  SharedPtr shared_;
  GLuint program_ = 0;
  bool programOk_ = false;
  Uniforms u_{};
  GLuint vao_ = 0, streamBuffer_ = 0, fbo_ = 0, readFbo_ = 0, presentFbo_ = 0, sampler_ = 0;
  GlSurface* backBuffer_ = nullptr;
  GlSurface* depthStencil_ = nullptr;
  GlSurface* presented_ = nullptr;
  GlSurface* renderTarget_ = nullptr;
  GlSurface* currentDepth_ = nullptr;
  bool targetsDirty_ = true;
  bool hasPresented_ = false;
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

std::uint32_t TakeGlError(Device& device) {
  if (!dynamic_cast<GlDevice*>(&device)) return 0;
  GLenum first = glGetError();
  for (GLenum e = first; e != GL_NO_ERROR;) e = glGetError();
  return first;
}

}  // namespace platform::sdl_gl
