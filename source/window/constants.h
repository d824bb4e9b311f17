#pragma once

// The program's fixed values, kept together.
namespace veltrin::constants {

inline constexpr const char* kExampleLink = "http://www.clipvane.com/watch?v=Qx7bT2mLp9A";
inline constexpr const char* kWatchedHostName = "clipvane.com";

inline constexpr const char* kCaption = "Download Clipvane Free";
inline constexpr const char* kMessageTitle = "Veltrin";

} // namespace veltrin::constants
