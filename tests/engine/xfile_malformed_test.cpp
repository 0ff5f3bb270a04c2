// Malformed .x files are refused with a message naming the file and the
// place, and leave nothing behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "xfile_helpers.h"

namespace {

struct Case {
  const char* what;
  std::vector<unsigned char> bytes;
  const char* expect;  // part of the message
};

std::vector<unsigned char> Text(const std::string& body) {
  return xtest::Bytes("xof 0303txt 0032\n" + body);
}

const char* kTri = "3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;\n";

std::string Mesh(const std::string& faces, const std::string& children = "") {
  return std::string("Mesh M {\n") + kTri + faces + "\n" + children + "}\n";
}

void ExpectRefused(const Case& c) {
  SCOPED_TRACE(c.what);
  auto l = xtest::Load(c.bytes, "broken.x");
  EXPECT_FALSE(l->ok);
  EXPECT_EQ(l->root, nullptr);
  EXPECT_EQ(l->controller, nullptr);
  EXPECT_EQ(l->error.rfind("broken.x", 0), 0u) << l->error;
  EXPECT_NE(l->error.find(c.expect), std::string::npos) << l->error;
  EXPECT_EQ(l->alloc.LiveFrames(), 0);
  EXPECT_EQ(l->alloc.LiveContainers(), 0);
}

TEST(XFileMalformed, HeaderAndFileLevel) {
  const std::vector<Case> cases = {
      {"empty", {}, "too short"},
      {"short header", xtest::Bytes("xof 0303txt"), "too short"},
      {"wrong magic", xtest::Bytes("xop 0303txt 0032 Frame A { }"), "signature"},
      {"bad version", xtest::Bytes("xof 0a03txt 0032"), "version"},
      {"unknown format", xtest::Bytes("xof 0303abc 0032"), "format"},
      {"bad float size", xtest::Bytes("xof 0303txt 0016"), "float size"},
      {"no frames or meshes", Text("Material M { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; }"),
       "no frames or meshes"},
      {"stray number at top level", Text("12; Frame A { }"), "expected an object"},
      {"unterminated object", Text("Frame A {\n Frame B {\n"), "ends inside"},
      {"unterminated template", Text("template T { <1234> DWORD x;\n"), "never closed"},
      {"unterminated string",
       Text("Frame A { Material M { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; "
            "TextureFilename { \"abc } } }"),
       "unterminated string"},
      {"unterminated GUID", Text("Frame A { <1234\n }"), "unterminated GUID"},
      {"control character", Text("Frame A { \x01 }"), "unexpected character 0x01"},
      {"number out of range", Text("Frame A { FrameTransformMatrix { 1e999; } }"), "out of range"},
      {"empty reference", Text("Frame A { { } }"), "reference"},
  };
  for (const Case& c : cases) ExpectRefused(c);
}

TEST(XFileMalformed, NestingDepthIsCapped) {
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "Frame F" + std::to_string(i) + " {\n";
  for (int i = 0; i < 200; ++i) deep += "}\n";
  ExpectRefused({"deep frames", Text(deep), "nested more than 64"});
  std::string ok;
  for (int i = 0; i < 60; ++i) ok += "Frame F" + std::to_string(i) + " {\n";
  for (int i = 0; i < 60; ++i) ok += "}\n";
  EXPECT_TRUE(xtest::Load(Text(ok))->ok);
}

TEST(XFileMalformed, MeshData) {
  const std::vector<Case> cases = {
      {"vertex count past the data", Text("Mesh M { 4000000000; 1.0;2.0;3.0;; 0;; }"),
       "declares 4000000000 vertices"},
      {"face count past the data", Text(Mesh("900000; 3;0,1,2;;")), "declares 900000 faces"},
      {"face index past the vertices", Text(Mesh("1; 3;0,1,3;;")), "past the count 3"},
      // A bad value in the middle of a run of them is named where it is.
      {"bad corner on its own line", Text(Mesh("1;\n3;0,1,\n7;;")),
       "line 6: face 0 of 'Mesh' uses index 7"},
      {"string among the vertices",
       Text("Mesh M {\n3;\n0.0;0.0;0.0;,\n1.0;\"x\";0.0;,\n0.0;1.0;0.0;;\n1;3;0,1,2;;\n}\n"),
       "line 5: expected a number for the vertices"},
      {"infinite texture coordinate",
       Text(Mesh("1; 3;0,1,2;;", "MeshTextureCoords { 3; 0.0;0.0;,\n1.0;1e39;,\n0.5;0.5;; }")),
       "line 6: the texture coordinates of 'MeshTextureCoords' is not finite"},
      {"face with two corners", Text(Mesh("1; 2;0,1;;")), "fewer than 3"},
      {"corner count past the data", Text(Mesh("1; 40;0,1,2;;")), "declares 40 face indices"},
      {"mesh ends early", Text("Mesh M { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;; }"), "declares 3 vertices"},
      {"string where a count belongs", Text("Mesh M { \"three\"; }"), "whole number"},
      {"negative count", Text("Mesh M { -3; }"), "whole number"},
      {"fractional count", Text("Mesh M { 2.5; }"), "whole number"},
      {"normal faces do not match",
       Text(Mesh("1; 3;0,1,2;;", "MeshNormals { 1; 0.0;0.0;1.0;; 1; 4;0,0,0,0;; }")),
       "do not match"},
      {"normal index past the normals",
       Text(Mesh("1; 3;0,1,2;;", "MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,0,1;; }")),
       "past the count 1"},
      {"too few texture coordinates",
       Text(Mesh("1; 3;0,1,2;;", "MeshTextureCoords { 2; 0.0;0.0;, 1.0;1.0;; }")),
       "2 texture coordinates for 3 vertices"},
      {"vertex colour past the vertices",
       Text(Mesh("1; 3;0,1,2;;", "MeshVertexColors { 1; 7; 1.0;1.0;1.0;1.0;;; }")),
       "past the vertex count"},
      {"material index past the materials",
       Text(Mesh("1; 3;0,1,2;;",
                 "MeshMaterialList { 1; 1; 3;; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; } }")),
       "past the material count"},
      {"fewer materials than declared",
       Text(Mesh("1; 3;0,1,2;;",
                 "MeshMaterialList { 2; 1; 0;; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; } }")),
       "holds 1"},
      {"material reference to nothing",
       Text(Mesh("1; 3;0,1,2;;", "MeshMaterialList { 1; 1; 0;; { Nowhere } }")), "does not define"},
      {"material reference to a frame",
       Text("Frame NotAMaterial { }\n" +
            Mesh("1; 3;0,1,2;;", "MeshMaterialList { 1; 1; 0;; { NotAMaterial } }")),
       "not a material"},
      {"truncated material",
       Text(Mesh("1; 3;0,1,2;;", "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; } }")),
       "ends before its power"},
      {"skin weights past the vertices",
       Text(Mesh("1; 3;0,1,2;;",
                 "SkinWeights { \"Bone\"; 1; 3; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }")),
       "past the vertex count 3"},
      {"skin weights count past the data",
       Text(Mesh("1; 3;0,1,2;;", "SkinWeights { \"Bone\"; 1000; 0; 1.0; }")), "declares 1000"},
      {"skin weights without a matrix",
       Text(Mesh("1; 3;0,1,2;;", "SkinWeights { \"Bone\"; 1; 0; 1.0; 1,0,0; }")), "offset matrix"},
  };
  for (const Case& c : cases) ExpectRefused(c);
}

TEST(XFileMalformed, Animation) {
  const std::string frame = "Frame Bone { }\n";
  const std::vector<Case> cases = {
      {"animation of nothing",
       Text(frame + "AnimationSet { Animation { { Ghost } AnimationKey { 2; 1; 0;3;0,0,0;;; } } }"),
       "does not define"},
      {"unknown key type",
       Text(frame + "AnimationSet { Animation { { Bone } AnimationKey { 9; 1; 0;3;0,0,0;;; } } }"),
       "key type 9"},
      {"wrong value count",
       Text(frame +
            "AnimationSet { Animation { { Bone } AnimationKey { 0; 1; 0;3;0,0,0,0;;; } } }"),
       "has 3 values, expected 4"},
      {"key count past the data",
       Text(frame +
            "AnimationSet { Animation { { Bone } AnimationKey { 2; 5000; 0;3;0,0,0;;; } } }"),
       "declares 5000 keys"},
      {"zero ticks per second", Text(frame + "AnimTicksPerSecond { 0; }"), "must not be 0"},
  };
  for (const Case& c : cases) ExpectRefused(c);
}

TEST(XFileMalformed, BinaryTokens) {
  auto bin = [](std::vector<unsigned char> body) { return xtest::WithHeader("bin ", 32, body); };
  auto frameA = [] {
    std::vector<unsigned char> b;
    xtest::PutU16(&b, 1);
    xtest::PutU32(&b, 5);
    xtest::PutBytes(&b, "Frame");
    xtest::PutU16(&b, 1);
    xtest::PutU32(&b, 1);
    xtest::PutBytes(&b, "A");
    xtest::PutU16(&b, 0x0A);
    return b;
  };
  std::vector<unsigned char> longList = frameA();
  xtest::PutU16(&longList, 7);
  xtest::PutU32(&longList, 0x40000000u);  // a billion floats in a few bytes
  xtest::PutU32(&longList, 0);
  std::vector<unsigned char> unknown = frameA();
  xtest::PutU16(&unknown, 0x99);
  std::vector<unsigned char> longName;
  xtest::PutU16(&longName, 1);
  xtest::PutU32(&longName, 1000);
  xtest::PutBytes(&longName, "Frame");
  std::vector<unsigned char> halfToken = frameA();
  halfToken.push_back(0x0B);
  std::vector<unsigned char> open = frameA();
  std::vector<unsigned char> halfInt = frameA();
  xtest::PutU16(&halfInt, 3);
  halfInt.push_back(1);
  const std::vector<Case> cases = {
      {"list longer than the file", bin(longList), "longer than the rest of the file"},
      {"unknown token", bin(unknown), "unknown token 0x0099"},
      {"name longer than the file", bin(longName), "truncated name"},
      {"half a token", bin(halfToken), "truncated token"},
      {"object never closed", bin(open), "ends inside"},
      {"truncated integer", bin(halfInt), "truncated integer"},
  };
  for (const Case& c : cases) ExpectRefused(c);
  auto l = xtest::Load(bin(longList), "broken.x");
  EXPECT_NE(l->error.find("byte offset 36"), std::string::npos) << l->error;
}

TEST(XFileMalformed, CompressedBlocks) {
  const std::string body = "Frame A { Frame B { } }\n";
  const std::vector<unsigned char> good = xtest::MsZip(xtest::Bytes(body));
  ASSERT_TRUE(xtest::Load(xtest::WithHeader("tzip", 32, good))->ok);
  auto withBody = [](std::vector<unsigned char> b) { return xtest::WithHeader("tzip", 32, b); };

  std::vector<unsigned char> noCK = good;
  noCK[8] = 'X';
  std::vector<unsigned char> corrupt = good;
  for (std::size_t i = 10; i < corrupt.size(); ++i) corrupt[i] = 0xFF;
  std::vector<unsigned char> cut(good.begin(), good.end() - 3);
  std::vector<unsigned char> wrongTotal = good;
  wrongTotal[0] = static_cast<unsigned char>(wrongTotal[0] + 5);
  std::vector<unsigned char> huge = good;
  huge[3] = 0x7F;  // declares almost 2 GB
  std::vector<unsigned char> rawTooBig = good;
  rawTooBig[4] = static_cast<unsigned char>(rawTooBig[4] + 1);  // one byte more than inflates
  std::vector<unsigned char> tinyHeader(good.begin(), good.begin() + 7);
  const std::vector<Case> cases = {
      {"no size", withBody({1, 2}), "no size field"},
      {"missing CK", withBody(noCK), "'CK'"},
      {"corrupt deflate data", withBody(corrupt), "corrupt"},
      {"block cut short", withBody(cut), "longer than the file"},
      {"declared size mismatch", withBody(wrongTotal), "declares"},
      {"absurd declared size", withBody(huge), "64 MB"},
      {"block inflates short", withBody(rawTooBig), "more than the declared size"},
      {"truncated block header", withBody(tinyHeader), "truncated block header"},
  };
  for (const Case& c : cases) ExpectRefused(c);
}

TEST(XFileMalformed, TruncationAnywhereIsRefusedCleanly) {
  // Every prefix of a valid file in every encoding either loads or is
  // refused with a message; none crashes (the sanitizer build checks reads).
  const std::string body =
      "Frame Root { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n" +
      Mesh("1; 3;0,1,2;;",
           "MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,0,0;; }\n"
           "MeshMaterialList { 1; 1; 0;; Material { 1.0;1.0;1.0;1.0;; 1.0; 0.0;0.0;0.0;; "
           "0.0;0.0;0.0;; TextureFilename { \"t.png\"; } } }\n") +
      "}\nAnimationSet Walk { Animation { { Root } AnimationKey { 0; 1; 0;4;1.0,0.0,0.0,0.0;;; "
      "} } }\n";
  const std::vector<std::vector<unsigned char>> files = {
      xtest::Bytes("xof 0303txt 0032\n" + body),
      xtest::WithHeader("bin ", 32, xtest::EncodeBinaryBody(body, 32)),
      xtest::WithHeader("bzip", 32, xtest::MsZip(xtest::EncodeBinaryBody(body, 32))),
  };
  for (const auto& file : files) {
    ASSERT_TRUE(xtest::Load(file)->ok);
    for (std::size_t n = 0; n < file.size(); ++n) {
      std::vector<unsigned char> prefix(file.begin(), file.begin() + static_cast<long>(n));
      auto l = xtest::Load(prefix, "cut.x");
      if (!l->ok) {
        EXPECT_EQ(l->error.rfind("cut.x", 0), 0u) << l->error;
        EXPECT_EQ(l->alloc.LiveFrames(), 0);
      }
    }
  }
}

}  // namespace

namespace {

TEST(XFileMalformed, AFolderInPlaceOfAModelIsRefused) {
  // A folder opens like a file and claims a size near 2^63: it must be
  // refused before anything is allocated for it, by both loaders.
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "poromeko_xfile_folder.x";
  std::filesystem::create_directories(dir);
  engine::Mesh* mesh = nullptr;
  std::vector<engine::XMaterial> materials;
  std::string error;
  EXPECT_FALSE(engine::LoadMeshFromX(dir.string(), nullptr, &mesh, &materials, &error));
  EXPECT_EQ(mesh, nullptr);
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;

  engine::xfile::BasicAllocator alloc;
  engine::Frame* root = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  error.clear();
  EXPECT_FALSE(
      engine::LoadMeshHierarchyFromX(dir.string(), nullptr, &alloc, &root, &controller, &error));
  EXPECT_EQ(root, nullptr);
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  std::filesystem::remove_all(dir);
}

}  // namespace
