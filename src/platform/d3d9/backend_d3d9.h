// Internal to the Direct3D 9 back end (Windows only): how the SDL system hands
// its window to the device, and the hooks tests drive the device through. No
// Windows or Direct3D header is included here.
#pragma once

#include <memory>
#include <string>

#include "platform/graphics.h"

namespace platform::d3d9 {

// The device drawing into the window `hwnd` (an HWND), on a real
// IDirect3DDevice9. `window` keeps the window open for as long as the device
// lives. Null, with the reason in *error, when Direct3D 9 gives no device
// there (no d3d9.dll, no adapter, no hardware vertex blending...).
std::unique_ptr<Device> CreateD3d9Device(void* hwnd, std::shared_ptr<void> window,
                                         std::string* error);

// Whether the device is a Direct3D 9 one.
bool IsD3d9Device(const Device& device);

// Goes through what a lost device needs, as if the device had been lost:
// every default-pool resource released, Reset, and all of them made again
// with what they held. False when Reset failed.
bool ResetDeviceForTest(Device& device);

// How many times the device was reset so far (a lost device, a new window
// size).
int ResetCountForTest(const Device& device);

}  // namespace platform::d3d9
