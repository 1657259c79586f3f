// SHA-256 of a file's bytes, so that a page names exactly the input files its figures
// come from. Fed a block at a time, so that a large load-cell record is never held whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv::report {

class Sha256 {
 public:
  Sha256();
  void update(std::string_view bytes);
  // The digest as 64 lowercase hexadecimal digits; the object takes no more bytes after.
  std::string hex();

 private:
  void block(const unsigned char* p);

  std::array<std::uint32_t, 8> h_;
  std::array<unsigned char, 64> buffer_{};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;  // bytes taken
};

// The digest of a whole text.
std::string sha256_hex(std::string_view bytes);

}  // namespace kv::report
