// poromeko-view: draws one model of the game with the game's own loaders,
// lighting and device into an 800 x 600 PNG, for content authors.
//
//   poromeko-view OUT.png MODEL [MODEL...] [--set K] [--time SECONDS] [--yaw DEG]
//                 [--pitch DEG]
//
// Run it from the folder that holds XFile/ and Texture/ (build/game). Several
// models are drawn together with one world matrix (the creature's three
// parts). The camera frames their bounds; animated models are posed with set
// K (default 0) at the given time.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/image.h"
#include "media/mesh_manager.h"
#include "platform/system.h"

namespace {

using namespace platform;
using namespace engine;

void SetGameLighting(Device& d) {
  Light light;
  light.type = LightType::Directional;
  light.diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
  light.specular = {1.0f, 1.0f, 1.0f, 0.0f};
  light.ambient = {0.5f, 0.5f, 0.5f, 0.0f};
  light.direction = Vec3Normalize({0.2f, -0.5f, -0.5f});
  light.range = 1000.0f;
  d.SetRenderState(RenderState::Lighting, 1);
  d.SetRenderState(RenderState::Ambient, 0xFF323232u);
  d.SetRenderState(RenderState::SpecularEnable, 0);
  d.SetRenderState(RenderState::ZEnable, 1);
  d.SetRenderState(RenderState::CullMode, kCullNone);
  d.SetRenderState(RenderState::AlphaBlendEnable, 1);
  d.SetRenderState(RenderState::SrcBlend, kBlendSrcAlpha);
  d.SetRenderState(RenderState::DestBlend, kBlendInvSrcAlpha);
  d.SetRenderState(RenderState::DiffuseMaterialSource, kMcsMaterial);
  d.SetTextureStageState(0, TextureStageState::AlphaOp, kTopModulate);
  d.SetTextureStageState(0, TextureStageState::AlphaArg2, kTaDiffuse);
  d.SetSamplerState(0, SamplerState::MinFilter, kTexfLinear);
  d.SetSamplerState(0, SamplerState::MagFilter, kTexfLinear);
  d.SetLight(0, light);
  d.LightEnable(0, true);
}

// Centre and radius of every vertex position of a mesh.
void Bounds(const Mesh& mesh, const Matrix& m, Vec3* lo, Vec3* hi) {
  for (std::uint32_t v = 0; v < mesh.GetNumVertices(); ++v) {
    Vec3 p = Vec3TransformCoord(mesh.Position(v), m);
    lo->x = std::fmin(lo->x, p.x);
    lo->y = std::fmin(lo->y, p.y);
    lo->z = std::fmin(lo->z, p.z);
    hi->x = std::fmax(hi->x, p.x);
    hi->y = std::fmax(hi->y, p.y);
    hi->z = std::fmax(hi->z, p.z);
  }
}

void FrameBounds(Frame* f, Vec3* lo, Vec3* hi) {
  if (!f) return;
  auto* fe = static_cast<AnimeXFile::FrameEx*>(f);
  for (MeshContainer* c = f->meshContainer; c; c = c->nextMeshContainer) {
    // Skinned meshes are in bind pose in mesh space; plain ones follow the frame.
    Bounds(*c->mesh, c->skinInfo ? Matrix::Identity() : fe->combinedTransform, lo, hi);
  }
  FrameBounds(f->sibling, lo, hi);
  FrameBounds(f->firstChild, lo, hi);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: poromeko-view OUT.png MODEL [MODEL...] [--set K] [--time S] "
                 "[--yaw DEG] [--pitch DEG]\n");
    return 2;
  }
  const std::string out = argv[1];
  std::vector<std::string> models;
  std::uint32_t set = 0;
  double time = 0.0;
  float yaw = 30.0f, pitch = 20.0f;
  for (int i = 2; i < argc; ++i) {
    bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--set") && hasValue) {
      set = static_cast<std::uint32_t>(std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--time") && hasValue) {
      time = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--yaw") && hasValue) {
      yaw = static_cast<float>(std::atof(argv[++i]));
    } else if (!std::strcmp(argv[i], "--pitch") && hasValue) {
      pitch = static_cast<float>(std::atof(argv[++i]));
    } else {
      models.push_back(argv[i]);
    }
  }

  auto system = CreateSdlSystem();
  WindowConfig config;
  config.caption = "poromeko-view";
  WindowFailure failure = WindowFailure::None;
  if (!system || !system->CreateGameWindow(config, &failure)) {
    std::fprintf(stderr, "poromeko-view: no window (is DISPLAY set?)\n");
    return 1;
  }
  auto device = system->CreateDevice();
  Device& d = *device;
  media::MeshManager store;  // goes before the device
  struct Shown {
    media::AnimatedModel* animated = nullptr;
    media::StaticMesh* still = nullptr;
  };
  std::vector<Shown> shown;
  Vec3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
  Matrix identity;
  for (const std::string& model : models) {
    // The store keys by address: each argument string is this run's one key.
    const char* key = model.c_str();
    Shown item;
    try {
      store.LoadAnimatedModel(key, &d);
      item.animated = store.FindAnimatedModel(key);
    } catch (const media::XFileLoadError& e) {
      std::fprintf(stderr, "poromeko-view: %s\n", e.what());
      return 1;
    }
    media::AnimatedModel* a = item.animated;
    if (a->controller && set < a->controller->GetNumAnimationSets()) {
      a->controller->SetTrackAnimationSet(0, a->animationSets[set]);
      media::SetAnimationPosition(a, time);
      a->controller->AdvanceTime(0.0);
    }
    bool skinned = false;
    for (Frame* f = a->rootFrame; f; f = f->firstChild)
      if (f->meshContainer && f->meshContainer->skinInfo) skinned = true;
    if (!skinned && !a->controller) {
      // A plain mesh: draw it the way static meshes are drawn.
      store.LoadStaticMesh(key, &d);
      item.still = store.FindStaticMesh(key);
    }
    media::UpdateFrameMatrices(a->rootFrame, &identity);
    FrameBounds(a->rootFrame, &lo, &hi);
    shown.push_back(item);
  }
  Vec3 centre = (lo + hi) * 0.5f;
  float radius = Vec3Length(hi - lo) * 0.5f;
  float yr = yaw * kDegToRad, pr = pitch * kDegToRad;
  Vec3 dir{std::sin(yr) * std::cos(pr), std::sin(pr), -std::cos(yr) * std::cos(pr)};
  Vec3 eye = centre + dir * (radius * 2.2f);

  SetGameLighting(d);
  d.SetTransform(TransformState::View, MatrixLookAtLH(eye, centre, {0, 1, 0}));
  d.SetTransform(TransformState::Projection,
                 MatrixPerspectiveFovLH(0.7853982f, 4.0f / 3.0f, radius * 0.05f, radius * 10.0f));
  d.SetTransform(TransformState::World, identity);
  d.BeginScene();
  d.Clear(kClearTarget | kClearZBuffer, 0xFFCFEFFFu, 1.0f, 0);
  for (const Shown& item : shown) {
    if (item.still) {
      media::DrawStaticMesh(item.still, &d);
    } else {
      media::DrawFrames(&d, item.animated->rootFrame);
    }
  }
  d.EndScene();
  d.Present();
  std::vector<std::uint32_t> px = d.ReadBackBuffer();
  std::string error;
  if (px.size() != 800u * 600u || !SavePng(out, 800, 600, px.data(), &error)) {
    std::fprintf(stderr, "poromeko-view: could not write %s %s\n", out.c_str(), error.c_str());
    return 1;
  }
  store.Clear();
  device.reset();
  system->DestroyGameWindow();
  return 0;
}
