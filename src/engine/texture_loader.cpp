// PNG files into device textures.
#include "engine/texture_loader.h"

#include <algorithm>
#include <cstring>

namespace engine {

using platform::kAllMipLevels;
using platform::Usage;

namespace {

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

void FillTexture(Texture* texture, const Image& image) {
  if (!texture) return;
  const std::uint32_t tw = texture->Width();
  const std::uint32_t th = texture->Height();
  std::uint32_t* texels = texture->LockRect();
  if (!texels) return;
  std::fill_n(texels, static_cast<std::size_t>(tw) * th, 0u);
  const std::uint32_t w = std::min(tw, image.width);
  const std::uint32_t h = std::min(th, image.height);
  if (image.pixels.size() >= static_cast<std::size_t>(image.width) * image.height) {
    for (std::uint32_t y = 0; y < h; ++y) {
      std::memcpy(texels + static_cast<std::size_t>(y) * tw,
                  image.pixels.data() + static_cast<std::size_t>(y) * image.width,
                  static_cast<std::size_t>(w) * 4);
    }
  }
  texture->UnlockRect();
}

namespace {

// The texture of the given size (0 x 0: the file's own) and mip levels with
// the file's image decoded straight into its pixels.
bool MakeTexture(Device* device, const std::string& path, std::uint32_t width, std::uint32_t height,
                 std::uint32_t levels, Texture** out, std::string* error) {
  PngFile file;
  if (!file.Open(path, error)) return false;
  if (width == 0) {
    width = file.Width();
    height = file.Height();
  }
  // Everything beyond the picture stays transparent, so the device may
  // keep only the picture.
  Texture* texture =
      device->CreateTexture(width, height, levels, Usage::Default, std::min(width, file.Width()),
                            std::min(height, file.Height()));
  if (!texture) {
    SetError(error, path + ": the device could not create the texture");
    return false;
  }
  std::uint32_t* texels = texture->LockRect();
  // A new texture is transparent black: the decoder writes the picture only.
  const bool ok = texels && file.ReadInto(texels, width, height, error, true);
  texture->UnlockRect();
  if (!ok) {
    if (!texels) SetError(error, path + ": the texture cannot be written");
    texture->Release();
    return false;
  }
  *out = texture;
  return true;
}

}  // namespace

bool CreateTextureFromFileEx(Device* device, const std::string& path, std::uint32_t width,
                             std::uint32_t height, Texture** out, std::string* error) {
  if (!out) {
    SetError(error, "CreateTextureFromFileEx: no output");
    return false;
  }
  *out = nullptr;
  if (!device) {
    SetError(error, path + ": no device");
    return false;
  }
  if (width == 0 || height == 0 || width > kMaxTextureSide || height > kMaxTextureSide) {
    SetError(error, path + ": texture size " + std::to_string(width) + " x " +
                        std::to_string(height) + " is not supported");
    return false;
  }
  return MakeTexture(device, path, width, height, 1, out, error);
}

bool CreateTextureFromFile(Device* device, const std::string& path, Texture** out,
                           std::string* error) {
  if (!out) {
    SetError(error, "CreateTextureFromFile: no output");
    return false;
  }
  *out = nullptr;
  if (!device) {
    SetError(error, path + ": no device");
    return false;
  }
  return MakeTexture(device, path, 0, 0, kAllMipLevels, out, error);
}

}  // namespace engine
