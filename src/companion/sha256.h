// SHA-256 (FIPS 180-4) of bytes and of files, for the records that say which file a
// result was made from.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv::companion {

class Sha256 {
 public:
  // `portable`: the rounds in C++ even where the processor has them (for the tests).
  explicit Sha256(bool portable = false);
  void add(std::string_view bytes);
  // The digest as 64 lower-case hexadecimal digits; the object is spent then.
  std::string hex();

 private:
  void blocks(const unsigned char* p, std::size_t n);
  void block(const unsigned char* p);
  std::array<std::uint32_t, 8> h_;
  bool portable_ = false;
  unsigned char buffer_[64] = {};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

inline std::string sha256_hex(std::string_view bytes) {
  Sha256 s;
  s.add(bytes);
  return s.hex();
}

// The digest of a file read through the OS seam, and its size; nothing when it cannot
// be read.
struct FileDigest {
  std::uint64_t size = 0;
  std::string sha256;
};
std::optional<FileDigest> file_digest(const std::string& name);

}  // namespace kv::companion
