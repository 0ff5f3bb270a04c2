#include <windows.h>

#include <cstdio>

#include "platform/win/dialogs.h"
#include "platform/win/wide.h"

namespace platform::win {

bool AskYesNo(const std::string& caption, const std::string& text) {
  const int answer =
      MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(),
                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND | MB_TASKMODAL);
  if (answer == 0) {
    std::fprintf(stderr, "%s: %s [no message box: %s; answering No]\n", caption.c_str(),
                 text.c_str(), LastErrorText().c_str());
    return false;
  }
  return answer == IDYES;
}

void ShowError(const std::string& caption, const std::string& text) {
  if (MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(),
                  MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TASKMODAL) == 0) {
    std::fprintf(stderr, "window: no error box (%s)\n", LastErrorText().c_str());
  }
}

}  // namespace platform::win
