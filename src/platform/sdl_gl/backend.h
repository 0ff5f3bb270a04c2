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
  // Wakes the drawing thread from System::WaitEvents. Any thread may call it.
  virtual void WakeDrawingThread() {}

  // The device whose state the context's GL state is. A device keeps what
  // it last set (bindings, program, uniforms) to send only what changes;
  // devices sharing the context (tests make a second one) send everything
  // again after another drew, and a device going away clears it so a new
  // one made at the same address does not take the state as its own.
  const void* stateOwner = nullptr;
};

// The device drawing into the context (which must be current on this thread).
std::unique_ptr<Device> CreateGlDevice(std::shared_ptr<GlContext> context);

// Virtual-key code of an SDL scancode; 0 for keys the game never reads.
int VirtualKeyFromScancode(int scancode);

// How far the left stick must lean (of 32767) before it counts as an arrow
// key: a quarter of its travel, past the drift of a worn stick at rest.
inline constexpr int kStickDeadZone = 8000;

// Game-controller buttons and axes, numbered as SDL numbers them.
enum class PadButton {
  A,
  B,
  X,
  Y,
  Back,
  Guide,
  Start,
  LeftStick,
  RightStick,
  LeftShoulder,
  RightShoulder,
  DpadUp,
  DpadDown,
  DpadLeft,
  DpadRight,
  Misc,
  Paddle1,
  Paddle2,
  Paddle3,
  Paddle4,
  Touchpad,
  Count
};
enum class PadAxis { LeftX, LeftY, RightX, RightY, TriggerLeft, TriggerRight, Count };

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

// Whether a GL_RENDERER string names a rasteriser that runs on the CPU
// (Mesa's llvmpipe, softpipe and swrast, SwiftShader).
bool IsCpuRasteriser(const char* renderer);

// How many primitives the device lets a CPU rasteriser queue before it has
// them drawn. Such a rasteriser keeps every queued triangle (some 300 bytes
// each) until the frame is finished, so the busiest frames of play (about
// 100 000 triangles) held 30 MB at once; in batches they hold one batch.
// Most frames stay under one batch and are not split: each batch end waits
// for the rasteriser, which costs the overlap of its drawing with ours. A
// GPU queues nothing in our memory and gets no batches.
inline constexpr std::uint32_t kCpuRasteriserBatch = 24000;

// --- Hooks for the GL tests -------------------------------------------------

// Resizes the game window (as if the user dragged its border) and waits
// until the new size is in effect.
void SetWindowSizeForTest(System& system, int width, int height);
// Queues SDL input events for the next PumpEvents (`alt`: with Alt held).
void PushKeyEventForTest(int scancode, bool down, bool repeat, bool alt = false);
void PushQuitEventForTest();
// Queues a mouse move to (x, y) of the game window (SDL's window
// coordinates), or a left-button press there.
void PushMouseEventForTest(System& system, int x, int y, bool press);
void PushFocusEventForTest(System& system, bool gained);
// Whether the game window is full screen now, and the size of the desktop
// it fills then.
bool IsFullScreenForTest(System& system);
void DesktopSizeForTest(System& system, int* width, int* height);
// Pumps the window's events until its framebuffer is width x height or a
// second has passed; false when it never got there. The events stay queued
// for PumpEvents.
bool WaitForDrawableSizeForTest(System& system, int width, int height);
// A game controller plugged in by software (SDL's virtual joysticks), as if
// by hot-plug: the system opens it on its next PumpEvents. Returns the pad's
// handle, -1 when SDL cannot make one. Button and axis values take effect on
// the next PumpEvents.
int AttachVirtualPadForTest();
void SetVirtualPadButtonForTest(int pad, PadButton button, bool down);
void SetVirtualPadAxisForTest(int pad, PadAxis axis, int value);
// Unplugs it.
void DetachVirtualPadForTest(int pad);
// While on, Present keeps a copy of what it put into the window (top row
// first, 0xAARRGGBB) before swapping.
void CaptureWindowOnPresent(Device& device, bool on);
std::vector<std::uint32_t> CapturedWindow(Device& device, int* width, int* height);
// Waits until every drawing command given so far is finished (benchmarks
// time frames up to their last pixel).
void FinishForTest(Device& device);
// The batch size of CPU rasterisers (0: no batches), for this device.
void SetRasteriserBatchForTest(Device& device, std::uint32_t primitives);
// The first OpenGL error raised since the last call (0 for none); clears them.
std::uint32_t TakeGlError(Device& device);

}  // namespace platform::sdl_gl
