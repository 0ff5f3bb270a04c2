#include "scenes/stage.h"

#include <cmath>

#include "media/texture_manager.h"

namespace scenes {

void SetSceneLighting(platform::Device& device) {
  device.LightEnable(0, true);
  device.SetRenderState(platform::RenderState::Lighting, 1);
  device.SetRenderState(platform::RenderState::Ambient, 0xFF323232u);
  device.SetRenderState(platform::RenderState::SpecularEnable, 0);
  platform::Light light;
  light.type = platform::LightType::Directional;
  light.diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
  light.specular = {1.0f, 1.0f, 1.0f, 0.0f};
  light.ambient = {0.5f, 0.5f, 0.5f, 0.0f};
  light.direction = engine::Vec3Normalize({0.2f, -0.5f, -0.5f});
  light.range = 1000.0f;
  device.SetLight(0, light);
  device.LightEnable(0, true);
}

namespace {

struct ScreenVertex {
  float x, y, z, rhw;
  platform::Color color;
  float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

}  // namespace

void DrawScreenQuad(platform::Device& device, float left, float top, float right, float bottom,
                    platform::Color color, float u, float v) {
  const ScreenVertex quad[4] = {
      {left, top, 0.0f, 1.0f, color, 0.0f, 0.0f},
      {right, top, 0.0f, 1.0f, color, u, 0.0f},
      {right, bottom, 0.0f, 1.0f, color, u, v},
      {left, bottom, 0.0f, 1.0f, color, 0.0f, v},
  };
  device.SetFVF(platform::kFvfXyzRhw | platform::kFvfDiffuse | platform::kFvfTex1);
  device.DrawPrimitiveUP(platform::PrimitiveType::TriangleFan, 2, quad, sizeof(ScreenVertex));
}

void DrawFadeQuad(platform::Device& device, float alpha) {
  device.SetTexture(0, nullptr);
  const platform::Color color = static_cast<platform::Color>(media::AlphaByte(alpha)) << 24;
  DrawScreenQuad(device, 0.0f, 0.0f, 800.0f, 600.0f, color);
}

void DrawPictureQuad(platform::Device& device, media::TextureManager& textures, const char* texture,
                     float left, float top, float right, float bottom) {
  const media::TextureRecord* record = textures.FindTexture(texture);
  if (!record || !record->texture || record->texWidth == 0 || record->texHeight == 0) return;
  device.SetTexture(0, record->texture);
  DrawScreenQuad(device, left, top, right, bottom, 0xFFFFFFFFu,
                 static_cast<float>(record->width) / static_cast<float>(record->texWidth),
                 static_cast<float>(record->height) / static_cast<float>(record->texHeight));
}

float DrawDigits(const DrawContext& frame, const char* strip,
                 const std::vector<platform::Rect>& cells, std::string_view text, float x,
                 float y) {
  for (char c : text) {
    if (c < '0' || c > '9' || static_cast<std::size_t>(c - '0') >= cells.size()) continue;
    const platform::Rect& cell = cells[static_cast<std::size_t>(c - '0')];
    frame.textures.DrawTexturePart(frame.sprite, strip, x, y, 255.0f, cell.left, cell.top,
                                   cell.right, cell.bottom);
    x += static_cast<float>(cell.right - cell.left);
  }
  return x;
}

}  // namespace scenes
