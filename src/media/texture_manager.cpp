// The texture cache, the shared sprite and the 2D drawing helpers.
#include "media/texture_manager.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/texture_loader.h"
#include "media/load_report.h"

namespace media {

namespace {

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::uint32_t TextureSizeFor(std::uint32_t n) {
  std::uint64_t c = 2;
  while (c < n) c *= 2;
  return c > std::numeric_limits<std::uint32_t>::max() ? 0u : static_cast<std::uint32_t>(c);
}

std::uint8_t AlphaByte(float alpha) {
  if (!std::isfinite(alpha)) return 0;
  // Every float of magnitude 2^31 or more is a multiple of 256, so its low
  // byte is 0; below that the truncated value fits an int64 exactly.
  if (std::fabs(alpha) >= 2147483648.0f) return 0;
  const auto whole = static_cast<std::int64_t>(alpha);  // truncates toward zero
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(whole) & 0xFFu);
}

platform::Color AlphaColor(float alpha) {
  return static_cast<platform::Color>(AlphaByte(alpha)) << 24 | 0xFFFFFFu;
}

std::vector<platform::Rect> MakeDigitCells(std::int32_t cellWidth, std::int32_t cellHeight) {
  std::vector<platform::Rect> cells;
  cells.reserve(10);
  for (std::int64_t d = 0; d < 10; ++d) {
    cells.push_back(
        {ClampToInt32(d * cellWidth), 0, ClampToInt32((d + 1) * cellWidth), cellHeight});
  }
  return cells;
}

TextureManager::~TextureManager() { ReleaseAllTextures(); }

void TextureManager::LoadTexture(const char* path, std::uint32_t width, std::uint32_t height) {
  if (!path) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cache_.count(path)) return;
  }
  // The file is read without the lock, so the main thread keeps drawing while
  // the loader thread decodes a large image.
  auto* record = new TextureRecord;
  record->width = width;
  record->height = height;
  record->texWidth = TextureSizeFor(width);
  record->texHeight = TextureSizeFor(height);
  std::string error;
  if (!engine::CreateTextureFromFileEx(device_, path, record->texWidth, record->texHeight,
                                       &record->texture, &error)) {
    ReportFailedLoad("texture", path, error);
  }

  std::lock_guard<std::mutex> lock(mutex_);
  if (!cache_.emplace(path, record).second) {
    // Another thread loaded the same path meanwhile: its record came first.
    if (record->texture) record->texture->Release();
    delete record;
  }
}

TextureRecord* TextureManager::FindTexture(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = cache_.find(path);
  return it == cache_.end() ? nullptr : it->second;
}

void TextureManager::UnloadTexture(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cache_.empty()) return;
  auto it = cache_.find(path);
  if (it == cache_.end()) return;
  if (it->second->texture) it->second->texture->Release();
  delete it->second;
  cache_.erase(it);
}

bool TextureManager::Draw(engine::Sprite& sprite, const char* path, float x, float y, float alpha,
                          const platform::Rect* source) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = cache_.find(path);
  if (it == cache_.end() || !it->second->texture) return false;
  const TextureRecord& record = *it->second;
  const platform::Rect rect =
      source ? *source
             : platform::Rect{0, 0, ClampToInt32(record.width), ClampToInt32(record.height)};
  sprite.SetTransform(engine::MatrixTranslation(x, y, 0.0f));
  const engine::Vec3 centre{0, 0, 0};
  return sprite.Draw(record.texture, &rect, &centre, nullptr, AlphaColor(alpha));
}

void TextureManager::ReleaseAllTextures() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [path, record] : cache_) {
    if (record->texture) record->texture->Release();
    delete record;
    record = nullptr;
  }
  cache_.clear();
}

std::size_t TextureManager::Size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cache_.size();
}

SharedSprite::SharedSprite(platform::Device* device) {
  if (engine::CreateSprite(device, &sprite_) && sprite_) sprite_->OnResetDevice();
}

SharedSprite::~SharedSprite() {
  if (sprite_) sprite_->Release();
}

bool TextureManager::DrawTexture(engine::Sprite& sprite, const char* path, float x, float y,
                                 float alpha) {
  return Draw(sprite, path, x, y, alpha, nullptr);
}

void TextureManager::DrawTexturePart(engine::Sprite& sprite, const char* path, float x, float y,
                                     float alpha, std::int32_t left, std::int32_t top,
                                     std::int32_t right, std::int32_t bottom) {
  const platform::Rect source{left, top, right, bottom};
  Draw(sprite, path, x, y, alpha, &source);
}

}  // namespace media
