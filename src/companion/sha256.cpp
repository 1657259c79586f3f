#include "companion/sha256.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <vector>

#include "io/os.h"

namespace kv::companion {
namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KV_SHA_EXTENSIONS 1
// The processor's SHA extensions: the same rounds, four at a time in hardware, some ten
// times faster than the rounds below (a logger file of 10^7 lines is hundreds of MB).
bool has_sha_extensions() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  const bool sha = (b >> 29) & 1u;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = (c >> 9) & 1u, sse41 = (c >> 19) & 1u;
  return sha && ssse3 && sse41;
}

__attribute__((target("sha,sse4.1,ssse3"))) void sha_blocks(std::uint32_t* state, const unsigned char* data,
                                                            std::size_t blocks) {
  const __m128i mask = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
  tmp = _mm_shuffle_epi32(tmp, 0xB1);            // CDAB
  state1 = _mm_shuffle_epi32(state1, 0x1B);      // EFGH
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);   // CDGH
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abef = state0, cdgh = state1;
    __m128i m[4];
    for (int g = 0; g < 16; ++g) {
      __m128i& cur = m[g % 4];
      if (g < 4) cur = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), mask);
      __m128i msg = _mm_add_epi32(cur, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
      state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
      if (g >= 3 && g <= 14) {
        __m128i& next = m[(g + 1) % 4];
        next = _mm_add_epi32(next, _mm_alignr_epi8(cur, m[(g + 3) % 4], 4));
        next = _mm_sha256msg2_epu32(next, cur);
      }
      msg = _mm_shuffle_epi32(msg, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
      if (g >= 1 && g <= 12) m[(g + 3) % 4] = _mm_sha256msg1_epu32(m[(g + 3) % 4], cur);
    }
    state0 = _mm_add_epi32(state0, abef);
    state1 = _mm_add_epi32(state1, cdgh);
  }
  tmp = _mm_shuffle_epi32(state0, 0x1B);         // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xB1);      // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);   // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);      // ABEF
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

const bool kHardware = has_sha_extensions();
#endif

}  // namespace

Sha256::Sha256(bool portable)
    : h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      portable_(portable) {}

void Sha256::blocks(const unsigned char* p, std::size_t n) {
#ifdef KV_SHA_EXTENSIONS
  if (kHardware && !portable_) {
    sha_blocks(h_.data(), p, n);
    return;
  }
#endif
  for (; n > 0; --n, p += 64) block(p);
}

void Sha256::block(const unsigned char* p) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = (std::uint32_t{p[4 * i]} << 24) | (std::uint32_t{p[4 * i + 1]} << 16) | (std::uint32_t{p[4 * i + 2]} << 8) |
           std::uint32_t{p[4 * i + 3]};
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
  h_[5] += f;
  h_[6] += g;
  h_[7] += h;
}

void Sha256::add(std::string_view bytes) {
  length_ += bytes.size();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  if (used_ > 0) {
    const std::size_t take = std::min(n, 64 - used_);
    std::memcpy(buffer_ + used_, p, take);
    used_ += take;
    p += take;
    n -= take;
    if (used_ < 64) return;
    blocks(buffer_, 1);
    used_ = 0;
  }
  blocks(p, n / 64);
  p += n - n % 64;
  n %= 64;
  std::memcpy(buffer_, p, n);
  used_ = n;
}

std::string Sha256::hex() {
  const std::uint64_t bits = length_ * 8;
  buffer_[used_++] = 0x80;
  if (used_ > 56) {
    while (used_ < 64) buffer_[used_++] = 0;
    blocks(buffer_, 1);
    used_ = 0;
  }
  while (used_ < 56) buffer_[used_++] = 0;
  for (int i = 7; i >= 0; --i) buffer_[used_++] = static_cast<unsigned char>(bits >> (8 * i));
  blocks(buffer_, 1);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const std::uint32_t v : h_)
    for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(v >> shift) & 0xF];
  return out;
}

std::optional<FileDigest> file_digest(const std::string& name) {
  io::OpenResult r;
  do r = io::os().open(name, io::Access::Read);
  while (r.error == io::OsError::Interrupted);
  if (r.error != io::OsError::None) return std::nullopt;
  Sha256 s;
  FileDigest d;
  std::vector<char> block(std::size_t{1} << 20);
  bool ok = true;
  for (;;) {
    const io::OsResult got = io::os().read(r.handle, block.data(), block.size());
    if (got.error == io::OsError::Interrupted) continue;
    if (got.error != io::OsError::None) {
      ok = false;
      break;
    }
    if (got.bytes == 0) break;
    s.add(std::string_view(block.data(), got.bytes));
    d.size += got.bytes;
  }
  io::os().close(r.handle);
  if (!ok) return std::nullopt;
  d.sha256 = s.hex();
  return d;
}

}  // namespace kv::companion
