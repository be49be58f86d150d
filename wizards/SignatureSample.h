#pragma once
// The sample files of the New Signature Wizard and the analysis that finds the bits
// they share.
//
// A sample is the first 512 bytes of a file (fewer when the file is shorter) and
// its path. `g_SignatureSamples` holds them in the order of the wizard's file list;
// the first page fills it (CollectSamples), the analysis page reads it.
//
// AnalyseSamples is a pure function: every bit of the mask that all samples agree
// on stays set, every other one is cleared, and the data keeps the common bits
// (0 where the mask is 0). Bytes past the shortest sample are not shared by all
// samples, so the mask is cleared there.
//
// GUI thread only (the globals).

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

inline constexpr std::size_t kSampleHeaderSize = 512;

struct SignatureSample {
  std::array<std::uint8_t, kSampleHeaderSize> header{};  // zero past `length`
  std::size_t length = 0;                                 // bytes read, 1..512
  QString path;
};

extern std::vector<SignatureSample> g_SignatureSamples;
// The listed files that gave no sample (the analysis page logs them).
extern QStringList g_UnreadableSamples;

// Reads the first 512 bytes of `path` (fewer when the file is shorter) into
// `sample`. False when the file can't be opened or read, or is empty: such a file
// gives no sample.
bool ReadSampleHeader(const QString& path, SignatureSample& sample);

// The samples of the paths in order (empty entries skipped). The paths that gave no
// sample go to `unreadable`.
std::vector<SignatureSample> CollectSamples(const QStringList& paths, QStringList* unreadable = nullptr);

// Clears in `mask` every bit on which the samples differ and every byte past the
// shortest sample, then sets `data` to the common bits under the mask (the last
// sample's bits, equal in all of them). `onSample(i)` is called before sample i is
// compared. Without samples nothing changes.
void AnalyseSamples(std::span<const SignatureSample> samples, std::span<std::uint8_t, kSampleHeaderSize> data,
                    std::span<std::uint8_t, kSampleHeaderSize> mask,
                    const std::function<void(std::size_t)>& onSample = {});
