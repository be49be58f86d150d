#pragma once
// The maker's web site and the addresses of its pages. The host is this one
// constant; the pages are opened with BuildEventUrl's query, which tells the site
// which program and which place sent the user.

#include <QString>

namespace app {
inline constexpr const char* kMakerWebSite = "https://www.quenmar.example";
inline constexpr const char* kProductsPath = "/products/vandrelpro/";
inline constexpr const char* kSupportPath = "/support/";
inline constexpr const char* kTestimonialsPath = "/testimonials/";

QString MakerWebSite();
QString MakerPage(const char* path);
}  // namespace app

// `base` without its trailing "/" characters, then "/?event1=VandrelPro&event2=Application"
// and, when `event` is given, "&event3=" and the event text. Nothing is URL-encoded.
QString BuildEventUrl(const QString& base, const QString& event = {});
