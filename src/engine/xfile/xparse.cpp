// Tokenizers (text and binary), MSZIP decompression and the generic object
// tree of .x files.
#include "engine/xfile/xparse.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "engine/xfile/inflate.h"

namespace engine::xfile {

Value Value::FromNumber(double number, std::uint32_t pos) {
  if (number >= 0 && number <= 4294967295.0 && !std::signbit(number)) {
    const auto whole = static_cast<std::uint32_t>(number);
    if (static_cast<double>(whole) == number) return Make(ValueKind::Integer, whole, pos);
  }
  if (!(std::fabs(number) <= static_cast<double>(std::numeric_limits<float>::max())))
    return Make(ValueKind::Huge, 0, pos);
  const auto f = static_cast<float>(number);
  return Make(static_cast<double>(f) == number ? ValueKind::Float : ValueKind::Rounded,
              BitCast<std::uint32_t>(f), pos);
}

std::string Document::Describe(std::uint32_t pos) const {
  if (!binary) return file + " line " + std::to_string(pos);
  return file + (compressed ? " byte offset " + std::to_string(pos) + " of the decompressed data"
                            : " byte offset " + std::to_string(pos));
}

namespace {

// std::from_chars for a double, where the standard library has it. The
// browser's (libc++ 13) has not: there strtod reads a bounded copy, with the
// spellings only strtod takes (hexadecimal, inf, nan) refused, so both read
// the same numbers. (The browser's C library knows only the "C" locale.)
struct DoubleParse {
  const char* ptr;
  std::errc ec;
};
DoubleParse DoubleFromChars(const char* begin, const char* end, double* value) {
#if defined(__cpp_lib_to_chars)
  const auto r = std::from_chars(begin, end, *value);
  return {r.ptr, r.ec};
#else
  for (const char* q = begin; q < end; ++q) {
    const char c = static_cast<char>(*q | 0x20);
    if (c == 'x' || c == 'n' || c == 'i') return {begin, std::errc::invalid_argument};
  }
  const std::string text(begin, end);
  char* stop = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &stop);
  const std::size_t used = static_cast<std::size_t>(stop - text.c_str());
  if (used == 0) return {begin, std::errc::invalid_argument};
  if (errno == ERANGE && std::isinf(v)) return {begin + used, std::errc::result_out_of_range};
  *value = v;
  return {begin + used, std::errc()};
#endif
}

std::uint16_t ReadU16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t ReadU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

enum class Tok : std::uint8_t {
  End,
  Name,
  String,
  Integer,
  Float,
  IntList,
  FloatList,
  Guid,
  OBrace,
  CBrace,
  Separator,
  Template,
  Other,
};

struct Token {
  Tok kind = Tok::End;
  std::uint32_t pos = 0;
  std::string_view text;
  double number = 0;
  const unsigned char* list = nullptr;
  std::uint32_t count = 0;
};

const char* TokName(Tok t) {
  switch (t) {
    case Tok::End: return "the end of the file";
    case Tok::Name: return "a name";
    case Tok::String: return "a string";
    case Tok::Integer: return "an integer";
    case Tok::Float: return "a number";
    case Tok::IntList: return "an integer list";
    case Tok::FloatList: return "a number list";
    case Tok::Guid: return "a GUID";
    case Tok::OBrace: return "'{'";
    case Tok::CBrace: return "'}'";
    case Tok::Separator: return "a separator";
    case Tok::Template: return "'template'";
    case Tok::Other: return "a template-only token";
  }
  return "a token";
}

// What a byte of a text file may be, looked up once per byte.
enum CharClass : std::uint8_t {
  kSpace = 1,     // blank: skipped between tokens
  kEndsWord = 2,  // ends a name or a number (blanks, punctuation, '#')
  kNameChar = 4,  // may appear in a name
  kDigit = 8,
};

struct CharTable {
  std::uint8_t c[256] = {};
  constexpr CharTable() {
    for (const unsigned char b : {' ', '\t', '\r', '\n', '\f', '\v'}) c[b] |= kSpace | kEndsWord;
    for (const unsigned char b : {'{', '}', '(', ')', '[', ']', ',', ';', '<', '>', '"', '#'})
      c[b] |= kEndsWord;
    for (int b = 'a'; b <= 'z'; ++b) c[b] |= kNameChar;
    for (int b = 'A'; b <= 'Z'; ++b) c[b] |= kNameChar;
    for (int b = '0'; b <= '9'; ++b) c[b] |= kNameChar | kDigit;
    for (const unsigned char b : {'_', '-', '.'}) c[b] |= kNameChar;
    for (int b = 0x80; b < 256; ++b) c[b] |= kNameChar;
  }
};
constexpr CharTable kChars;

bool IsNameChar(unsigned char c) { return (kChars.c[c] & kNameChar) != 0; }
bool EndsWord(unsigned char c) { return (kChars.c[c] & kEndsWord) != 0; }
bool IsDigit(unsigned char c) { return (kChars.c[c] & kDigit) != 0; }

// Powers of ten a double holds exactly.
constexpr double kExactPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common number forms, -12, 0.5 or 1.25e-3, read in one pass: when the
// digits fit 2^53 and the power of ten is exact, one multiplication or
// division rounds correctly, giving what std::from_chars gives. Returns the
// end of the number, or null when the word needs the general path (more
// digits, a large exponent, or a form this does not take).
const unsigned char* FastNumber(const unsigned char* p, const unsigned char* end, double* out,
                                bool* integer) {
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  if (p >= end || !IsDigit(*p)) return nullptr;
  std::uint64_t mantissa = 0;
  int digits = 0, scale = 0;
  while (p < end && IsDigit(*p)) {
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    if (mantissa != 0) ++digits;
    ++p;
  }
  *integer = true;
  if (p < end && *p == '.') {
    *integer = false;
    ++p;
    while (p < end && IsDigit(*p)) {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      if (mantissa != 0) ++digits;
      --scale;
      ++p;
    }
  }
  if (p < end && (*p == 'e' || *p == 'E')) {
    *integer = false;
    ++p;
    bool negativeExp = false;
    if (p < end && (*p == '-' || *p == '+')) negativeExp = *p++ == '-';
    if (p >= end || !IsDigit(*p)) return nullptr;
    int e = 0;
    while (p < end && IsDigit(*p)) {
      if (e < 10000) e = e * 10 + (*p - '0');
      ++p;
    }
    scale += negativeExp ? -e : e;
  }
  if (digits > 15 || mantissa > (std::uint64_t{1} << 53) || scale < -22 || scale > 22)
    return nullptr;
  double v = static_cast<double>(mantissa);
  v = scale < 0 ? v / kExactPowers[-scale] : v * kExactPowers[scale];
  *out = negative ? -v : v;
  return p;
}

class Parser {
 public:
  Parser(const unsigned char* data, std::size_t size, Document* doc, std::string* error)
      : begin_(data), p_(data), end_(data + size), doc_(doc), error_(error) {}

  bool Run() {
    Token t;
    for (;;) {
      if (!Next(&t)) return false;
      switch (t.kind) {
        case Tok::End: return true;
        case Tok::Template:
          if (!SkipTemplate(t)) return false;
          break;
        case Tok::Name: {
          doc_->objects.emplace_back();
          if (!ParseObject(t, 1, &doc_->objects.back())) return false;
          break;
        }
        case Tok::Separator: break;
        default: return Fail(t.pos, std::string("expected an object, found ") + TokName(t.kind));
      }
    }
  }

 private:
  bool Fail(std::uint32_t pos, const std::string& what) {
    if (error_) *error_ = doc_->Describe(pos) + ": " + what;
    return false;
  }

  // Binary positions are offsets into the file (into the decompressed data
  // for compressed files, whose header is not part of it).
  std::uint32_t Offset() const {
    return static_cast<std::uint32_t>(p_ - begin_) + (doc_->compressed ? 0u : 16u);
  }

  bool Next(Token* t) { return doc_->binary ? NextBinary(t) : NextText(t); }

  // ---- text ----
  bool NextText(Token* t) {
    for (;;) {
      while (p_ < end_ && (kChars.c[*p_] & kSpace)) {
        if (*p_ == '\n') ++line_;
        ++p_;
      }
      if (p_ < end_ && (*p_ == '#' || (*p_ == '/' && p_ + 1 < end_ && p_[1] == '/'))) {
        while (p_ < end_ && *p_ != '\n') ++p_;
        continue;
      }
      break;
    }
    t->pos = line_;
    if (p_ >= end_) {
      t->kind = Tok::End;
      return true;
    }
    const unsigned char c = *p_;
    switch (c) {
      case '{':
        ++p_;
        t->kind = Tok::OBrace;
        return true;
      case '}':
        ++p_;
        t->kind = Tok::CBrace;
        return true;
      case ',':
      case ';':
        ++p_;
        t->kind = Tok::Separator;
        return true;
      case '(':
      case ')':
      case '[':
      case ']':
        ++p_;
        t->kind = Tok::Other;
        return true;
      case '<': {
        const unsigned char* s = ++p_;
        while (p_ < end_ && *p_ != '>' && *p_ != '\n') ++p_;
        if (p_ >= end_ || *p_ != '>') return Fail(line_, "unterminated GUID");
        t->kind = Tok::Guid;
        t->text =
            std::string_view(reinterpret_cast<const char*>(s), static_cast<std::size_t>(p_ - s));
        ++p_;
        return true;
      }
      case '"': {
        const std::uint32_t startLine = line_;
        const unsigned char* s = ++p_;
        while (p_ < end_ && *p_ != '"') {
          if (*p_ == '\n') ++line_;
          ++p_;
        }
        if (p_ >= end_) return Fail(startLine, "unterminated string");
        t->kind = Tok::String;
        t->pos = startLine;
        t->text =
            std::string_view(reinterpret_cast<const char*>(s), static_cast<std::size_t>(p_ - s));
        ++p_;
        return true;
      }
      default: break;
    }
    if (IsDigit(c) || c == '-') {
      // Most words of a mesh are plain numbers: read them without scanning
      // the word first. Anything odd about one takes the general path below.
      bool integer = true;
      double v = 0;
      const unsigned char* e = FastNumber(p_, end_, &v, &integer);
      if (e && (e == end_ || EndsWord(*e) || (*e == '/' && e + 1 < end_ && e[1] == '/'))) {
        p_ = e;
        t->kind = integer ? Tok::Integer : Tok::Float;
        t->number = v;
        return true;
      }
    }
    const unsigned char* s = p_;
    while (p_ < end_ && !EndsWord(*p_) && !(*p_ == '/' && p_ + 1 < end_ && p_[1] == '/')) ++p_;
    if (p_ == s) {
      char buf[48];
      std::snprintf(buf, sizeof buf, "unexpected character 0x%02X", c);
      return Fail(line_, buf);
    }
    const char* ws = reinterpret_cast<const char*>(s);
    const char* we = reinterpret_cast<const char*>(p_);
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
      const char* numStart = (c == '+') ? ws + 1 : ws;
      double v = 0;
      auto [ptr, ec] = DoubleFromChars(numStart, we, &v);
      if (ec == std::errc() && ptr == we) {
        if (!std::isfinite(v)) return Fail(line_, "number out of range");
        bool integer = true;
        for (const char* q = ws; q < we; ++q)
          if (*q == '.' || *q == 'e' || *q == 'E') integer = false;
        t->kind = integer ? Tok::Integer : Tok::Float;
        t->number = v;
        return true;
      }
      if (ec == std::errc::result_out_of_range) return Fail(line_, "number out of range");
    }
    for (const char* q = ws; q < we; ++q) {
      if (!IsNameChar(static_cast<unsigned char>(*q))) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "unexpected character 0x%02X",
                      static_cast<unsigned char>(*q));
        return Fail(line_, buf);
      }
    }
    t->text = std::string_view(ws, static_cast<std::size_t>(we - ws));
    t->kind = (t->text == "template") ? Tok::Template : Tok::Name;
    return true;
  }

  // ---- binary ----
  bool Need(std::size_t bytes, std::uint32_t pos, const char* what) {
    if (static_cast<std::size_t>(end_ - p_) < bytes)
      return Fail(pos, std::string("truncated ") + what);
    return true;
  }

  bool NextBinary(Token* t) {
    t->pos = Offset();
    if (p_ >= end_) {
      t->kind = Tok::End;
      return true;
    }
    if (!Need(2, t->pos, "token")) return false;
    const std::uint16_t id = ReadU16(p_);
    p_ += 2;
    switch (id) {
      case 1: {  // NAME
        if (!Need(4, t->pos, "name")) return false;
        const std::uint32_t len = ReadU32(p_);
        p_ += 4;
        if (!Need(len, t->pos, "name")) return false;
        t->kind = Tok::Name;
        t->text = std::string_view(reinterpret_cast<const char*>(p_), len);
        p_ += len;
        if (t->text == "template") t->kind = Tok::Template;
        return true;
      }
      case 2: {  // STRING, then its terminator token
        if (!Need(4, t->pos, "string")) return false;
        const std::uint32_t len = ReadU32(p_);
        p_ += 4;
        if (!Need(len, t->pos, "string")) return false;
        t->kind = Tok::String;
        t->text = std::string_view(reinterpret_cast<const char*>(p_), len);
        p_ += len;
        if (end_ - p_ >= 2) {
          const std::uint16_t term = ReadU16(p_);
          if (term == 0x13 || term == 0x14) p_ += 2;
        }
        return true;
      }
      case 3: {  // INTEGER
        if (!Need(4, t->pos, "integer")) return false;
        t->kind = Tok::Integer;
        t->number = ReadU32(p_);
        p_ += 4;
        return true;
      }
      case 5: {  // GUID
        if (!Need(16, t->pos, "GUID")) return false;
        char buf[40];
        std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                      ReadU32(p_), ReadU16(p_ + 4), ReadU16(p_ + 6), p_[8], p_[9], p_[10], p_[11],
                      p_[12], p_[13], p_[14], p_[15]);
        guidText_ = buf;
        t->kind = Tok::Guid;
        t->text = guidText_;
        p_ += 16;
        return true;
      }
      case 6:    // INTEGER_LIST
      case 7: {  // FLOAT_LIST
        if (!Need(4, t->pos, "list")) return false;
        const std::uint32_t count = ReadU32(p_);
        p_ += 4;
        const std::size_t width = (id == 6) ? 4 : static_cast<std::size_t>(doc_->floatBits / 8);
        if (static_cast<std::size_t>(end_ - p_) / width < count)
          return Fail(t->pos, "list of " + std::to_string(count) +
                                  " values is longer than the rest of the file");
        t->kind = (id == 6) ? Tok::IntList : Tok::FloatList;
        t->list = p_;
        t->count = count;
        p_ += count * width;
        return true;
      }
      case 0x0A: t->kind = Tok::OBrace; return true;
      case 0x0B: t->kind = Tok::CBrace; return true;
      case 0x13:
      case 0x14: t->kind = Tok::Separator; return true;
      case 0x0C:
      case 0x0D:
      case 0x0E:
      case 0x0F:
      case 0x10:
      case 0x11:
      case 0x12: t->kind = Tok::Other; return true;
      case 0x1F: t->kind = Tok::Template; return true;
      default:
        if (id >= 0x28 && id <= 0x34) {
          t->kind = Tok::Other;
          return true;
        }
        {
          char buf[48];
          std::snprintf(buf, sizeof buf, "unknown token 0x%04X", id);
          return Fail(t->pos, buf);
        }
    }
  }

  // ---- structure ----
  bool SkipTemplate(const Token& start) {
    Token t;
    int depth = 0;
    for (;;) {
      if (!Next(&t)) return false;
      if (t.kind == Tok::End) return Fail(start.pos, "template is never closed");
      if (t.kind == Tok::OBrace) {
        ++depth;
      } else if (t.kind == Tok::CBrace) {
        if (--depth <= 0) return true;
      }
      if (depth > kMaxDepth) return Fail(t.pos, "template nested too deeply");
    }
  }

  void PushList(const Token& t) {
    ValueBuffer& values = doc_->values;
    const std::size_t n = t.count, at = values.size();
    values.resize(at + n);
    Value* out = values.data() + at;
    if (t.kind == Tok::IntList) {
      for (std::size_t i = 0; i < n; ++i)
        out[i] = Value::Make(ValueKind::Integer, ReadU32(t.list + 4 * i), t.pos);
    } else if (doc_->floatBits == 64) {
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t bits = ReadU32(t.list + 8 * i) |
                                   (static_cast<std::uint64_t>(ReadU32(t.list + 8 * i + 4)) << 32);
        out[i] = Value::FromNumber(BitCast<double>(bits), t.pos);
      }
    } else {
      // A float is kept as it is, unless it is infinite or not a number.
      constexpr std::uint32_t kExponent = 0x7F800000;
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t bits = ReadU32(t.list + 4 * i);
        const ValueKind kind = (bits & kExponent) == kExponent ? ValueKind::Huge : ValueKind::Float;
        out[i] = Value::Make(kind, bits, t.pos);
      }
    }
  }

  // The optional name and GUID that follow an object's type or a reference's
  // opening brace; leaves the first token after them in *t.
  bool ReadNameAndGuid(Object* o, Token* t) {
    if (!Next(t)) return false;
    if (t->kind == Tok::Name) {
      o->name = t->text;
      if (!Next(t)) return false;
    }
    if (t->kind == Tok::Guid) {
      o->guid.assign(t->text);
      if (!Next(t)) return false;
    }
    return true;
  }

  bool ParseReference(const Token& open, Object* o) {
    o->isReference = true;
    o->pos = open.pos;
    Token t;
    if (!ReadNameAndGuid(o, &t)) return false;
    if (t.kind != Tok::CBrace)
      return Fail(t.pos,
                  std::string("expected '}' to close a reference, found ") + TokName(t.kind));
    if (o->name.empty() && o->guid.empty()) return Fail(open.pos, "empty reference");
    return true;
  }

  bool ParseObject(const Token& typeTok, int depth, Object* o) {
    if (depth > kMaxDepth)
      return Fail(typeTok.pos, "objects nested more than " + std::to_string(kMaxDepth) + " deep");
    o->type = typeTok.text;
    o->pos = typeTok.pos;
    Token t;
    if (!ReadNameAndGuid(o, &t)) return false;
    if (t.kind != Tok::OBrace)
      return Fail(t.pos,
                  "expected '{' after '" + std::string(o->type) + "', found " + TokName(t.kind));
    // The object's values go to the end of the document's array as they
    // come. Values after a child object continue in a new run; an object
    // with several runs (rare) has them copied together when it closes.
    ValueBuffer& values = doc_->values;
    std::size_t runStart = values.size();
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (;;) {
      if (!Next(&t)) return false;
      switch (t.kind) {
        case Tok::Integer:
        case Tok::Float: values.push_back(Value::FromNumber(t.number, t.pos)); break;
        case Tok::String: {
          values.push_back(Value::Make(ValueKind::String,
                                       static_cast<std::uint32_t>(doc_->strings.size()), t.pos));
          doc_->strings.push_back(t.text);
          break;
        }
        case Tok::IntList:
        case Tok::FloatList: PushList(t); break;
        case Tok::Separator: break;
        case Tok::Guid:
          if (o->guid.empty() && values.size() == runStart && runs.empty() && o->children.empty())
            o->guid.assign(t.text);
          break;
        case Tok::Name:
        case Tok::OBrace: {
          if (values.size() > runStart) runs.emplace_back(runStart, values.size());
          o->children.emplace_back();
          const bool ok = t.kind == Tok::Name ? ParseObject(t, depth + 1, &o->children.back())
                                              : ParseReference(t, &o->children.back());
          if (!ok) return false;
          runStart = values.size();
          break;
        }
        case Tok::CBrace: {
          if (values.size() > runStart) runs.emplace_back(runStart, values.size());
          if (runs.size() == 1) {
            o->valuesBegin = runs[0].first;
            o->valuesEnd = runs[0].second;
          } else if (runs.size() > 1) {
            o->valuesBegin = values.size();
            for (const auto& [b, e] : runs)
              for (std::size_t i = b; i < e; ++i) values.push_back(values[i]);
            o->valuesEnd = values.size();
          }
          return true;
        }
        case Tok::End:
          return Fail(t.pos, "the file ends inside '" + std::string(o->type) + "' opened at " +
                                 doc_->Describe(o->pos));
        case Tok::Template:
        case Tok::Other:
          return Fail(t.pos, std::string("unexpected ") + TokName(t.kind) + " inside '" +
                                 std::string(o->type) + "'");
      }
    }
  }

  const unsigned char* begin_;
  const unsigned char* p_;
  const unsigned char* end_;
  Document* doc_;
  std::string* error_;
  std::uint32_t line_ = 1;
  std::string guidText_;
};

}  // namespace

bool InflateMsZip(const unsigned char* data, std::size_t size, ByteBuffer* out,
                  std::string* error) {
  auto fail = [&](std::size_t offset, const std::string& what) {
    if (error) *error = "byte offset " + std::to_string(offset + 16) + ": " + what;
    return false;
  };
  out->clear();
  if (size < 4) return fail(0, "compressed file has no size field");
  const std::uint32_t total = ReadU32(data);
  if (total < 16) return fail(0, "compressed file declares an impossible size");
  const std::size_t expected = total - 16u;
  if (expected > kMaxInflatedBytes) return fail(0, "compressed file declares more than 64 MB");
  // The blocks inflate one after another into the one buffer, so each
  // finds the output of those before it, its dictionary, right behind it.
  // The buffer is reserved once, for no more than the blocks' headers
  // claim (a file that only declares a large size costs little), and grows
  // block by block, a little past the block being inflated: scratch the
  // decoder may write into.
  constexpr std::size_t kScratch = 512;
  std::size_t claimed = 0;
  for (std::size_t at = 4; at + 4 <= size && claimed < expected; at += 4u + ReadU16(data + at + 2))
    claimed += ReadU16(data + at);
  out->reserve(std::min(expected, claimed));
  std::size_t written = 0;
  std::size_t off = 4;
  int block = 0;
  while (off < size) {
    if (size - off < 6) return fail(off, "truncated block header");
    const std::uint16_t raw = ReadU16(data + off);
    const std::uint16_t packed = ReadU16(data + off + 2);
    if (packed < 2 || packed > size - off - 4)
      return fail(off, "block " + std::to_string(block) + " is longer than the file");
    if (data[off + 4] != 'C' || data[off + 5] != 'K')
      return fail(off + 4, "block " + std::to_string(block) + " lacks its 'CK' signature");
    if (written + raw > expected) return fail(off, "blocks inflate to more than the declared size");
    const std::size_t room = std::min(expected, written + raw + kScratch);
    if (out->size() < room) out->resize(room);
    if (!InflateRaw(data + off + 6, packed - 2u, out->data(), written, written + raw, room))
      return fail(off, "block " + std::to_string(block) + " is corrupt");
    written += raw;
    off += 4u + packed;
    ++block;
  }
  out->resize(written);
  if (out->size() != expected)
    return fail(off, "decompressed " + std::to_string(out->size()) + " bytes, the file declares " +
                         std::to_string(expected));
  return true;
}

namespace {

// Beyond this many values (128 MB) the array grows as it fills instead.
constexpr std::size_t kValueReserveCap = std::size_t{1} << 24;

// Turns every object's place in the value array into its view.
void LinkValues(const Document& doc, Object* o) {
  o->values =
      std::span<const Value>(doc.values.data() + o->valuesBegin, o->valuesEnd - o->valuesBegin);
  for (Object& c : o->children) LinkValues(doc, &c);
}

}  // namespace

bool ParseDocument(const unsigned char* data, std::size_t size, const std::string& file,
                   Document* doc, std::string* error) {
  doc->file = file;
  doc->objects.clear();
  doc->values.clear();
  doc->strings.clear();
  doc->inflated.clear();
  auto fail = [&](const std::string& what) {
    if (error) *error = file + ": " + what;
    return false;
  };
  if (size < 16) return fail("too short for a .x header (" + std::to_string(size) + " bytes)");
  if (size >= kMaxFileBytes) return fail("larger than 512 MB");
  if (std::memcmp(data, "xof ", 4) != 0) return fail("not a .x file (no 'xof ' signature)");
  for (int i = 4; i < 8; ++i)
    if (data[i] < '0' || data[i] > '9') return fail("bad version in the header");
  if (data[4] != '0' || data[5] != '3') return fail("unsupported major version");
  const std::string format(reinterpret_cast<const char*>(data + 8), 4);
  const std::string floats(reinterpret_cast<const char*>(data + 12), 4);
  if (format != "txt " && format != "bin " && format != "tzip" && format != "bzip")
    return fail("unknown format '" + format + "'");
  if (floats != "0032" && floats != "0064") return fail("unknown float size '" + floats + "'");
  doc->format = format;
  doc->floatBits = floats == "0064" ? 64 : 32;
  doc->binary = format == "bin " || format == "bzip";
  doc->compressed = format == "tzip" || format == "bzip";

  const unsigned char* body = data + 16;
  std::size_t bodySize = size - 16;
  if (doc->compressed) {
    std::string why;
    if (!InflateMsZip(body, bodySize, &doc->inflated, &why)) return fail(why);
    body = doc->inflated.data();
    bodySize = doc->inflated.size();
  }
  // Room for every value the body could hold (a text value takes two bytes
  // at least, a binary one four), so the array never moves while it fills;
  // pages never written cost nothing.
  doc->values.reserve(
      std::min<std::size_t>(bodySize / (doc->binary ? 4 : 2) + 16, kValueReserveCap));
  Parser parser(body, bodySize, doc, error);
  if (!parser.Run()) return false;
  for (Object& o : doc->objects) LinkValues(*doc, &o);
  return true;
}

}  // namespace engine::xfile
