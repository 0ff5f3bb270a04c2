// Textures made from PNG files.
#pragma once

#include <cstdint>
#include <string>

#include "engine/image.h"
#include "platform/graphics.h"

namespace engine {

// What the engine takes from the platform below it.
using platform::Device;
using platform::Texture;

// The largest texture side the loaders create.
inline constexpr std::uint32_t kMaxTextureSide = 16384;

// Creates a texture of exactly width x height with a single mip level and
// puts the image of the file at path into its top-left corner without
// scaling: texels the image does not cover are transparent black, and an
// image larger than the texture is cropped. Returns false, with *out null, when the file is missing
// or not a readable PNG, when a size is 0 or above kMaxTextureSide, or when the device cannot make
// the texture (the reason goes to *error when given).
bool CreateTextureFromFileEx(Device* device, const std::string& path, std::uint32_t width,
                             std::uint32_t height, Texture** out, std::string* error = nullptr);

// The same at the file's own size, with the whole mip chain.
bool CreateTextureFromFile(Device* device, const std::string& path, Texture** out,
                           std::string* error = nullptr);

// Copies an image into the top-left corner of a texture of any size (the rest
// transparent black, the overflow cropped).
void FillTexture(Texture* texture, const Image& image);

}  // namespace engine
