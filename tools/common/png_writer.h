// PNG files the game decodes quickly: every row filtered by None, Sub or Up,
// whichever packs best, never by Paeth or Average, whose undoing is the
// slowest part of reading a large picture.
#pragma once

#include <cstdint>
#include <string>

namespace contentgen {

// Writes `height` rows of `width` pixels, R, G, B (and A when `alpha`) bytes
// each, `stride` bytes apart. False, with the reason in *error, when the
// file cannot be written.
bool WritePngFile(const std::string& path, int width, int height, const std::uint8_t* pixels,
                  std::size_t stride, bool alpha, std::string* error);

}  // namespace contentgen
