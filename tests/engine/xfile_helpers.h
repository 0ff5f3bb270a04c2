// Helpers for the .x reader tests: a small text-to-binary encoder, an MSZIP
// compressor and loading from strings.
#pragma once

#include <zlib.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/hierarchy.h"
#include "engine/xfile/basic_allocator.h"
#include "platform/graphics.h"

namespace xtest {

inline void PutU16(std::vector<unsigned char>* out, std::uint16_t v) {
  out->push_back(static_cast<unsigned char>(v & 0xFF));
  out->push_back(static_cast<unsigned char>(v >> 8));
}
inline void PutU32(std::vector<unsigned char>* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
}
inline void PutBytes(std::vector<unsigned char>* out, const std::string& s) {
  out->insert(out->end(), s.begin(), s.end());
}

// Encodes the body of a text .x file (everything after its 16-byte header;
// templates and comments not allowed) as a binary token stream: names become
// NAME tokens, runs of integers INTEGER_LIST, runs of numbers with a point
// FLOAT_LIST (floatBits wide), strings STRING with a ';' terminator token,
// braces their tokens; separators only split the number runs they end.
inline std::vector<unsigned char> EncodeBinaryBody(const std::string& text, int floatBits) {
  std::vector<unsigned char> out;
  std::vector<std::uint32_t> ints;
  std::vector<double> floats;
  auto flush = [&] {
    if (!ints.empty()) {
      PutU16(&out, 6);
      PutU32(&out, static_cast<std::uint32_t>(ints.size()));
      for (auto v : ints) PutU32(&out, v);
      ints.clear();
    }
    if (!floats.empty()) {
      PutU16(&out, 7);
      PutU32(&out, static_cast<std::uint32_t>(floats.size()));
      for (double v : floats) {
        if (floatBits == 64) {
          std::uint64_t bits;
          std::memcpy(&bits, &v, 8);
          PutU32(&out, static_cast<std::uint32_t>(bits));
          PutU32(&out, static_cast<std::uint32_t>(bits >> 32));
        } else {
          float f = static_cast<float>(v);
          std::uint32_t bits;
          std::memcpy(&bits, &f, 4);
          PutU32(&out, bits);
        }
      }
      floats.clear();
    }
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == ';') {
      ++i;
      continue;
    }
    if (c == '{' || c == '}') {
      flush();
      PutU16(&out, c == '{' ? 0x0A : 0x0B);
      ++i;
      continue;
    }
    if (c == '"') {
      flush();
      const std::size_t end = text.find('"', i + 1);
      const std::string s = text.substr(i + 1, end - i - 1);
      PutU16(&out, 2);
      PutU32(&out, static_cast<std::uint32_t>(s.size()));
      PutBytes(&out, s);
      PutU16(&out, 0x14);
      i = end + 1;
      continue;
    }
    std::size_t j = i;
    while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])) &&
           std::strchr(",;{}\"", text[j]) == nullptr)
      ++j;
    const std::string word = text.substr(i, j - i);
    i = j;
    if (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-' || word[0] == '.') {
      if (word.find_first_of(".eE") == std::string::npos) {
        if (!floats.empty()) flush();
        ints.push_back(static_cast<std::uint32_t>(std::stoul(word)));
      } else {
        if (!ints.empty()) flush();
        floats.push_back(std::stod(word));
      }
      continue;
    }
    flush();
    PutU16(&out, 1);
    PutU32(&out, static_cast<std::uint32_t>(word.size()));
    PutBytes(&out, word);
  }
  flush();
  return out;
}

inline std::vector<unsigned char> WithHeader(const std::string& format, int floatBits,
                                             const std::vector<unsigned char>& body) {
  std::vector<unsigned char> out;
  PutBytes(&out, "xof 0303" + format + (floatBits == 64 ? "0064" : "0032"));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// MSZIP: DWORD total size, then blocks of at most blockSize bytes, each a
// complete raw deflate stream with the previous 32 KB as its dictionary.
// The compressor's level, strategy and memory level (which sets how often
// it ends a deflate block) are zlib's.
inline std::vector<unsigned char> MsZip(const std::vector<unsigned char>& body,
                                        std::size_t blockSize = 32768, int level = 9,
                                        int strategy = Z_DEFAULT_STRATEGY, int memLevel = 8) {
  std::vector<unsigned char> out;
  PutU32(&out, static_cast<std::uint32_t>(body.size() + 16));
  for (std::size_t at = 0; at < body.size(); at += blockSize) {
    const std::size_t n = std::min(blockSize, body.size() - at);
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -15, memLevel, strategy);
    if (at > 0) {
      const std::size_t dict = std::min<std::size_t>(at, 32768);
      deflateSetDictionary(&zs, body.data() + at - dict, static_cast<uInt>(dict));
    }
    std::vector<unsigned char> packed(deflateBound(&zs, static_cast<uLong>(n)) + 16);
    zs.next_in = const_cast<Bytef*>(body.data() + at);
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = packed.data();
    zs.avail_out = static_cast<uInt>(packed.size());
    deflate(&zs, Z_FINISH);
    packed.resize(packed.size() - zs.avail_out);
    deflateEnd(&zs);
    PutU16(&out, static_cast<std::uint16_t>(n));
    PutU16(&out, static_cast<std::uint16_t>(packed.size() + 2));
    out.push_back('C');
    out.push_back('K');
    out.insert(out.end(), packed.begin(), packed.end());
  }
  return out;
}

inline std::vector<unsigned char> Bytes(const std::string& s) {
  return std::vector<unsigned char>(s.begin(), s.end());
}

// A loaded hierarchy that gives itself back on destruction.
struct Loaded {
  engine::xfile::BasicAllocator alloc;
  engine::Frame* root = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  std::string error;
  bool ok = false;
  ~Loaded() { engine::FrameDestroy(root, &alloc); }
};

inline std::unique_ptr<Loaded> Load(const std::vector<unsigned char>& bytes,
                                    const std::string& name = "model.x",
                                    platform::Device* device = nullptr) {
  auto l = std::make_unique<Loaded>();
  l->ok = engine::LoadMeshHierarchyFromXInMemory(bytes.data(), bytes.size(), name, device,
                                                 &l->alloc, &l->root, &l->controller, &l->error);
  return l;
}

inline std::unique_ptr<Loaded> LoadText(const std::string& text,
                                        const std::string& name = "model.x") {
  return Load(Bytes(text), name);
}

}  // namespace xtest
