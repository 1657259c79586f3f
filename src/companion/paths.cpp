#include "companion/paths.h"

namespace kv::companion {

std::filesystem::path utf8_path(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string display_name(const std::filesystem::path& path) {
  const auto u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

}  // namespace kv::companion
