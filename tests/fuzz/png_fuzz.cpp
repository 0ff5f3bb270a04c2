// Feeds arbitrary bytes to our PNG path: the image reader and the texture
// loaders on the null device. A file is refused with a reason and nothing
// handed out, or read into an image of the size it claims and a texture of
// the size asked for; never a crash or a leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/image.h"
#include "engine/texture_loader.h"
#include "fuzz_file.h"
#include "platform/null/device_null.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzfile::MemoryFile file;
  static platform::NullDevice device;
  file.Set(data, size);
  const std::string& path = file.Path();

  engine::Image image;
  std::string error;
  const bool read = engine::LoadPng(path, &image, &error);
  if (read) {
    if (image.width == 0 || image.height == 0 || image.width > engine::kMaxImageSide ||
        image.height > engine::kMaxImageSide ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
      std::abort();
  } else if (error.empty() || image.width != 0 || !image.pixels.empty()) {
    std::abort();
  }

  // As the game loads its textures: a fixed size, the image in its corner.
  platform::Texture* texture = nullptr;
  error.clear();
  if (engine::CreateTextureFromFileEx(&device, path, 64, 32, &texture, &error) != read)
    std::abort();
  if (texture) {
    if (texture->Width() != 64 || texture->Height() != 32) std::abort();
    texture->Release();
  } else if (read || error.empty()) {
    std::abort();
  }

  texture = nullptr;
  if (engine::CreateTextureFromFile(&device, path, &texture) != read) std::abort();
  if (texture) {
    if (texture->Width() != image.width || texture->Height() != image.height) std::abort();
    texture->Release();
  }
  return 0;
}
