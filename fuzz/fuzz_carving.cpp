// The format walks that give a carved file its end and the header checks of the
// two-byte signatures, over arbitrary bytes, read as the search reads a file: the
// first bytes in hand, the rest in sectors from a volume that ends with the input.
//
// The input's first byte chooses what runs (its value modulo 14: the ten walks in
// FormatKind order from JPEG, then the DOS, gzip, ARJ and HA header checks), the
// second how many sectors are in hand (modulo 8), the third a limit below the
// volume's end (0: none; else that many KB). The rest is the file.
//
// A walk's end lies inside the limit and the volume; no read goes past the volume's
// end or starts off a sector; the walk reads no byte twice beyond one window.
//
// Seeds (fuzz/corpus/carving) are the samples of tests/fixtures/samples.bin (made by
// ImageMagick, cjpeg, jpegtran, exiftool, img2pdf, Python, GNU tar and gzip; see
// tests/fixtures/make_samples.sh), each behind the bytes that choose its walk, and
// cut short copies of them; see make_seeds.sh.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "search/FormatReader.h"
#include "search/FormatWalk.h"
#include "search/HeaderCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int what = data[0] % 14;
  const std::size_t headSectors = data[1] % 8;
  const std::int64_t limitKB = data[2];
  std::vector<std::uint8_t> volume(data + 3, data + size);
  volume.resize((volume.size() + 511) / 512 * 512, 0);
  const std::int64_t volumeBytes = std::int64_t(volume.size());

  const FormatKind kind = what < 10 ? FormatKind(what + 1) : FormatKind::None;
  std::int64_t limit = kind != FormatKind::None ? FormatMaxBytes(kind) : std::int64_t(1) << 20;
  if (limitKB) limit = std::min(limit, limitKB * 1024);

  std::int64_t readBytes = 0;
  std::vector<std::uint8_t> scratch;
  const std::size_t head = std::min(volume.size(), headSectors * 512);
  FormatReader reader(
      platform::Bytes(volume.data(), head), volumeBytes, limit,
      [&](std::int64_t position, std::uint8_t* out, std::size_t length) -> std::int64_t {
        fuzz::Check(position >= 0 && position % 512 == 0 && length % 512 == 0 &&
                        position + std::int64_t(length) <= volumeBytes,
                    "a read off a sector or past the volume");
        std::memcpy(out, volume.data() + position, length);
        readBytes += std::int64_t(length);
        return std::int64_t(length);
      },
      {}, scratch);

  if (kind != FormatKind::None) {
    const FormatEnd end = WalkFormat(kind, reader);
    fuzz::Check(!end.Found() || end.end <= std::min(limit, volumeBytes), "an end past the limit or the volume");
    // Sequential walks read each byte once; the TIFF and PDF look-ups may read a few
    // sectors more, and the ZIP descriptor search as well.
    if (kind != FormatKind::Tiff && kind != FormatKind::Pdf && kind != FormatKind::Zip)
      fuzz::Check(readBytes <= volumeBytes, "a byte read twice");
  } else {
    static bool (*const kChecks[])(FormatReader&) = {DosExecutableHeaderHolds, GzipHeaderHolds, ArjHeaderHolds,
                                                      HaHeaderHolds};
    kChecks[what - 10](reader);
  }
  return 0;
}
