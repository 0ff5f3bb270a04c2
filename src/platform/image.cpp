// PNG reading and writing through libpng's simplified API, which reports every
// error (bad signature, CRC, truncation) as a failed call instead of jumping
// out of our code.
#include "platform/image.h"

#include <png.h>

#include <cstring>

namespace platform {

namespace {

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

bool LoadPng(const std::string& path, Image* out, std::string* error) {
  if (!out) {
    SetError(error, "LoadPng: no output image");
    return false;
  }
  *out = Image{};

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    SetError(error, path + ": " + image.message);
    png_image_free(&image);
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide ||
      image.height > kMaxImageSide) {
    SetError(error, path + ": image size " + std::to_string(image.width) + " x " +
                        std::to_string(image.height) + " is not supported");
    png_image_free(&image);
    return false;
  }

  // BGRA bytes; assembled into ARGB words below so the result does not depend
  // on the machine's byte order.
  image.format = PNG_FORMAT_BGRA;
  const std::size_t stride = static_cast<std::size_t>(image.width) * 4;
  std::vector<png_byte> bytes(stride * image.height);
  if (!png_image_finish_read(&image, nullptr, bytes.data(), static_cast<png_int_32>(stride),
                             nullptr)) {
    SetError(error, path + ": " + image.message);
    png_image_free(&image);
    return false;
  }

  Image result;
  result.width = image.width;
  result.height = image.height;
  result.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
  for (std::size_t i = 0; i < result.pixels.size(); ++i) {
    const png_byte* p = &bytes[i * 4];
    result.pixels[i] = static_cast<std::uint32_t>(p[3]) << 24 |
                       static_cast<std::uint32_t>(p[2]) << 16 |
                       static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[0]);
  }
  png_image_free(&image);
  *out = std::move(result);
  return true;
}

bool SavePng(const std::string& path, std::uint32_t width, std::uint32_t height,
             const std::uint32_t* argb, std::string* error) {
  if (width == 0 || height == 0 || !argb || width > kMaxImageSide || height > kMaxImageSide) {
    SetError(error, path + ": nothing to write");
    return false;
  }
  const std::size_t count = static_cast<std::size_t>(width) * height;
  std::vector<png_byte> bytes(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t c = argb[i];
    bytes[i * 4 + 0] = static_cast<png_byte>(c >> 16);
    bytes[i * 4 + 1] = static_cast<png_byte>(c >> 8);
    bytes[i * 4 + 2] = static_cast<png_byte>(c);
    bytes[i * 4 + 3] = static_cast<png_byte>(c >> 24);
  }

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, path.c_str(), 0, bytes.data(),
                               static_cast<png_int_32>(width * 4), nullptr)) {
    SetError(error, path + ": " + image.message);
    png_image_free(&image);
    return false;
  }
  png_image_free(&image);
  return true;
}

}  // namespace platform
