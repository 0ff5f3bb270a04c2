// The windowless system: a virtual clock that jumps ahead when the game
// waits, so headless runs go tick after tick without sleeping.
#include "platform/null/device_null.h"
#include "platform/system.h"

namespace platform {

namespace {

class HeadlessSystem : public System {
 public:
  bool CreateGameWindow(const WindowConfig&, WindowFailure* failure) override {
    if (failure) *failure = WindowFailure::None;
    return true;
  }
  std::unique_ptr<Device> CreateDevice() override { return std::make_unique<NullDevice>(); }
  void DestroyGameWindow() override {}
  bool PumpEvents() override { return !quit_; }
  void WaitEvents(std::uint32_t timeoutMs) override { now_ += timeoutMs; }
  bool IsForeground() const override { return true; }
  void PostQuit(int exitCode) override {
    quit_ = true;
    code_ = exitCode;
  }
  int QuitCode() const override { return code_; }
  void SetCloseHandler(std::function<void()> handler) override { close_ = std::move(handler); }
  std::uint32_t TimeGetTime() const override { return now_; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowError(const std::string&, const std::string&) override {}

 private:
  bool quit_ = false;
  int code_ = 0;
  std::uint32_t now_ = 0;
  std::function<void()> close_;
};

}  // namespace

std::unique_ptr<System> CreateHeadlessSystem() { return std::make_unique<HeadlessSystem>(); }

}  // namespace platform
