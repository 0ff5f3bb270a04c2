// The .x file syntax: header, MSZIP decompression, the text and binary token
// streams, and the generic object tree they describe.
//
// Every object keeps its data members as one flat list of values (numbers and
// strings, in file order, separators dropped) and its child objects and
// references in file order. Templates are skipped. The values of all objects
// live in one array of the document (an object's list is a view into it),
// and names, types and strings are views into the file's bytes (or the
// document's decompressed copy): the data handed to ParseDocument must
// outlive the document. The readers of known object
// types (xscene.cpp) consume the values with a cursor, so counts in the data
// drive parsing and "," / ";" never matter.
//
// Positions: in text files a position is a line number; in binary files a
// byte offset (into the decompressed body for compressed files).
// Describe() turns one into words for messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine::xfile {

// Deepest nesting of objects a file may have.
inline constexpr int kMaxDepth = 64;
// Largest decompressed body a compressed file may expand to.
inline constexpr std::size_t kMaxInflatedBytes = 64u * 1024u * 1024u;

// std::bit_cast, which the browser build's standard library lacks.
template <class To, class From>
To BitCast(const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

// Files of this size or more are refused: a value keeps its position in 29
// bits.
inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 29;

// What a value is, as its readers will take it. A number is sorted when it
// is read, so reading it back as a float or a whole number is one test.
enum class ValueKind : std::uint8_t {
  Float,    // exactly this float (`bits`); a whole number too when it is one
  Rounded,  // a number no float holds, rounded to the nearest one: never whole
  Integer,  // a whole number from 0 to 2^32 - 1 (`bits`)
  Huge,     // infinite, not a number, or beyond the float range
  String,   // `bits` indexes Document::strings
};

// 8 bytes: the number (or string index) and, packed together, its kind and
// position. Left uninitialised by default: the parser fills values in bulk.
struct Value {
  std::uint32_t bits;
  std::uint32_t posAndKind;

  ValueKind kind() const { return static_cast<ValueKind>(posAndKind & 7u); }
  std::uint32_t pos() const { return posAndKind >> 3; }
  // A number (Float, Rounded or Integer) as a float reads it.
  float AsFloat() const {
    const float asInteger = static_cast<float>(bits);
    return kind() == ValueKind::Integer ? asInteger : BitCast<float>(bits);
  }

  static Value Make(ValueKind kind, std::uint32_t bits, std::uint32_t pos) {
    return Value{bits, (pos << 3) | static_cast<std::uint32_t>(kind)};
  }
  // Sorts a number read from the file.
  static Value FromNumber(double number, std::uint32_t pos);
};

// An allocator whose elements are default-initialised: a buffer that grows
// right before it is filled is not cleared first.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <class U>
  UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0) {
      ::new (static_cast<void*>(p)) U;
    } else {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  }
};

using ByteBuffer = std::vector<unsigned char, UninitializedAllocator<unsigned char>>;
using ValueBuffer = std::vector<Value, UninitializedAllocator<Value>>;

struct Object {
  std::string_view type;  // empty for a reference
  std::string_view name;  // object name, or the referenced name
  std::string guid;       // without the angle brackets
  std::uint32_t pos = 0;
  bool isReference = false;
  std::span<const Value> values;
  std::vector<Object> children;
  // Where `values` lies in Document::values while the file is parsed.
  std::size_t valuesBegin = 0, valuesEnd = 0;
};

struct Document {
  std::string file;    // for messages
  std::string format;  // "txt ", "bin ", "tzip" or "bzip"
  int floatBits = 32;
  bool binary = false;
  bool compressed = false;
  std::vector<Object> objects;  // top level, file order
  ValueBuffer values;           // every object's values, object by object
  std::vector<std::string_view> strings;
  ByteBuffer inflated;  // the body of a compressed file

  // "<file> line 12" or "<file> byte offset 345".
  std::string Describe(std::uint32_t pos) const;
};

// Parses a whole file. On failure returns false with a message naming the
// file and the place.
bool ParseDocument(const unsigned char* data, std::size_t size, const std::string& file,
                   Document* doc, std::string* error);

// Inflates an MSZIP body (everything after the 16-byte header) with the
// decoder of inflate.h, each block straight into its place in `out`.
// Exposed for tests and benchmarks.
bool InflateMsZip(const unsigned char* data, std::size_t size, ByteBuffer* out, std::string* error);

}  // namespace engine::xfile
