// The model generator's own pieces: the .x text writer (read back through the
// game's loader), the mesh builder's orientation and normals, skin weights,
// the pose evaluator and the noise. The generated files themselves are
// checked in models_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "../../tools/common/model_mesh.cpp"
#include "../../tools/common/model_noise.cpp"
#include "../../tools/common/xwriter.cpp"
#include "engine/xfile/basic_allocator.h"
#include "platform/null/device_null.h"

namespace {

using contentgen::FormatFloat;
using contentgen::ModelMesh;
using contentgen::Skeleton;
using contentgen::Skin;
using contentgen::XFileDesc;
using engine::Matrix;
using engine::Quaternion;
using engine::Vec3;

TEST(XWriter, FloatsAreFixedSixDecimalsWithoutNegativeZero) {
  EXPECT_EQ(FormatFloat(1.5f), "1.500000");
  EXPECT_EQ(FormatFloat(-2.25f), "-2.250000");
  EXPECT_EQ(FormatFloat(0.1234567f), "0.123457");
  EXPECT_EQ(FormatFloat(-0.0f), "0.000000");
  EXPECT_EQ(FormatFloat(-1e-9f), "0.000000");
  EXPECT_EQ(FormatFloat(std::nanf("")), "0.000000");
  EXPECT_EQ(FormatFloat(INFINITY), "0.000000");
  EXPECT_EQ(FormatFloat(4720.0f), "4720.000000");
}

// A two-bone skinned triangle strip with two animation sets.
XFileDesc SmallModel() {
  Skeleton s;
  s.Add("Root", -1, {0, 0, 0});
  s.Add("Arm", 0, {1, 0, 0});
  ModelMesh m;
  const int mat = m.AddMaterial(contentgen::PaletteMaterial(0.8f));
  const std::size_t first =
      m.AddEllipsoid({1, 1, 1}, Matrix{}, 8, 6, contentgen::Paint{contentgen::Swatch::kBody, false},
                     mat, Skin::Rigid(0));
  m.SetSkin(first, [](const Vec3& p) { return Skin::Blend(0, 1, p.x); });
  XFileDesc d;
  d.frames.push_back(s.Frames(m.ToXMesh("Body", s.Names(), s.Offsets())));
  d.ticksPerSecond = 100;
  contentgen::ClipBuilder first_set(s, "First"), second_set(s, "Second");
  first_set.Key(0, {});
  first_set.Key(50, {{"Arm", {contentgen::RotZ(0.5f), {0, 0.25f, 0}, {1, 1, 1}}}});
  second_set.Key(0, {});
  second_set.Key(200, {{"Arm", {contentgen::RotX(-0.3f), {}, {2, 2, 2}}}});
  d.sets = {first_set.Build(), second_set.Build()};
  return d;
}

struct Loaded {
  platform::NullDevice device;
  engine::xfile::BasicAllocator alloc;
  engine::Frame* root = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  std::string error;
  bool ok;
  explicit Loaded(const std::string& text) {
    ok = engine::LoadMeshHierarchyFromXInMemory(text.data(), text.size(), "test.x", &device, &alloc,
                                                &root, &controller, &error);
  }
  ~Loaded() {
    if (root) engine::FrameDestroy(root, &alloc);
  }
};

TEST(XWriter, WrittenFileLoadsWithSetsInIndexOrderAndPosesAsGiven) {
  const XFileDesc d = SmallModel();
  ASSERT_EQ(contentgen::ValidateXFile(d), "");
  const std::string text = contentgen::WriteXText(d);
  ASSERT_EQ(text.rfind("xof 0303txt 0032\n", 0), 0u);
  EXPECT_EQ(text, contentgen::WriteXText(d)) << "deterministic";
  Loaded m(text);
  ASSERT_TRUE(m.ok) << m.error;
  ASSERT_NE(m.controller, nullptr);
  ASSERT_EQ(m.controller->GetNumAnimationSets(), 2u);
  // Index 0 is the first set given, though the loader takes the last in the
  // file as index 0.
  EXPECT_EQ(m.controller->GetAnimationSet(0)->GetName(), "First");
  EXPECT_EQ(m.controller->GetAnimationSet(1)->GetName(), "Second");
  EXPECT_DOUBLE_EQ(m.controller->GetAnimationSet(0)->GetPeriod(), 0.5);
  EXPECT_DOUBLE_EQ(m.controller->GetAnimationSet(1)->GetPeriod(), 2.0);

  // The rotation read back poses the frame as the writer was told to, not as
  // its conjugate.
  const auto& set = *m.controller->GetAnimationSet(0);
  bool found = false;
  for (std::uint32_t i = 0; i < set.GetNumAnimations(); ++i) {
    if (set.GetChannel(i).frameName != "Arm") continue;
    found = true;
    Vec3 s, t;
    Quaternion q;
    set.GetSRT(0.5, i, &s, &q, &t);
    const Vec3 x = engine::Vec3TransformNormal({1, 0, 0}, engine::MatrixRotationQuaternion(q));
    const Vec3 want = engine::Vec3TransformNormal(
        {1, 0, 0}, engine::MatrixRotationQuaternion(contentgen::RotZ(0.5f)));
    EXPECT_NEAR(engine::Vec3Length(x - want), 0.0f, 1e-5f);
    EXPECT_GT(x.y, 0.4f) << "a positive turn about Z lifts +X";
    EXPECT_NEAR(t.x, 1.0f, 1e-6f) << "bind offset plus the move";
    EXPECT_NEAR(t.y, 0.25f, 1e-6f);
  }
  EXPECT_TRUE(found);

  // Skin: both bones on existing frames, offsets the inverse bind pose,
  // every vertex fully weighted.
  engine::MeshContainer* c = m.root->meshContainer;
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->skinInfo, nullptr);
  ASSERT_EQ(c->skinInfo->GetNumBones(), 2u);
  std::vector<float> total(c->mesh->GetNumVertices(), 0.0f);
  for (std::uint32_t b = 0; b < 2; ++b) {
    const auto& bone = c->skinInfo->GetBone(b);
    engine::Frame* f = engine::FrameFind(m.root, bone.name.c_str());
    ASSERT_NE(f, nullptr);
    for (std::size_t k = 0; k < bone.vertices.size(); ++k)
      total[bone.vertices[k]] += bone.weights[k];
    if (bone.name == "Arm") {
      EXPECT_EQ(bone.offset.Translation().x, -1.0f);
    }
  }
  for (float w : total) EXPECT_NEAR(w, 1.0f, 1e-5f);
  ASSERT_EQ(c->numMaterials, 1u);
  EXPECT_EQ(c->materials[0].textureFilename, contentgen::kPaletteTexture);
  EXPECT_NEAR(c->materials[0].material.diffuse.r, 0.8f, 1e-6f);
}

TEST(XWriter, PoseEvaluatorAgreesWithTheGamesController) {
  const XFileDesc d = SmallModel();
  Loaded m(contentgen::WriteXText(d));
  ASSERT_TRUE(m.ok) << m.error;
  Skeleton s;
  s.Add("Root", -1, {0, 0, 0});
  s.Add("Arm", 0, {1, 0, 0});
  for (std::uint32_t set = 0; set < 2; ++set) {
    for (double t : {0.0, 0.2, 0.37, 1.3}) {
      m.controller->SetTrackAnimationSet(0, m.controller->GetAnimationSet(set));
      m.controller->SetTrackPosition(0, t);
      m.controller->AdvanceTime(0);
      const auto mine = contentgen::PoseSkeleton(s, d.sets[set], d.ticksPerSecond, t);
      const engine::Frame* arm = engine::FrameFind(m.root, "Arm");
      ASSERT_NE(arm, nullptr);
      for (int r = 0; r < 4; ++r) {
        for (int col = 0; col < 4; ++col) {
          EXPECT_NEAR(arm->transformationMatrix.m[r][col], mine[1].m[r][col], 1e-4f)
              << "set " << set << " t " << t;
        }
      }
    }
  }
}

TEST(XWriter, RefusesDescriptionsThatWouldMakeABrokenFile) {
  const auto broken = [](auto&& change) {
    XFileDesc d = SmallModel();
    change(d);
    return contentgen::ValidateXFile(d);
  };
  EXPECT_NE(broken([](XFileDesc& d) { d.frames[0].meshes[0].faces[0][1] = 99999; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.frames[0].meshes[0].faceMaterials[0] = 3; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.frames[0].meshes[0].normals.pop_back(); }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.frames[0].meshes[0].skin[0].bone = "Nobody"; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.frames[0].children[0].name = "Root"; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.frames[0].name = "two words"; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.ticksPerSecond = 0; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.sets[1].name = d.sets[0].name; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.sets[0].animations[0].frame = "Gone"; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.sets[0].animations[0].rotation[1].time = 0; }), "");
  EXPECT_NE(broken([](XFileDesc& d) { d.frames[0].meshes[0].materials[0].texture = "a\"b"; }), "");

  // SaveXFile checks first and writes nothing for a broken description.
  const std::string dir = testing::TempDir();
  const std::string path = dir + "/broken_model.x";
  std::filesystem::remove(path);
  XFileDesc d = SmallModel();
  d.frames[0].meshes[0].faces[0][0] = 12345;
  std::string error;
  EXPECT_FALSE(contentgen::SaveXFile(path, d, &error));
  EXPECT_NE(error.find("out of range"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(contentgen::SaveXFile(dir + "/no/such/dir/model.x", SmallModel(), &error));
  EXPECT_TRUE(contentgen::SaveXFile(path, SmallModel(), &error)) << error;
  std::filesystem::remove(path);
}

TEST(ModelMesh, PartsFaceOutwardWithWindingAndNormalsAgreeing) {
  for (bool inward : {false, true}) {
    ModelMesh m;
    const Matrix xf = engine::MatrixRotationY(0.7f) * engine::MatrixTranslation(3, -1, 2);
    const Vec3 centre{3, -1, 2};
    m.AddSurface(
        12, 8,
        [&](float u, float v) {
          const float th = v * engine::kPi, ph = u * 6.2831853f;
          return engine::Vec3TransformCoord(
              {2 * std::sin(th) * std::cos(ph), std::cos(th), 0.5f * std::sin(th) * std::sin(ph)},
              xf);
        },
        {}, 0, Skin{}, inward);
    const float sign = inward ? -1.0f : 1.0f;
    for (const auto& v : m.Vertices())
      EXPECT_GT(sign * engine::Vec3Dot(v.normal, v.pos - centre), 0.0f);
    // Front faces wind clockwise seen from outside: cross(e1, e2) points
    // the way the normals do.
    for (const auto& f : m.Faces()) {
      const auto& vs = m.Vertices();
      const Vec3 n = engine::Vec3Cross(vs[f[1]].pos - vs[f[0]].pos, vs[f[2]].pos - vs[f[0]].pos);
      EXPECT_GT(engine::Vec3Dot(n, vs[f[0]].normal + vs[f[1]].normal + vs[f[2]].normal), 0.0f);
    }
  }
}

TEST(ModelMesh, SeamAndPoleVerticesShareOneNormal) {
  ModelMesh m;
  m.AddEllipsoid({1, 1.5f, 1}, Matrix{}, 10, 7, {}, 0, Skin{});
  const auto& vs = m.Vertices();
  int shared = 0;
  for (std::size_t i = 0; i < vs.size(); ++i)
    for (std::size_t j = i + 1; j < vs.size(); ++j)
      if (engine::Vec3Length(vs[i].pos - vs[j].pos) < 1e-6f) {
        ++shared;
        EXPECT_LT(engine::Vec3Length(vs[i].normal - vs[j].normal), 1e-6f) << i << " " << j;
      }
  EXPECT_GT(shared, 10) << "the seam column and both poles";
  // The poles' normals point straight up and down.
  EXPECT_NEAR(vs.front().normal.y, 1.0f, 1e-5f);
  EXPECT_NEAR(vs.back().normal.y, -1.0f, 1e-5f);
}

TEST(ModelMesh, SkinWeightsAreNormalisedAndIdleBonesLeftOut) {
  EXPECT_EQ(Skin::Blend(2, 5, -1.0f).bone[0], 2);
  EXPECT_EQ(Skin::Blend(2, 5, 2.0f).bone[0], 5);
  EXPECT_EQ(Skin::Blend(2, 5, 2.0f).bone[1], -1);
  const Skin half = Skin::Blend(2, 5, 0.25f);
  EXPECT_FLOAT_EQ(half.weight[0] + half.weight[1], 1.0f);
  EXPECT_FLOAT_EQ(half.weight[1], 0.25f);

  ModelMesh m;
  Skin odd;  // weights that do not add up to one
  odd.bone = {0, 2, -1, -1};
  odd.weight = {3, 1, 0, 0};
  m.AddEllipsoid({1, 1, 1}, Matrix{}, 6, 4, {}, 0, odd);
  const Matrix id;
  const auto x = m.ToXMesh("M", {"A", "B", "C"}, {id, id, id});
  ASSERT_EQ(x.skin.size(), 2u) << "bone B moves nothing and gets no SkinWeights";
  EXPECT_EQ(x.skin[0].bone, "A");
  EXPECT_EQ(x.skin[1].bone, "C");
  for (std::size_t k = 0; k < x.skin[0].weights.size(); ++k) {
    EXPECT_FLOAT_EQ(x.skin[0].weights[k], 0.75f);
    EXPECT_FLOAT_EQ(x.skin[1].weights[k], 0.25f);
  }
}

TEST(ModelNoise, DeterministicBoundedAndSmooth) {
  float lo = 1, hi = -1;
  for (int i = 0; i < 2000; ++i) {
    const Vec3 p{static_cast<float>(i) * 0.173f, static_cast<float>(i % 37) * 0.311f,
                 static_cast<float>(i % 11) * 0.57f};
    const float n = contentgen::Fbm(p, 4, 7);
    EXPECT_EQ(n, contentgen::Fbm(p, 4, 7));
    lo = std::fmin(lo, n);
    hi = std::fmax(hi, n);
    const float a = contentgen::ValueNoise(p, 3);
    ASSERT_GE(a, -1.0f);
    ASSERT_LE(a, 1.0f);
    // Close points give close values.
    EXPECT_LT(std::fabs(a - contentgen::ValueNoise(p + Vec3{1e-3f, 0, 0}, 3)), 0.02f);
  }
  EXPECT_GE(lo, -1.0f);
  EXPECT_LE(hi, 1.0f);
  EXPECT_LT(lo, -0.2f) << "spread, not stuck";
  EXPECT_GT(hi, 0.2f);
  EXPECT_NE(contentgen::Hash3(1, 2, 3, 9), contentgen::Hash3(1, 2, 3, 10));
  contentgen::Rng a(42), b(42);
  for (int i = 0; i < 100; ++i) {
    const float u = a.Uniform();
    EXPECT_EQ(u, b.Uniform());
    EXPECT_GE(u, 0.0f);
    EXPECT_LT(u, 1.0f);
  }
}

}  // namespace
