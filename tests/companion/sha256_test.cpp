// SHA-256 against the FIPS 180-2 examples: the one-block and two-block messages, the
// empty message, a million 'a' added in uneven pieces, and padding at the block edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "companion/sha256.h"

namespace kv::companion {
namespace {

TEST(Sha256, TheStandardsExamples) {
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  Sha256 million;
  const std::string piece(997, 'a');
  std::size_t left = 1000000;
  while (left > 0) {
    const std::size_t n = left < piece.size() ? left : piece.size();
    million.add(std::string_view(piece).substr(0, n));
    left -= n;
  }
  EXPECT_EQ(million.hex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Messages of 55, 56 and 64 bytes put the length in the same block, in a block of its
// own, and after a full block.
TEST(Sha256, MessagesAtTheBlockEdges) {
  EXPECT_EQ(sha256_hex(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(sha256_hex(std::string(56, 'a')), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(sha256_hex(std::string(64, 'a')), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

// The processor's SHA instructions, where it has them, and the rounds in C++ give the same
// digest for messages of every length up to a few blocks, added in pieces of every size.
TEST(Sha256, TheHardwareAndThePortableRoundsAgree) {
  std::string message;
  for (int i = 0; i < 300; ++i) message += static_cast<char>((i * 37 + 11) & 0xFF);
  for (std::size_t n = 0; n <= message.size(); n += 7) {
    for (const std::size_t piece : {std::size_t{1}, std::size_t{13}, std::size_t{64}, std::size_t{200}}) {
      Sha256 fast, portable(true);
      for (std::size_t at = 0; at < n; at += piece) {
        const std::string_view part = std::string_view(message).substr(at, std::min(piece, n - at));
        fast.add(part);
        portable.add(part);
      }
      ASSERT_EQ(fast.hex(), portable.hex()) << n << " bytes in pieces of " << piece;
    }
  }
  Sha256 portable(true);
  portable.add("abc");
  EXPECT_EQ(portable.hex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace kv::companion
