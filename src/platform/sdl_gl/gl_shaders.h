// Shader generation for the GL device.
//
// Each draw runs a program made for the state that decides its code: screen
// or transformed vertices, the number of blend weights, lighting, where the
// diffuse colour comes from, whether the texture is read and how, and the
// alpha comparison. llvmpipe turns every branch on a uniform into code run
// for every vertex and every pixel, so the variants hold none; everything
// else (matrices, colours, the alpha reference) stays a uniform. Programs
// are built the first time their state is drawn with and kept.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/sdl_gl/gl_api.h"

namespace platform::sdl_gl {

// How far vertices move to put pixel centres on integer coordinates.
inline constexpr float kPixelCentreShift = 0.5f;
// How far right and down of the pixel centre point sampling reads, in pixels.
inline constexpr float kPointSampleNudge = 1.0f / 256.0f;

// What a stage-0 operation hands on, once its arguments are resolved:
// DIFFUSE and CURRENT both read the interpolated diffuse colour at stage 0.
enum StageSource : std::uint32_t {
  kSourceDiffuse,
  kSourceTexture,
  kSourceTextureTimesDiffuse,
  kSourceDiffuseSquared,
  kSourceTextureSquared,
};

// SELECTARG1, SELECTARG2 and MODULATE; any other operation (DISABLE) passes
// the diffuse colour on.
StageSource SourceOf(std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2);

bool SourceReadsTexture(StageSource s);

// The state a program is made for. Fields that do not matter to a variant
// stay zero, so equal code has one key.
struct ShaderKey {
  bool rhw = false;
  int blendWeights = 0;  // weights read from the vertex (0..3)
  bool lighting = false;
  bool normal = false;             // lit vertices with a normal get the diffuse term
  bool diffuseFromVertex = false;  // COLOR1 material source and a vertex colour
  bool texture = false;            // the stage reads the bound texture
  bool rect = false;               // which is stored trimmed (a rectangle texture)
  bool pointNudge = false;         // point sampling reads just off the centre
  // Unlit vertices without a colour: the diffuse colour is opaque white
  // everywhere, so nothing is interpolated for it.
  bool whiteDiffuse = false;
  StageSource color = kSourceDiffuse, alpha = kSourceDiffuse;
  std::uint32_t alphaFunc = 0;  // 0: no alpha test; else NEVER..GREATEREQUAL

  std::uint32_t Bits() const {
    return static_cast<std::uint32_t>(rhw) | static_cast<std::uint32_t>(blendWeights) << 1 |
           static_cast<std::uint32_t>(lighting) << 3 | static_cast<std::uint32_t>(normal) << 4 |
           static_cast<std::uint32_t>(diffuseFromVertex) << 5 |
           static_cast<std::uint32_t>(texture) << 6 | static_cast<std::uint32_t>(pointNudge) << 7 |
           static_cast<std::uint32_t>(color) << 8 | static_cast<std::uint32_t>(alpha) << 11 |
           alphaFunc << 14 | static_cast<std::uint32_t>(whiteDiffuse) << 18 |
           static_cast<std::uint32_t>(rect) << 19;
  }
};

// The combinations the game draws with (found by logging every program a
// whole run builds). The device builds them when it is made, before the
// first frame, so no frame waits for a compiler; any other combination is
// still built on first use.
std::span<const ShaderKey> GameShaderKeys();

// The sources of a variant's vertex and fragment shaders.
std::string VertexSource(const ShaderKey& k);
std::string FragmentSource(const ShaderKey& k);

// Compiles one stage, reporting a failure on stderr.
GLuint CompileShader(GLenum type, const char* source);

// The uniforms of the programs, each with its size in floats per element and
// its place in a program's copy of what was last sent.
enum UniformId {
  kURhwScale,
  kUWorldView,
  kUNormalMatrix,
  kUProj,
  kUClipShift,
  kUMatDiffuse,
  kUMatAmbient,
  kUMatEmissive,
  kUAmbient,
  kULightDiffuse,
  kUToLight,
  kUAlphaRef,
  kUTexSize,
  kUniformCount
};

struct UniformInfo {
  const char* name;
  int floats;  // per element
  int offset;  // into Program::values
};

inline constexpr int kMaxMatrices = 4;
inline constexpr UniformInfo kUniforms[kUniformCount] = {
    {"uRhwScale", 2, 0},
    {"uWorldView", 16, 2},
    {"uNormalMatrix", 9, 2 + 16 * kMaxMatrices},
    {"uProj", 16, 2 + 25 * kMaxMatrices},
    {"uClipShift", 2, 18 + 25 * kMaxMatrices},
    {"uMatDiffuse", 4, 20 + 25 * kMaxMatrices},
    {"uMatAmbient", 3, 24 + 25 * kMaxMatrices},
    {"uMatEmissive", 3, 27 + 25 * kMaxMatrices},
    {"uAmbient", 3, 30 + 25 * kMaxMatrices},
    {"uLightDiffuse", 3, 33 + 25 * kMaxMatrices},
    {"uToLight", 3, 36 + 25 * kMaxMatrices},
    {"uAlphaRef", 1, 39 + 25 * kMaxMatrices},
    {"uTexSize", 2, 40 + 25 * kMaxMatrices},
};
inline constexpr int kUniformFloats = 42 + 25 * kMaxMatrices;

// A linked variant with the uniform values it holds, so a draw sends only
// what differs from the last draw with the same program.
struct Program {
  GLuint id = 0;
  bool ok = false;
  GLint location[kUniformCount] = {};
  int sent[kUniformCount] = {};  // floats last sent (0: nothing yet)
  float values[kUniformFloats] = {};
};

// Sends a uniform unless the program holds that value already.
void SendUniform(Program& p, UniformId u, const float* v, int elements = 1);

}  // namespace platform::sdl_gl
