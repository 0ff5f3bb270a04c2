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
//  - Resources and their uploads are in gl_resources.h, the shader variants
//    in gl_shaders.h.

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
#include "platform/sdl_gl/gl_resources.h"
#include "platform/sdl_gl/gl_shaders.h"

namespace platform::sdl_gl {

using engine::Matrix;
using engine::MatrixInverse;
using engine::Vec3;
using engine::Vec3Normalize;
using engine::Vec3TransformNormal;

namespace {

constexpr std::uint32_t kBackBufferWidth = 800;
constexpr std::uint32_t kBackBufferHeight = 600;

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
    for (const ShaderKey& key : GameShaderKeys()) ProgramFor(key);
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
    if (context_->stateOwner == this) context_->stateOwner = nullptr;
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
    if (context_->stateOwner == this) return;
    context_->stateOwner = this;
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
