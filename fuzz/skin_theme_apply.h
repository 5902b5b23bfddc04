#pragma once
// Applies a ready skin archive as a file theme to a form with a title bar,
// a pop-up menu, a group box and a combo box, and to a themed form with a
// menu bar and its window region, and paints once, so the key lookups and
// region limits of the themed controls run on fuzzed archives too.
#include <string>

namespace fuzz {

// `root` is a folder the platform may use as its root for the whole run.
void ApplySkinTheme(const std::string& root, const std::string& windowsPath);

}  // namespace fuzz
