// The language the user's system asks for its messages.
//
// Contract, for every back end: MessagesLocale returns the first of the
// environment's LC_ALL, LC_MESSAGES and LANG that is set and not empty (the
// order POSIX gives them), or "" when none is. In the browser the page's
// language (navigator.language; emscripten hands it to the program as LANG,
// "en_US.UTF-8" for "en-US") stands in for the system's. Headless runs read
// the same environment. On Windows (win/locale_win.cpp) it is the name of
// the user's interface language, from GetUserDefaultUILanguage ("ja-JP",
// "en-US"), and the environment is not read.
#pragma once

#include <string>

namespace platform {

std::string MessagesLocale();

}  // namespace platform
