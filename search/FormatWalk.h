#pragma once
// Where a carved file ends, by its own format: each walk starts at the file's first
// byte (the signature hit) and follows the format's structure (segments, chunks,
// blocks, boxes, headers, directories) to the record that ends it. A walk reads
// through a FormatReader, so it never reads past the format's largest size, the
// volume's end or a stop of the pass, and it reads the file's own bytes only, each
// once. Every length and offset it meets is checked before use; a loop of offsets, a
// length past the limit or a structure that does not hold ends the walk without an
// end (-1), and the file keeps the sizing it has without one.

#include <cstdint>

class FormatReader;

// The formats that a walk knows.
enum class FormatKind : std::uint8_t {
  None,
  Jpeg,      // marker segments, the entropy-coded data of every scan, EOI
  Png,       // chunks to IEND (its CRC checked)
  Gif,       // blocks and sub-blocks to the trailer
  Tiff,      // the furthest structure the IFDs reference (TIFF and the camera raws on it)
  Zip,       // local entries, central directory, end record agreeing with the start
  Pdf,       // the last "%%EOF" whose startxref points at an xref table or stream
  Riff,      // the RIFF chunk's size (WAV, AVI, WebP, CorelDraw)
  IsoMedia,  // the top-level boxes (MP4, QuickTime, 3GP)
  Tar,       // headers by their sizes, the end-of-archive blocks and the record padding
  Gzip,      // the deflate stream and its trailer (zlib)
};

// The walk for a built-in type id; None for types without one.
FormatKind FormatKindOfType(std::int32_t typeId);
// The largest file a walk follows, in bytes.
std::int64_t FormatMaxBytes(FormatKind kind);

struct FormatEnd {
  std::int64_t end = -1;  // bytes from the file's first byte; -1: no end found
  // TIFF: the type that IFD0's Make tag gives (NEF 114, PEF 116, SRF 118), else TIFF 87.
  std::int32_t typeId = 0;
  bool Found() const { return end > 0; }
};

// Walks the file that `reader` holds from its first byte.
FormatEnd WalkFormat(FormatKind kind, FormatReader& reader);

// The single walks, for the tests and the fuzz target.
FormatEnd WalkJpeg(FormatReader& reader);
FormatEnd WalkPng(FormatReader& reader);
FormatEnd WalkGif(FormatReader& reader);
FormatEnd WalkTiff(FormatReader& reader);
FormatEnd WalkZip(FormatReader& reader);
FormatEnd WalkPdf(FormatReader& reader);
FormatEnd WalkRiff(FormatReader& reader);
FormatEnd WalkIsoMedia(FormatReader& reader);
FormatEnd WalkTar(FormatReader& reader);
FormatEnd WalkGzip(FormatReader& reader);
