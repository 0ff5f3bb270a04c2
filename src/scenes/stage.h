// What the drawing scenes share: the light they draw the world in, the
// screen quads of fades, dimmers and wide title pictures, and digits drawn
// from a strip.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "media/texture_manager.h"
#include "platform/graphics.h"
#include "scenes/sequence.h"

namespace scenes {

// Light 0 as every 3D scene uses it: one directional light from the upper
// front left, a grey ambient, no specular highlights.
void SetSceneLighting(platform::Device& device);

// A quad of screen pixels (pre-transformed vertices, a fan of two triangles)
// from (left, top) to (right, bottom), texture coordinates (0, 0) to (u, v),
// in one colour, on texture stage 0 as bound now.
void DrawScreenQuad(platform::Device& device, float left, float top, float right, float bottom,
                    platform::Color color, float u = 0.0f, float v = 0.0f);
// The whole screen in black of the given alpha (0 to 255, truncated), with no
// texture: fades and dimmers. It relies on the alpha blending set at start-up.
void DrawFadeQuad(platform::Device& device, float alpha);
// A quad showing the image part of a cached texture, stretched from (left,
// top) to (right, bottom).
void DrawPictureQuad(platform::Device& device, media::TextureManager& textures, const char* texture,
                     float left, float top, float right, float bottom);

// Draws `text` digit by digit from a strip of digit cells, starting at x;
// returns the x after the last digit. Characters other than digits are
// skipped without moving.
float DrawDigits(const DrawContext& frame, const char* strip,
                 const std::vector<platform::Rect>& cells, std::string_view text, float x, float y);

}  // namespace scenes
