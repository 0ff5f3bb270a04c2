// The texture cache, the shared sprite and the 2D drawing helpers every
// scene uses.
//
// Files are named by the path constants of media/paths.h and the cache keys
// its entries by the address of that constant, not by its text: every user
// loads, finds, draws and unloads a file through the one constant. The first
// load of a path fixes its record, sizes included.
//
// Every cache operation takes one lock, so the loader thread may insert while
// the main thread draws. The sprite belongs to the main thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "engine/sprite.h"
#include "platform/graphics.h"

namespace media {

struct TextureRecord {
  std::uint32_t width = 0;  // nominal image size, as the loader states it
  std::uint32_t height = 0;
  std::uint32_t texWidth = 0;  // created texture size (power of two, at least 2)
  std::uint32_t texHeight = 0;
  platform::Texture* texture = nullptr;  // one reference owned here; null if loading failed
};

// The texture cache the shell owns for the whole run and hands to the scenes
// (loads through the loader's jobs, draws through the DrawContext). Its
// textures are made on the device it was given; without one a record has no
// texture. Destroying it releases every texture, so the shell destroys it
// before the device.
class TextureManager {
 public:
  explicit TextureManager(platform::Device* device = nullptr) : device_(device) {}
  ~TextureManager();
  TextureManager(const TextureManager&) = delete;
  TextureManager& operator=(const TextureManager&) = delete;

  // Loads path into the cache at width x height (nominal), in a power-of-two
  // texture with the image in its top-left corner. Does nothing if path is
  // cached already. A file that cannot be loaded still gets a record, without
  // texture.
  void LoadTexture(const char* path, std::uint32_t width, std::uint32_t height);
  // The record cached under path, or null.
  TextureRecord* FindTexture(const char* path);
  // Releases and forgets path; nothing if it is not cached.
  void UnloadTexture(const char* path);
  // Draws the whole nominal image with its top-left corner at (x, y) with the
  // sprite (which must be begun). The sprite keeps the translation as its
  // transform. False, and nothing drawn, when path is not cached or has no
  // texture.
  bool DrawTexture(engine::Sprite& sprite, const char* path, float x, float y, float alpha);
  // The same with a source rectangle in image pixels.
  void DrawTexturePart(engine::Sprite& sprite, const char* path, float x, float y, float alpha,
                       std::int32_t left, std::int32_t top, std::int32_t right,
                       std::int32_t bottom);
  // Releases every record.
  void ReleaseAllTextures();
  std::size_t Size();

 private:
  // Draws source (the whole nominal image when null) with the sprite.
  bool Draw(engine::Sprite& sprite, const char* path, float x, float y, float alpha,
            const platform::Rect* source);

  platform::Device* device_;
  std::mutex mutex_;
  std::map<const char*, TextureRecord*> cache_;
};

// The one sprite of the program, which every 2D draw shares: made on the
// device by the shell (InitSprite) and released with it (ReleaseSprite). A
// failed creation leaves it empty; the shell then draws nothing.
class SharedSprite {
 public:
  explicit SharedSprite(platform::Device* device);  // InitSprite
  ~SharedSprite();                                  // ReleaseSprite
  SharedSprite(const SharedSprite&) = delete;
  SharedSprite& operator=(const SharedSprite&) = delete;
  engine::Sprite* Get() const { return sprite_; }

 private:
  engine::Sprite* sprite_ = nullptr;
};

// Source rectangles of the ten cells of a digit strip: entry d is
// {d * w, 0, (d + 1) * w, h}.
std::vector<platform::Rect> MakeDigitCells(std::int32_t cellWidth, std::int32_t cellHeight);

// Smallest power of two >= n, at least 2; 0 when there is none in 32 bits.
std::uint32_t TextureSizeFor(std::uint32_t n);
// The alpha byte of a float alpha: truncated toward zero, low 8 bits kept
// (255.0 -> 255, 127.9 -> 127, 256.0 -> 0, -1.0 -> 255). NaN and infinities
// give 0.
std::uint8_t AlphaByte(float alpha);
// alphaByte << 24 | 0xFFFFFF.
platform::Color AlphaColor(float alpha);

}  // namespace media
