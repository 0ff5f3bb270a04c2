// PNG files into device textures.
#include "platform/texture_loader.h"

#include <algorithm>
#include <cstring>

namespace platform {

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
  Image image;
  if (!LoadPng(path, &image, error)) return false;
  Texture* texture = device->CreateTexture(width, height, Usage::Default);
  if (!texture) {
    SetError(error, path + ": the device could not create the texture");
    return false;
  }
  FillTexture(texture, image);
  *out = texture;
  return true;
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
  Image image;
  if (!LoadPng(path, &image, error)) return false;
  Texture* texture = device->CreateTexture(image.width, image.height, Usage::Default);
  if (!texture) {
    SetError(error, path + ": the device could not create the texture");
    return false;
  }
  FillTexture(texture, image);
  *out = texture;
  return true;
}

}  // namespace platform
