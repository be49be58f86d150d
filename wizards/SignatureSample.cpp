#include "wizards/SignatureSample.h"

#include <QFile>

#include <algorithm>

std::vector<SignatureSample> g_SignatureSamples;
QStringList g_UnreadableSamples;

bool ReadSampleHeader(const QString& path, SignatureSample& sample) {
  sample = SignatureSample{};
  sample.path = path;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  std::size_t got = 0;
  while (got < kSampleHeaderSize) {
    const qint64 n = file.read(reinterpret_cast<char*>(sample.header.data() + got),
                               static_cast<qint64>(kSampleHeaderSize - got));
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  sample.length = got;
  return got > 0;
}

std::vector<SignatureSample> CollectSamples(const QStringList& paths, QStringList* unreadable) {
  std::vector<SignatureSample> samples;
  for (const QString& path : paths) {
    if (path.isEmpty()) continue;
    SignatureSample sample;
    if (ReadSampleHeader(path, sample)) samples.push_back(std::move(sample));
    else if (unreadable) unreadable->append(path);
  }
  return samples;
}

void AnalyseSamples(std::span<const SignatureSample> samples, std::span<std::uint8_t, kSampleHeaderSize> data,
                    std::span<std::uint8_t, kSampleHeaderSize> mask, const std::function<void(std::size_t)>& onSample) {
  if (samples.empty()) return;
  // A bit is shared by all samples exactly when each agrees with the first one.
  const SignatureSample& first = samples.front();
  std::size_t shortest = kSampleHeaderSize;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (onSample) onSample(i);
    const SignatureSample& s = samples[i];
    shortest = std::min(shortest, s.length);
    for (std::size_t k = 0; k < kSampleHeaderSize; ++k)
      mask[k] = static_cast<std::uint8_t>(mask[k] & ~(first.header[k] ^ s.header[k]));
  }
  for (std::size_t k = shortest; k < kSampleHeaderSize; ++k) mask[k] = 0;
  const SignatureSample& last = samples.back();
  for (std::size_t k = 0; k < kSampleHeaderSize; ++k) data[k] = static_cast<std::uint8_t>(last.header[k] & mask[k]);
}
