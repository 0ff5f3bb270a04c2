// Render targets, Present into windows of any shape, and resource lifetime.
#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "gl/gl_world.h"

namespace gltest {
namespace {

using TargetTest = GlTest;

TEST_F(TargetTest, RenderToTextureRoundTrip) {
  Texture* rt = d->CreateTexture(64, 64, Usage::RenderTarget);
  ASSERT_NE(rt, nullptr);
  Surface* depth = d->CreateDepthStencilSurface(64, 64, DepthFormat::D24S8);
  Surface* level = rt->GetSurfaceLevel(0);
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(rt->GetSurfaceLevel(1), nullptr);
  Surface* savedColor = d->GetRenderTarget(0);
  Surface* savedDepth = d->GetDepthStencilSurface();

  // A new one is transparent black.
  EXPECT_EQ(d->ReadTexture(rt), std::vector<std::uint32_t>(64 * 64, 0u));
  d->SetRenderTarget(0, level);
  d->SetDepthStencilSurface(depth);
  Viewport vp = d->GetViewport();
  EXPECT_EQ(vp.width, 64u);
  EXPECT_EQ(vp.height, 64u);
  d->Clear(kClearTarget | kClearZBuffer, 0xFF00FF00u, 1.0f, 0);
  Quad(0, 0, 32, 32, 0xFFFF0000u);  // the top-left quarter
  // Depth works in the texture's own depth surface.
  Quad(40, 40, 50, 50, 0xFF0000FFu, 0.3f);
  Quad(40, 40, 50, 50, 0xFFFFFFFFu, 0.6f);

  std::vector<std::uint32_t> px = d->ReadTexture(rt);
  ASSERT_EQ(px.size(), 64u * 64u);
  EXPECT_EQ(At(px, 0, 0, 64), 0xFFFF0000u);
  EXPECT_EQ(At(px, 31, 31, 64), 0xFFFF0000u);
  EXPECT_EQ(At(px, 32, 31, 64), 0xFF00FF00u);
  EXPECT_EQ(At(px, 31, 32, 64), 0xFF00FF00u);
  EXPECT_EQ(At(px, 45, 45, 64), 0xFF0000FFu);
  // A lock reads what was drawn into it.
  EXPECT_EQ(rt->LockRect()[0], 0xFFFF0000u);

  // Back to the back buffer, whose viewport comes back with it.
  d->SetRenderTarget(0, savedColor);
  d->SetDepthStencilSurface(savedDepth);
  EXPECT_EQ(d->GetViewport().width, 800u);
  d->SetTexture(0, rt);
  // With a mip filter too: its single level is all it takes (the result
  // screen draws its picture of the world so).
  d->SetSamplerState(0, SamplerState::MipFilter, kTexfLinear);
  Quad(100, 100, 164, 164, 0xFFFFFFFFu);
  d->SetTexture(0, nullptr);
  auto frame = Frame();
  EXPECT_EQ(At(frame, 100, 100), 0xFFFF0000u);
  EXPECT_EQ(At(frame, 131, 131), 0xFFFF0000u);
  EXPECT_EQ(At(frame, 140, 110), 0xFF00FF00u);
  EXPECT_EQ(At(frame, 110, 140), 0xFF00FF00u);
  EXPECT_EQ(At(frame, 145, 145), 0xFF0000FFu);

  savedColor->Release();
  savedDepth->Release();
  level->Release();
  depth->Release();
  rt->Release();
}

TEST_F(TargetTest, ASixteenBitDepthSurfaceTestsDepthAndTheDevicesOwnComesBackAfterIt) {
  Texture* rt = d->CreateTexture(64, 64, Usage::RenderTarget);
  Surface* depth = d->CreateDepthStencilSurface(64, 64, DepthFormat::D16);
  ASSERT_NE(depth, nullptr);
  Surface* level = rt->GetSurfaceLevel(0);
  Surface* savedColor = d->GetRenderTarget(0);
  Surface* savedDepth = d->GetDepthStencilSurface();
  d->SetRenderTarget(0, level);
  d->SetDepthStencilSurface(depth);
  d->Clear(kClearTarget | kClearZBuffer | kClearStencil, 0xFF000000u, 1.0f, 0);
  Quad(8, 8, 40, 40, 0xFF0000FFu, 0.5f);
  Quad(8, 8, 40, 40, 0xFFFFFFFFu, 0.501f);  // behind by 65 steps of 16 bits
  Quad(24, 24, 56, 56, 0xFFFF0000u, 0.499f);
  std::vector<std::uint32_t> px = d->ReadTexture(rt);
  EXPECT_EQ(At(px, 10, 10, 64), 0xFF0000FFu);
  EXPECT_EQ(At(px, 30, 30, 64), 0xFFFF0000u);
  EXPECT_EQ(At(px, 50, 50, 64), 0xFFFF0000u);
  EXPECT_EQ(At(px, 60, 60, 64), 0xFF000000u);

  // The back buffer with its own depth (and stencil) surface again.
  d->SetRenderTarget(0, savedColor);
  d->SetDepthStencilSurface(savedDepth);
  d->Clear(kClearTarget | kClearZBuffer | kClearStencil, 0xFF000000u, 1.0f, 0);
  Quad(100, 100, 140, 140, 0xFF00FF00u, 0.3f);
  Quad(100, 100, 140, 140, 0xFFFFFFFFu, 0.6f);
  auto frame = Frame();
  EXPECT_EQ(At(frame, 120, 120), 0xFF00FF00u);

  savedColor->Release();
  savedDepth->Release();
  level->Release();
  depth->Release();
  rt->Release();
}

TEST_F(TargetTest, CullingIsTheSameInTexturesAndTheBackBuffer) {
  Texture* rt = d->CreateTexture(128, 64, Usage::RenderTarget);
  Surface* level = rt->GetSurfaceLevel(0);
  Surface* saved = d->GetRenderTarget(0);
  Surface* savedDepth = d->GetDepthStencilSurface();
  d->SetRenderTarget(0, level);
  d->SetDepthStencilSurface(nullptr);  // no depth at all is allowed too
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  // Clockwise (front) and counter-clockwise screen triangles.
  ScreenVertex cw[3] = {{10, 10, 0, 1, 0xFFFFFFFFu, 0, 0},
                        {40, 10, 0, 1, 0xFFFFFFFFu, 0, 0},
                        {10, 40, 0, 1, 0xFFFFFFFFu, 0, 0}};
  ScreenVertex ccw[3] = {{50, 10, 0, 1, 0xFFFFFFFFu, 0, 0},
                         {50, 40, 0, 1, 0xFFFFFFFFu, 0, 0},
                         {80, 10, 0, 1, 0xFFFFFFFFu, 0, 0}};
  d->SetFVF(kScreenFvf);
  d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, cw, sizeof(ScreenVertex));
  d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, ccw, sizeof(ScreenVertex));
  auto px = d->ReadTexture(rt);
  EXPECT_EQ(At(px, 15, 15, 128), 0xFFFFFFFFu);
  EXPECT_EQ(At(px, 55, 15, 128), 0xFF000000u);
  d->SetRenderTarget(0, saved);
  Surface* depth = d->GetDepthStencilSurface();
  EXPECT_EQ(depth, nullptr);
  // The tests after this one draw with depth again.
  d->SetDepthStencilSurface(savedDepth);
  savedDepth->Release();
  saved->Release();
  level->Release();
  rt->Release();
}

TEST_F(TargetTest, BackBufferReadsWhatWasPresentedUntilTheNextFrameDraws) {
  Quad(0, 0, 10, 10, 0xFFFF0000u);
  d->Present();
  // Between frames (where screenshots are taken) the presented picture.
  auto px = d->ReadBackBuffer();
  ASSERT_EQ(px.size(), 800u * 600u);
  EXPECT_EQ(At(px, 5, 5), 0xFFFF0000u);
  EXPECT_EQ(At(px, 50, 50), 0xFF000000u);
  // The next frame's drawing.
  d->Clear(kClearTarget, 0xFF00FF00u, 1.0f, 0);
  EXPECT_EQ(At(d->ReadBackBuffer(), 5, 5), 0xFF00FF00u);
}

TEST_F(TargetTest, ARehearsedPictureIsDrawnButNeitherShownNorKept) {
  Quad(0, 0, 10, 10, 0xFFFF0000u);
  sdl_gl::CaptureWindowOnPresent(*d, true);
  d->Present();
  int w = 0, h = 0;
  const std::vector<std::uint32_t> shown = sdl_gl::CapturedWindow(*d, &w, &h);
  ASSERT_FALSE(shown.empty());

  d->SetRehearsal(true);
  d->Clear(kClearTarget | kClearZBuffer, 0xFF0000FFu, 1.0f, 0);
  Quad(0, 0, 10, 10, 0xFF00FF00u);
  // Even a picture that names the back buffer as its target.
  Surface* back = d->GetBackBuffer();
  d->SetRenderTarget(0, back);
  Quad(20, 20, 30, 30, 0xFF00FF00u);
  d->Present();
  // Drawn into the stand-in, through its one pixel: what the rasteriser
  // builds for the draws is built, and next to nothing is filled.
  const std::vector<std::uint32_t> rehearsed = d->ReadBackBuffer();
  EXPECT_EQ(At(rehearsed, 0, 0), 0xFF00FF00u);
  EXPECT_NE(At(rehearsed, 5, 5), 0xFF00FF00u);
  EXPECT_NE(At(rehearsed, 25, 25), 0xFF00FF00u);
  d->SetRehearsal(false);
  EXPECT_EQ(sdl_gl::CapturedWindow(*d, &w, &h), shown);  // the window got nothing
  auto px = d->ReadBackBuffer();
  EXPECT_EQ(At(px, 5, 5), 0xFFFF0000u);  // the back buffer kept the picture shown
  EXPECT_EQ(At(px, 25, 25), 0xFF000000u);

  // The next frame clears, draws and shows as ever, over the whole picture.
  d->Clear(kClearTarget, 0xFF0000FFu, 1.0f, 0);
  Quad(20, 20, 30, 30, 0xFF00FF00u);
  px = d->ReadBackBuffer();
  EXPECT_EQ(At(px, 25, 25), 0xFF00FF00u);
  EXPECT_EQ(At(px, 799, 599), 0xFF0000FFu);
  d->Present();
  EXPECT_NE(sdl_gl::CapturedWindow(*d, &w, &h), shown);
  sdl_gl::CaptureWindowOnPresent(*d, false);
  back->Release();
}

TEST_F(TargetTest, PresentLetterboxesIntoAnyWindow) {
  System& system = *TheWorld().system;
  d->Clear(kClearTarget, 0xFFFFFFFFu, 1.0f, 0);
  Quad(0, 0, 10, 10, 0xFFFF0000u);
  sdl_gl::CaptureWindowOnPresent(*d, true);

  struct Case {
    int w, h;
    int x, y, pw, ph;  // where the picture should land
  };
  for (Case k : {Case{800, 600, 0, 0, 800, 600}, Case{1000, 600, 100, 0, 800, 600},
                 Case{800, 800, 0, 100, 800, 600}, Case{400, 300, 0, 0, 400, 300}}) {
    SCOPED_TRACE(k.w * 10000 + k.h);
    sdl_gl::SetWindowSizeForTest(system, k.w, k.h);
    d->Present();
    int w = 0, h = 0;
    auto win = sdl_gl::CapturedWindow(*d, &w, &h);
    ASSERT_EQ(w, k.w);
    ASSERT_EQ(h, k.h);
    // Bars are black, the picture sits right side up inside them.
    if (k.x > 0) {
      EXPECT_EQ(At(win, k.x - 1, h / 2, w) & 0xFFFFFFu, 0u);
      EXPECT_EQ(At(win, k.x + k.pw, h / 2, w) & 0xFFFFFFu, 0u);
    }
    if (k.y > 0) {
      EXPECT_EQ(At(win, w / 2, k.y - 1, w) & 0xFFFFFFu, 0u);
      EXPECT_EQ(At(win, w / 2, k.y + k.ph, w) & 0xFFFFFFu, 0u);
    }
    EXPECT_TRUE(RgbNear(At(win, k.x + 1, k.y + 1, w), 255, 0, 0));
    EXPECT_TRUE(RgbNear(At(win, k.x + k.pw - 1, k.y + k.ph - 1, w), 255, 255, 255));
    EXPECT_TRUE(RgbNear(At(win, k.x + k.pw / 2, k.y + 1, w), 255, 255, 255));
  }
  sdl_gl::CaptureWindowOnPresent(*d, false);
  sdl_gl::SetWindowSizeForTest(system, 800, 600);
}

TEST_F(TargetTest, ResourcesMayOutliveTheirDevice) {
  std::unique_ptr<Device> other = TheWorld().system->CreateDevice();
  ASSERT_NE(other, nullptr);
  Texture* tex = other->CreateTexture(4, 4, Usage::Default);
  Texture* rt = other->CreateTexture(8, 8, Usage::RenderTarget);
  Surface* level = rt->GetSurfaceLevel(0);
  Surface* back = other->GetBackBuffer();
  VertexBuffer* vb = other->CreateVertexBuffer(4 * sizeof(ScreenVertex), kScreenFvf);
  IndexBuffer* ib = other->CreateIndexBuffer(6);
  // Give every resource its GL side.
  other->SetRenderTarget(0, level);
  other->SetTexture(0, tex);
  auto* v = static_cast<ScreenVertex*>(vb->Lock());
  for (int i = 0; i < 4; ++i) v[i] = {float(i & 1) * 8, float(i >> 1) * 8, 0, 1, ~0u, 0, 0};
  vb->Unlock();
  const std::uint32_t idx[6] = {0, 1, 3, 0, 3, 2};
  std::copy(idx, idx + 6, ib->Lock());
  ib->Unlock();
  other->DrawIndexedPrimitive(vb, ib, PrimitiveType::TriangleList, 0, 2);
  other->SetTexture(0, nullptr);
  other.reset();
  // The device is gone: these free their CPU side only.
  tex->Release();
  level->Release();
  rt->Release();
  back->Release();
  vb->Release();
  ib->Release();

  // The first device still draws.
  Quad(0, 0, 10, 10, 0xFFFF0000u);
  EXPECT_EQ(At(Frame(), 5, 5), 0xFFFF0000u);
}

TEST_F(TargetTest, TexturesFromAnotherThread) {
  // The loading thread creates and fills textures without a GL context; the
  // drawing thread uploads them when first used.
  Texture* made = nullptr;
  std::thread loader([&] {
    made = d->CreateTexture(1, 1, Usage::Default);
    if (made) {
      made->LockRect()[0] = 0xFF0080FFu;
      made->UnlockRect();
    }
  });
  loader.join();
  ASSERT_NE(made, nullptr);
  d->SetTexture(0, made);
  Quad(0, 0, 10, 10, 0xFFFFFFFFu);
  d->SetTexture(0, nullptr);
  EXPECT_EQ(At(Frame(), 5, 5), 0xFF0080FFu);
  // Released on another thread too: the GL name is freed by the drawing thread.
  std::thread releaser([&] { made->Release(); });
  releaser.join();
  Quad(0, 0, 10, 10, 0xFF00FF00u);
  EXPECT_EQ(At(Frame(), 5, 5), 0xFF00FF00u);
}

TEST_F(TargetTest, LoadedPicturesGoUpBetweenFramesAFewMegabytesAtATime) {
  // 2048 x 1024 with its mip chain, filled by the loading thread: 8 MB of
  // level 0, two frames' worth. Columns alternate black and white.
  Texture* big = nullptr;
  std::thread loader([&] {
    big = d->CreateTexture(2048, 1024, Usage::Default);
    if (!big) return;
    std::uint32_t* px = big->LockRect();
    for (std::size_t i = 0; i < std::size_t{2048} * 1024; ++i)
      px[i] = (i & 1) ? 0xFFFFFFFFu : 0xFF000000u;
    big->UnlockRect();
  });
  loader.join();
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->GetLevelCount(), 12u);
  EXPECT_TRUE(d->UploadsPending());
  d->Present();
  EXPECT_TRUE(d->UploadsPending());  // half of it went up with that frame
  d->Present();
  EXPECT_FALSE(d->UploadsPending());
  // Drawn into one pixel through the mip filter: the smallest level, the
  // columns' mean.
  d->SetTexture(0, big);
  d->SetSamplerState(0, SamplerState::MipFilter, kTexfLinear);
  Quad(3, 3, 4, 4, 0xFFFFFFFFu);
  d->SetTexture(0, nullptr);
  EXPECT_EQ(At(Frame(), 3, 3), 0xFF808080u);
  big->Release();
}

TEST_F(TargetTest, ALoaderWaitsWhileMoreThanEightMegabytesOfItsPicturesWaitToGoUp) {
  // Five 1024 x 1024 pictures (4 MB each) filled on another thread, with no
  // frame between them: the first three queue at once, the fourth finds
  // 12 MB before it and waits until the drawing thread sends some.
  std::array<Texture*, 5> pictures{};
  for (Texture*& t : pictures) t = d->CreateTexture(1024, 1024, Usage::Default);
  std::atomic<int> filled{0};
  std::thread loader([&] {
    for (Texture* t : pictures) {
      std::fill_n(t->LockRect(), std::size_t{1024} * 1024, 0xFF336699u);
      t->UnlockRect();
      ++filled;
    }
  });
  for (int i = 0; i < 2000 && filled.load() < 3; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int beforeSending = filled.load();
  while (d->UploadsPending()) d->SendUploads();
  loader.join();
  EXPECT_EQ(beforeSending, 3);
  EXPECT_EQ(filled.load(), 5);
  // Each went up whole.
  d->SetTexture(0, pictures[3]);
  Quad(3, 3, 4, 4, 0xFFFFFFFFu);
  d->SetTexture(0, nullptr);
  EXPECT_EQ(At(Frame(), 3, 3), 0xFF336699u);
  for (Texture* t : pictures) t->Release();
}

}  // namespace
}  // namespace gltest
