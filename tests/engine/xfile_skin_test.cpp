// Skin information from .x files, the blended-mesh conversion, and the
// animation sets the loader hands to the controller.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include "engine/hierarchy.h"
#include "engine/xfile/xscene.h"
#include "xfile_helpers.h"

namespace {

using engine::BoneCombination;
using engine::kUnusedBone;
using engine::Matrix;
using engine::Vec3;

const char* kIdentity = "1.0,0,0,0,0,1.0,0,0,0,0,1.0,0,0,0,0,1.0;;";

std::string Material() { return "Material { 1.0;1.0;1.0;1.0;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }"; }

// A strip of four triangles (materials 0, 0, 1, 1) between bones A and B,
// and a fifth triangle (material 2) on B alone. Vertex 3's weights do not
// sum to one.
std::string StripModel() {
  return std::string("xof 0303txt 0032\nFrame Root {\n") +
         "  Frame BoneA { Frame BoneB { } }\n"
         "  Mesh Strip {\n"
         "    8; 0.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;,\n"
         "       2.0;0.0;0.0;, 2.0;1.0;0.0;, 3.0;0.0;0.0;, 3.0;1.0;0.0;;\n"
         "    5; 3;0,1,2;, 3;1,3,2;, 3;2,3,4;, 3;3,5,4;, 3;5,6,7;;\n"
         "    MeshMaterialList { 3; 5; 0,0,1,1,2;; " +
         Material() + Material() + Material() +
         " }\n"
         "    XSkinMeshHeader { 2; 4; 2; }\n"
         "    SkinWeights { \"BoneA\"; 4; 0,1,2,3; 1.0,1.0,0.5,0.2; " +
         kIdentity +
         " }\n"
         "    SkinWeights { \"BoneB\"; 6; 2,3,4,5,6,7; 0.5,0.6,1.0,1.0,0.3,0.3; " +
         kIdentity + " }\n  }\n}\n";
}

engine::MeshContainer* FirstContainer(engine::Frame* f) {
  for (; f; f = f->sibling) {
    if (f->meshContainer) return f->meshContainer;
    if (auto* c = FirstContainer(f->firstChild)) return c;
  }
  return nullptr;
}

Vec3 PositionOf(const engine::Mesh& m, std::uint32_t v) { return m.Position(v); }

float Beta(const engine::Mesh& m, std::uint32_t v, int j) {
  float b;
  std::memcpy(&b, m.Vertices() + std::size_t{v} * m.GetNumBytesPerVertex() + 12 + 4 * j, 4);
  return b;
}

TEST(XFileSkin, TwoBoneStripConvertsToCombinations) {
  auto l = xtest::LoadText(StripModel());
  ASSERT_TRUE(l->ok) << l->error;
  engine::MeshContainer* mc = FirstContainer(l->root);
  ASSERT_NE(mc, nullptr);
  engine::SkinInfo* skin = mc->skinInfo;
  ASSERT_NE(skin, nullptr);
  ASSERT_EQ(skin->GetNumBones(), 2u);
  EXPECT_STREQ(skin->GetBoneName(0), "BoneA");
  EXPECT_STREQ(skin->GetBoneName(1), "BoneB");
  EXPECT_EQ(skin->GetBoneName(2), nullptr);
  EXPECT_EQ(*skin->GetBoneOffsetMatrix(1), Matrix::Identity());
  EXPECT_EQ(skin->GetMaxFaceInfluences(*mc->mesh), 2u);

  std::uint32_t infl = 0;
  std::vector<BoneCombination> table;
  engine::Mesh* blended = skin->ConvertToBlendedMesh(*mc->mesh, &infl, &table);
  ASSERT_NE(blended, nullptr);
  EXPECT_EQ(infl, 2u);
  EXPECT_EQ(blended->GetFVF(), static_cast<std::uint32_t>(platform::kFvfXyzB1));
  ASSERT_EQ(table.size(), 3u);
  const std::uint32_t both[] = {0, 1};
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(table[c].attribId, static_cast<std::uint32_t>(c));
    EXPECT_EQ(table[c].faceStart, 2u * c);
    EXPECT_EQ(table[c].faceCount, 2u);
    EXPECT_EQ(table[c].vertexStart, 4u * c);
    EXPECT_EQ(table[c].vertexCount, 4u);  // vertices 2 and 3 duplicated
    EXPECT_EQ(table[c].boneId, std::vector<std::uint32_t>(both, both + 2));
  }
  EXPECT_EQ(table[2].attribId, 2u);
  EXPECT_EQ(table[2].faceStart, 4u);
  EXPECT_EQ(table[2].vertexStart, 8u);
  EXPECT_EQ(table[2].vertexCount, 3u);
  EXPECT_EQ(table[2].boneId, (std::vector<std::uint32_t>{1, kUnusedBone}));
  EXPECT_EQ(blended->Attributes(), (std::vector<std::uint32_t>{0, 0, 1, 1, 2}));
  EXPECT_EQ(blended->GetNumVertices(), 11u);
  // Every face indexes its own combination's range.
  for (std::uint32_t f = 0; f < blended->GetNumFaces(); ++f) {
    const BoneCombination& c = table[blended->Attributes()[f]];
    for (int k = 0; k < 3; ++k) {
      const std::uint32_t v = blended->Indices()[3 * f + k];
      EXPECT_GE(v, c.vertexStart);
      EXPECT_LT(v, c.vertexStart + c.vertexCount);
    }
  }
  // Weights of slot 0, normalised over the combination's bones.
  std::map<std::pair<int, float>, float> beta0;  // (combination, x + y / 10) -> beta 0
  for (std::uint32_t c = 0; c < table.size(); ++c)
    for (std::uint32_t v = table[c].vertexStart; v < table[c].vertexStart + table[c].vertexCount;
         ++v)
      beta0[{static_cast<int>(c), PositionOf(*blended, v).x + PositionOf(*blended, v).y / 10}] =
          Beta(*blended, v, 0);
  EXPECT_FLOAT_EQ((beta0[{0, 0.0f}]), 1.0f);
  EXPECT_FLOAT_EQ((beta0[{0, 1.0f}]), 0.5f);
  EXPECT_FLOAT_EQ((beta0[{0, 1.1f}]), 0.25f);  // 0.2 / (0.2 + 0.6)
  EXPECT_FLOAT_EQ((beta0[{1, 1.1f}]), 0.25f);
  EXPECT_FLOAT_EQ((beta0[{1, 2.0f}]), 0.0f);
  EXPECT_FLOAT_EQ((beta0[{2, 3.0f}]), 1.0f);  // B alone in slot 0, weight 0.3 normalised
  blended->Release();
}

// Skinning with the blended mesh as the device does it (VERTEXBLEND = the
// highest used slot, the last used weight implicit) equals skinning the
// original vertices with their normalised weights.
TEST(XFileSkin, BlendedMeshSkinsLikeTheWeights) {
  auto l = xtest::LoadText(StripModel());
  ASSERT_TRUE(l->ok) << l->error;
  engine::MeshContainer* mc = FirstContainer(l->root);
  const engine::SkinInfo& skin = *mc->skinInfo;
  const Matrix bone[2] = {engine::MatrixRotationY(0.6f) * engine::MatrixTranslation(1, 2, 3),
                          engine::MatrixRotationX(-0.9f) * engine::MatrixTranslation(-2, 0.5f, 1)};
  // Expected position of every original vertex.
  std::map<std::pair<float, float>, Vec3> expected;
  for (std::uint32_t v = 0; v < mc->mesh->GetNumVertices(); ++v) {
    const Vec3 p = mc->mesh->Position(v);
    Vec3 sum;
    float total = 0;
    for (std::uint32_t b = 0; b < 2; ++b) {
      const auto& bn = skin.GetBone(b);
      for (std::size_t i = 0; i < bn.vertices.size(); ++i) {
        if (bn.vertices[i] != v) continue;
        sum += engine::Vec3TransformCoord(p, bone[b]) * bn.weights[i];
        total += bn.weights[i];
      }
    }
    expected[{p.x, p.y}] = sum * (1.0f / total);
  }
  std::uint32_t infl = 0;
  std::vector<BoneCombination> table;
  engine::Mesh* blended = skin.ConvertToBlendedMesh(*mc->mesh, &infl, &table);
  ASSERT_NE(blended, nullptr);
  for (const BoneCombination& c : table) {
    std::uint32_t blend = 0;
    for (std::uint32_t j = 0; j < infl; ++j)
      if (c.boneId[j] != kUnusedBone) blend = j;
    for (std::uint32_t v = c.vertexStart; v < c.vertexStart + c.vertexCount; ++v) {
      const Vec3 p = blended->Position(v);
      Vec3 out;
      float used = 0;
      for (std::uint32_t j = 0; j <= blend; ++j) {
        const float w = j < blend ? Beta(*blended, v, static_cast<int>(j)) : 1.0f - used;
        used += w;
        out += engine::Vec3TransformCoord(p, bone[c.boneId[j]]) * w;
      }
      const Vec3 want = expected[{p.x, p.y}];
      EXPECT_NEAR(out.x, want.x, 1e-5f);
      EXPECT_NEAR(out.y, want.y, 1e-5f);
      EXPECT_NEAR(out.z, want.z, 1e-5f);
    }
  }
  blended->Release();
}

TEST(XFileSkin, FacesOverFourBonesKeepTheHeaviest) {
  std::string text = std::string("xof 0303txt 0032\nFrame F { Mesh M {\n") +
                     "  3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;;\n";
  const char* weights[5][2] = {{"1; 0;", "0.5;"},
                               {"1; 0;", "0.5;"},
                               {"1; 1;", "0.9;"},
                               {"1; 1;", "0.1;"},
                               {"1; 2;", "1.0;"}};
  for (int b = 0; b < 5; ++b)
    text += "  SkinWeights { \"B" + std::to_string(b) + "\"; " + weights[b][0] + " " +
            weights[b][1] + " " + kIdentity + " }\n";
  text += "} }\n";
  auto l = xtest::LoadText(text);
  ASSERT_TRUE(l->ok) << l->error;
  engine::MeshContainer* mc = FirstContainer(l->root);
  EXPECT_EQ(mc->skinInfo->GetMaxFaceInfluences(*mc->mesh), 5u);
  std::uint32_t infl = 0;
  std::vector<BoneCombination> table;
  engine::Mesh* blended = mc->skinInfo->ConvertToBlendedMesh(*mc->mesh, &infl, &table);
  ASSERT_NE(blended, nullptr);
  EXPECT_EQ(infl, 4u);
  EXPECT_EQ(blended->GetFVF(), static_cast<std::uint32_t>(platform::kFvfXyzB3));
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].boneId, (std::vector<std::uint32_t>{0, 1, 2, 4}));  // B3 (0.1) dropped
  for (std::uint32_t v = 0; v < 3; ++v) {
    const Vec3 p = blended->Position(v);
    float b[3] = {Beta(*blended, v, 0), Beta(*blended, v, 1), Beta(*blended, v, 2)};
    const float last = 1.0f - b[0] - b[1] - b[2];
    if (p.x == 1.0f) {  // vertex 1: B2 0.9 and the dropped B3, so B2 alone
      EXPECT_FLOAT_EQ(b[2], 1.0f);
      EXPECT_NEAR(last, 0.0f, 1e-6f);
    } else if (p.y == 1.0f) {  // vertex 2: B4 in the implicit last slot
      EXPECT_FLOAT_EQ(b[0] + b[1] + b[2], 0.0f);
    } else {
      EXPECT_FLOAT_EQ(b[0], 0.5f);
      EXPECT_FLOAT_EQ(b[1], 0.5f);
    }
  }
  blended->Release();
}

TEST(XFileSkin, WeightsFollowSplitVerticesAndNeedNoFrame) {
  // Position 1 is split by normals; its weight reaches both copies. The bone
  // names a frame the file does not have, which is allowed.
  const std::string text =
      std::string("xof 0303txt 0032\nMesh M {\n") +
      "  4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;, 1.0;1.0;0.0;;\n"
      "  2; 3;0,1,2;, 3;1,3,2;;\n"
      "  MeshNormals { 2; 0.0;0.0;1.0;, 0.0;1.0;0.0;; 2; 3;0,0,0;, 3;1,1,0;; }\n"
      "  SkinWeights { \"NoSuchFrame\"; 1; 1; 0.75; " +
      kIdentity + " }\n}\n";
  auto l = xtest::LoadText(text);
  ASSERT_TRUE(l->ok) << l->error;
  engine::MeshContainer* mc = FirstContainer(l->root);
  ASSERT_EQ(mc->mesh->GetNumVertices(), 5u);  // position 1 split into vertex 4
  const auto& bone = mc->skinInfo->GetBone(0);
  EXPECT_EQ(bone.name, "NoSuchFrame");
  EXPECT_EQ(bone.vertices, (std::vector<std::uint32_t>{1, 4}));
  EXPECT_EQ(bone.weights, (std::vector<float>{0.75f, 0.75f}));
  EXPECT_EQ(engine::FrameFind(l->root, "NoSuchFrame"), nullptr);
}

const char* kAnimated = R"(xof 0303txt 0032
AnimTicksPerSecond { 100; }
Frame Arm { FrameTransformMatrix { 1.0,0,0,0,0,1.0,0,0,0,0,1.0,0,0,0,0,1.0;; } }
AnimationSet First {
  Animation {
    { Arm }
    AnimationKey { 0; 2; 0;4;0.70710678,0.0,0.70710678,0.0;;, 100;4;1.0,0.0,0.0,0.0;;; }
    AnimationKey { 2; 1; 0;3;1.0,2.0,3.0;;; }
  }
}
AnimationSet Second {
  Animation AnimArm {
    AnimationOptions { 1; 0; }
    { Arm }
    AnimationKey { 4; 1; 50;16; 0.0,0.0,-2.0,0.0, 0.0,3.0,0.0,0.0, 0.5,0.0,0.0,0.0, 4.0,5.0,6.0,1.0;;; }
  }
}
)";

TEST(XFileAnimation, SetsKeysAndTicksReachTheController) {
  auto l = xtest::LoadText(kAnimated);
  ASSERT_TRUE(l->ok) << l->error;
  ASSERT_NE(l->controller, nullptr);
  engine::AnimationController& ctl = *l->controller;
  ASSERT_EQ(ctl.GetNumAnimationSets(), 2u);
  // The controller indexes the sets; the loader hands them over in file
  // order, so with the reverse rule the last set is index 0.
  const char* first = engine::kAnimationSetsInFileOrder ? "First" : "Second";
  EXPECT_EQ(ctl.GetAnimationSet(0)->GetName(), first);
  const engine::AnimationSet* a = ctl.GetAnimationSet(engine::kAnimationSetsInFileOrder ? 0 : 1);
  EXPECT_EQ(a->GetName(), "First");
  EXPECT_EQ(a->GetTicksPerSecond(), 100.0);
  EXPECT_DOUBLE_EQ(a->GetPeriod(), 1.0);
  ASSERT_EQ(a->GetNumAnimations(), 1u);
  const engine::AnimationChannel& ch = a->GetChannel(0);
  EXPECT_EQ(ch.frameName, "Arm");
  ASSERT_EQ(ch.rotationKeys.size(), 2u);
  // File w, x, y, z = (cos 45, 0, sin 45, 0) is stored conjugated as x, y, z, w.
  EXPECT_FLOAT_EQ(ch.rotationKeys[0].value.y, -0.70710678f);
  EXPECT_FLOAT_EQ(ch.rotationKeys[0].value.w, 0.70710678f);
  EXPECT_EQ(ch.rotationKeys[1].time, 100u);
  ASSERT_EQ(ch.translationKeys.size(), 1u);
  EXPECT_EQ(ch.translationKeys[0].value, (Vec3{1, 2, 3}));
  EXPECT_TRUE(ch.scaleKeys.empty());

  // Posing set First at 0: the frame turns by the conjugated rotation.
  engine::Frame* arm = engine::FrameFind(l->root, "Arm");
  ASSERT_NE(arm, nullptr);
  ctl.SetTrackAnimationSet(0, const_cast<engine::AnimationSet*>(a));
  ctl.SetTrackPosition(0, 0.0);
  ctl.AdvanceTime(0.0);
  const Matrix want = engine::MatrixRotationQuaternion(ch.rotationKeys[0].value) *
                      engine::MatrixTranslation(1, 2, 3);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(arm->transformationMatrix.m[r][c], want.m[r][c], 1e-6f);
  // A point on +z turns towards -x: rotation about y by -90 degrees in our
  // row-vector convention.
  const Vec3 turned = engine::Vec3TransformNormal({0, 0, 1}, arm->transformationMatrix);
  EXPECT_NEAR(turned.x, -1.0f, 1e-5f);

  // The matrix key of Second is split into scale, rotation and translation.
  const engine::AnimationSet* b = ctl.GetAnimationSet(engine::kAnimationSetsInFileOrder ? 1 : 0);
  const engine::AnimationChannel& mch = b->GetChannel(0);
  ASSERT_EQ(mch.scaleKeys.size(), 1u);
  EXPECT_EQ(mch.scaleKeys[0].time, 50u);
  EXPECT_DOUBLE_EQ(b->GetPeriod(), 0.5);
  const Matrix rebuilt = engine::MatrixTransformation(
      mch.scaleKeys[0].value, mch.rotationKeys[0].value, mch.translationKeys[0].value);
  const float file[16] = {0, 0, -2, 0, 0, 3, 0, 0, 0.5f, 0, 0, 0, 4, 5, 6, 1};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(rebuilt.m[i / 4][i % 4], file[i], 1e-5f) << i;
}

TEST(XFileAnimation, TicksDefaultAndNoSetsNoController) {
  std::string text = kAnimated;
  text.replace(text.find("AnimTicksPerSecond { 100; }"), 27, "");
  auto l = xtest::LoadText(text);
  ASSERT_TRUE(l->ok) << l->error;
  EXPECT_EQ(l->controller->GetAnimationSet(0)->GetTicksPerSecond(), 4800.0);
  auto none = xtest::LoadText("xof 0303txt 0032\nFrame A { }\n");
  ASSERT_TRUE(none->ok) << none->error;
  EXPECT_EQ(none->controller, nullptr);
}

TEST(XFileAnimation, MatrixDecompositionRoundTrips) {
  const Matrix cases[] = {
      Matrix::Identity(),
      engine::MatrixScaling(2, 3, 4) * engine::MatrixRotationAxis({1, 2, 3}, 1.2f) *
          engine::MatrixTranslation(5, -6, 7),
      engine::MatrixScaling(-1, 1, 1) * engine::MatrixRotationY(2.5f),  // mirrored
      engine::MatrixRotationZ(3.14159f),                                // half turn
      engine::MatrixScaling(0.01f, 0.01f, 0.01f) * engine::MatrixRotationX(-1.0f),
  };
  for (const Matrix& m : cases) {
    Vec3 s, t;
    engine::Quaternion q;
    engine::xfile::DecomposeMatrix(m, &s, &q, &t);
    EXPECT_NEAR(std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w), 1.0f, 1e-5f);
    const Matrix back = engine::MatrixTransformation(s, q, t);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) EXPECT_NEAR(back.m[r][c], m.m[r][c], 1e-5f);
  }
}

}  // namespace
