#pragma once
// Sending a new file type to the maker's signature service: a "mailto:" link whose
// body is the type blob in Base64, opened by the desktop's mail program.
//
// The link: "mailto:" + kSignatureServiceAddress + "?subject=newsign&body=" + the
// Base64 text in lines of 76 characters joined by CR LF, percent-encoded as a URL
// must be (CR LF as %0D%0A; "+", "/" and "=" encoded too), so that the mail's body
// is the Base64 text exactly. A link longer than kMaxMailtoLength is not sent:
// mail programs cut such links.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <span>

// The maker's signature service.
inline constexpr const char* kSignatureServiceAddress = "newsign@quenmar.example";
inline constexpr std::size_t kMaxMailtoLength = 16384;
inline constexpr int kBase64LineLength = 76;

// The blob in Base64 with "=" padding, in lines of 76 characters joined by CR LF
// (no line end after the last).
QByteArray Base64Lines(std::span<const std::uint8_t> blob);
// Every byte but the unreserved ones (letters, digits, "-", ".", "_", "~") as %XX.
QByteArray PercentEncode(const QByteArray& text);
// The whole link for the blob.
QByteArray BuildSignatureMailto(std::span<const std::uint8_t> blob);
