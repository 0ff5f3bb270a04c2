// The public conformance set of .x files written by other tools (read in
// place; the tests skip when the folder is absent).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "engine/hierarchy.h"
#include "engine/xfile/basic_allocator.h"
#include "engine/xfile/xparse.h"
#include "engine/xfile/xscene.h"
#include "platform/null/device_null.h"

namespace {

namespace fs = std::filesystem;
using engine::Frame;
using engine::MeshContainer;

const fs::path kCorpus = POROMEKO_XCORPUS_DIR;

// Independent counts of every valid file: frames, meshes, triangles, bones
// (SkinWeights objects), animation sets.
struct Expected {
  int frames, meshes, triangles, bones, sets;
};
const std::map<std::string, Expected> kValid = {
    {"Cube.x", {1, 1, 12, 0, 0}},
    {"Dwarf.x", {13, 6, 5270, 0, 0}},
    {"Testwuson.X", {39, 1, 3732, 37, 3}},
    {"anim_test.x", {4, 1, 840, 4, 1}},
    {"arrow.x", {6, 2, 152, 0, 0}},
    {"ball.x", {0, 1, 224, 0, 0}},
    {"bat.x", {91, 1, 52256, 34, 1}},
    {"car.x", {6, 5, 1850, 0, 0}},
    {"cell.x", {0, 1, 12, 0, 0}},
    {"fromtruespace_bin32.x", {1, 1, 6656, 0, 0}},
    {"kwxport_test_cubewithvcolors.x", {1, 1, 12, 0, 0}},
    {"lobby_skybox.x", {1, 6, 12, 0, 0}},
    {"room.x", {0, 1, 24, 0, 0}},
    {"sphere.x", {2, 1, 4512, 0, 1}},
    {"sphere0.x", {0, 1, 108, 0, 0}},
    {"teapot.x", {0, 1, 2256, 0, 0}},
    {"test.x", {1, 1, 12, 0, 0}},
    {"test_cube_binary.x", {2, 1, 12, 1, 0}},
    {"test_cube_compressed.x", {2, 1, 12, 1, 0}},
    {"test_cube_text.x", {2, 1, 12, 1, 0}},
    {"tiger.x", {0, 1, 602, 0, 0}},
    {"tiny.x", {48, 1, 6841, 35, 1}},
};

void Containers(Frame* f, std::vector<MeshContainer*>* out) {
  for (; f; f = f->sibling) {
    for (MeshContainer* mc = f->meshContainer; mc; mc = mc->nextMeshContainer) out->push_back(mc);
    Containers(f->firstChild, out);
  }
}

void NamedFrames(Frame* f, std::vector<Frame*>* out) {
  for (; f; f = f->sibling) {
    if (f->name) out->push_back(f);
    NamedFrames(f->firstChild, out);
  }
}

class XFileCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kCorpus / "valid")) GTEST_SKIP() << "no conformance set at " << kCorpus;
  }
};

TEST_F(XFileCorpus, EveryValidFileLoadsAsCounted) {
  platform::NullDevice device;
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(kCorpus / "valid")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    auto it = kValid.find(name);
    ASSERT_NE(it, kValid.end()) << "a file the table does not know";
    const Expected& want = it->second;
    ++seen;

    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    engine::xfile::Scene scene;
    std::string error;
    ASSERT_TRUE(engine::xfile::LoadScene(bytes.data(), bytes.size(), name, &scene, &error))
        << error;
    EXPECT_EQ(static_cast<int>(engine::xfile::CountFileFrames(scene)), want.frames);

    engine::xfile::BasicAllocator alloc;
    Frame* root = nullptr;
    std::unique_ptr<engine::AnimationController> controller;
    ASSERT_TRUE(engine::LoadMeshHierarchyFromX(entry.path().string(), &device, &alloc, &root,
                                               &controller, &error))
        << error;
    std::vector<MeshContainer*> containers;
    Containers(root, &containers);
    EXPECT_EQ(static_cast<int>(containers.size()), want.meshes);
    int triangles = 0, bones = 0;
    for (MeshContainer* mc : containers) {
      const engine::Mesh& m = *mc->mesh;
      triangles += static_cast<int>(m.GetNumFaces());
      if (mc->skinInfo) bones += static_cast<int>(mc->skinInfo->GetNumBones());
      for (std::uint32_t v = 0; v < m.GetNumVertices(); ++v) {
        const engine::Vec3 p = m.Position(v);
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
      }
      engine::Vec3 centre;
      float radius = 0;
      engine::ComputeBoundingSphere(m.Vertices(), m.GetNumVertices(), m.GetNumBytesPerVertex(),
                                    &centre, &radius);
      EXPECT_TRUE(std::isfinite(radius) && radius > 0) << radius;
      // The attribute table covers every face once.
      std::uint32_t covered = 0;
      for (const engine::AttributeRange& r : m.GetAttributeTable()) covered += r.faceCount;
      EXPECT_EQ(covered, m.GetNumFaces());
    }
    EXPECT_EQ(triangles, want.triangles);
    EXPECT_EQ(bones, want.bones);
    EXPECT_EQ(controller ? static_cast<int>(controller->GetNumAnimationSets()) : 0, want.sets);
    engine::FrameDestroy(root, &alloc);
    EXPECT_EQ(alloc.LiveFrames(), 0);
    EXPECT_EQ(alloc.LiveContainers(), 0);

    // The same file merged into one static mesh.
    engine::Mesh* merged = nullptr;
    std::vector<engine::XMaterial> materials;
    ASSERT_TRUE(engine::LoadMeshFromX(entry.path().string(), &device, &merged, &materials, &error))
        << error;
    EXPECT_EQ(static_cast<int>(merged->GetNumFaces()), want.triangles);
    EXPECT_GE(materials.size(), static_cast<std::size_t>(want.meshes));
    for (std::uint32_t a : merged->Attributes()) ASSERT_LT(a, materials.size());
    merged->Release();
  }
  EXPECT_EQ(seen, static_cast<int>(kValid.size()));
}

TEST_F(XFileCorpus, EveryInvalidFileIsRefused) {
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(kCorpus / "invalid")) {
    SCOPED_TRACE(entry.path().string());
    ++seen;
    engine::xfile::BasicAllocator alloc;
    Frame* root = nullptr;
    std::unique_ptr<engine::AnimationController> controller;
    std::string error;
    EXPECT_FALSE(engine::LoadMeshHierarchyFromX(entry.path().string(), nullptr, &alloc, &root,
                                                &controller, &error));
    EXPECT_EQ(root, nullptr);
    EXPECT_NE(error.find(entry.path().string()), std::string::npos) << error;
    EXPECT_EQ(alloc.LiveFrames(), 0);
  }
  EXPECT_EQ(seen, 3);
}

TEST_F(XFileCorpus, SkinnedFilesBlendWithinFourMatrices) {
  for (const char* name : {"tiny.x", "bat.x", "Testwuson.X", "anim_test.x"}) {
    SCOPED_TRACE(name);
    engine::xfile::BasicAllocator alloc;
    Frame* root = nullptr;
    std::string error;
    ASSERT_TRUE(engine::LoadMeshHierarchyFromX((kCorpus / "valid" / name).string(), nullptr, &alloc,
                                               &root, nullptr, &error))
        << error;
    std::vector<MeshContainer*> containers;
    Containers(root, &containers);
    for (MeshContainer* mc : containers) {
      ASSERT_NE(mc->skinInfo, nullptr);
      std::uint32_t infl = 0;
      std::vector<engine::BoneCombination> table;
      engine::Mesh* blended = mc->skinInfo->ConvertToBlendedMesh(*mc->mesh, &infl, &table);
      ASSERT_NE(blended, nullptr);
      EXPECT_GE(infl, 1u);
      EXPECT_LE(infl, 4u);
      EXPECT_EQ(blended->GetNumFaces(), mc->mesh->GetNumFaces());
      std::uint32_t faces = 0;
      for (std::size_t c = 0; c < table.size(); ++c) {
        EXPECT_EQ(table[c].faceStart, faces);
        faces += table[c].faceCount;
        ASSERT_EQ(table[c].boneId.size(), infl);
        for (std::uint32_t b : table[c].boneId)
          EXPECT_TRUE(b == engine::kUnusedBone || b < mc->skinInfo->GetNumBones());
      }
      EXPECT_EQ(faces, blended->GetNumFaces());
      blended->Release();
    }
    engine::FrameDestroy(root, &alloc);
  }
}

// Posing every set at time 0 should give back the frames' own matrices for at
// least one set of each of these animated files (their first pose is the
// bind pose); this checks the rotation keys' handedness and the matrix-key
// decomposition on files written by real exporters.
TEST_F(XFileCorpus, TimeZeroPoseMatchesTheFrameMatrices) {
  for (const char* name : {"Testwuson.X", "anim_test.x", "bat.x"}) {
    SCOPED_TRACE(name);
    engine::xfile::BasicAllocator alloc;
    Frame* root = nullptr;
    std::unique_ptr<engine::AnimationController> controller;
    std::string error;
    ASSERT_TRUE(engine::LoadMeshHierarchyFromX((kCorpus / "valid" / name).string(), nullptr, &alloc,
                                               &root, &controller, &error))
        << error;
    ASSERT_NE(controller, nullptr);
    std::vector<Frame*> frames;
    NamedFrames(root, &frames);
    std::vector<engine::Matrix> bind;
    for (Frame* f : frames) bind.push_back(f->transformationMatrix);
    float best = 1e30f;
    for (std::uint32_t s = 0; s < controller->GetNumAnimationSets(); ++s) {
      for (std::size_t i = 0; i < frames.size(); ++i) frames[i]->transformationMatrix = bind[i];
      controller->SetTrackAnimationSet(0, controller->GetAnimationSet(s));
      controller->SetTrackPosition(0, 0.0);
      controller->AdvanceTime(0.0);
      float worst = 0;
      for (std::size_t i = 0; i < frames.size(); ++i) {
        float scale = 1;
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) scale = std::max(scale, std::fabs(bind[i].m[r][c]));
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c)
            worst = std::max(
                worst,
                std::fabs(frames[i]->transformationMatrix.m[r][c] - bind[i].m[r][c]) / scale);
      }
      best = std::min(best, worst);
    }
    EXPECT_LT(best, 1e-3f);
    engine::FrameDestroy(root, &alloc);
  }
}

// tiny.x starts its walk away from the bind pose: there the posed frames must
// equal the first matrix key as written.
TEST_F(XFileCorpus, MatrixKeysPoseAsWritten) {
  const std::string path = (kCorpus / "valid" / "tiny.x").string();
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  engine::xfile::Document doc;
  std::string error;
  ASSERT_TRUE(engine::xfile::ParseDocument(bytes.data(), bytes.size(), path, &doc, &error));
  std::map<std::string, engine::Matrix> firstKey;
  for (const engine::xfile::Object& set : doc.objects) {
    if (set.type != "AnimationSet") continue;
    for (const engine::xfile::Object& anim : set.children) {
      std::string target;
      const engine::xfile::Object* key = nullptr;
      for (const engine::xfile::Object& c : anim.children) {
        if (c.isReference) target = c.name;
        if (c.type == "AnimationKey") key = &c;
      }
      ASSERT_TRUE(key && key->values.size() >= 20 &&
                  key->values[0].kind() == engine::xfile::ValueKind::Integer &&
                  key->values[0].bits == 4);
      engine::Matrix m;
      for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = key->values[4 + static_cast<std::size_t>(i)].AsFloat();
      firstKey[target] = m;
    }
  }
  ASSERT_GT(firstKey.size(), 20u);

  engine::xfile::BasicAllocator alloc;
  Frame* root = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  ASSERT_TRUE(engine::LoadMeshHierarchyFromX(path, nullptr, &alloc, &root, &controller, &error));
  controller->AdvanceTime(0.0);
  for (const auto& [frameName, m] : firstKey) {
    Frame* f = engine::FrameFind(root, frameName.c_str());
    ASSERT_NE(f, nullptr) << frameName;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(f->transformationMatrix.m[r][c], m.m[r][c], 2e-4f) << frameName;
  }
  engine::FrameDestroy(root, &alloc);
}

}  // namespace
