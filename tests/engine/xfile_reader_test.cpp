// The .x reader on small files: the three encodings of one model, the syntax
// variants exporters write, mesh building and the frame rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/hierarchy.h"
#include "engine/xfile/basic_allocator.h"
#include "engine/xfile/xbuild.h"
#include "engine/xfile/xparse.h"
#include "engine/xfile/xscene.h"
#include "platform/null/device_null.h"
#include "xfile_helpers.h"

namespace {

using engine::Frame;
using engine::MeshContainer;
using engine::Vec3;

// A quad and a triangle; the triangle's corners 3 and 2 carry another normal
// than the quad's, so those two positions split. Material 1 comes first in
// the file, material 0 (by reference) second.
const char* kModelBody = R"(
Material Red {
  1.0; 0.0; 0.0; 1.0;;
  5.0;
  1.0; 1.0; 1.0;;
  0.25; 0.0; 0.0;;
  TextureFilename { "red.png"; }
}
Frame Root {
  FrameTransformMatrix { 1.0,0,0,0, 0,1.0,0,0, 0,0,1.0,0, 5.0,0,0,1.0;; }
  Frame Child {
    Mesh Quad {
      5;
      0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;, 0.5;2.0;0.0;;
      2;
      4;0,1,2,3;,
      3;3,2,4;;
      MeshMaterialList {
        2; 2; 1, 0;;
        { Red }
        Material Blue { 0.0;0.0;1.0;0.5;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }
      }
      MeshNormals {
        2; 0.0;0.0;1.0;, 0.0;0.0;-1.0;;
        2; 4;0,0,0,0;, 3;1,1,1;;
      }
      MeshTextureCoords { 5; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;, 0.5;0.0;; }
    }
  }
}
)";

std::string TextModel() { return std::string("xof 0303txt 0032") + kModelBody; }

std::vector<float> Floats(const engine::Mesh& m) {
  std::vector<float> out(m.GetNumVertices() * m.GetNumBytesPerVertex() / 4);
  std::memcpy(out.data(), m.Vertices(), out.size() * 4);
  return out;
}

void ExpectSameHierarchy(const Frame* a, const Frame* b) {
  for (; a || b; a = a->sibling, b = b->sibling) {
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->name == nullptr, b->name == nullptr);
    if (a->name) {
      EXPECT_STREQ(a->name, b->name);
    }
    EXPECT_EQ(a->transformationMatrix, b->transformationMatrix);
    const MeshContainer* ma = a->meshContainer;
    const MeshContainer* mb = b->meshContainer;
    for (; ma || mb; ma = ma->nextMeshContainer, mb = mb->nextMeshContainer) {
      ASSERT_TRUE(ma && mb);
      EXPECT_EQ(ma->mesh->GetFVF(), mb->mesh->GetFVF());
      EXPECT_EQ(Floats(*ma->mesh), Floats(*mb->mesh));
      EXPECT_EQ(ma->mesh->Indices(), mb->mesh->Indices());
      EXPECT_EQ(ma->mesh->Attributes(), mb->mesh->Attributes());
      ASSERT_EQ(ma->numMaterials, mb->numMaterials);
      for (std::uint32_t i = 0; i < ma->numMaterials; ++i) {
        EXPECT_EQ(ma->materials[i].textureFilename, mb->materials[i].textureFilename);
        EXPECT_EQ(ma->materials[i].material.diffuse.b, mb->materials[i].material.diffuse.b);
      }
    }
    ExpectSameHierarchy(a->firstChild, b->firstChild);
  }
}

TEST(XFileReader, ModelLoadsWithSplitsSortAndMaterials) {
  platform::NullDevice device;
  auto l = xtest::Load(xtest::Bytes(TextModel()), "model.x", &device);
  ASSERT_TRUE(l->ok) << l->error;
  Frame* root = l->root;
  ASSERT_STREQ(root->name, "Root");
  EXPECT_EQ(root->transformationMatrix.m[3][0], 5.0f);
  EXPECT_EQ(root->sibling, nullptr);
  Frame* child = root->firstChild;
  ASSERT_NE(child, nullptr);
  EXPECT_STREQ(child->name, "Child");
  EXPECT_EQ(child->transformationMatrix, engine::Matrix::Identity());
  MeshContainer* mc = child->meshContainer;
  ASSERT_NE(mc, nullptr);
  EXPECT_STREQ(mc->name, "Quad");
  const engine::Mesh& m = *mc->mesh;
  EXPECT_EQ(m.GetFVF(), platform::kFvfXyz | platform::kFvfNormal | platform::kFvfTex1);
  // Positions 3 and 2 split for the triangle's normal; the triangle has
  // material 0 and moves in front of the quad's two triangles.
  ASSERT_EQ(m.GetNumVertices(), 7u);
  EXPECT_EQ(m.Indices(), (std::vector<std::uint32_t>{5, 6, 4, 0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(m.Attributes(), (std::vector<std::uint32_t>{0, 1, 1}));
  const std::vector<float> v = Floats(m);
  const std::size_t stride = 8;
  EXPECT_EQ(v[5 * stride + 0], 0.0f);  // copy of position 3 (0, 1, 0)
  EXPECT_EQ(v[5 * stride + 1], 1.0f);
  EXPECT_EQ(v[5 * stride + 5], -1.0f);  // with the triangle's normal
  EXPECT_EQ(v[3 * stride + 5], 1.0f);   // the original keeps the quad's
  EXPECT_EQ(v[6 * stride + 6], 1.0f);   // texture coordinates follow the position (1, 1)
  EXPECT_EQ(v[6 * stride + 7], 1.0f);
  // Materials in list order: Red by reference, Blue inline.
  ASSERT_EQ(mc->numMaterials, 2u);
  EXPECT_EQ(mc->materials[0].textureFilename, "red.png");
  EXPECT_EQ(mc->materials[0].material.diffuse.r, 1.0f);
  EXPECT_EQ(mc->materials[0].material.power, 5.0f);
  EXPECT_EQ(mc->materials[0].material.emissive.r, 0.25f);
  EXPECT_EQ(mc->materials[0].material.ambient.r, 0.0f);
  EXPECT_EQ(mc->materials[1].material.diffuse.b, 1.0f);
  EXPECT_EQ(mc->materials[1].material.diffuse.a, 0.5f);
  EXPECT_TRUE(mc->materials[1].textureFilename.empty());
  // Adjacency: the quad's two triangles share the edge 0-2.
  ASSERT_NE(mc->adjacency, nullptr);
  EXPECT_EQ(mc->adjacency[3 * 1 + 2], 2u);
  EXPECT_EQ(mc->adjacency[3 * 2 + 0], 1u);
  EXPECT_EQ(mc->skinInfo, nullptr);
  EXPECT_EQ(l->controller, nullptr);
}

TEST(XFileReader, BinaryCompressedAndDoubleFormsLoadLikeText) {
  auto text = xtest::LoadText(TextModel());
  ASSERT_TRUE(text->ok) << text->error;
  const auto body32 = xtest::EncodeBinaryBody(kModelBody, 32);
  const auto body64 = xtest::EncodeBinaryBody(kModelBody, 64);
  struct Form {
    const char* what;
    std::vector<unsigned char> bytes;
  };
  const std::vector<Form> forms = {
      {"bin 0032", xtest::WithHeader("bin ", 32, body32)},
      {"bin 0064", xtest::WithHeader("bin ", 64, body64)},
      {"bzip 0032", xtest::WithHeader("bzip", 32, xtest::MsZip(body32))},
      {"tzip 0032", xtest::WithHeader("tzip", 32, xtest::MsZip(xtest::Bytes(kModelBody)))},
      {"txt 0064", xtest::Bytes(std::string("xof 0303txt 0064") + kModelBody)},
  };
  for (const Form& f : forms) {
    SCOPED_TRACE(f.what);
    auto other = xtest::Load(f.bytes);
    ASSERT_TRUE(other->ok) << other->error;
    ExpectSameHierarchy(text->root, other->root);
  }
}

// Numbers are sorted as they are read. A whole number may be spelled as a
// float ("3.0", "-0") in every encoding; a float keeps its exact value and
// sign; what is not a whole number where one is wanted, or beyond the float
// range where a float is, is refused, in every encoding. (The floats of a
// mesh are read four at a time where the vector unit allows: these runs mix
// every kind.)
TEST(XFileReader, NumbersAreWholeNumbersOrFloatsAsTheirValuesAllow) {
  enum Form { kText, kBin32, kBin64 };
  auto encode = [](Form form, const std::string& body) {
    switch (form) {
      case kText: return xtest::Bytes("xof 0303txt 0032" + body);
      case kBin32: return xtest::WithHeader("bin ", 32, xtest::EncodeBinaryBody(body, 32));
      case kBin64: return xtest::WithHeader("bin ", 64, xtest::EncodeBinaryBody(body, 64));
    }
    return std::vector<unsigned char>{};
  };
  auto load = [](const std::vector<unsigned char>& bytes, engine::xfile::Scene* scene,
                 std::string* error) {
    return engine::xfile::LoadScene(bytes.data(), bytes.size(), "n.x", scene, error);
  };
  auto mesh = [](const std::string& count, const std::string& y, const std::string& corner) {
    return "Mesh M { " + count + "; -0.0;" + y +
           ";3000000000;, 16777217;0.5;1e-3;, 0.0;1.0;0.0;;\n" + "1; 3;" + corner + ",1,2;; }";
  };
  for (const Form form : {kText, kBin32, kBin64}) {
    SCOPED_TRACE(form == kText ? "text" : form == kBin32 ? "bin 0032" : "bin 0064");
    engine::xfile::Scene scene;
    std::string error;
    ASSERT_TRUE(load(encode(form, mesh("3.0", "0.0", "-0")), &scene, &error)) << error;
    const engine::xfile::MeshData& m = scene.roots.at(0).meshes.at(0);
    ASSERT_EQ(m.positions.size(), 3u);
    EXPECT_TRUE(std::signbit(m.positions[0].x));
    EXPECT_EQ(m.positions[1].x, 16777216.0f);
    EXPECT_EQ(m.positions[1].z, 1e-3f);
    EXPECT_EQ(m.positions[0].z, 3e9f);  // a whole number past 2^31
    EXPECT_EQ(m.faceIndices, (std::vector<std::uint32_t>{0, 1, 2}));

    struct Refused {
      std::string count, y;
      const char* expect;
    };
    std::vector<Refused> refused = {
        {"3.5", "0.0", "expected a whole number for the vertices"},
        // A float of 2^32 is whole, but no 32-bit count.
        {"4294967296.0", "0.0", "expected a whole number for the vertices"},
        {"3", "1e39", "the vertices of 'Mesh' is not finite"},
    };
    // Text and doubles keep a count's fraction too small for a float.
    if (form != kBin32) refused.push_back({"3.0000001", "0.0", "expected a whole number"});
    for (const Refused& r : refused) {
      SCOPED_TRACE(r.count + " " + r.y);
      engine::xfile::Scene bad;
      EXPECT_FALSE(load(encode(form, mesh(r.count, r.y, "0")), &bad, &error));
      EXPECT_NE(error.find(r.expect), std::string::npos) << error;
    }
  }
}

TEST(XFileReader, CompressedBlocksUseThePreviousOutputAsDictionary) {
  // A body much larger than one block whose blocks repeat each other: the
  // compressor refers back across block boundaries.
  std::string body;
  body += "Frame Big {\n";
  for (int i = 0; i < 3000; ++i) body += "  Unknown { 1.0; 2.0; 3.0; \"padding text\"; }\n";
  body += "  Mesh M { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n}\n";
  ASSERT_GT(body.size(), 3u * 32768u);
  for (std::size_t block : {32768u, 1000u}) {
    auto l = xtest::Load(xtest::WithHeader("tzip", 32, xtest::MsZip(xtest::Bytes(body), block)));
    ASSERT_TRUE(l->ok) << l->error;
    ASSERT_NE(l->root->meshContainer, nullptr);
    EXPECT_EQ(l->root->meshContainer->mesh->GetNumFaces(), 1u);
  }
  std::vector<unsigned char> packed = xtest::MsZip(xtest::Bytes(body));
  {
    // The second block cannot be inflated on its own, so the loads above did
    // need the dictionary.
    const std::size_t first = 4 + 4 + (packed[6] | (packed[7] << 8));
    const std::size_t packedSize = (packed[first + 2] | (packed[first + 3] << 8)) - 2u;
    std::vector<unsigned char> scratch(32768);
    z_stream zs{};
    ASSERT_EQ(inflateInit2(&zs, -15), Z_OK);
    zs.next_in = packed.data() + first + 6;
    zs.avail_in = static_cast<uInt>(packedSize);
    zs.next_out = scratch.data();
    zs.avail_out = static_cast<uInt>(scratch.size());
    EXPECT_EQ(inflate(&zs, Z_FINISH), Z_DATA_ERROR);
    inflateEnd(&zs);
  }
  engine::xfile::ByteBuffer out;
  std::string error;
  ASSERT_TRUE(engine::xfile::InflateMsZip(packed.data(), packed.size(), &out, &error)) << error;
  EXPECT_EQ(std::string(out.begin(), out.end()), body);
}

TEST(XFileReader, SyntaxVariantsExportersWrite) {
  // Templates, both comment styles, separators used loosely, a named
  // FrameTransformMatrix, TextureFileName, an unknown object with children
  // (skipped, Frame inside included), a GUID reference, a single material
  // index for all faces, vertex colours, commas only.
  const std::string text = R"(xof 0302txt 0032
template Vector {
 <3d82ab5e-62da-11cf-ab39-0020af71e433>
 FLOAT x; FLOAT y; FLOAT z;
}
template Mesh { <3d82ab44-62da-11cf-ab39-0020af71e433> DWORD nVertices; array Vector vertices[nVertices]; [...] }
# a hash comment
// a slash comment
Material Shiny <12345678-1234-1234-1234-123456789abc> { 1,1,1,1;; 2; 0,0,0;; 0,0,0;; TextureFileName { "shiny.bmp"; } }
Frame Scene {
  FrameTransformMatrix relative { 2.0,0,0,0,0,2.0,0,0,0,0,2.0,0,0,0,0,1;; }
  KeyValuePair { "key"; "value"; Frame Hidden { } }
  Mesh Pentagon {
    5, 0,0,0, 1,0,0, 2,1,0, 1,2,0, 0,1,0,
    1, 5, 0,1,2,3,4,
    MeshMaterialList { 1; 1; 0;; { Shiny <12345678-1234-1234-1234-123456789abc> } }
    MeshVertexColors { 2; 0; 1.0;0.0;0.0;1.0;;, 4; 0.0;0.0;1.0;0.5;;; }
  }
}
)";
  auto l = xtest::LoadText(text);
  ASSERT_TRUE(l->ok) << l->error;
  ASSERT_STREQ(l->root->name, "Scene");
  EXPECT_EQ(l->root->transformationMatrix.m[0][0], 2.0f);
  EXPECT_EQ(l->root->firstChild, nullptr);  // Hidden sits in an unknown object
  const MeshContainer* mc = l->root->meshContainer;
  ASSERT_NE(mc, nullptr);
  const engine::Mesh& m = *mc->mesh;
  EXPECT_EQ(m.GetFVF(), platform::kFvfXyz | platform::kFvfDiffuse);
  // Fan: (0,1,2), (0,2,3), (0,3,4).
  EXPECT_EQ(m.Indices(), (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));
  EXPECT_EQ(m.Attributes(), (std::vector<std::uint32_t>{0, 0, 0}));
  ASSERT_EQ(mc->numMaterials, 1u);
  EXPECT_EQ(mc->materials[0].textureFilename, "shiny.bmp");
  std::uint32_t c0, c1, c4;
  std::memcpy(&c0, m.Vertices() + 12, 4);
  std::memcpy(&c1, m.Vertices() + 16 + 12, 4);
  std::memcpy(&c4, m.Vertices() + 4 * 16 + 12, 4);
  EXPECT_EQ(c0, 0xFFFF0000u);
  EXPECT_EQ(c1, 0xFFFFFFFFu);  // no colour given
  EXPECT_EQ(c4, 0x800000FFu);
}

TEST(XFileReader, OnlyDifferentNormalsSplit) {
  // Normals 0 and 1 are equal, and so are 2 and 3 (negative zeros); 0 and 2
  // differ.
  const std::string text = R"(xof 0303txt 0032
Mesh {
  4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;1.0;0.0;;
  4; 3;0,1,2;, 3;0,2,3;, 3;0,3,1;, 3;0,1,3;;
  MeshNormals { 4; 0.0;0.0;1.0;, -0.0;-0.0;1.0;, 1.0;0.0;0.0;, 1.0;-0.0;-0.0;;
                4; 3;0,2,0;, 3;1,0,0;, 3;2,0,2;, 3;3,2,0;; }
}
)";
  auto l = xtest::LoadText(text);
  ASSERT_TRUE(l->ok) << l->error;
  const engine::Mesh& m = *l->root->meshContainer->mesh;
  // Position 1 first appears with normal 2 and keeps it. Only position 0
  // meeting normal 2 in the third face splits (vertex 4); the fourth face's
  // normal 3 finds that copy again.
  EXPECT_EQ(m.GetNumVertices(), 5u);
  EXPECT_EQ(m.Indices(), (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 4, 3, 1, 4, 1, 3}));
}

TEST(XFileReader, FrameRules) {
  const char* mesh = "Mesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n";
  {  // a lone top-level mesh gets an unnamed identity frame
    auto l = xtest::LoadText(std::string("xof 0303txt 0032\n") + mesh);
    ASSERT_TRUE(l->ok) << l->error;
    EXPECT_EQ(l->root->name, nullptr);
    EXPECT_EQ(l->root->transformationMatrix, engine::Matrix::Identity());
    ASSERT_NE(l->root->meshContainer, nullptr);
    EXPECT_EQ(l->root->meshContainer->name, nullptr);
    EXPECT_EQ(l->root->firstChild, nullptr);
  }
  {  // several top-level items: an unnamed root holds them in file order
    auto l = xtest::LoadText(std::string("xof 0303txt 0032\nFrame A { }\n") + mesh +
                             "Frame B { Frame B1 { } Frame B2 { } }\n");
    ASSERT_TRUE(l->ok) << l->error;
    EXPECT_EQ(l->root->name, nullptr);
    EXPECT_EQ(l->root->meshContainer, nullptr);
    Frame* a = l->root->firstChild;
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->name, "A");
    Frame* holder = a->sibling;
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->name, nullptr);
    EXPECT_NE(holder->meshContainer, nullptr);
    Frame* b = holder->sibling;
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->name, "B");
    EXPECT_STREQ(b->firstChild->name, "B1");
    EXPECT_STREQ(b->firstChild->sibling->name, "B2");
    EXPECT_EQ(engine::FrameFind(l->root, "B2"), b->firstChild->sibling);
    EXPECT_EQ(engine::FrameFind(l->root, "Nope"), nullptr);
    EXPECT_EQ(l->alloc.LiveFrames(), 6);
  }
  {  // several meshes in one frame chain in file order
    auto l = xtest::LoadText(std::string("xof 0303txt 0032\nFrame F {\n") +
                             "Mesh First { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; "
                             "3;0,1,2;; }\n" +
                             "Mesh Second { 4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, "
                             "0.0;1.0;0.0;; 1; 4;0,1,2,3;; }\n}\n");
    ASSERT_TRUE(l->ok) << l->error;
    const MeshContainer* first = l->root->meshContainer;
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->name, "First");
    ASSERT_NE(first->nextMeshContainer, nullptr);
    EXPECT_STREQ(first->nextMeshContainer->name, "Second");
    EXPECT_EQ(first->nextMeshContainer->mesh->GetNumFaces(), 2u);
    EXPECT_EQ(first->numMaterials, 0u);
  }
}

// An allocator that refuses its n-th creation.
class FailingAllocator : public engine::xfile::BasicAllocator {
 public:
  explicit FailingAllocator(int failAt) : failAt_(failAt) {}
  engine::HResult CreateFrame(const char* name, Frame** f) override {
    if (++calls_ == failAt_) {
      *f = nullptr;
      return engine::kOutOfMemory;
    }
    return BasicAllocator::CreateFrame(name, f);
  }
  engine::HResult CreateMeshContainer(const char* name, engine::Mesh* mesh,
                                      const engine::XMaterial* materials, std::uint32_t n,
                                      const std::uint32_t* adjacency, engine::SkinInfo* skin,
                                      MeshContainer** out) override {
    if (++calls_ == failAt_) {
      *out = nullptr;
      return engine::kFail;
    }
    return BasicAllocator::CreateMeshContainer(name, mesh, materials, n, adjacency, skin, out);
  }
  int calls() const { return calls_; }

 private:
  int failAt_;
  int calls_ = 0;
};

TEST(XFileReader, AllocatorFailureGivesEverythingBack) {
  const std::string text = TextModel() + "Frame Second { Frame Inner { } }\n";
  FailingAllocator counter(-1);
  Frame* root = nullptr;
  ASSERT_TRUE(engine::LoadMeshHierarchyFromXInMemory(text.data(), text.size(), "model.x", nullptr,
                                                     &counter, &root, nullptr));
  const int total = counter.calls();
  engine::FrameDestroy(root, &counter);
  ASSERT_GE(total, 5);
  for (int failAt = 1; failAt <= total; ++failAt) {
    FailingAllocator alloc(failAt);
    Frame* r = nullptr;
    std::string error;
    EXPECT_FALSE(engine::LoadMeshHierarchyFromXInMemory(text.data(), text.size(), "model.x",
                                                        nullptr, &alloc, &r, nullptr, &error));
    EXPECT_EQ(r, nullptr);
    EXPECT_NE(error.find("model.x"), std::string::npos) << error;
    EXPECT_EQ(alloc.LiveFrames(), 0) << "failing call " << failAt;
    EXPECT_EQ(alloc.LiveContainers(), 0) << "failing call " << failAt;
  }
}

TEST(XFileReader, LoadMeshFromXMergesMeshesInWorldSpace) {
  const auto path = std::filesystem::temp_directory_path() / "xfile_reader_merge_test.x";
  {
    std::ofstream out(path, std::ios::binary);
    out << TextModel()
        << "Mesh Plain { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n";
  }
  engine::Mesh* mesh = nullptr;
  std::vector<engine::XMaterial> materials;
  std::string error;
  ASSERT_TRUE(engine::LoadMeshFromX(path.string(), nullptr, &mesh, &materials, &error)) << error;
  std::filesystem::remove(path);
  // Quad (7 vertices after splits, 3 triangles) moved by Root's x + 5, then
  // the plain triangle with the grey default material as material 2.
  EXPECT_EQ(mesh->GetNumVertices(), 10u);
  EXPECT_EQ(mesh->GetNumFaces(), 4u);
  ASSERT_EQ(materials.size(), 3u);
  EXPECT_EQ(materials[2].material.diffuse.r, 0.5f);
  EXPECT_EQ(mesh->Attributes(), (std::vector<std::uint32_t>{0, 1, 1, 2}));
  EXPECT_EQ(mesh->Position(1).x, 6.0f);
  EXPECT_EQ(mesh->Position(7).x, 0.0f);
  EXPECT_EQ(mesh->GetFVF(), platform::kFvfXyz | platform::kFvfNormal | platform::kFvfTex1);
  mesh->Release();

  EXPECT_FALSE(
      engine::LoadMeshFromX("/nonexistent/dir/none.x", nullptr, &mesh, &materials, &error));
  EXPECT_NE(error.find("none.x"), std::string::npos);
  EXPECT_EQ(mesh, nullptr);
}

TEST(XFileReader, ErrorsNameTheLineOrOffset) {
  auto text = xtest::LoadText(
      "xof 0303txt 0032\nFrame A {\n\n  Mesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, "
      "0.0;1.0;0.0;;\n 1; 3;0,1,7;; }\n}\n",
      "bad.x");
  ASSERT_FALSE(text->ok);
  EXPECT_NE(text->error.find("bad.x line 5"), std::string::npos) << text->error;

  // The same face index past the vertices in binary form.
  const std::string body = "Mesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,7;; }";
  auto bin = xtest::Load(xtest::WithHeader("bin ", 32, xtest::EncodeBinaryBody(body, 32)), "b.x");
  ASSERT_FALSE(bin->ok);
  EXPECT_NE(bin->error.find("b.x byte offset"), std::string::npos) << bin->error;
}

}  // namespace
