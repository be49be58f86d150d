#pragma once
// SHA-256, to compare data read back or recovered with the fixtures' manifests.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace test {

class Sha256Hasher {
 public:
  void Update(const std::uint8_t* p, std::size_t n) {
    length_ += n;
    while (n) {
      const std::size_t take = std::min(n, std::size_t(64) - used_);
      std::memcpy(block_ + used_, p, take);
      used_ += take;
      p += take;
      n -= take;
      if (used_ == 64) {
        Compress(block_);
        used_ = 0;
      }
    }
  }
  std::string Hex() {
    const std::uint64_t bits = length_ * 8;
    const std::uint8_t one = 0x80, zero = 0;
    Update(&one, 1);
    while (used_ != 56) Update(&zero, 1);
    std::uint8_t tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = std::uint8_t(bits >> (56 - 8 * i));
    Update(tail, 8);
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::uint32_t w : h_)
      for (int i = 28; i >= 0; i -= 4) out += digits[(w >> i) & 15];
    return out;
  }

 private:
  static std::uint32_t R(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void Compress(const std::uint8_t* b) {
    static const std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = std::uint32_t(b[4 * i]) << 24 | std::uint32_t(b[4 * i + 1]) << 16 | std::uint32_t(b[4 * i + 2]) << 8 |
             b[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = R(w[i - 15], 7) ^ R(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = R(w[i - 2], 17) ^ R(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h_[0], bb = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t1 = h + (R(e, 6) ^ R(e, 11) ^ R(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const std::uint32_t t2 = (R(a, 2) ^ R(a, 13) ^ R(a, 22)) + ((a & bb) ^ (a & c) ^ (bb & c));
      h = g, g = f, f = e, e = d + t1, d = c, c = bb, bb = a, a = t1 + t2;
    }
    h_[0] += a, h_[1] += bb, h_[2] += c, h_[3] += d, h_[4] += e, h_[5] += f, h_[6] += g, h_[7] += h;
  }
  std::uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::uint8_t block_[64];
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

inline std::string Sha256(const std::uint8_t* data, std::size_t size) {
  Sha256Hasher h;
  h.Update(data, size);
  return h.Hex();
}

}  // namespace test
