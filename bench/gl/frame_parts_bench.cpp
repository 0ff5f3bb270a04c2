// What each part of a play frame costs on the real device, drawn alone after
// a clear and before the present, timed until its last pixel: 0 nothing (the
// clear and the present), 1 the planet, 2 the sky, 3 the placed objects in
// view, 4 the insects in view, 5 the creature, 6 the HUD. Run under Xvfb.
#include <benchmark/benchmark.h>

#include "bench/game_setup.h"
#include "bench/gl/gl_bench.h"
#include "platform/sdl_gl/backend.h"
#include "scenes/game/hud.h"
#include "scenes/stage.h"
#include "world/camera.h"
#include "world/culling.h"

namespace {

enum Part { kNothing, kPlanet, kSky, kObjects, kInsects, kCreature, kHud };

void BM_FramePart(benchmark::State& state) {
  benchgl::Window& window = benchgl::SharedWindow();
  if (!window.device) {
    state.SkipWithError("no window: is DISPLAY set (xvfb-run)?");
    return;
  }
  platform::Device& d = *window.device;
  benchgame::BenchRun run(&d);
  scenes::GameParent& game = run.Game();
  for (int i = 0; i < 3; ++i) run.root->Draw(run.Frame());
  platform::sdl_gl::FinishForTest(d);
  const scenes::DrawContext frame = run.Frame();
  media::MeshManager& meshes = frame.meshes;
  const media::StaticMesh* tree = meshes.FindStaticMesh(content::model::kTree);
  const auto part = static_cast<Part>(state.range(0));
  double cpuMs = 0;
  for (auto _ : state) {
    benchgl::CpuSpan cpu(&cpuMs);
    d.BeginScene();
    d.Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFFFFFFFFu, 1.0f, 0);
    scenes::SetSceneLighting(d);
    world::ApplyCamera(d, game.camera);
    d.SetFVF(platform::kFvfXyz | platform::kFvfDiffuse | platform::kFvfTex1);
    const world::ViewVolume volume(game.camera.view, game.camera.projection);
    switch (part) {
      case kPlanet: world::DrawPlanet(d, meshes, game.planet.scale); break;
      case kSky:
        d.SetRenderState(platform::RenderState::Lighting, 0);
        world::DrawSky(d, meshes, game.skyAngle);
        d.SetRenderState(platform::RenderState::Lighting, 1);
        break;
      case kObjects:
        // Culled as an update ends, then drawn: the part's cost as it was
        // when drawing culled.
        world::CullObjects(meshes, run.objects, game.camera, *game.player,
                           tree ? tree->mesh : nullptr, volume,
                           world::Horizon(game.camera.eye, game.planet.InnerR()));
        world::DrawObjectsCulled(d, meshes, run.objects);
        break;
      case kInsects:
        run.enemies.DrawEnemiesCulled(d, meshes, game.player->mRotation, volume);
        break;
      case kCreature: game.player->Draw(d, meshes); break;
      case kHud: scenes::DrawHud(game, frame); break;
      case kNothing: break;
    }
    d.EndScene();
    d.Present();
    platform::sdl_gl::FinishForTest(d);
    cpu.Stop();
    state.PauseTiming();
    window.system->PumpEvents();
    state.ResumeTiming();
  }
  benchgl::ReportProcessCpu(state, cpuMs);
}
BENCHMARK(BM_FramePart)->DenseRange(kNothing, kHud)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
