// Raw DEFLATE decoding (RFC 1951: stored, fixed and dynamic Huffman blocks)
// for the MSZIP blocks of compressed .x files.
//
// InflateRaw decodes one whole stream, up to the end of its final block,
// straight into its place out[outBegin, outEnd) of a buffer the caller sized
// beforehand. Its back-references may reach up to 32768 bytes behind the
// write position, into the output of earlier blocks, which so acts as the
// dictionary without being copied; never before the start of the buffer.
// out[outEnd, roomEnd) is scratch: the decoder writes whole words and may
// run into it (the next block's output overwrites it), which keeps it on
// its fast path up to the block's last byte.
//
// It succeeds only when the stream ends having written exactly out[outBegin,
// outEnd). Anything else -- a bad block type, a stored length that disagrees
// with its complement, an over-subscribed code, an incomplete one (taken, as
// zlib takes them, only for a code of one one-bit codeword and for a distance
// code of none), code lengths repeated past their count or with nothing to
// repeat, a literal/length code without an end of block, the symbols 286/287
// or distances 30/31, a distance before the start of the buffer, more output
// than outEnd, the input ending before the final block does -- returns false.
// Whatever the input, it reads only the input and out[0, roomEnd), writes
// only out[outBegin, roomEnd), allocates nothing and always terminates; on
// failure the bytes it wrote are unspecified.
#pragma once

#include <cstddef>

namespace engine::xfile {

// Largest distance a DEFLATE back-reference can express.
inline constexpr std::size_t kInflateWindow = 32768;

// outBegin <= outEnd <= roomEnd.
bool InflateRaw(const unsigned char* in, std::size_t inSize, unsigned char* out,
                std::size_t outBegin, std::size_t outEnd, std::size_t roomEnd);

}  // namespace engine::xfile
