#pragma once
// Result files for the kernel window's tests, written by the core's own
// writers: a depth series whose sensitivity moves deeper with the pulse
// moment and turns its phase with depth, and a single-depth result with its
// signal table beside it.

#include <filesystem>
#include <string>

namespace kvo::gui::test {

// Writes NAME.mrm in `folder` and returns its path.
std::string writeDepthSeries(const std::filesystem::path& folder, const std::string& name);
// Writes NAME.mrm and NAME.dat (single depth 20 m) and returns the .mrm path.
std::string writeSingleDepth(const std::filesystem::path& folder, const std::string& name);

}  // namespace kvo::gui::test
