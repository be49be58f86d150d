#include "wizards/SignatureMail.h"

QByteArray Base64Lines(std::span<const std::uint8_t> blob) {
  const QByteArray encoded =
      QByteArray(reinterpret_cast<const char*>(blob.data()), static_cast<qsizetype>(blob.size())).toBase64();
  QByteArray out;
  out.reserve(encoded.size() + encoded.size() / kBase64LineLength * 2 + 2);
  for (qsizetype at = 0; at < encoded.size(); at += kBase64LineLength) {
    if (at > 0) out.append("\r\n");
    out.append(encoded.mid(at, kBase64LineLength));
  }
  return out;
}

QByteArray PercentEncode(const QByteArray& text) {
  // QByteArray::toPercentEncoding leaves exactly the unreserved characters as they are.
  return text.toPercentEncoding();
}

QByteArray BuildSignatureMailto(std::span<const std::uint8_t> blob) {
  QByteArray link("mailto:");
  link.append(kSignatureServiceAddress);
  link.append("?subject=newsign&body=");
  link.append(PercentEncode(Base64Lines(blob)));
  return link;
}
