// PNG reading and writing through libpng's simplified API, which reports every
// error (bad signature, CRC, truncation) as a failed call instead of jumping
// out of our code.
#include "engine/image.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "platform/file.h"

namespace engine {

using platform::OpenCFile;
using platform::ReadWholeFile;

namespace {

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

struct PngFile::State {
  png_image image;
  bool open = false;
  std::string bytes;  // the file, which libpng reads from until the pixels are decoded
};

PngFile::PngFile() : state_(new State) { std::memset(&state_->image, 0, sizeof state_->image); }

PngFile::~PngFile() {
  if (state_->open) png_image_free(&state_->image);
  delete state_;
}

bool PngFile::Open(const std::string& path, std::string* error) {
  std::string bytes;
  if (!ReadWholeFile(path, kMaxPngFileBytes, &bytes, nullptr, error)) {
    Close();
    path_ = path;
    return false;
  }
  return OpenBytes(std::move(bytes), path, error);
}

void PngFile::Close() {
  if (state_->open) png_image_free(&state_->image);
  std::memset(&state_->image, 0, sizeof state_->image);
  state_->open = false;
  state_->bytes = std::string();
  width_ = height_ = 0;
}

bool PngFile::OpenBytes(std::string bytes, const std::string& name, std::string* error) {
  Close();
  path_ = name;
  state_->bytes = std::move(bytes);
  png_image& image = state_->image;
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, state_->bytes.data(), state_->bytes.size())) {
    SetError(error, name + ": " + image.message);
    png_image_free(&image);
    state_->bytes = std::string();
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide ||
      image.height > kMaxImageSide) {
    SetError(error, name + ": image size " + std::to_string(image.width) + " x " +
                        std::to_string(image.height) + " is not supported");
    png_image_free(&image);
    state_->bytes = std::string();
    return false;
  }
  state_->open = true;
  width_ = image.width;
  height_ = image.height;
  return true;
}

bool PngFile::ReadInto(std::uint32_t* dest, std::uint32_t destWidth, std::uint32_t destHeight,
                       std::string* error, bool destIsBlack) {
  const std::size_t destCount = static_cast<std::size_t>(destWidth) * destHeight;
  if (!state_->open) {
    SetError(error, path_ + ": no image to read");
    if (dest) std::fill_n(dest, destCount, 0u);
    return false;
  }
  png_image& image = state_->image;
  state_->open = false;  // finish_read frees the reader, whatever happens
  // BGRA bytes are 0xAARRGGBB words on a little-endian machine, so an image
  // that fits is decoded in place; otherwise (cropped, or another byte
  // order) through a buffer of its own.
  image.format = PNG_FORMAT_BGRA;
  constexpr bool kLittleEndian = std::endian::native == std::endian::little;
  const bool fits = width_ <= destWidth && height_ <= destHeight;
  bool ok = false;
  if (kLittleEndian && fits) {
    ok = png_image_finish_read(&image, nullptr, dest, static_cast<png_int_32>(destWidth) * 4,
                               nullptr) != 0;
    if (ok && !destIsBlack) {
      for (std::uint32_t y = 0; y < height_; ++y)
        std::fill_n(dest + static_cast<std::size_t>(y) * destWidth + width_, destWidth - width_,
                    0u);
      std::fill_n(dest + static_cast<std::size_t>(height_) * destWidth,
                  static_cast<std::size_t>(destHeight - height_) * destWidth, 0u);
    }
  } else {
    const std::size_t stride = static_cast<std::size_t>(width_) * 4;
    std::vector<png_byte> bytes(stride * height_);
    ok = png_image_finish_read(&image, nullptr, bytes.data(), static_cast<png_int_32>(stride),
                               nullptr) != 0;
    if (ok) {
      if (!destIsBlack) std::fill_n(dest, destCount, 0u);
      const std::uint32_t w = std::min(width_, destWidth), h = std::min(height_, destHeight);
      for (std::uint32_t y = 0; y < h; ++y) {
        const png_byte* row = bytes.data() + y * stride;
        std::uint32_t* out = dest + static_cast<std::size_t>(y) * destWidth;
        for (std::uint32_t x = 0; x < w; ++x) {
          const png_byte* p = row + 4 * x;
          out[x] = static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
                   static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[0]);
        }
      }
    }
  }
  state_->bytes = std::string();  // decoded: the file is no longer needed
  if (!ok) {
    SetError(error, path_ + ": " + image.message);
    png_image_free(&image);
    std::fill_n(dest, destCount, 0u);
    return false;
  }
  png_image_free(&image);
  return true;
}

bool LoadPng(const std::string& path, Image* out, std::string* error) {
  if (!out) {
    SetError(error, "LoadPng: no output image");
    return false;
  }
  *out = Image{};
  PngFile file;
  if (!file.Open(path, error)) return false;
  Image result;
  result.width = file.Width();
  result.height = file.Height();
  result.pixels.resize(static_cast<std::size_t>(result.width) * result.height);
  if (!file.ReadInto(result.pixels.data(), result.width, result.height, error)) return false;
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
  std::FILE* file = OpenCFile(path, "wb");
  if (!file) {
    SetError(error, path + ": cannot create the file");
    return false;
  }
  const bool written = png_image_write_to_stdio(&image, file, 0, bytes.data(),
                                                static_cast<png_int_32>(width * 4), nullptr) != 0;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    SetError(error, path + ": " + (written ? std::string("cannot write the file") : image.message));
    png_image_free(&image);
    return false;
  }
  png_image_free(&image);
  return true;
}

}  // namespace engine
