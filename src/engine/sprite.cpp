// The 2D sprite: queues quads between Begin and End and draws them as
// triangle lists through the device.
#include "engine/sprite.h"

namespace engine {

using platform::kBlendInvSrcAlpha;
using platform::kBlendSrcAlpha;
using platform::kCmpGreater;
using platform::kCullNone;
using platform::kTaddressClamp;
using platform::kTaDiffuse;
using platform::kTaTexture;
using platform::kTexfLinear;
using platform::kTexfNone;
using platform::kTopModulate;
using platform::kVbfDisable;
using platform::PrimitiveType;
using platform::RenderState;
using platform::SamplerState;
using platform::TextureStageState;
using platform::TransformState;

Sprite::Sprite(Device* device) : device_(device) {}

Sprite::~Sprite() {
  for (SpriteQuad& q : queue_) q.texture->Release();
  if (begun_ && saved_.texture) saved_.texture->Release();
}

Matrix Sprite::ScreenProjection(const Viewport& vp) {
  const float left = static_cast<float>(vp.x) + kSpritePixelShift;
  const float top = static_cast<float>(vp.y) + kSpritePixelShift;
  const float right = left + static_cast<float>(vp.width);
  const float bottom = top + static_cast<float>(vp.height);
  float zn = vp.minZ, zf = vp.maxZ;
  // A flat depth range would divide by zero; draw at the quad's own depth.
  if (!(zf != zn)) {
    zn = 0.0f;
    zf = 1.0f;
  }
  if (vp.width == 0 || vp.height == 0) return Matrix::Identity();
  return MatrixOrthoOffCenterLH(left, right, bottom, top, zn, zf);
}

void Sprite::ApplySpriteState() {
  Device& d = *device_;
  d.SetRenderState(RenderState::Lighting, 0);
  d.SetRenderState(RenderState::SpecularEnable, 0);
  d.SetRenderState(RenderState::VertexBlend, kVbfDisable);
  d.SetRenderState(RenderState::CullMode, kCullNone);
  const bool blend = (flags_ & kSpriteAlphaBlend) != 0;
  d.SetRenderState(RenderState::AlphaBlendEnable, blend ? 1 : 0);
  d.SetRenderState(RenderState::SrcBlend, kBlendSrcAlpha);
  d.SetRenderState(RenderState::DestBlend, kBlendInvSrcAlpha);
  d.SetRenderState(RenderState::AlphaTestEnable, blend ? 1 : 0);
  d.SetRenderState(RenderState::AlphaFunc, kCmpGreater);
  d.SetRenderState(RenderState::AlphaRef, 0);

  d.SetTextureStageState(0, TextureStageState::ColorOp, kTopModulate);
  d.SetTextureStageState(0, TextureStageState::ColorArg1, kTaTexture);
  d.SetTextureStageState(0, TextureStageState::ColorArg2, kTaDiffuse);
  d.SetTextureStageState(0, TextureStageState::AlphaOp, kTopModulate);
  d.SetTextureStageState(0, TextureStageState::AlphaArg1, kTaTexture);
  d.SetTextureStageState(0, TextureStageState::AlphaArg2, kTaDiffuse);

  // Sprite textures have a single level, so no mip filter is needed (and a
  // back end cannot sample missing levels).
  d.SetSamplerState(0, SamplerState::AddressU, kTaddressClamp);
  d.SetSamplerState(0, SamplerState::AddressV, kTaddressClamp);
  d.SetSamplerState(0, SamplerState::MagFilter, kTexfLinear);
  d.SetSamplerState(0, SamplerState::MinFilter, kTexfLinear);
  d.SetSamplerState(0, SamplerState::MipFilter, kTexfNone);

  d.SetFVF(kSpriteFvf);
  d.SetTransform(TransformState::World, Matrix::Identity());
  d.SetTransform(TransformState::View, Matrix::Identity());
  d.SetTransform(TransformState::Projection, ScreenProjection(d.GetViewport()));
}

bool Sprite::Begin(std::uint32_t flags) {
  if (begun_ || !device_) return false;
  saved_ = device_->State();
  // The device drops its reference to the bound texture when the sprite binds
  // its own; keep the saved one alive until End binds it again.
  if (saved_.texture) saved_.texture->AddRef();
  flags_ = flags;
  begun_ = true;
  batch_.clear();
  ApplySpriteState();
  return true;
}

bool Sprite::Draw(Texture* texture, const Rect* source, const Vec3* centre, const Vec3* position,
                  Color color) {
  if (!begun_ || !texture) return false;
  const std::uint32_t texW = texture->Width();
  const std::uint32_t texH = texture->Height();
  if (texW == 0 || texH == 0) return false;

  Rect r = source ? *source
                  : Rect{0, 0, static_cast<std::int32_t>(texW), static_cast<std::int32_t>(texH)};
  const Vec3 c = centre ? *centre : Vec3{};
  const Vec3 p = position ? *position : Vec3{};
  const Vec3 origin = p - c;
  // Widths in double first: a rectangle spanning most of the int32 range
  // must not overflow.
  const float w = static_cast<float>(static_cast<double>(r.right) - r.left);
  const float h = static_cast<float>(static_cast<double>(r.bottom) - r.top);

  SpriteQuad q;
  q.texture = texture;
  q.color = color;
  const Vec3 local[4] = {origin, origin + Vec3{w, 0, 0}, origin + Vec3{w, h, 0},
                         origin + Vec3{0, h, 0}};
  for (int i = 0; i < 4; ++i) q.corners[i] = Vec3TransformCoord(local[i], transform_);
  const float u0 = static_cast<float>(r.left) / static_cast<float>(texW);
  const float u1 = static_cast<float>(r.right) / static_cast<float>(texW);
  const float v0 = static_cast<float>(r.top) / static_cast<float>(texH);
  const float v1 = static_cast<float>(r.bottom) / static_cast<float>(texH);
  q.uv[0] = {u0, v0};
  q.uv[1] = {u1, v0};
  q.uv[2] = {u1, v1};
  q.uv[3] = {u0, v1};

  texture->AddRef();
  queue_.push_back(q);
  return true;
}

bool Sprite::Flush() {
  if (!begun_) return false;
  if (queue_.empty()) return true;
  ApplySpriteState();
  std::size_t i = 0;
  while (i < queue_.size()) {
    Texture* texture = queue_[i].texture;
    std::size_t end = i;
    vertices_.clear();
    while (end < queue_.size() && queue_[end].texture == texture) {
      const SpriteQuad& q = queue_[end];
      static constexpr int kOrder[6] = {0, 1, 2, 0, 2, 3};
      for (int k : kOrder) {
        vertices_.push_back(
            {q.corners[k].x, q.corners[k].y, q.corners[k].z, q.color, q.uv[k].x, q.uv[k].y});
      }
      ++end;
    }
    device_->SetTexture(0, texture);
    device_->DrawPrimitiveUP(PrimitiveType::TriangleList, static_cast<std::uint32_t>((end - i) * 2),
                             vertices_.data(), sizeof(SpriteVertex));
    i = end;
  }
  // The device holds the last texture while it stays bound; the queue's
  // references go now.
  for (SpriteQuad& q : queue_) {
    batch_.push_back(q);
    q.texture->Release();
  }
  queue_.clear();
  return true;
}

bool Sprite::End() {
  if (!begun_) return false;
  Flush();
  device_->SetState(saved_);
  if (saved_.texture) saved_.texture->Release();
  saved_.texture = nullptr;
  begun_ = false;
  return true;
}

bool CreateSprite(Device* device, Sprite** out) {
  if (!out) return false;
  *out = nullptr;
  if (!device) return false;
  *out = new Sprite(device);
  return true;
}

}  // namespace engine
