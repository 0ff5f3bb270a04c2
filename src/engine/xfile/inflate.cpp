// Raw DEFLATE decoding. The speed comes from a 64-bit bit buffer refilled a
// word at a time, tables whose one lookup yields a whole literal, length or
// distance (base and extra-bit count together), and a main loop that runs
// unchecked while the input and the room left are far from their ends; a
// careful loop with every check finishes each block.
#include "engine/xfile/inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace engine::xfile {

namespace {

using BitBuffer = std::uint64_t;

// A table entry (32 bits):
//   bits 0-7    bits to drop: the codeword plus the extra bits after it
//               (for a subtable link: the main table's index bits)
//   bits 8-11   the codeword's own length, where the extra bits begin
//               (for a subtable link: the subtable's index bits)
//   bits 12-15  kind flags below; none set for a length or distance
//   bits 16-31  the literal byte, the length or distance base, the code
//               length symbol, or where a subtable begins
constexpr std::uint32_t kLiteral = 0x8000;
// End of block, a subtable link or a code that may not appear.
constexpr std::uint32_t kExceptional = 0x4000;
constexpr std::uint32_t kEndOfBlock = 0x2000;
constexpr std::uint32_t kSubtable = 0x1000;

// In the code length code, a "literal" is a length itself; the others
// repeat the previous length or zero.
constexpr std::uint32_t kRepeatPrevious = 0x2000;
constexpr unsigned kLongestRepeat = 138;

constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kLitLenBits = 11;
constexpr unsigned kDistBits = 8;
constexpr unsigned kPrecodeBits = 7;  // the longest code length code, so no subtables
// Entries a table can need, main table and subtables together, for any
// complete code (zlib's "enough" program: 288 symbols with 11 index bits,
// 32 with 8). Building checks it anyway.
constexpr unsigned kLitLenEntries = 2342;
constexpr unsigned kDistEntries = 402;
constexpr unsigned kLitLenSymbols = 288;
constexpr unsigned kDistSymbols = 32;
constexpr unsigned kPrecodeSymbols = 19;

// The longest a length or distance can be: 15-bit codeword plus extra bits.
// After a refill the buffer holds at least 56 bits, enough for one length
// and one distance (20 + 28).
constexpr unsigned kRefilledBits = 56;

// Parts of what each symbol decodes to, before the code lengths are known.
struct SymbolKinds {
  std::uint32_t litLen[kLitLenSymbols] = {};
  std::uint32_t dist[kDistSymbols] = {};
  std::uint32_t precode[kPrecodeSymbols] = {};
};

constexpr SymbolKinds MakeSymbolKinds() {
  constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  constexpr std::uint16_t kDistBase[30] = {
      1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
      193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  SymbolKinds k;
  for (std::uint32_t s = 0; s < 256; ++s) k.litLen[s] = (s << 16) | kLiteral;
  k.litLen[256] = kExceptional | kEndOfBlock;
  for (unsigned s = 0; s < 29; ++s)
    k.litLen[257 + s] = (std::uint32_t{kLengthBase[s]} << 16) | kLengthExtra[s];
  k.litLen[286] = k.litLen[287] = kExceptional;
  for (unsigned s = 0; s < 30; ++s)
    k.dist[s] = (std::uint32_t{kDistBase[s]} << 16) | (s < 4 ? 0u : s / 2 - 1);
  k.dist[30] = k.dist[31] = kExceptional;
  for (std::uint32_t s = 0; s < 16; ++s) k.precode[s] = (s << 16) | kLiteral;
  k.precode[16] = (3u << 16) | kRepeatPrevious | 2;
  k.precode[17] = (3u << 16) | 3;
  k.precode[18] = (11u << 16) | 7;
  return k;
}

constexpr SymbolKinds kSymbols = MakeSymbolKinds();

constexpr std::array<std::uint8_t, 256> MakeByteReversal() {
  std::array<std::uint8_t, 256> r{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned v = 0;
    for (unsigned i = 0; i < 8; ++i) v |= ((b >> i) & 1) << (7 - i);
    r[b] = static_cast<std::uint8_t>(v);
  }
  return r;
}

constexpr std::array<std::uint8_t, 256> kByteReversal = MakeByteReversal();

// The stream sends codewords lowest bit first: a table index is the
// codeword reversed.
constexpr unsigned Reversed(unsigned code, unsigned len) {
  return ((unsigned{kByteReversal[code & 0xFF]} << 8) | kByteReversal[(code >> 8) & 0xFF]) >>
         (16 - len);
}

// Fills `table` for the canonical code given by `lengths` (0 = unused),
// `kinds` telling what each symbol decodes to. Refuses over-subscribed codes
// and incomplete ones, except, where `sparseAllowed`, a code of no symbols
// or of a single one-bit codeword; their unused entries are invalid codes.
constexpr bool BuildTable(const std::uint8_t* lengths, unsigned symbols, const std::uint32_t* kinds,
                          unsigned tableBits, bool sparseAllowed, std::uint32_t* table,
                          unsigned capacity) {
  // The symbols are counted and sorted in four runs side by side, so that
  // a run of equal lengths does not make one long chain of increments of
  // the same counter.
  constexpr unsigned kRuns = 4;
  const unsigned runLength = symbols / kRuns;
  unsigned runCount[kRuns][kMaxCodeLength + 1] = {};
  for (unsigned k = 0; k < runLength; ++k)
    for (unsigned run = 0; run < kRuns; ++run) ++runCount[run][lengths[run * runLength + k]];
  for (unsigned s = kRuns * runLength; s < symbols; ++s) ++runCount[kRuns - 1][lengths[s]];
  unsigned count[kMaxCodeLength + 1] = {};
  for (unsigned len = 0; len <= kMaxCodeLength; ++len)
    for (unsigned run = 0; run < kRuns; ++run) count[len] += runCount[run][len];

  int left = 1;  // codewords still free at the current length
  unsigned used = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    left = 2 * left - static_cast<int>(count[len]);
    if (left < 0) return false;
    used += count[len];
  }
  const unsigned size = 1u << tableBits;
  if (left > 0) {
    if (!sparseAllowed || used > 1 || (used == 1 && count[1] != 1)) return false;
    std::uint32_t entry = kExceptional;
    for (unsigned s = 0; s < symbols; ++s)
      if (lengths[s] != 0) entry = kinds[s] + 1 + (1u << 8);
    for (unsigned i = 0; i < size; ++i) table[i] = i & 1 ? kExceptional : entry;
    return true;
  }

  // Symbols in canonical order: by length (unused ones first), then by
  // value; and the first canonical codeword of each length.
  unsigned runAt[kRuns][kMaxCodeLength + 1] = {};
  unsigned first[kMaxCodeLength + 1] = {};
  for (unsigned len = 0, at = 0, code = 0; len <= kMaxCodeLength; ++len) {
    first[len] = code;
    code = (code + (len == 0 ? 0 : count[len])) << 1;
    for (unsigned run = 0; run < kRuns; ++run) {
      runAt[run][len] = at;
      at += runCount[run][len];
    }
  }
  std::uint16_t sorted[kLitLenSymbols] = {};
  for (unsigned k = 0; k < runLength; ++k) {
    for (unsigned run = 0; run < kRuns; ++run) {
      const unsigned s = run * runLength + k;
      sorted[runAt[run][lengths[s]]++] = static_cast<std::uint16_t>(s);
    }
  }
  for (unsigned s = kRuns * runLength; s < symbols; ++s)
    sorted[runAt[kRuns - 1][lengths[s]]++] = static_cast<std::uint16_t>(s);
  const std::uint16_t* sym = sorted + count[0];

  // Codes of at most tableBits bits go straight into the main table, which
  // is doubled (its entries repeated) each time the length grows.
  unsigned len = 1;
  while (count[len] == 0) ++len;
  if (len > tableBits) return false;  // impossible for a complete code this small
  for (unsigned filled = 1u << len;; ++len) {
    const std::uint32_t bits = len + (len << 8);
    for (unsigned k = 0; k < count[len]; ++k)
      table[Reversed(first[len] + k, len)] = kinds[sym[k]] + bits;
    sym += count[len];
    if (len == tableBits) break;
    std::copy(table, table + filled, table + filled);
    filled <<= 1;
  }

  // Longer codewords: those sharing their first tableBits bits share a
  // subtable, as large as the longest of them needs.
  unsigned next = size;  // where the next subtable goes
  unsigned subPrefix = ~0u, subStart = 0, subEnd = 0;
  for (len = tableBits + 1; len <= kMaxCodeLength; ++len) {
    for (unsigned k = 0; k < count[len]; ++k) {
      const unsigned codeword = Reversed(first[len] + k, len);
      const unsigned prefix = codeword & (size - 1);
      if (prefix != subPrefix) {
        unsigned bits = len - tableBits;
        unsigned room = count[len] - k;
        while (room < (1u << bits) && tableBits + bits < kMaxCodeLength) {
          ++bits;
          room = (room << 1) + count[tableBits + bits];
        }
        if (next + (1u << bits) > capacity) return false;
        table[prefix] = (next << 16) | kExceptional | kSubtable | (bits << 8) | tableBits;
        subPrefix = prefix;
        subStart = next;
        subEnd = next + (1u << bits);
        next = subEnd;
      }
      const unsigned sub = len - tableBits;
      const std::uint32_t entry = kinds[*sym++] + sub + (sub << 8);
      for (unsigned at = subStart + (codeword >> tableBits); at < subEnd; at += 1u << sub)
        table[at] = entry;
    }
  }
  return true;
}

// The fixed code's tables, built by the compiler. Its lengths stay within
// the main tables' index bits, so neither has subtables.
struct FixedTables {
  std::uint32_t litLen[1u << kLitLenBits] = {};
  std::uint32_t dist[1u << kDistBits] = {};
  bool ok = false;
};

constexpr FixedTables MakeFixedTables() {
  FixedTables t;
  std::uint8_t lengths[kLitLenSymbols] = {};
  for (unsigned s = 0; s < kLitLenSymbols; ++s)
    lengths[s] = static_cast<std::uint8_t>(s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8);
  std::uint8_t distLengths[kDistSymbols] = {};
  for (unsigned s = 0; s < kDistSymbols; ++s) distLengths[s] = 5;
  t.ok = BuildTable(lengths, kLitLenSymbols, kSymbols.litLen, kLitLenBits, false, t.litLen,
                    1u << kLitLenBits) &&
         BuildTable(distLengths, kDistSymbols, kSymbols.dist, kDistBits, false, t.dist,
                    1u << kDistBits);
  return t;
}

constexpr FixedTables kFixed = MakeFixedTables();
static_assert(kFixed.ok);

// A dynamic block's tables: left uninitialised, each block fills what it uses.
struct DynamicTables {
  std::uint32_t litLen[kLitLenEntries];
  std::uint32_t dist[kDistEntries];
  std::uint32_t precode[1u << kPrecodeBits];
};

// What an entry decodes to: its base plus the extra bits that followed its
// codeword in `saved`, the bits as they were before the entry was dropped.
inline std::size_t EntryValue(std::uint32_t e, BitBuffer saved) {
  return (e >> 16) +
         static_cast<std::size_t>((saved & ((BitBuffer{1} << (e & 63)) - 1)) >> ((e >> 8) & 15));
}

inline BitBuffer LoadWord(const unsigned char* p) {
  if constexpr (std::endian::native == std::endian::little) {
    BitBuffer v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    BitBuffer v = 0;
    for (unsigned i = 0; i < 8; ++i) v |= BitBuffer{p[i]} << (8 * i);
    return v;
  }
}

inline void StoreWord(unsigned char* p, BitBuffer v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, sizeof v);
  } else {
    for (unsigned i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
  }
}

// The two may overlap (a match from less than 16 bytes back): all 16 bytes
// are read before any is written.
inline void Copy16(unsigned char* dst, const unsigned char* src) { std::memmove(dst, src, 16); }

// The input side: the bit buffer holds `count` bits, lowest first. Near
// the end of the input it is topped up with zero bytes that are not there
// (`overrun` of them); a stream that consumes any of them was cut short.
struct BitReader {
  const unsigned char* in;
  const unsigned char* end;
  BitBuffer bits = 0;
  unsigned count = 0;
  unsigned overrun = 0;

  // Afterwards at least kRefilledBits bits are buffered.
  void Refill() {
    if (end - in >= 8) {
      // Whole bytes only: a partly taken byte is read again next time.
      bits |= LoadWord(in) << count;
      in += (63 - count) >> 3;
      count |= 56;
      return;
    }
    while (count < kRefilledBits) {
      if (in != end) {
        bits |= BitBuffer{*in++} << count;
      } else {
        ++overrun;
      }
      count += 8;
    }
  }
  bool CutShort() const { return overrun * 8 > count; }
  // n <= count.
  unsigned Take(unsigned n) {
    const unsigned v = static_cast<unsigned>(bits & ((BitBuffer{1} << n) - 1));
    bits >>= n;
    count -= n;
    return v;
  }
};

bool CopyStored(BitReader* r, unsigned char** outPtr, unsigned char* room) {
  // The lengths start at the next byte boundary: give back the whole bytes
  // the bit buffer holds and read the rest from the input.
  r->Take(r->count & 7);
  const unsigned buffered = r->count / 8;
  if (r->overrun > buffered) return false;
  r->in -= buffered - r->overrun;
  r->bits = 0;
  r->count = 0;
  r->overrun = 0;
  if (r->end - r->in < 4) return false;
  const unsigned len = r->in[0] | (r->in[1] << 8);
  const unsigned nlen = r->in[2] | (r->in[3] << 8);
  if (len != (~nlen & 0xFFFFu)) return false;
  r->in += 4;
  unsigned char* out = *outPtr;
  if (len > static_cast<std::size_t>(r->end - r->in) || len > static_cast<std::size_t>(room - out))
    return false;
  if (len != 0) std::memcpy(out, r->in, len);
  r->in += len;
  *outPtr = out + len;
  return true;
}

bool ReadDynamicTables(BitReader* r, DynamicTables* t) {
  r->Refill();
  const unsigned litLenCount = r->Take(5) + 257;
  const unsigned distCount = r->Take(5) + 1;
  const unsigned precodeCount = r->Take(4) + 4;
  if (litLenCount > 286 || distCount > 30) return false;

  constexpr std::uint8_t kPrecodeOrder[kPrecodeSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
  std::uint8_t precodeLengths[kPrecodeSymbols] = {};
  for (unsigned i = 0; i < precodeCount; ++i) {
    if (r->count < 3) r->Refill();
    precodeLengths[kPrecodeOrder[i]] = static_cast<std::uint8_t>(r->Take(3));
  }
  if (!BuildTable(precodeLengths, kPrecodeSymbols, kSymbols.precode, kPrecodeBits, false,
                  t->precode, 1u << kPrecodeBits))
    return false;

  // One sequence for both codes: a repeat may run from one into the other.
  // Repeats are written as a whole longest run (the array has room past
  // the end for it); what lies past the run is overwritten next.
  std::uint8_t lengths[286 + 30 + kLongestRepeat];
  const unsigned total = litLenCount + distCount;
  for (unsigned i = 0; i < total;) {
    if (r->count < kPrecodeBits + 7) r->Refill();
    const std::uint32_t e = t->precode[r->bits & ((1u << kPrecodeBits) - 1)];
    const BitBuffer saved = r->bits;
    r->Take(e & 0xFF);
    if (e & kLiteral) {
      lengths[i++] = static_cast<std::uint8_t>(e >> 16);
      continue;
    }
    const std::size_t repeat = EntryValue(e, saved);
    std::uint8_t value = 0;
    if (e & kRepeatPrevious) {
      if (i == 0) return false;
      value = lengths[i - 1];
    }
    if (repeat > total - i) return false;
    std::memset(lengths + i, value, kLongestRepeat);
    i += static_cast<unsigned>(repeat);
  }
  if (r->CutShort() || lengths[256] == 0) return false;
  // A literal/length code of one one-bit codeword (a block of nothing but
  // its end) is taken, as zlib takes it.
  return BuildTable(lengths, litLenCount, kSymbols.litLen, kLitLenBits, true, t->litLen,
                    kLitLenEntries) &&
         BuildTable(lengths + litLenCount, distCount, kSymbols.dist, kDistBits, true, t->dist,
                    kDistEntries);
}

// Room the unchecked loop keeps: two literals, the longest match and the
// words a copy may write past its end; the input for two word refills.
constexpr std::ptrdiff_t kFastOutRoom = 2 + 258 + 16;
constexpr std::ptrdiff_t kFastInRoom = 16;

// Decodes one Huffman block's symbols up to its end of block.
bool DecodeHuffman(BitReader* r, const std::uint32_t* litLen, const std::uint32_t* dist,
                   unsigned char* base, unsigned char** outPtr, unsigned char* room) {
  constexpr BitBuffer kLitLenMask = (1u << kLitLenBits) - 1;
  constexpr BitBuffer kDistMask = (1u << kDistBits) - 1;
  const unsigned char* in = r->in;
  const unsigned char* const inEnd = r->end;
  BitBuffer bits = r->bits;
  unsigned count = r->count;
  unsigned char* out = *outPtr;

  auto refill = [&] {
    bits |= LoadWord(in) << count;
    in += (63 - count) >> 3;
    count |= 56;
  };
  // Drops an entry's bits; returns the bits as they were before.
  auto drop = [&](std::uint32_t e) {
    const BitBuffer saved = bits;
    bits >>= e & 63;
    count -= e & 0xFF;
    return saved;
  };
  auto subtableEntry = [&](const std::uint32_t* table, std::uint32_t link) {
    return table[(link >> 16) + (bits & ((BitBuffer{1} << ((link >> 8) & 15)) - 1))];
  };
  auto finish = [&] {
    r->in = in;
    r->bits = bits;
    r->count = count;
    *outPtr = out;
    return true;
  };

  for (;;) {
    if (inEnd - in >= kFastInRoom && room - out >= kFastOutRoom) {
      // Each entry is looked up before the previous symbol's output is
      // written, so the table load overlaps the copy. A refill leaves at
      // least 56 bits: enough for three literals (11 bits each from the
      // main table) and the next lookup, or two literals and a length (at
      // most 20 bits); a distance (28) and the next lookup get a refill of
      // their own when fewer bits are left.
      refill();
      std::uint32_t e = litLen[bits & kLitLenMask];
      do {
        refill();
        BitBuffer saved = drop(e);
        if (e & kLiteral) {
          unsigned char lit = static_cast<unsigned char>(e >> 16);
          e = litLen[bits & kLitLenMask];
          saved = drop(e);
          *out++ = lit;
          if (e & kLiteral) {
            lit = static_cast<unsigned char>(e >> 16);
            e = litLen[bits & kLitLenMask];
            saved = drop(e);
            *out++ = lit;
            if (e & kLiteral) {
              lit = static_cast<unsigned char>(e >> 16);
              e = litLen[bits & kLitLenMask];
              *out++ = lit;
              continue;
            }
          }
        }
        if (e & kExceptional) {
          if (e & kEndOfBlock) return finish();
          if (!(e & kSubtable)) return false;
          e = subtableEntry(litLen, e);
          saved = drop(e);
          if (e & kLiteral) {
            *out++ = static_cast<unsigned char>(e >> 16);
            e = litLen[bits & kLitLenMask];
            continue;
          }
          if (e & kExceptional) {
            if (e & kEndOfBlock) return finish();
            return false;
          }
        }
        const std::size_t length = EntryValue(e, saved);
        if (count < 28 + kLitLenBits) refill();
        e = dist[bits & kDistMask];
        if (e & kExceptional) {
          if (!(e & kSubtable)) return false;
          drop(e);
          e = subtableEntry(dist, e);
          if (e & kExceptional) return false;
        }
        saved = drop(e);
        const std::size_t distance = EntryValue(e, saved);
        if (distance > static_cast<std::size_t>(out - base)) return false;
        unsigned char* dst = out;
        const unsigned char* src = out - distance;
        out += length;
        e = litLen[bits & kLitLenMask];
        // Copies go by 16-byte words and may run past the match, into room
        // that later output overwrites. A load that straddles recent
        // stores waits for them to land, so a match from less than 16
        // bytes back goes one period at a time, each word read back just
        // as it was stored. Two words are copied whatever the length, which
        // covers most matches without a branch that could go either way.
        if (distance == 1) {
          const BitBuffer v = BitBuffer{*src} * 0x0101010101010101u;
          do {
            StoreWord(dst, v);
            StoreWord(dst + 8, v);
            dst += 16;
          } while (dst < out);
        } else {
          const std::size_t stride = distance < 16 ? distance : 16;
          Copy16(dst, src);
          Copy16(dst + stride, src + stride);
          if (length > 2 * stride) {
            dst += 2 * stride;
            src += 2 * stride;
            do {
              Copy16(dst, src);
              dst += stride;
              src += stride;
            } while (dst < out);
          }
        }
      } while (inEnd - in >= kFastInRoom && room - out >= kFastOutRoom);
    }

    // Near the end of the input or of the room: every step checked.
    r->in = in;
    r->bits = bits;
    r->count = count;
    r->Refill();
    in = r->in;
    bits = r->bits;
    count = r->count;
    std::uint32_t e = litLen[bits & kLitLenMask];
    if (e & kSubtable) {
      drop(e);
      e = subtableEntry(litLen, e);
    }
    BitBuffer saved = drop(e);
    if (e & kLiteral) {
      if (out == room) return false;
      *out++ = static_cast<unsigned char>(e >> 16);
      continue;
    }
    if (e & kExceptional) return (e & kEndOfBlock) && finish();
    const std::size_t length = EntryValue(e, saved);
    e = dist[bits & kDistMask];
    if (e & kSubtable) {
      drop(e);
      e = subtableEntry(dist, e);
    }
    if (e & kExceptional) return false;
    saved = drop(e);
    const std::size_t distance = EntryValue(e, saved);
    if (distance > static_cast<std::size_t>(out - base) ||
        length > static_cast<std::size_t>(room - out))
      return false;
    const unsigned char* src = out - distance;
    for (std::size_t k = 0; k < length; ++k) out[k] = src[k];
    out += length;
  }
}

}  // namespace

bool InflateRaw(const unsigned char* in, std::size_t inSize, unsigned char* out,
                std::size_t outBegin, std::size_t outEnd, std::size_t roomEnd) {
  BitReader r{in, in + inSize};
  unsigned char* at = out + outBegin;
  unsigned char* const end = out + outEnd;
  unsigned char* const room = out + roomEnd;
  DynamicTables dynamic;
  for (bool final = false; !final;) {
    r.Refill();
    if (r.CutShort()) return false;
    const unsigned header = r.Take(3);
    final = (header & 1) != 0;
    switch (header >> 1) {
      case 0:
        if (!CopyStored(&r, &at, room)) return false;
        break;
      case 1:
        if (!DecodeHuffman(&r, kFixed.litLen, kFixed.dist, out, &at, room)) return false;
        break;
      case 2:
        if (!ReadDynamicTables(&r, &dynamic) ||
            !DecodeHuffman(&r, dynamic.litLen, dynamic.dist, out, &at, room))
          return false;
        break;
      default: return false;
    }
  }
  return !r.CutShort() && at == end;
}

}  // namespace engine::xfile
