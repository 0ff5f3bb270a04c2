// The DEFLATE decoder of compressed .x files against zlib, which wrote every
// valid stream here and judges the damaged ones, and against streams built
// bit by bit to break each rule of the format.
#include "engine/xfile/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/xfile/xparse.h"
#include "xfile_helpers.h"

namespace engine::xfile {
namespace {

using Bytes = std::vector<unsigned char>;

// Bodies like the ones .x files compress.

Bytes RandomBytes(std::size_t n, std::mt19937* rng) {
  Bytes b(n);
  for (auto& c : b) c = static_cast<unsigned char>((*rng)() & 0xFF);
  return b;
}

Bytes TextLike(std::size_t n, std::mt19937* rng) {
  static const char* const kWords[] = {
      "Frame ",      "Mesh ", "{ ",        "} ",        "0.000000;",       "1.0;",
      "-0.5;,",      "\n  ",  "Material ", "3;0,1,2;,", "TextureFilename", "\"skin.png\";",
      "SkinWeights "};
  std::string s;
  while (s.size() < n) s += kWords[(*rng)() % std::size(kWords)];
  s.resize(n);
  return xtest::Bytes(s);
}

// A vertex list: float triples on a smooth surface, some repeated exactly.
Bytes FloatArrays(std::size_t n, std::mt19937* rng) {
  Bytes b;
  std::uniform_real_distribution<float> jitter(-0.01f, 0.01f);
  for (int i = 0; b.size() < n; ++i) {
    const float v[3] = {std::cos(i * 0.01f), std::sin(i * 0.013f) + jitter(*rng),
                        (i % 7 == 0) ? 1.0f : 0.25f * static_cast<float>(i % 5)};
    const auto* p = reinterpret_cast<const unsigned char*>(v);
    b.insert(b.end(), p, p + sizeof v);
  }
  b.resize(n);
  return b;
}

// Long runs and short periods: matches at distances 1 to 15 that overlap
// themselves, and runs longer than the longest match.
Bytes Runs(std::size_t n, std::mt19937* rng) {
  Bytes b;
  while (b.size() < n) {
    const std::size_t period = 1 + (*rng)() % 15;
    const std::size_t length = 1 + (*rng)() % 700;
    const Bytes unit = RandomBytes(period, rng);
    for (std::size_t i = 0; i < length; ++i) b.push_back(unit[i % period]);
    if ((*rng)() % 3 == 0) b.insert(b.end(), 40 + (*rng)() % 600, 0);
  }
  b.resize(n);
  return b;
}

Bytes Mixed(std::size_t n, std::mt19937* rng) {
  Bytes b;
  while (b.size() < n) {
    const std::size_t part = 500 + (*rng)() % 5000;
    Bytes p;
    switch ((*rng)() % 4) {
      case 0: p = RandomBytes(part, rng); break;
      case 1: p = TextLike(part, rng); break;
      case 2: p = FloatArrays(part, rng); break;
      default: p = Runs(part, rng); break;
    }
    b.insert(b.end(), p.begin(), p.end());
  }
  b.resize(n);
  return b;
}

// zlib as the reference.

struct MsZipBlock {
  std::size_t raw;
  const unsigned char* data;
  std::size_t size;
};

std::vector<MsZipBlock> Blocks(const Bytes& mszip) {
  std::vector<MsZipBlock> blocks;
  for (std::size_t off = 4; off + 6 <= mszip.size();) {
    const std::size_t raw = mszip[off] | (mszip[off + 1] << 8);
    const std::size_t packed = mszip[off + 2] | (mszip[off + 3] << 8);
    blocks.push_back({raw, mszip.data() + off + 6, packed - 2});
    off += 4 + packed;
  }
  return blocks;
}

// zlib's reading of one block, given the output so far as its dictionary:
// false where zlib reports an error or gives fewer bytes than `raw`.
bool ZlibInflate(const unsigned char* in, std::size_t size, const Bytes& before, std::size_t raw,
                 Bytes* out) {
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return false;
  if (!before.empty()) {
    const std::size_t dict = std::min<std::size_t>(before.size(), kInflateWindow);
    inflateSetDictionary(&zs, before.data() + before.size() - dict, static_cast<uInt>(dict));
  }
  out->assign(raw, 0);
  zs.next_in = const_cast<Bytef*>(in);
  zs.avail_in = static_cast<uInt>(size);
  zs.next_out = out->data();
  zs.avail_out = static_cast<uInt>(raw);
  const int r = raw == 0 ? Z_OK : inflate(&zs, Z_FINISH);
  inflateEnd(&zs);
  return (r == Z_OK || r == Z_STREAM_END || r == Z_BUF_ERROR) && zs.avail_out == 0;
}

// Ours on one block after `before`, in a buffer with `scratch` bytes of
// room past the block and a guard band past that: it must leave the guard
// and `before` alone.
bool OursInflate(const unsigned char* in, std::size_t size, const Bytes& before, std::size_t raw,
                 Bytes* out, std::size_t scratch = 300) {
  constexpr std::size_t kGuard = 64;
  // The input in a block of its own size, so the sanitizer build sees any
  // read past it.
  const std::unique_ptr<unsigned char[]> input(new unsigned char[size]);
  if (size != 0) std::memcpy(input.get(), in, size);
  Bytes buffer(before);
  buffer.resize(before.size() + raw + scratch + kGuard, 0xA5);
  const bool ok = InflateRaw(input.get(), size, buffer.data(), before.size(), before.size() + raw,
                             before.size() + raw + scratch);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), buffer.begin()));
  EXPECT_TRUE(std::all_of(buffer.end() - kGuard, buffer.end(), [](unsigned char c) {
    return c == 0xA5;
  })) << "wrote past its room";
  out->assign(buffer.begin() + static_cast<std::ptrdiff_t>(before.size()),
              buffer.begin() + static_cast<std::ptrdiff_t>(before.size() + raw));
  return ok;
}

TEST(InflateTest, InflatesWhatZlibWroteAtEveryLevelAndStrategy) {
  std::mt19937 rng(2024);
  struct Body {
    const char* what;
    Bytes bytes;
  };
  const std::vector<Body> bodies = {
      {"random", RandomBytes(40000, &rng)}, {"text", TextLike(70000, &rng)},
      {"floats", FloatArrays(90000, &rng)}, {"runs", Runs(80000, &rng)},
      {"mixed", Mixed(100000, &rng)},       {"one byte", Bytes(1, 'x')},
      {"zeros", Bytes(70000, 0)},           {"short text", xtest::Bytes("Frame A { }\n")},
  };
  struct Setting {
    int level, strategy, memLevel;
  };
  const std::vector<Setting> settings = {
      {0, Z_DEFAULT_STRATEGY, 8},  // stored blocks
      {1, Z_DEFAULT_STRATEGY, 8},
      {6, Z_DEFAULT_STRATEGY, 8},
      {9, Z_DEFAULT_STRATEGY, 9},
      {9, Z_FILTERED, 8},
      {6, Z_HUFFMAN_ONLY, 8},
      {6, Z_RLE, 8},
      {9, Z_FIXED, 8},             // fixed Huffman codes only
      {4, Z_DEFAULT_STRATEGY, 1},  // a new deflate block every 128 symbols, of every type
  };
  for (const Body& body : bodies) {
    for (const Setting& s : settings) {
      for (const std::size_t blockSize : {std::size_t{32768}, std::size_t{5000}}) {
        SCOPED_TRACE(std::string(body.what) + " level " + std::to_string(s.level) + " strategy " +
                     std::to_string(s.strategy) + " memLevel " + std::to_string(s.memLevel) +
                     " blocks of " + std::to_string(blockSize));
        const Bytes packed = xtest::MsZip(body.bytes, blockSize, s.level, s.strategy, s.memLevel);
        ByteBuffer out;
        std::string error;
        ASSERT_TRUE(InflateMsZip(packed.data(), packed.size(), &out, &error)) << error;
        ASSERT_EQ(Bytes(out.begin(), out.end()), body.bytes);
      }
    }
  }
}

TEST(InflateTest, EveryCutOfAStreamIsRefused) {
  // The stream's last byte holds at least the last bit of its end of
  // block, so no proper prefix is a whole stream.
  std::mt19937 rng(7);
  const Bytes body = Mixed(3000, &rng);
  for (const int level : {0, 1, 9}) {
    const Bytes packed = xtest::MsZip(body, 32768, level);
    const std::vector<MsZipBlock> blocks = Blocks(packed);
    ASSERT_EQ(blocks.size(), 1u);
    for (std::size_t cut = 0; cut < blocks[0].size; ++cut) {
      Bytes out;
      EXPECT_FALSE(OursInflate(blocks[0].data, cut, {}, body.size(), &out))
          << "level " << level << ", " << cut << " of " << blocks[0].size << " bytes";
    }
    Bytes out;
    EXPECT_TRUE(OursInflate(blocks[0].data, blocks[0].size, {}, body.size(), &out));
    EXPECT_EQ(out, body);
  }
}

TEST(InflateTest, DamagedStreamsAreRefusedOrReadAsZlibReadsThem) {
  // Random bit flips and random bytes: ours never reads or writes out of
  // bounds (the sanitizer build checks), and whatever it accepts, zlib
  // accepts with the same bytes.
  std::mt19937 rng(99);
  const Bytes body = Mixed(70000, &rng);
  const Bytes packed = xtest::MsZip(body, 32768);
  const std::vector<MsZipBlock> blocks = Blocks(packed);
  ASSERT_EQ(blocks.size(), 3u);
  const Bytes before(body.begin(), body.begin() + 32768);
  int accepted = 0, refused = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const bool randomBytes = trial % 10 == 0;
    Bytes stream(blocks[1].data, blocks[1].data + blocks[1].size);
    if (randomBytes) {
      stream = RandomBytes(1 + rng() % 400, &rng);
    } else {
      for (int flips = 1 + static_cast<int>(rng() % 3); flips > 0; --flips)
        stream[rng() % stream.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
    }
    const std::size_t raw = blocks[1].raw;
    Bytes ours, theirs;
    if (OursInflate(stream.data(), stream.size(), before, raw, &ours)) {
      ++accepted;
      ASSERT_TRUE(ZlibInflate(stream.data(), stream.size(), before, raw, &theirs))
          << "trial " << trial;
      ASSERT_EQ(ours, theirs) << "trial " << trial;
    } else {
      ++refused;
    }
  }
  // Both ways were taken: flips in literal bits keep a stream whole.
  EXPECT_GT(accepted, 10);
  EXPECT_GT(refused, 100);
}

// Streams built bit by bit.

class BitWriter {
 public:
  // Header fields and extra bits go lowest bit first.
  void Put(unsigned value, int count) {
    for (int i = 0; i < count; ++i) PutBit((value >> i) & 1);
  }
  // Huffman codes go highest bit first.
  void PutCode(unsigned code, int length) {
    for (int i = length - 1; i >= 0; --i) PutBit((code >> i) & 1);
  }
  void Align() { used_ = 0; }
  void PutByte(unsigned char b) {
    Align();
    bytes_.push_back(b);
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  void PutBit(unsigned bit) {
    if (used_ == 0) bytes_.push_back(0);
    bytes_.back() = static_cast<unsigned char>(bytes_.back() | (bit << used_));
    used_ = (used_ + 1) % 8;
  }
  Bytes bytes_;
  int used_ = 0;
};

// RFC 1951, 3.2.2: the canonical codes of a set of code lengths.
std::vector<unsigned> CanonicalCodes(const std::vector<int>& lengths) {
  std::vector<unsigned> count(16, 0), next(16, 0), codes(lengths.size(), 0);
  for (int l : lengths) ++count[static_cast<std::size_t>(l)];
  count[0] = 0;
  unsigned code = 0;
  for (std::size_t bits = 1; bits < 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  for (std::size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s] != 0) codes[s] = next[static_cast<std::size_t>(lengths[s])]++;
  return codes;
}

struct Code {
  std::vector<int> lengths;
  std::vector<unsigned> codes;
  explicit Code(std::vector<int> l) : lengths(std::move(l)), codes(CanonicalCodes(lengths)) {}
  void Put(BitWriter* w, std::size_t symbol) const {
    w->PutCode(codes.at(symbol), lengths.at(symbol));
  }
};

Code FixedLitLen() {
  std::vector<int> l(288);
  for (std::size_t s = 0; s < 288; ++s) l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return Code(l);
}
Code FixedDist() { return Code(std::vector<int>(32, 5)); }

// A complete code length code: 4 bits for the lengths 0 to 12, 5 for the
// rest.
std::vector<int> PlainPrecode() {
  std::vector<int> l(19, 4);
  for (std::size_t s = 13; s < 19; ++s) l[s] = 5;
  return l;
}

// One code length code symbol with its extra bits.
struct LengthSymbol {
  int symbol, extraBits = 0;
  unsigned extra = 0;
};

constexpr int kPrecodeOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                   11, 4,  12, 3, 13, 2, 14, 1, 15};

// A dynamic block header: the counts as sent (so they can be out of range)
// and the code length symbols as given.
void PutDynamicHeader(BitWriter* w, bool final, unsigned litLenCount, unsigned distCount,
                      const std::vector<LengthSymbol>& sequence,
                      const std::vector<int>& precode = PlainPrecode()) {
  w->Put(final ? 1 : 0, 1);
  w->Put(2, 2);
  w->Put(litLenCount - 257, 5);
  w->Put(distCount - 1, 5);
  w->Put(19 - 4, 4);
  for (int s : kPrecodeOrder)
    w->Put(static_cast<unsigned>(precode[static_cast<std::size_t>(s)]), 3);
  const Code pre(precode);
  for (const LengthSymbol& l : sequence) {
    pre.Put(w, static_cast<std::size_t>(l.symbol));
    w->Put(l.extra, l.extraBits);
  }
}

// Lengths sent one by one, without repeats.
std::vector<LengthSymbol> Plain(const std::vector<int>& litLen, const std::vector<int>& dist) {
  std::vector<LengthSymbol> seq;
  for (int l : litLen) seq.push_back({l});
  for (int l : dist) seq.push_back({l});
  return seq;
}

std::vector<int> Lengths(std::size_t count, std::initializer_list<std::pair<int, int>> set) {
  std::vector<int> l(count, 0);
  for (const auto& [symbol, length] : set) l[static_cast<std::size_t>(symbol)] = length;
  return l;
}

// A dynamic block: the header, then the symbols (below 256 literals, 256
// the end of block, above it length codes each followed by a distance
// code, both without extra bits), then the end of block.
Bytes DynamicBlock(const std::vector<int>& litLen, const std::vector<int>& dist,
                   const std::vector<int>& symbols, bool endOfBlock = true) {
  BitWriter w;
  PutDynamicHeader(&w, true, static_cast<unsigned>(litLen.size()),
                   static_cast<unsigned>(dist.size()), Plain(litLen, dist));
  const Code lit(litLen), dst(dist);
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    lit.Put(&w, static_cast<std::size_t>(symbols[i]));
    if (symbols[i] > 256) dst.Put(&w, static_cast<std::size_t>(symbols[++i]));
  }
  if (endOfBlock) lit.Put(&w, 256);
  return w.bytes();
}

// Decodes a whole stream into a fresh buffer of exactly `raw` bytes.
bool Decode(const Bytes& stream, std::size_t raw, Bytes* out = nullptr, std::size_t scratch = 300) {
  Bytes ignored;
  return OursInflate(stream.data(), stream.size(), {}, raw, out ? out : &ignored, scratch);
}

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A fixed block: `put` writes the symbols, then come `tail` literals 'z'
// (enough of them take the decoder to its unchecked loop) and the end of
// block.
template <class F>
Bytes FixedBlock(F put, int tail = 0) {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  const Code lit = FixedLitLen(), dist = FixedDist();
  put(&w, lit, dist);
  for (int i = 0; i < tail; ++i) lit.Put(&w, 'z');
  lit.Put(&w, 256);
  return w.bytes();
}

// Both loops: the checked one for a short stream, the unchecked one when
// a long tail follows.
constexpr int kTails[] = {0, 60};

TEST(InflateTest, StoredBlocks) {
  auto stored = [](bool final, unsigned len, unsigned nlen, const std::string& data) {
    BitWriter w;
    w.Put(final ? 1 : 0, 1);
    w.Put(0, 2);
    w.PutByte(static_cast<unsigned char>(len & 0xFF));
    w.PutByte(static_cast<unsigned char>(len >> 8));
    w.PutByte(static_cast<unsigned char>(nlen & 0xFF));
    w.PutByte(static_cast<unsigned char>(nlen >> 8));
    for (char c : data) w.PutByte(static_cast<unsigned char>(c));
    return w.bytes();
  };
  Bytes out;
  EXPECT_TRUE(Decode(stored(true, 5, 0xFFFF ^ 5, "hello"), 5, &out));
  EXPECT_EQ(Str(out), "hello");
  // An empty stored block, then the final one.
  Bytes two = stored(false, 0, 0xFFFF, "");
  const Bytes last = stored(true, 3, 0xFFFF ^ 3, "abc");
  two.insert(two.end(), last.begin(), last.end());
  EXPECT_TRUE(Decode(two, 3, &out));
  EXPECT_EQ(Str(out), "abc");
  // A fixed block ending mid-byte, then a stored one from the next byte.
  {
    BitWriter w;
    w.Put(0, 1);
    w.Put(1, 2);
    const Code lit = FixedLitLen();
    lit.Put(&w, 'x');
    lit.Put(&w, 256);
    w.Put(1, 1);
    w.Put(0, 2);
    const unsigned char tail[] = {2, 0, 0xFD, 0xFF, 'y', 'z'};
    for (unsigned char b : tail) w.PutByte(b);
    EXPECT_TRUE(Decode(w.bytes(), 3, &out));
    EXPECT_EQ(Str(out), "xyz");
  }
  EXPECT_FALSE(Decode(stored(true, 5, 0xFFFF ^ 4, "hello"), 5)) << "length and complement differ";
  EXPECT_FALSE(Decode(stored(true, 9, 0xFFFF ^ 9, "hello"), 9)) << "longer than the input";
  EXPECT_FALSE(Decode(stored(true, 5, 0xFFFF ^ 5, "hello"), 4)) << "more than the room";
  EXPECT_FALSE(Decode(stored(false, 5, 0xFFFF ^ 5, "hello"), 5)) << "no final block";
  EXPECT_FALSE(Decode({0x01, 0x05, 0x00}, 5)) << "cut inside the lengths";
}

TEST(InflateTest, FixedBlocksAndDistances) {
  for (const int tail : kTails) {
    SCOPED_TRACE(tail);
    const std::string z(static_cast<std::size_t>(tail), 'z');
    // 'a', then length 3 (symbol 257) from distance 1 (code 0) and length
    // 10 (symbol 264) from distance 4 (code 3).
    auto stream = [&](std::size_t firstDistCode) {
      return FixedBlock(
          [&](BitWriter* w, const Code& lit, const Code& dist) {
            lit.Put(w, 'a');
            lit.Put(w, 257);
            dist.Put(w, firstDistCode);
            lit.Put(w, 264);
            dist.Put(w, 3);
          },
          tail);
    };
    Bytes out;
    EXPECT_TRUE(Decode(stream(0), 14 + z.size(), &out));
    EXPECT_EQ(Str(out), std::string(14, 'a') + z);
    EXPECT_FALSE(Decode(stream(1), 14 + z.size())) << "distance 2 with one byte written";
    EXPECT_FALSE(Decode(stream(0), 13 + z.size())) << "one byte more than the block";
    EXPECT_FALSE(Decode(stream(0), 15 + z.size())) << "one byte short";
    EXPECT_FALSE(Decode(stream(0), 13 + z.size(), nullptr, 0)) << "one byte more than the room";
    for (const std::size_t bad : {30, 31}) {
      const Bytes b = FixedBlock(
          [&](BitWriter* w, const Code& lit, const Code& dist) {
            lit.Put(w, 'a');
            lit.Put(w, 257);
            dist.Put(w, bad);
          },
          tail);
      EXPECT_FALSE(Decode(b, 4 + z.size())) << "distance code " << bad;
    }
    for (const std::size_t bad : {286, 287}) {
      const Bytes b = FixedBlock(
          [&](BitWriter* w, const Code& lit, const Code& dist) {
            lit.Put(w, 'a');
            lit.Put(w, bad);
            dist.Put(w, 0);
          },
          tail);
      // Refused whatever length it would stand for.
      for (std::size_t raw = 1; raw <= 1 + 258; ++raw)
        ASSERT_FALSE(Decode(b, raw + z.size())) << "length code " << bad;
    }
  }
  BitWriter reserved;
  reserved.Put(1, 1);
  reserved.Put(3, 2);
  reserved.Put(0, 16);
  EXPECT_FALSE(Decode(reserved.bytes(), 1)) << "block type 3";
}

TEST(InflateTest, TheInputMustHoldTheWholeStream) {
  // 'a' and the end of block take 3 + 8 + 7 bits: the end of block's last
  // two bits, zeros, are alone in the third byte.
  const Bytes whole =
      FixedBlock([](BitWriter* w, const Code& lit, const Code&) { lit.Put(w, 'a'); });
  ASSERT_EQ(whole.size(), 3u);
  Bytes out;
  EXPECT_TRUE(Decode(whole, 1, &out));
  EXPECT_EQ(Str(out), "a");
  EXPECT_FALSE(Decode(Bytes(whole.begin(), whole.end() - 1), 1)) << "zero bits that are not there";
  // A non-final block, then nothing.
  BitWriter w;
  w.Put(0, 1);
  w.Put(1, 2);
  FixedLitLen().Put(&w, 'a');
  FixedLitLen().Put(&w, 256);
  EXPECT_FALSE(Decode(w.bytes(), 1)) << "no final block";
  EXPECT_FALSE(Decode({}, 0)) << "no input at all";
  // Literals up to the room, one by one on the checked loop.
  const Bytes many = FixedBlock([](BitWriter*, const Code&, const Code&) {}, 20);
  EXPECT_TRUE(Decode(many, 20, &out, 0));
  EXPECT_FALSE(Decode(many, 19, &out, 0));
}

TEST(InflateTest, BackReferencesReachIntoEarlierOutputUpTo32KiB) {
  // 32768 bytes already written; a block of one match of 258 bytes from
  // distance 32768 (code 29, all 13 extra bits set) copies their start.
  std::mt19937 rng(3);
  const Bytes before = RandomBytes(kInflateWindow, &rng);
  const Bytes shorter(before.begin() + 1, before.end());
  for (const int tail : kTails) {
    const Bytes stream = FixedBlock(
        [](BitWriter* w, const Code& lit, const Code& dist) {
          lit.Put(w, 285);
          dist.Put(w, 29);
          w->Put(8191, 13);
        },
        tail);
    const std::size_t raw = 258 + static_cast<std::size_t>(tail);
    Bytes out;
    ASSERT_TRUE(OursInflate(stream.data(), stream.size(), before, raw, &out));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 258, before.begin()));
    // One byte less behind: the distance reaches before the buffer.
    EXPECT_FALSE(OursInflate(stream.data(), stream.size(), shorter, raw, &out));
  }
}

TEST(InflateTest, DynamicCodesMustBeCompleteExceptASparseDistanceCode) {
  const std::vector<int> symbols = {'a', 'b', 257, 0};  // "ab" then 3 bytes from distance 1
  // A complete literal/length code: a, b, end of block and length 3, two
  // bits each.
  const std::vector<int> litLen = Lengths(258, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}});
  Bytes out;
  EXPECT_TRUE(Decode(DynamicBlock(litLen, {1}, symbols), 5, &out)) << "one distance code";
  EXPECT_EQ(Str(out), "abbbb");
  EXPECT_TRUE(Decode(DynamicBlock(litLen, {1, 1}, symbols), 5, &out)) << "two distance codes";
  EXPECT_EQ(Str(out), "abbbb");
  EXPECT_TRUE(Decode(DynamicBlock(litLen, {0}, {'a', 'b'}), 2, &out)) << "no distance codes";
  EXPECT_EQ(Str(out), "ab");
  EXPECT_FALSE(Decode(DynamicBlock(litLen, {0}, symbols), 5)) << "a match without distance codes";
  for (const std::size_t tail : {0, 200}) {
    // The one distance code is the codeword 0; the stream sends 1.
    BitWriter w;
    PutDynamicHeader(&w, true, 258, 1, Plain(litLen, {1}));
    const Code lit(litLen);
    lit.Put(&w, 'a');
    lit.Put(&w, 257);
    w.PutCode(1, 1);
    for (std::size_t i = 0; i < tail; ++i) lit.Put(&w, 'b');
    lit.Put(&w, 256);
    EXPECT_FALSE(Decode(w.bytes(), 4 + tail)) << "the unused codeword of a one-code distance code";
  }
  EXPECT_FALSE(Decode(DynamicBlock(litLen, {2}, {'a', 'b'}), 2)) << "one distance code of 2 bits";
  EXPECT_FALSE(Decode(DynamicBlock(litLen, {2, 2}, {'a', 'b'}), 2)) << "incomplete distance code";
  EXPECT_FALSE(Decode(DynamicBlock(litLen, {1, 1, 1}, {'a', 'b'}), 2))
      << "over-subscribed distance code";
  EXPECT_FALSE(Decode(DynamicBlock(Lengths(258, {{'a', 2}, {256, 2}, {257, 2}}), {1}, {'a'}), 1))
      << "incomplete literal/length code";
  EXPECT_FALSE(Decode(
      DynamicBlock(Lengths(258, {{'a', 2}, {'b', 2}, {'c', 2}, {256, 2}, {257, 2}}), {1}, {'a'}),
      1))
      << "over-subscribed literal/length code";
  // A block of nothing but its end, its code one codeword: zlib takes it.
  EXPECT_TRUE(Decode(DynamicBlock(Lengths(257, {{256, 1}}), {0}, {}), 0, &out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(Decode(DynamicBlock(Lengths(257, {{256, 2}}), {0}, {}), 0))
      << "a literal/length code of one two-bit codeword";
  EXPECT_FALSE(Decode(DynamicBlock(Lengths(257, {{'a', 1}, {'b', 1}}), {1}, {'a'}, false), 1))
      << "no end of block code";
}

// A random complete code over `used` of `symbols` symbols, `required`
// among them, with lengths up to 15: a random binary tree, grown mostly at
// its deep leaves.
std::vector<int> RandomCode(std::size_t symbols, std::size_t used, std::size_t required,
                            std::mt19937* rng) {
  std::vector<int> depths = {0};
  while (depths.size() < used) {
    std::size_t leaf = (*rng)() % depths.size();
    for (int k = 0; k < 2; ++k) {
      const std::size_t other = (*rng)() % depths.size();
      if (depths[other] > depths[leaf]) leaf = other;
    }
    while (depths[leaf] == 15) leaf = (leaf + 1) % depths.size();
    depths.push_back(++depths[leaf]);
  }
  std::vector<std::size_t> order(symbols);
  for (std::size_t s = 0; s < symbols; ++s) order[s] = s;
  std::shuffle(order.begin(), order.end(), *rng);
  std::swap(*std::find(order.begin(), order.end(), required), order[0]);
  std::vector<int> lengths(symbols, 0);
  for (std::size_t i = 0; i < used; ++i) lengths[order[i]] = depths[i];
  return lengths;
}

TEST(InflateTest, RandomCodesDecodeAsTheyWereWritten) {
  // Symbols written with random codes, long ones past the main tables
  // included, against the bytes they stand for worked out here.
  constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  auto distBase = [](int code) {
    return code < 4 ? code + 1 : ((2 + (code & 1)) << (code / 2 - 1)) + 1;
  };
  auto distExtra = [](int code) { return code < 4 ? 0 : code / 2 - 1; };
  std::mt19937 rng(5);
  int longest = 0;  // trials whose codes both reach 15 bits
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE(trial);
    const std::vector<int> litLen = RandomCode(286, 2 + rng() % 284, 256, &rng);
    const std::vector<int> dist = RandomCode(30, 1 + rng() % 30, 0, &rng);
    longest += *std::max_element(litLen.begin(), litLen.end()) == 15 &&
               *std::max_element(dist.begin(), dist.end()) == 15;
    const Code lit(litLen), dst(dist);
    BitWriter w;
    PutDynamicHeader(&w, true, 286, 30, Plain(litLen, dist));
    std::string expect;
    const int symbols = trial % 3 == 0 ? 20 : 2000;  // short streams end on the checked loop
    for (int i = 0; i < symbols; ++i) {
      const std::size_t s = rng() % 286;
      if (litLen[s] == 0 || s == 256) continue;
      if (s < 256) {
        lit.Put(&w, s);
        expect += static_cast<char>(s);
        continue;
      }
      const int d = static_cast<int>(rng() % 30);
      const int lengthExtra = kLengthExtra[s - 257], dExtra = distExtra(d);
      const unsigned le = rng() % (1u << lengthExtra), de = rng() % (1u << dExtra);
      const std::size_t length = static_cast<std::size_t>(kLengthBase[s - 257]) + le;
      const std::size_t distance = static_cast<std::size_t>(distBase(d)) + de;
      if (dist[static_cast<std::size_t>(d)] == 0 || distance > expect.size()) continue;
      lit.Put(&w, s);
      w.Put(le, lengthExtra);
      dst.Put(&w, static_cast<std::size_t>(d));
      w.Put(de, dExtra);
      const std::size_t from = expect.size() - distance;
      for (std::size_t k = 0; k < length; ++k) expect += expect[from + k];
    }
    lit.Put(&w, 256);
    Bytes out;
    ASSERT_TRUE(Decode(w.bytes(), expect.size(), &out));
    ASSERT_EQ(Str(out), expect);
  }
  EXPECT_GT(longest, 10);
}

TEST(InflateTest, CodeLengthSequencesAreChecked) {
  const std::vector<int> litLen = Lengths(258, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}});
  const Code lit(litLen);
  auto block = [&](unsigned litLenCount, unsigned distCount, const std::vector<LengthSymbol>& seq,
                   const std::vector<int>& precode = PlainPrecode()) {
    BitWriter w;
    PutDynamicHeader(&w, true, litLenCount, distCount, seq, precode);
    lit.Put(&w, 'a');
    lit.Put(&w, 256);
    return w.bytes();
  };
  // Lengths sent with every kind of repeat: 'a' to 'd' and 256 to 259 of
  // three bits, one distance code of one bit.
  const std::vector<LengthSymbol> repeats = {
      {18, 7, 86},               // 97 zeros
      {3},          {16, 2, 0},  // 'a', and 'b' to 'd' the same
      {18, 7, 127},              // 138 zeros
      {17, 3, 7},   {17, 3, 4},  // 10 and 7 zeros, up to 255
      {3},          {16, 2, 0},  // 256, and 257 to 259
      {1}};
  const Code lit3(Lengths(
      260, {{'a', 3}, {'b', 3}, {'c', 3}, {'d', 3}, {256, 3}, {257, 3}, {258, 3}, {259, 3}}));
  {
    BitWriter w;
    PutDynamicHeader(&w, true, 260, 1, repeats);
    lit3.Put(&w, 'd');
    lit3.Put(&w, 258);  // length 4
    w.PutCode(0, 1);    // distance 1
    lit3.Put(&w, 256);
    Bytes out;
    EXPECT_TRUE(Decode(w.bytes(), 5, &out));
    EXPECT_EQ(Str(out), "ddddd");
  }
  {
    // A repeat may run from the literal/length lengths into the distance
    // ones: 257 and four distance codes of two bits.
    std::vector<LengthSymbol> across = Plain(litLen, {});
    across.pop_back();
    across.push_back({16, 2, 2});
    Bytes out;
    EXPECT_TRUE(Decode(block(258, 4, across), 1, &out));
    EXPECT_EQ(Str(out), "a");
  }
  std::vector<LengthSymbol> first = Plain(litLen, {1});
  first.erase(first.begin(), first.begin() + 3);
  first.insert(first.begin(), {16, 2, 0});  // three zeros, were there a length before
  EXPECT_FALSE(Decode(block(258, 1, first), 1)) << "repeat with nothing before";
  std::vector<LengthSymbol> past = Plain(litLen, {});
  past.push_back({16, 2, 1});  // four more lengths where one is left
  EXPECT_FALSE(Decode(block(258, 1, past), 1)) << "repeat past the end";
  std::vector<LengthSymbol> zerosPast = Plain(litLen, {});
  zerosPast.push_back({18, 7, 0});
  EXPECT_FALSE(Decode(block(258, 1, zerosPast), 1)) << "zeros past the end";
  EXPECT_FALSE(
      Decode(block(287, 1, Plain(Lengths(287, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}}), {1})), 1))
      << "287 literal/length codes";
  EXPECT_FALSE(Decode(block(258, 31, Plain(litLen, std::vector<int>(31, 5))), 1))
      << "31 distance codes";
  EXPECT_FALSE(Decode(block(258, 1, Plain(litLen, {1}), std::vector<int>(19, 1)), 1))
      << "over-subscribed code length code";
  EXPECT_FALSE(Decode(block(258, 1, Plain(litLen, {1}), std::vector<int>(19, 5)), 1))
      << "incomplete code length code";
}

TEST(InflateTest, MsZipBlocksMustInflateToTheirDeclaredSize) {
  const std::string body(5000, 'q');
  Bytes packed = xtest::MsZip(xtest::Bytes(body));
  ByteBuffer out;
  std::string error;
  ASSERT_TRUE(InflateMsZip(packed.data(), packed.size(), &out, &error)) << error;
  // The block declares one byte less (and the file as much): its stream
  // makes one byte too many.
  packed[0] = static_cast<unsigned char>(packed[0] - 1);
  packed[4] = static_cast<unsigned char>(packed[4] - 1);
  EXPECT_FALSE(InflateMsZip(packed.data(), packed.size(), &out, &error));
  EXPECT_EQ(error, "byte offset 20: block 0 is corrupt");
}

}  // namespace
}  // namespace engine::xfile
