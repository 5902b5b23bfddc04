// Windows paths on Linux. The engine builds paths with backslashes and drive
// letters: "X:\" is the folder "drives/x/" under the platform root, except
// "Z:\", which is "/", so any Linux path can be named. A relative path stays
// relative to the working folder. A component not found as written is looked
// up case-insensitively in its folder, as Windows file names are.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The Linux path a Windows path names: "C:\Game\Data.pak" becomes
// "<root>/drives/c/Game/data.pak" when that is how the file is spelled.
std::string MapPath(std::string_view windowsPath);

// A Linux path shown as the engine expects one: "/home/p/x" becomes
// "Z:\home\p\x"; a relative path is made absolute against the working folder.
std::string ShowPath(std::string_view linuxPath);

// The platform root: set by a test, else $TARVEL_ROOT, else
// $XDG_DATA_HOME/tarvel, else ~/.local/share/tarvel. Never ends with '/'.
std::string PlatformRoot();

// "C:\Users\Player\Documents".
inline constexpr std::string_view kMyDocuments = "C:\\Users\\Player\\Documents";

}  // namespace platform
