// The 2D sprite: textured screen-space quads drawn through any Device.
//
//  - Begin(flags) saves the whole device state and sets the sprite state:
//    lighting, specular and vertex blending off, cull none; with
//    kSpriteAlphaBlend, alpha blending SRCALPHA / INVSRCALPHA and alpha test
//    GREATER 0 (without it both are off); stage 0 colour and alpha
//    MODULATE(TEXTURE, DIFFUSE); sampler 0 clamp with linear filtering. The
//    Z states are left as they are.
//  - Draw queues one quad. Its corners are position - centre + (0|w, 0|h, 0)
//    (w, h the size of the source rectangle, or of the texture when there is
//    none), each multiplied by the sprite transform current at the Draw call.
//    Texture coordinates are the source rectangle divided by the texture
//    size. The vertex colour modulates the texel, alpha included.
//  - Flush (and End) emit the queue in call order, one triangle list per run
//    of quads sharing a texture, with World = View = identity and a pixel
//    projection of the current viewport (x right, y down, one unit per
//    pixel). The sprite state is set again before emitting, so quads land
//    above anything the device drew directly since Begin, drawn as sprites
//    whatever state that drawing left.
//  - End flushes and puts back the state saved by Begin: render, stage and
//    sampler states, transforms, FVF, texture 0, viewport.
//  - The sprite transform starts as identity and is not reset by Begin.
//  - Queued quads hold a reference to their texture until they are emitted,
//    so a texture released between Draw and End is still safe to draw.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/math.h"
#include "platform/graphics.h"

namespace engine {

// What the engine takes from the platform below it.
using platform::Color;
using platform::Device;
using platform::DeviceState;
using platform::kFvfDiffuse;
using platform::kFvfTex1;
using platform::kFvfXyz;
using platform::Rect;
using platform::Resource;
using platform::Texture;
using platform::Viewport;

enum SpriteFlags : std::uint32_t {
  kSpriteAlphaBlend = 0x10,
};

// How far the sprite's screen projection is shifted, in pixels: its left
// and top edges are the viewport's plus half a pixel. The game's screen
// coordinates put pixel centres on integers, and a device drawing on a
// rasteriser with centres between integers (the sdl_gl one) moves everything
// by exactly half a pixel to get there; the projection takes that half back,
// so a quad edge at an integer position lies on a pixel boundary, clear of
// every centre. An image drawn 1:1 at an integer position then lands texel
// for texel, each pixel sampling a texel's centre, with no filtering between
// neighbours (the GL sprite tests check this on pixels).
inline constexpr float kSpritePixelShift = 0.5f;

// The vertex the sprite emits: XYZ | DIFFUSE | TEX1.
struct SpriteVertex {
  float x, y, z;
  Color color;
  float u, v;
};
inline constexpr std::uint32_t kSpriteFvf = kFvfXyz | kFvfDiffuse | kFvfTex1;

// One emitted quad, for tests and tools. Corners run top-left, top-right,
// bottom-right, bottom-left of the source rectangle, already transformed.
struct SpriteQuad {
  Texture* texture = nullptr;  // plain pointer: valid only while its owner keeps it
  Vec3 corners[4];
  Vec2 uv[4];
  Color color = 0;
};

class Sprite : public Resource {
 public:
  explicit Sprite(Device* device);

  // Each returns false (and does nothing) when called out of order: Begin
  // while begun, Draw / Flush / End while not begun, Draw without a texture.
  bool Begin(std::uint32_t flags);
  bool Draw(Texture* texture, const Rect* source, const Vec3* centre, const Vec3* position,
            Color color);
  bool Flush();
  bool End();

  void SetTransform(const Matrix& m) { transform_ = m; }
  Matrix GetTransform() const { return transform_; }

  // Nothing lives in device memory, so losing and resetting the device needs
  // no work.
  void OnLostDevice() {}
  void OnResetDevice() {}

  bool IsBegun() const { return begun_; }
  Device* GetDevice() const { return device_; }
  // Every quad emitted since the last Begin, in the order it was drawn.
  const std::vector<SpriteQuad>& LastBatch() const { return batch_; }

  // The projection the sprite draws with for a viewport: screen pixels
  // shifted by kSpritePixelShift, y down, depth range of the viewport.
  static Matrix ScreenProjection(const Viewport& vp);

 protected:
  ~Sprite() override;

 private:
  void ApplySpriteState();

  Device* device_;
  Matrix transform_;
  bool begun_ = false;
  std::uint32_t flags_ = 0;
  DeviceState saved_;
  std::vector<SpriteQuad> queue_;
  std::vector<SpriteQuad> batch_;
  std::vector<SpriteVertex> vertices_;
};

// Makes a sprite for the device (one reference, freed by Release). Returns
// false and leaves *out null when there is no device.
bool CreateSprite(Device* device, Sprite** out);

}  // namespace engine
