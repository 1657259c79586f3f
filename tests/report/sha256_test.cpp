// The digest that names a page's input files, against the published test vectors, and
// the same digest however the bytes are cut into pieces.
#include <gtest/gtest.h>

#include <string>

#include "report/sha256.h"

namespace kv::report {
namespace {

TEST(Sha256, PublishedVectors) {
  struct Case {
    std::string message, digest;
  } const cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) EXPECT_EQ(sha256_hex(c.message), c.digest) << c.message.substr(0, 60);
}

// Lengths around the padding's edge (55, 56, 63, 64 bytes) fed in pieces of every size
// give the digest of the whole: a fault in the buffering or the length block shows here.
TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('A' + i % 53);
  for (const std::size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 300u}) {
    const std::string whole = sha256_hex(std::string_view(text).substr(0, length));
    for (const std::size_t piece : {1u, 3u, 7u, 63u, 64u, 65u}) {
      Sha256 s;
      for (std::size_t at = 0; at < length; at += piece) s.update(std::string_view(text).substr(at, std::min(piece, length - at)));
      EXPECT_EQ(s.hex(), whole) << "length " << length << ", pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace kv::report
