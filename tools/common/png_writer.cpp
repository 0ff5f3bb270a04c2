#include "common/png_writer.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace contentgen {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

void OnError(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

}  // namespace

bool WritePngFile(const std::string& path, int width, int height, const std::uint8_t* pixels,
                  std::size_t stride, bool alpha, std::string* error) {
  std::string why;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    if (error) *error = path + ": cannot open for writing";
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &why, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    if (error) *error = path + ": out of memory";
    return false;
  }
  std::vector<png_const_bytep> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) rows[static_cast<std::size_t>(y)] = pixels + stride * y;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    if (error) *error = path + ": " + why;
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_UP);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  png_write_rows(png, const_cast<png_bytepp>(rows.data()), static_cast<png_uint_32>(height));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0) {
    if (error) *error = path + ": cannot write";
    return false;
  }
  return true;
}

}  // namespace contentgen
