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
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::xfile {

// Deepest nesting of objects a file may have.
inline constexpr int kMaxDepth = 64;
// Largest decompressed body a compressed file may expand to.
inline constexpr std::size_t kMaxInflatedBytes = 64u * 1024u * 1024u;

enum class ValueKind : std::uint8_t { Integer, Float, String };

// 16 bytes: a String value keeps its index into Document::strings in
// `number`.
struct Value {
  double number = 0;
  std::uint32_t pos = 0;
  ValueKind kind = ValueKind::Integer;
};

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
  std::vector<Value> values;    // every object's values, object by object
  std::vector<std::string_view> strings;
  std::vector<unsigned char> inflated;  // the body of a compressed file

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
bool InflateMsZip(const unsigned char* data, std::size_t size, std::vector<unsigned char>* out,
                  std::string* error);

}  // namespace platform::xfile
