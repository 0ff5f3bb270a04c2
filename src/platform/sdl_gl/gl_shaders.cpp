#include "platform/sdl_gl/gl_shaders.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/graphics.h"

namespace platform::sdl_gl {

namespace {

const char* SourceExpression(StageSource s) {
  switch (s) {
    case kSourceTexture: return "tex";
    case kSourceTextureTimesDiffuse: return "(tex * vColor)";
    case kSourceDiffuseSquared: return "(vColor * vColor)";
    case kSourceTextureSquared: return "(tex * tex)";
    case kSourceDiffuse: break;
  }
  return "vColor";
}

// The combinations the game draws with (found by logging every program a
// whole run builds): sprites and screen quads, the unlit sky, the lit and
// textured models with up to three blend weights (and four, which a skinned
// part may need), and the see-through trees' alpha-tested draw. The device
// builds them when it is made, before the first frame, so no frame waits for
// a compiler; any other combination is still built on first use.
ShaderKey GameKey(bool rhw, int blendWeights, bool lit, bool texture, bool whiteDiffuse,
                  std::uint32_t alphaFunc) {
  ShaderKey k;
  k.rhw = rhw;
  k.blendWeights = blendWeights;
  k.lighting = lit;
  k.normal = lit;
  k.texture = texture;
  k.whiteDiffuse = whiteDiffuse;
  k.color = k.alpha = texture ? kSourceTextureTimesDiffuse : kSourceDiffuse;
  k.alphaFunc = alphaFunc;
  return k;
}
ShaderKey OnRectangle(ShaderKey k) {
  k.rect = kRectangleTextures;
  return k;
}
const ShaderKey kGameShaderKeys[] = {
    GameKey(true, 0, false, true, false, 0),               // sprites
    OnRectangle(GameKey(true, 0, false, true, false, 0)),  // sprites of padded pictures
    GameKey(true, 0, false, false, false, 0),              // screen quads (fades, bars)
    GameKey(false, 0, false, true, true, 0),               // the sky
    GameKey(false, 0, false, true, false, kCmpGreater),    // trees seen through
    GameKey(false, 0, true, true, false, 0),               // lit models
    GameKey(false, 1, true, true, false, 0),               // skinned, two bones a vertex
    GameKey(false, 2, true, true, false, 0),               // three
    GameKey(false, 3, true, true, false, 0),               // four
};

// Matrices are uploaded as stored (row-major, row vectors); GLSL then reads
// them transposed, so `M * v` computes the row-vector product v·M.
const char* const kVertexShader = R"(
layout(location = 0) in vec4 aPos;
layout(location = 1) in vec4 aWeights;
layout(location = 2) in vec3 aNormal;
layout(location = 3) in vec4 aDiffuse;  // opaque white when the vertex has no colour
layout(location = 4) in vec2 aTex;

#if !WHITE_DIFFUSE
out vec4 vColor;
#endif
out vec2 vTex;

#if RHW
uniform vec2 uRhwScale;       // 2 / render-target size

void main() {
  vTex = aTex;
  float w = aPos.w != 0.0 ? 1.0 / aPos.w : 1.0;
  vec2 ndc = (aPos.xy + vec2(PIXEL_CENTRE_SHIFT)) * uRhwScale - 1.0;
  gl_Position = vec4(ndc, 2.0 * aPos.z - 1.0, 1.0) * w;
#ifdef GL_ES
  gl_PointSize = 1.0;  // GL ES leaves a point's size to the shader
#endif
#if !WHITE_DIFFUSE
  vColor = aDiffuse.DIFFUSE_SWIZZLE;
#endif
}
#else
uniform mat4 uWorldView[BLEND_WEIGHTS + 1];
uniform mat4 uProj;
uniform vec2 uClipShift;      // pixel-centre shift in clip units per w
#if LIGHTING
uniform mat3 uNormalMatrix[BLEND_WEIGHTS + 1];
uniform vec4 uMatDiffuse;
uniform vec3 uMatAmbient;
uniform vec3 uMatEmissive;
uniform vec3 uAmbient;        // global ambient + light ambient
uniform vec3 uLightDiffuse;   // zero while the light is off
uniform vec3 uToLight;        // view space
#endif

void main() {
  vTex = aTex;
  vec4 p = vec4(aPos.xyz, 1.0);
#if BLEND_WEIGHTS == 0
  vec4 pv = uWorldView[0] * p;
#else
  vec4 pv = vec4(0.0);
  float last = 1.0;
  for (int i = 0; i < BLEND_WEIGHTS; ++i) {
    pv += aWeights[i] * (uWorldView[i] * p);
    last -= aWeights[i];
  }
  pv += last * (uWorldView[BLEND_WEIGHTS] * p);
#endif
  vec4 clip = uProj * pv;
  gl_Position = vec4(clip.x + uClipShift.x * clip.w, -clip.y + uClipShift.y * clip.w,
                     2.0 * clip.z - clip.w, clip.w);
#ifdef GL_ES
  gl_PointSize = 1.0;
#endif
#if !LIGHTING
#if !WHITE_DIFFUSE
  vColor = aDiffuse.DIFFUSE_SWIZZLE;
#endif
#else
#if DIFFUSE_FROM_VERTEX
  vec4 md = aDiffuse.DIFFUSE_SWIZZLE;
#else
  vec4 md = uMatDiffuse;
#endif
  vec3 rgb = uMatAmbient * uAmbient + uMatEmissive;
#if NORMAL
#if BLEND_WEIGHTS == 0
  vec3 nv = uNormalMatrix[0] * aNormal;
#else
  vec3 nv = vec3(0.0);
  for (int i = 0; i < BLEND_WEIGHTS; ++i) nv += aWeights[i] * (uNormalMatrix[i] * aNormal);
  nv += last * (uNormalMatrix[BLEND_WEIGHTS] * aNormal);
#endif
  float nDotL = max(0.0, dot(nv, uToLight));
#if CLAMP_DIFFUSE
  nDotL = min(nDotL, 1.0);
#endif
  rgb += md.rgb * uLightDiffuse * nDotL;
#endif
  vColor = vec4(clamp(rgb, 0.0, 1.0), clamp(md.a, 0.0, 1.0));
#endif
}
#endif
)";

const char* const kFragmentShader = R"(
#if WHITE_DIFFUSE
const vec4 vColor = vec4(1.0);
#else
in vec4 vColor;
#endif
in vec2 vTex;

#if RECT
uniform sampler2DRect uTexture;
uniform vec2 uTexSize;        // the whole texture's: texel coordinates are vTex times this
#else
uniform sampler2D uTexture;
#endif
uniform float uAlphaRef;      // 0..255

out vec4 fragColor;

void main() {
#if TEXTURE
#if POINT_NUDGE
  // Window y runs down the picture, so dFdy points down as the game's y does.
  vec2 at = vTex + POINT_SAMPLE_NUDGE * (dFdx(vTex) + dFdy(vTex));
#else
  vec2 at = vTex;
#endif
#if RECT
  vec4 tex = texture(uTexture, at * uTexSize);
#else
  vec4 tex = texture(uTexture, at);
#endif
#endif
  fragColor = vec4(COLOR_SOURCE.rgb, ALPHA_SOURCE.a);
#if ALPHA_FUNC
  // On the reference's 0..255 scale and not rounded: 0x81 * 0xFE / 255 is
  // 128.49, above a reference of 0x80. An 8-bit alpha that came through
  // unchanged arrives a hair off its step, far closer than any product of
  // two 8-bit values (1/255 at least); it counts as the step itself, so
  // EQUAL and GREATER still meet exactly at the reference.
  float alpha = clamp(fragColor.a, 0.0, 1.0) * 255.0;
  float nearest = floor(alpha + 0.5);
  if (abs(alpha - nearest) < 1.0 / 1024.0) alpha = nearest;
  if (!(ALPHA_PASSES)) discard;
#endif
}
)";

// The comparison an alpha test keeps a pixel by.
const char* AlphaPasses(std::uint32_t func) {
  switch (func) {
    case kCmpLess: return "alpha < uAlphaRef";
    case kCmpEqual: return "alpha == uAlphaRef";
    case kCmpLessEqual: return "alpha <= uAlphaRef";
    case kCmpGreater: return "alpha > uAlphaRef";
    case kCmpNotEqual: return "alpha != uAlphaRef";
    case kCmpGreaterEqual: return "alpha >= uAlphaRef";
    default: return "false";  // NEVER
  }
}

}  // namespace

StageSource SourceOf(std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2) {
  const bool t1 = arg1 == kTaTexture, t2 = arg2 == kTaTexture;
  switch (op) {
    case kTopSelectArg1: return t1 ? kSourceTexture : kSourceDiffuse;
    case kTopSelectArg2: return t2 ? kSourceTexture : kSourceDiffuse;
    case kTopModulate:
      if (t1 && t2) return kSourceTextureSquared;
      if (t1 || t2) return kSourceTextureTimesDiffuse;
      return kSourceDiffuseSquared;
    default: return kSourceDiffuse;
  }
}

bool SourceReadsTexture(StageSource s) { return s != kSourceDiffuse && s != kSourceDiffuseSquared; }

std::span<const ShaderKey> GameShaderKeys() { return kGameShaderKeys; }

std::string VertexSource(const ShaderKey& k) {
  char defines[256];
  std::snprintf(defines, sizeof defines,
                "#define RHW %d\n#define BLEND_WEIGHTS %d\n#define LIGHTING "
                "%d\n#define NORMAL %d\n#define DIFFUSE_FROM_VERTEX %d\n#define CLAMP_DIFFUSE "
                "%d\n#define PIXEL_CENTRE_SHIFT %.9g\n#define WHITE_DIFFUSE %d\n",
                k.rhw, k.blendWeights, k.lighting, k.normal, k.diffuseFromVertex,
                kClampDiffusePerLight ? 1 : 0, static_cast<double>(kPixelCentreShift),
                k.whiteDiffuse);
  return kShaderHeader + (defines + std::string(kVertexShader));
}

std::string FragmentSource(const ShaderKey& k) {
  char defines[512];
  std::snprintf(defines, sizeof defines,
                "#define TEXTURE %d\n#define POINT_NUDGE %d\n#define "
                "POINT_SAMPLE_NUDGE %.9g\n#define COLOR_SOURCE %s\n#define ALPHA_SOURCE "
                "%s\n#define ALPHA_FUNC %u\n#define ALPHA_PASSES %s\n#define WHITE_DIFFUSE %d\n"
                "#define RECT %d\n",
                k.texture, k.pointNudge, static_cast<double>(kPointSampleNudge),
                SourceExpression(k.color), SourceExpression(k.alpha), k.alphaFunc,
                AlphaPasses(k.alphaFunc), k.whiteDiffuse, k.rect);
  return kShaderHeader + (defines + std::string(kFragmentShader));
}

GLuint CompileShader(GLenum type, const char* source) {
  GLuint s = glCreateShader(type);
  glShaderSource(s, 1, &source, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(s, sizeof log, nullptr, log);
    std::fprintf(stderr, "GL shader: %s\n", log);
  }
  return s;
}

void SendUniform(Program& p, UniformId u, const float* v, int elements) {
  const GLint loc = p.location[u];
  if (loc < 0) return;  // not read by this variant
  const UniformInfo& info = kUniforms[u];
  const int n = info.floats * elements;
  float* held = p.values + info.offset;
  const auto bytes = static_cast<std::size_t>(n) * sizeof(float);
  if (p.sent[u] == n && std::memcmp(held, v, bytes) == 0) return;
  std::memcpy(held, v, bytes);
  p.sent[u] = n;
  switch (info.floats) {
    case 1: glUniform1fv(loc, elements, v); break;
    case 2: glUniform2fv(loc, elements, v); break;
    case 3: glUniform3fv(loc, elements, v); break;
    case 4: glUniform4fv(loc, elements, v); break;
    case 9: glUniformMatrix3fv(loc, elements, GL_FALSE, v); break;
    default: glUniformMatrix4fv(loc, elements, GL_FALSE, v); break;
  }
}

}  // namespace platform::sdl_gl
