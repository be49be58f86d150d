#include "app/WebLinks.h"

namespace app {
QString MakerWebSite() { return QString::fromLatin1(kMakerWebSite); }
QString MakerPage(const char* path) { return MakerWebSite() + QString::fromLatin1(path); }
}  // namespace app

QString BuildEventUrl(const QString& base, const QString& event) {
  QString url = base;
  while (url.endsWith(QLatin1Char('/'))) url.chop(1);
  url += QStringLiteral("/?event1=VandrelPro&event2=Application");
  if (!event.isNull()) url += QStringLiteral("&event3=") + event;
  return url;
}
