// The real Windows message boxes (MessageBoxW, with the text in UTF-16, so
// Japanese shows as it should), for the SDL back end on Windows.
#pragma once

#include <string>

namespace platform::win {

// Yes and No, No the default (Enter answers No); true for Yes. A box that
// cannot be shown answers No, with the question on standard error.
bool AskYesNo(const std::string& caption, const std::string& text);
// An error box with OK (the caller has said the message on standard error;
// a box that cannot be shown is said there too).
void ShowError(const std::string& caption, const std::string& text);

}  // namespace platform::win
