// On Windows the game speaks the language of the user's Windows: the
// environment's LC_ALL, LC_MESSAGES and LANG are no Windows player's
// settings.
#include <windows.h>

#include "platform/locale.h"
#include "platform/win/wide.h"

namespace platform {

std::string MessagesLocale() {
  const LANGID language = GetUserDefaultUILanguage();
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (LCIDToLocaleName(MAKELCID(language, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) > 0 &&
      name[0] != L'\0') {
    return win::Narrow(name);  // "ja-JP", "en-US", "de-DE"...
  }
  // No name for it: the primary language still tells Japanese apart.
  return PRIMARYLANGID(language) == LANG_JAPANESE ? "ja" : "en";
}

}  // namespace platform
