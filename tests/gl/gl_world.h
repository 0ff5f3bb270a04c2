// One SDL window with its GL device, shared by every GL test, and the small
// drawing helpers the tests use. Runs under Xvfb.
#pragma once

#if defined(__linux__)
#include <dlfcn.h>
#include <link.h>
#endif
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/graphics.h"
#include "platform/sdl_gl/backend.h"
#include "platform/system.h"

namespace gltest {

using namespace platform;
using namespace engine;

struct World {
  std::unique_ptr<System> system;
  std::unique_ptr<Device> device;  // destroyed before the system
};

// Keeps the GL driver loaded until the process ends. The driver is unloaded
// at exit otherwise, and the leak checker then cannot say that what it
// leaks is its own (tests/lsan.supp names the driver's libraries).
inline void PinGlDriver() {
#if defined(__linux__)
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void*) {
        const char* name = info->dlpi_name;
        if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium"))) {
          dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
        }
        return 0;
      },
      nullptr);
#endif
}

inline World& TheWorld() {
  static World world = [] {
    World w;
    // Most GL drivers hand the names of freed objects out again; Mesa does
    // only when asked. Ask, so the device meets that case here too (only
    // while the context is made: programs started by death tests run as
    // they would without it).
#if defined(_WIN32)
    _putenv_s("force_gl_names_reuse", "true");
#else
    setenv("force_gl_names_reuse", "true", 1);
#endif
    w.system = CreateSdlSystem();
    WindowFailure failure = WindowFailure::None;
    WindowConfig config;
    config.caption = "GL tests";
    if (w.system && w.system->CreateGameWindow(config, &failure)) {
      w.device = w.system->CreateDevice();
      PinGlDriver();
    } else {
      std::fprintf(stderr, "no window (failure %d): is DISPLAY set (xvfb-run)?\n",
                   static_cast<int>(failure));
    }
#if defined(_WIN32)
    _putenv_s("force_gl_names_reuse", "");
#else
    unsetenv("force_gl_names_reuse");
#endif
    return w;
  }();
  return world;
}

// Pre-transformed vertex: FVF XYZRHW | DIFFUSE | TEX1.
struct ScreenVertex {
  float x, y, z, rhw;
  std::uint32_t color;
  float u, v;
};
inline constexpr std::uint32_t kScreenFvf = kFvfXyzRhw | kFvfDiffuse | kFvfTex1;

class GlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TheWorld().device, nullptr) << "the GL tests need an X display";
    d = TheWorld().device.get();
    // Start each test from the defaults, on the back buffer, cleared black.
    Surface* bb = d->GetBackBuffer();
    d->SetRenderTarget(0, bb);
    bb->Release();
    d->SetState(DeviceState{});
    d->Clear(kClearTarget | kClearZBuffer | kClearStencil, 0xFF000000u, 1.0f, 0);
  }
  void TearDown() override {
    if (!d) return;
    d->SetTexture(0, nullptr);
    // Whatever a test did, the device never asked GL for anything invalid.
    EXPECT_EQ(sdl_gl::TakeGlError(*d), 0u);
  }

  // A screen-space rectangle drawn as a triangle fan of two triangles.
  void Quad(float l, float t, float r, float b, std::uint32_t color, float z = 0.0f, float u0 = 0,
            float v0 = 0, float u1 = 1, float v1 = 1) {
    ScreenVertex q[4] = {{l, t, z, 1, color, u0, v0},
                         {r, t, z, 1, color, u1, v0},
                         {r, b, z, 1, color, u1, v1},
                         {l, b, z, 1, color, u0, v1}};
    d->SetFVF(kScreenFvf);
    d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, q, sizeof(ScreenVertex));
  }

  // Presents and reads the picture back.
  std::vector<std::uint32_t> Frame() {
    d->Present();
    return d->ReadBackBuffer();
  }

  static std::uint32_t At(const std::vector<std::uint32_t>& px, int x, int y, int width = 800) {
    return px.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x));
  }

  Device* d = nullptr;
};

inline int Channel(std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// Each of r, g, b within `tolerance` of the expected 0..255 values.
inline ::testing::AssertionResult RgbNear(std::uint32_t actual, double r, double g, double b,
                                          double tolerance = 2.0) {
  double got[3] = {static_cast<double>(Channel(actual, 16)),
                   static_cast<double>(Channel(actual, 8)),
                   static_cast<double>(Channel(actual, 0))};
  double want[3] = {r, g, b};
  for (int i = 0; i < 3; ++i) {
    if (std::abs(got[i] - want[i]) > tolerance) {
      return ::testing::AssertionFailure() << "got (" << got[0] << ", " << got[1] << ", " << got[2]
                                           << ") want (" << r << ", " << g << ", " << b << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace gltest
