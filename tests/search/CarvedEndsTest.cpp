// The signature search sizes a carved file by its format's own end, and a hit inside
// such a file is no file of its own: over hand-built files planted in noise, with
// small blocks so that a file and the hits inside it fall to different blocks (and,
// with several workers, to different workers).
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "FormatSamples.h"
#include "SearchTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "search/BuiltinFileTypes.h"
#include "search/SearchManager.h"
#include "search/StoreHitSink.h"

using namespace samples;

namespace {

struct CarvedEndsThreads : ::testing::Test {
  ProgramLog log;
  ScanProgress progress;
  test::SmallTypes types;

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    progress.running.store(1);
    for (auto& t : MakeBuiltinFileTypes()) types.db.AppendFileType(std::move(t));
    types.db.InstallAsProgramDatabase();
  }
  void TearDown() override { g_Log = nullptr; }
};

struct Planted {
  std::int64_t offset;
  std::int64_t size;
  std::int16_t typeId;
};

// Files one after the other at sector offsets, with noise between them (or none).
struct Image {
  Bytes bytes;
  std::vector<Planted> files;
  void Gap(std::size_t sectors, std::uint32_t seed) {
    const Bytes n = Noise(sectors * 512, seed);
    bytes.insert(bytes.end(), n.begin(), n.end());
  }
  // Plants the file at the next sector and pads its last sector with noise.
  void Put(const Bytes& file, std::int16_t typeId, std::int64_t size = -2) {
    files.push_back({std::int64_t(bytes.size()), size == -2 ? std::int64_t(file.size()) : size, typeId});
    bytes.insert(bytes.end(), file.begin(), file.end());
    const Bytes pad = Noise((512 - bytes.size() % 512) % 512, std::uint32_t(bytes.size()));
    bytes.insert(bytes.end(), pad.begin(), pad.end());
  }
};

// A tar whose members are JPEGs (each member's data starts a sector, as does each
// header: every one of them is a hit of its own).
Bytes TarOfJpegs(int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    const Bytes jpeg = Jpeg(i % 2 == 1);
    out = Cat({out, TarHeader("photo" + std::to_string(i) + ".jpg", jpeg.size()), jpeg,
               Fill((512 - jpeg.size() % 512) % 512, 0)});
  }
  out = Cat({out, Fill(1024, 0)});
  return Cat({out, Fill((10240 - out.size() % 10240) % 10240, 0)});
}

// A JPEG whose scan data holds, at a sector boundary, the bytes of a PNG header.
Bytes JpegWithPngInside() {
  Bytes jpeg = Jpeg();
  const Bytes png = Png();
  const std::size_t scanAt = jpeg.size() - 1200;  // inside the scan
  const std::size_t at = (scanAt + 511) / 512 * 512;
  jpeg = Cat({Bytes(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(scanAt)), Noise(at - scanAt, 4),
              Bytes(png.begin(), png.begin() + 40), Bytes(jpeg.begin() + std::ptrdiff_t(scanAt), jpeg.end())});
  return jpeg;
}

}  // namespace

TEST_F(CarvedEndsThreads, FilesEndWhereTheirFormatsSayAndNoHitInsideOneIsAFile) {
  Image image;
  image.Gap(3, 1);
  image.Put(TarOfJpegs(3), 330);
  image.Gap(2, 2);
  image.Put(JpegWithPngInside(), 83);
  image.Put(Pdf(), 47);  // back to back
  image.Put(Pdf(), 47);
  image.Gap(1, 3);
  image.Put(Zip(), 300);
  image.Put(Gzip(3000), 331);
  image.Gap(2, 4);
  image.Put(Cat({Text("RIFF"), Le32(1992), Text("WAVEfmt "), Noise(1984, 5)}), 200);
  image.Put(Tiff("NIKON CORPORATION"), 114);
  image.Put(Tiff("Canon"), 87);
  // An RTF has no walk: it reaches to the next file.
  const std::int64_t rtf = std::int64_t(image.bytes.size());
  image.Put(Cat({Text("{\\rtf1 hello}"), Noise(900, 6)}), 41, 1024);
  image.Put(Gif(), 85);
  image.Put(Png(), 88);
  image.Gap(5, 7);
  const std::int64_t sectors = std::int64_t(image.bytes.size() / 512);

  std::vector<std::vector<std::tuple<std::int64_t, std::int64_t, std::int16_t>>> results;
  for (std::int32_t workers : {1, 8}) {
    SCOPED_TRACE(workers);
    auto volume = test::MemoryVolume(std::make_shared<MemoryBlockDevice>(image.bytes), sectors);
    volume->Store().EnableOffsetIndex(1);
    StoreHitSink sink(volume->Store());
    CSearchManager search(volume, progress, test::SearchSettings(workers, 4096), types.db, &sink);
    ASSERT_EQ(search.RunSearch(), 0);
    EXPECT_EQ(search.InnerHits(), 2 + 3 + 1);  // tar headers and JPEGs, the PNG bytes

    std::vector<std::tuple<std::int64_t, std::int64_t, std::int16_t>> records;
    {
      auto view = volume->Store().Read();
      for (std::size_t i = 0; i < view.Count(); ++i) {
        const FoundObject* r = view.At(i);
        if (!r->IsFolder()) records.emplace_back(r->offset, r->size, r->typeId);
      }
    }
    std::sort(records.begin(), records.end());
    ASSERT_EQ(records.size(), image.files.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
      SCOPED_TRACE(image.files[i].offset);
      EXPECT_EQ(std::get<0>(records[i]), image.files[i].offset);
      EXPECT_EQ(std::get<1>(records[i]), image.files[i].size);
      EXPECT_EQ(std::get<2>(records[i]), image.files[i].typeId);
    }
    EXPECT_NE(volume->Store().FindByOffset(rtf), nullptr);
    results.push_back(records);
  }
  EXPECT_EQ(results[0], results[1]);
}
