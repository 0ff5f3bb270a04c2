// The graphics device: a fixed-function pipeline with the behaviour the game
// was written against (row-vector transforms, one directional light,
// materials, texture stage 0 modulation, vertex blending with up to four world
// matrices, pre-transformed screen vertices, render-to-texture).
//
// Contract, for every back end:
//  - State is set with SetRenderState / SetTextureStageState /
//    SetSamplerState / SetTransform / SetMaterial / SetLight / SetTexture /
//    SetFVF and read back with the matching getters; defaults are those of a
//    freshly created fixed-function device (see DeviceState below).
//  - Draw calls read the state current at the call.
//  - Resources (textures, surfaces, vertex and index buffers) are reference
//    counted: created with one reference, freed by the last Release. They may
//    outlive the device: after the device is released their GPU side is gone,
//    Release still frees the object, and nothing else may be called on them.
//  - Textures are 32-bit ARGB (0xAARRGGBB in a uint32 per texel), rows top to
//    bottom. LockRect gives the CPU copy; UnlockRect makes it the texture's
//    content.
//
// The sdl_gl back end (sdl_gl/device_gl.cpp) draws with OpenGL 3.3 core into
// an 800 x 600 back buffer with 24-bit depth and 8-bit stencil and shows it
// scaled into the window at Present.
//
// The null back end (null/device_null.h) has no window and draws nothing:
// it keeps every state it is given (readable through the getters) and records
// each draw call with the state it was made in (DrawRecord), so tests can see
// what a scene drew.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The device takes the engine's vectors and matrices. engine/math.h is the
// one engine header the platform includes: a leaf that includes nothing of
// ours (built as poromeko_math, below the platform).
#include "engine/math.h"

namespace platform {

using Color = std::uint32_t;  // 0xAARRGGBB

struct ColorValue {
  float r = 0, g = 0, b = 0, a = 0;
};

struct Material {
  ColorValue diffuse, ambient, specular, emissive;
  float power = 0;
};

enum class LightType : std::uint32_t { Point = 1, Spot = 2, Directional = 3 };

struct Light {
  LightType type = LightType::Directional;
  ColorValue diffuse, specular, ambient;
  engine::Vec3 position, direction;
  float range = 0, falloff = 0, attenuation0 = 0, attenuation1 = 0, attenuation2 = 0;
  float theta = 0, phi = 0;
};

// How far one light's diffuse term may go. Normals are never renormalised,
// so under a world matrix that shrinks (the player and the insects are drawn
// scaled) a transformed normal is longer than 1 and N·L can pass 1.
//  - true: each light's N·L is clamped to [0, 1], so a light never adds more
//    than material diffuse × light diffuse; such faces light like unscaled ones.
//  - false: N·L is only kept from going below 0; such faces light brighter,
//    up to the clamp of the summed colour to 1 per channel.
// Which of the two the game's pipeline does is not confirmed on hardware;
// true matches the independent implementation we check our pictures against.
inline constexpr bool kClampDiffusePerLight = true;

struct Rect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Rect&) const = default;
};

struct Viewport {
  std::uint32_t x = 0, y = 0, width = 800, height = 600;
  float minZ = 0, maxZ = 1;
};

// Render states the game uses, with the fixed-function numbering.
enum class RenderState : std::uint32_t {
  ZEnable = 7,
  ZWriteEnable = 14,
  AlphaTestEnable = 15,
  SrcBlend = 19,
  DestBlend = 20,
  CullMode = 22,
  ZFunc = 23,
  AlphaRef = 24,
  AlphaFunc = 25,
  AlphaBlendEnable = 27,
  SpecularEnable = 29,
  Lighting = 137,
  Ambient = 139,
  DiffuseMaterialSource = 145,
  VertexBlend = 151,
};

enum Blend : std::uint32_t {
  kBlendZero = 1,
  kBlendOne = 2,
  kBlendSrcAlpha = 5,
  kBlendInvSrcAlpha = 6,
};

enum Cull : std::uint32_t { kCullNone = 1, kCullCW = 2, kCullCCW = 3 };

enum Cmp : std::uint32_t {
  kCmpNever = 1,
  kCmpLess = 2,
  kCmpEqual = 3,
  kCmpLessEqual = 4,
  kCmpGreater = 5,
  kCmpNotEqual = 6,
  kCmpGreaterEqual = 7,
  kCmpAlways = 8,
};

enum MaterialColorSource : std::uint32_t { kMcsMaterial = 0, kMcsColor1 = 1, kMcsColor2 = 2 };

// Vertex blend: number of weights read from the vertex (0..3).
enum VertexBlendFlags : std::uint32_t {
  kVbfDisable = 0,
  kVbf1Weights = 1,
  kVbf2Weights = 2,
  kVbf3Weights = 3,
};

enum class TextureStageState : std::uint32_t {
  ColorOp = 1,
  ColorArg1 = 2,
  ColorArg2 = 3,
  AlphaOp = 4,
  AlphaArg1 = 5,
  AlphaArg2 = 6,
};

enum TextureOp : std::uint32_t {
  kTopDisable = 1,
  kTopSelectArg1 = 2,
  kTopSelectArg2 = 3,
  kTopModulate = 4,
};

enum TextureArg : std::uint32_t {
  kTaDiffuse = 0,
  kTaCurrent = 1,
  kTaTexture = 2,
};

enum class SamplerState : std::uint32_t {
  AddressU = 1,
  AddressV = 2,
  MagFilter = 5,
  MinFilter = 6,
  MipFilter = 7,
};

enum TextureFilter : std::uint32_t { kTexfNone = 0, kTexfPoint = 1, kTexfLinear = 2 };
enum TextureAddress : std::uint32_t { kTaddressWrap = 1, kTaddressClamp = 3 };

enum class TransformState : std::uint32_t {
  View = 2,
  Projection = 3,
  World = 256,  // == WorldMatrix(0)
  World1 = 257,
  World2 = 258,
  World3 = 259,
};
inline TransformState WorldMatrix(int i) { return static_cast<TransformState>(256 + i); }

// Flexible vertex format bits.
enum Fvf : std::uint32_t {
  kFvfXyz = 0x002,
  kFvfXyzRhw = 0x004,
  kFvfXyzB1 = 0x006,
  kFvfXyzB2 = 0x008,
  kFvfXyzB3 = 0x00a,
  kFvfXyzB4 = 0x00c,
  kFvfXyzB5 = 0x00e,
  kFvfXyzW = 0x4002,
  kFvfPositionMask = 0x400e,
  kFvfNormal = 0x010,
  kFvfPSize = 0x020,
  kFvfDiffuse = 0x040,
  kFvfSpecular = 0x080,
  kFvfTexCountMask = 0xf00,
  kFvfTexCountShift = 8,
  kFvfTex1 = 0x100,
  kFvfTex2 = 0x200,
  kFvfLastBetaUByte4 = 0x1000,
};

// Size in bytes of one vertex of the format.
std::uint32_t GetFVFVertexSize(std::uint32_t fvf);
// Number of blend weights stored in the vertex (XYZBn: n, minus one when the
// last beta holds indices).
int FvfBetaCount(std::uint32_t fvf);

enum class PrimitiveType : std::uint32_t {
  PointList = 1,
  LineList = 2,
  LineStrip = 3,
  TriangleList = 4,
  TriangleStrip = 5,
  TriangleFan = 6,
};

// Vertices a draw of `primitives` primitives of the type reads (0 for none).
std::uint32_t VerticesForPrimitives(PrimitiveType type, std::uint32_t primitives);

enum ClearFlags : std::uint32_t {
  kClearTarget = 1,
  kClearZBuffer = 2,
  kClearStencil = 4,
};

enum class Usage : std::uint32_t { Default = 0, RenderTarget = 1 };

// CreateTexture's level count for the whole mip chain.
inline constexpr std::uint32_t kAllMipLevels = 0;

class Device;

// Intrusive reference count shared by every device resource.
class Resource {
 public:
  Resource(const Resource&) = delete;
  Resource& operator=(const Resource&) = delete;
  std::uint32_t AddRef() { return ++refs_; }
  std::uint32_t Release() {
    std::uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  Resource() = default;
  virtual ~Resource() = default;

 private:
  std::uint32_t refs_ = 1;
};

class Surface : public Resource {
 public:
  virtual std::uint32_t Width() const = 0;
  virtual std::uint32_t Height() const = 0;
};

class Texture : public Resource {
 public:
  virtual std::uint32_t Width() const = 0;
  virtual std::uint32_t Height() const = 0;
  virtual Usage GetUsage() const = 0;
  // CPU pixels (ARGB, Width() * Height(), pitch Width() * 4); a new
  // texture's are transparent black. For a render target, what was drawn
  // into it so far (a back end that draws reads it back).
  virtual std::uint32_t* LockRect() = 0;
  virtual void UnlockRect() = 0;
  // Level 0 as a surface (one new reference). For render targets only.
  virtual Surface* GetSurfaceLevel(std::uint32_t level) = 0;
  // Mip levels: 1, or the whole chain down to 1 x 1 (see CreateTexture).
  virtual std::uint32_t GetLevelCount() const = 0;
};

// The number of levels of a whole mip chain from width x height down to 1 x 1.
std::uint32_t FullMipChainLevels(std::uint32_t width, std::uint32_t height);

// Mip levels as D3DX makes them with its box filter. Each level below a
// picture is half the size of the one above (rounded down, at least 1), and
// each of its pixels the rounded mean, channel by channel, of the 2 x 2
// pixels above it (on an odd side the last row or column of the level above
// is left out). MipChainPixels is the number of pixels of every level below
// level 0 together; MakeMipChain writes them, level after level, to `out`.
// The side of the next level down: half, rounded down, at least 1.
inline std::uint32_t MipSide(std::uint32_t side) { return side > 1 ? side / 2 : 1; }
std::size_t MipChainPixels(std::uint32_t width, std::uint32_t height);
void MakeMipChain(const std::uint32_t* argb, std::uint32_t width, std::uint32_t height,
                  std::uint32_t* out);

class VertexBuffer : public Resource {
 public:
  virtual std::uint32_t SizeBytes() const = 0;
  virtual std::uint32_t GetFVF() const = 0;
  virtual void* Lock() = 0;
  virtual void Unlock() = 0;
  virtual const void* Data() const = 0;
};

class IndexBuffer : public Resource {
 public:
  // Indices are 32-bit.
  virtual std::uint32_t Count() const = 0;
  virtual std::uint32_t* Lock() = 0;
  virtual void Unlock() = 0;
  virtual const std::uint32_t* Data() const = 0;
};

// Everything the pipeline reads, with the fixed-function defaults.
struct DeviceState {
  // Render states.
  std::uint32_t zEnable = 1;
  std::uint32_t zWriteEnable = 1;
  std::uint32_t zFunc = kCmpLessEqual;
  std::uint32_t alphaTestEnable = 0;
  std::uint32_t alphaRef = 0;
  std::uint32_t alphaFunc = kCmpAlways;
  std::uint32_t alphaBlendEnable = 0;
  std::uint32_t srcBlend = kBlendOne;
  std::uint32_t destBlend = kBlendZero;
  std::uint32_t cullMode = kCullCCW;
  std::uint32_t lighting = 1;
  Color ambient = 0;
  std::uint32_t specularEnable = 0;
  std::uint32_t diffuseMaterialSource = kMcsColor1;
  std::uint32_t vertexBlend = kVbfDisable;
  // Texture stage 0.
  std::uint32_t colorOp = kTopModulate;
  std::uint32_t colorArg1 = kTaTexture;
  std::uint32_t colorArg2 = kTaCurrent;
  std::uint32_t alphaOp = kTopSelectArg1;
  std::uint32_t alphaArg1 = kTaTexture;
  std::uint32_t alphaArg2 = kTaCurrent;
  // Sampler 0.
  std::uint32_t magFilter = kTexfPoint;
  std::uint32_t minFilter = kTexfPoint;
  std::uint32_t mipFilter = kTexfNone;
  std::uint32_t addressU = kTaddressWrap;
  std::uint32_t addressV = kTaddressWrap;
  // Transforms.
  engine::Matrix view, projection;
  engine::Matrix world[4];
  // Light 0 and the material.
  Light light;
  bool lightEnabled = false;
  Material material;
  // Bound objects (not owned here; the device holds references).
  Texture* texture = nullptr;
  std::uint32_t fvf = 0;
  Viewport viewport;
};

// Depth-stencil surface formats: 24-bit depth with 8-bit stencil, or 16-bit
// depth alone.
enum class DepthFormat { D24S8, D16 };

class Device {
 public:
  virtual ~Device() = default;
  Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // Frame.
  virtual void BeginScene() = 0;
  virtual void EndScene() = 0;
  virtual void Clear(std::uint32_t flags, Color color, float z, std::uint32_t stencil) = 0;
  virtual void Present() = 0;
  // Whether textures filled since the last frames still wait to go to the
  // graphics memory. A back end may send them between frames, a few
  // megabytes at a time, so that no single frame pays for all of them (the
  // GL device does; the null device has nothing to send). It may then hold
  // up another thread's UnlockRect for a few frames at most while too many
  // wait (the GL device does beyond 8 MB), waking the drawing thread.
  virtual bool UploadsPending() const { return false; }
  // Sends some of them now (as much as one frame would), for a caller with
  // time to spare before the next frame.
  virtual void SendUploads() {}
  // While on, Present shows nothing: a scene's first picture is drawn
  // unseen between ticks, so that what its first showing needs (shader
  // variants, textures stored anew) is made before it is shown. What the
  // back buffer holds stays as it was (the GL device draws into a stand-in
  // of the same kind). A back end that queues its drawing finishes it at
  // the unseen Present, so that its cost stays out of the next frame (the
  // GL device does); the null device records the draws as usual and counts
  // no present.
  virtual void SetRehearsal(bool on) = 0;

  // State.
  virtual void SetRenderState(RenderState state, std::uint32_t value) = 0;
  virtual std::uint32_t GetRenderState(RenderState state) const = 0;
  virtual void SetTextureStageState(std::uint32_t stage, TextureStageState type,
                                    std::uint32_t value) = 0;
  virtual void SetSamplerState(std::uint32_t sampler, SamplerState type, std::uint32_t value) = 0;
  virtual void SetTransform(TransformState state, const engine::Matrix& m) = 0;
  virtual engine::Matrix GetTransform(TransformState state) const = 0;
  virtual void SetFVF(std::uint32_t fvf) = 0;
  virtual void SetTexture(std::uint32_t stage, Texture* texture) = 0;
  virtual Texture* GetTexture(std::uint32_t stage) const = 0;
  virtual void SetMaterial(const Material& m) = 0;
  virtual void SetLight(std::uint32_t index, const Light& light) = 0;
  virtual void LightEnable(std::uint32_t index, bool enable) = 0;
  virtual void SetViewport(const Viewport& vp) = 0;
  virtual Viewport GetViewport() const = 0;
  // The whole state, for save/restore (sprite) and for tests.
  virtual const DeviceState& State() const = 0;
  virtual void SetState(const DeviceState& s) = 0;

  // Drawing from memory (vertex layout given by the current FVF).
  virtual void DrawPrimitiveUP(PrimitiveType type, std::uint32_t primitiveCount,
                               const void* vertices, std::uint32_t stride) = 0;
  // Indexed drawing from buffers. Vertex layout from the buffer's FVF.
  virtual void DrawIndexedPrimitive(VertexBuffer* vb, IndexBuffer* ib, PrimitiveType type,
                                    std::uint32_t startIndex, std::uint32_t primitiveCount) = 0;

  // Resources.
  //
  // A texture has one mip level or the whole chain. The levels below level 0
  // are made from it (a box filter) every time it is unlocked, as D3DX makes
  // them when it loads a file. A draw with a mip
  // filter samples the chain; on a single level it samples that level, as
  // with no mip filter. Render targets have one level.
  //
  // The whole chain (or one level for a render target).
  virtual Texture* CreateTexture(std::uint32_t width, std::uint32_t height, Usage usage) = 0;
  // `levels` mip levels: 1, or kAllMipLevels for the whole chain. A
  // contentWidth x contentHeight smaller than the texture tells that the
  // texels outside that top-left corner are transparent black (0) for the
  // texture's whole life, as a picture padded to a larger size is, and that
  // the caller writes nothing else through LockRect. A back end may then keep
  // only that corner and a transparent border, as long as every draw samples
  // exactly what the whole texture would give (the GL device does so for a
  // single level; the null device keeps the whole).
  virtual Texture* CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                                 Usage usage, std::uint32_t contentWidth,
                                 std::uint32_t contentHeight) = 0;
  // The device's own depth-stencil surface is D24S8; a new one has the
  // format asked for (the GL device stores D16 in two bytes a pixel).
  virtual Surface* CreateDepthStencilSurface(std::uint32_t width, std::uint32_t height,
                                             DepthFormat format) = 0;
  virtual VertexBuffer* CreateVertexBuffer(std::uint32_t bytes, std::uint32_t fvf) = 0;
  virtual IndexBuffer* CreateIndexBuffer(std::uint32_t count) = 0;

  // Render targets. The getters return a new reference.
  virtual Surface* GetBackBuffer() = 0;
  virtual Surface* GetRenderTarget(std::uint32_t index) = 0;
  virtual void SetRenderTarget(std::uint32_t index, Surface* surface) = 0;
  virtual Surface* GetDepthStencilSurface() = 0;
  virtual void SetDepthStencilSurface(Surface* surface) = 0;

  // The back buffer's picture, 800 x 600 ARGB, top row first (for
  // screenshots and tests): between frames, the picture last presented. No
  // copy of it is kept, so once the next frame draws, it reads that frame's
  // drawing. Empty when the back end keeps no pixels.
  virtual std::vector<std::uint32_t> ReadBackBuffer() = 0;
  // Pixels of a render-target texture, top row first.
  virtual std::vector<std::uint32_t> ReadTexture(Texture* texture) = 0;
};

// Keeps the fixed-function state every back end shares: the setters store
// into a DeviceState that draw calls read, the getters read it back. Each back
// end derives from it and adds its drawing and resources.
class StateDevice : public Device {
 public:
  ~StateDevice() override;
  void SetRenderState(RenderState state, std::uint32_t value) override;
  std::uint32_t GetRenderState(RenderState state) const override;
  void SetTextureStageState(std::uint32_t stage, TextureStageState type,
                            std::uint32_t value) override;
  void SetSamplerState(std::uint32_t sampler, SamplerState type, std::uint32_t value) override;
  void SetTransform(TransformState state, const engine::Matrix& m) override;
  engine::Matrix GetTransform(TransformState state) const override;
  void SetFVF(std::uint32_t fvf) override;
  void SetTexture(std::uint32_t stage, Texture* texture) override;
  Texture* GetTexture(std::uint32_t stage) const override;
  void SetMaterial(const Material& m) override;
  void SetLight(std::uint32_t index, const Light& light) override;
  void LightEnable(std::uint32_t index, bool enable) override;
  void SetViewport(const Viewport& vp) override;
  Viewport GetViewport() const override;
  const DeviceState& State() const override { return state_; }
  void SetState(const DeviceState& s) override;
  void SetRehearsal(bool on) override { rehearsal_ = on; }

 protected:
  // A back end may limit viewports to its current render target.
  virtual Viewport AdjustViewport(const Viewport& vp) const { return vp; }
  // Drops the texture reference the state holds (before the back end goes).
  void ReleaseStateTexture();

  DeviceState state_;
  bool rehearsal_ = false;  // see SetRehearsal
};

}  // namespace platform
