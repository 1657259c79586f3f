// File names as a companion meets them: in UTF-8 on its command line and in what it
// says, and as std::filesystem paths for the files it reads and writes itself (names in
// the system's own bytes, for the record layer, are in system.h).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kv::companion {

// A path from a UTF-8 name.
std::filesystem::path utf8_path(std::string_view name);
// The name of a path as the messages show it (UTF-8).
std::string display_name(const std::filesystem::path& path);

}  // namespace kv::companion
