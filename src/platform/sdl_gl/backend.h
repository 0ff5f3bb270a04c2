// Internal to the sdl_gl back end: how its window and its device meet, the
// CPU-side helpers they share, and the hooks the GL tests drive them through.
// No SDL or GL header is included here, so tests may include this file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics.h"
#include "platform/system.h"

namespace platform::sdl_gl {

// The window's OpenGL context. The system and every device made for the
// window share it, so whichever of them goes last tears the window down and
// the device never outlives its context.
class GlContext {
 public:
  virtual ~GlContext() = default;
  // Size in pixels of the window's default framebuffer.
  virtual void DrawableSize(int* width, int* height) const = 0;
  virtual void Swap() = 0;
};

// The device drawing into the context (which must be current on this thread).
std::unique_ptr<Device> CreateGlDevice(std::shared_ptr<GlContext> context);

// Virtual-key code of an SDL scancode; 0 for keys the game never reads.
int VirtualKeyFromScancode(int scancode);

// Where each attribute sits in a vertex of a flexible vertex format.
struct VertexLayout {
  bool valid = false;        // false for a format without a known position
  bool rhw = false;          // pre-transformed screen position (x, y, z, rhw)
  std::uint32_t stride = 0;  // bytes per vertex
  int positionFloats = 3;
  int betas = 0;  // blend weights stored (indices excluded)
  std::uint32_t betaOffset = 0;
  bool normal = false;
  std::uint32_t normalOffset = 0;
  bool diffuse = false;
  std::uint32_t diffuseOffset = 0;
  int texFloats = 0;  // floats of texture coordinate set 0 (0 = none)
  std::uint32_t texOffset = 0;
};
VertexLayout LayoutOfFvf(std::uint32_t fvf);

// Rectangle (left, bottom, width, height in GL window terms) the 800 x 600
// back buffer is shown in when the window's framebuffer is width x height:
// as large as fits, 4:3 kept, centred, black bars elsewhere.
struct PresentRect {
  int x = 0, y = 0, width = 0, height = 0;
};
PresentRect FitBackBuffer(int windowWidth, int windowHeight);

// --- Hooks for the GL tests -------------------------------------------------

// Resizes the game window (as if the user dragged its border) and waits
// until the new size is in effect.
void SetWindowSizeForTest(System& system, int width, int height);
// Queues SDL input events for the next PumpEvents.
void PushKeyEventForTest(int scancode, bool down, bool repeat);
void PushQuitEventForTest();
void PushFocusEventForTest(System& system, bool gained);
// While on, Present keeps a copy of what it put into the window (top row
// first, 0xAARRGGBB) before swapping.
void CaptureWindowOnPresent(Device& device, bool on);
std::vector<std::uint32_t> CapturedWindow(Device& device, int* width, int* height);
// Waits until every drawing command given so far is finished (benchmarks
// time frames up to their last pixel).
void FinishForTest(Device& device);
// The first OpenGL error raised since the last call (0 for none); clears them.
std::uint32_t TakeGlError(Device& device);

}  // namespace platform::sdl_gl
