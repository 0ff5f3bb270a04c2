// PNG images in memory: 32-bit ARGB pixels (0xAARRGGBB per uint32), rows top
// to bottom, no padding. Colour values are straight (not premultiplied).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> pixels;  // width * height, row-major

  std::uint32_t At(std::uint32_t x, std::uint32_t y) const {
    return pixels[static_cast<std::size_t>(y) * width + x];
  }
};

// The largest side LoadPng accepts; bigger files are refused rather than
// allocated (no texture the game uses comes near it: the largest side is
// 2407). A damaged header cannot make a reader allocate more than 64 MiB.
inline constexpr std::uint32_t kMaxImageSide = 4096;

// The largest PNG file read: as many bytes as the pixels of the largest
// image accepted; no picture the game uses comes near it (the largest is a
// few hundred KB).
inline constexpr std::uint64_t kMaxPngFileBytes = std::uint64_t{kMaxImageSide} * kMaxImageSide * 4;

// Reads any PNG (grey, palette, RGB, with or without alpha, 8 or 16 bits) and
// converts it to ARGB. On failure (missing, unreadable, not a PNG, truncated,
// too large) returns false, leaves *out empty and, when error is given, says
// why.
bool LoadPng(const std::string& path, Image* out, std::string* error = nullptr);

// A PNG file opened for reading: its header is read by Open, its pixels by
// ReadInto, straight into the caller's buffer. The file is read into memory
// whole by the platform's one read (platform/file.h), at most
// kMaxPngFileBytes; libpng decodes from there and never opens a path.
class PngFile {
 public:
  PngFile();
  ~PngFile();
  PngFile(const PngFile&) = delete;
  PngFile& operator=(const PngFile&) = delete;

  // Reads the header. False (with the reason) for a missing or unreadable
  // file, one that is not a PNG, or an image larger than kMaxImageSide.
  bool Open(const std::string& path, std::string* error = nullptr);
  // The same for the bytes of a file already read; `name` is for messages.
  bool OpenBytes(std::string bytes, const std::string& name, std::string* error = nullptr);
  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  // Decodes the image into the top-left corner of a destWidth x destHeight
  // ARGB buffer (rows destWidth apart): texels it does not cover become
  // transparent black, and an image larger than the buffer is cropped. Once
  // per Open. False (with the reason) when the data is damaged; the buffer
  // is then all transparent black. `destIsBlack`: the caller's buffer is
  // transparent black already (a new texture), so the texels beyond the
  // image are left as they are, unwritten.
  bool ReadInto(std::uint32_t* dest, std::uint32_t destWidth, std::uint32_t destHeight,
                std::string* error = nullptr, bool destIsBlack = false);

 private:
  // Frees the reader and the bytes.
  void Close();

  struct State;
  State* state_;
  std::string path_;
  std::uint32_t width_ = 0, height_ = 0;
};

// Writes width x height ARGB pixels as an 8-bit RGBA PNG. Returns false (with
// the reason in *error when given) if the file cannot be written or the size
// is zero.
bool SavePng(const std::string& path, std::uint32_t width, std::uint32_t height,
             const std::uint32_t* argb, std::string* error = nullptr);

}  // namespace engine
