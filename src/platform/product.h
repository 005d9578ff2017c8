#pragma once

// The program's name: window titles, message captions, the help file, the tag its project
// files and plugin manifests carry.
namespace tw {

inline constexpr const char* kProductName = "Tonewright";

} // namespace tw
