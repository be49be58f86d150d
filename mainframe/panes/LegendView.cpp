#include "mainframe/panes/LegendView.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QUrl>

#include "app/App.h"
#include "app/DesktopOpener.h"
#include "controls/ControlId.h"
#include "mainframe/icons/FoundObjectIcons.h"
#include "mainframe/icons/MediaFolder.h"

namespace {

constexpr int kImageCount = 14;  // the legend explains images 0 to 13
constexpr int kIconSize = 16;

}  // namespace

CLegendView::CLegendView(QWidget* parent, const QString& mediaFolder) : QTextBrowser(parent) {
  setObjectName(QStringLiteral("CLegendView"));
  controls::SetControlId(this, kControlId);
  setFrameShape(QFrame::StyledPanel);
  setContextMenuPolicy(Qt::NoContextMenu);
  setOpenLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, &CLegendView::OnAnchor);
  const QString path = MediaPagePath(mediaFolder, QStringLiteral("legend.html"));
  address_ = QUrl::fromLocalFile(path).toString();
  found_ = QFileInfo(path).isFile();
  if (found_) {
    setSource(QUrl::fromLocalFile(path));
  } else {
    setPlainText(tr("The page %1 was not found.").arg(QDir::toNativeSeparators(path)));
  }
}

QVariant CLegendView::loadResource(int type, const QUrl& name) {
  if (type == QTextDocument::ImageResource && name.scheme() == QLatin1String("icon")) {
    bool ok = false;
    const int image = name.path().toInt(&ok);
    if (!ok || image < 0 || image >= kImageCount) return {};
    return CFoundObjectIcons::Icon(image).pixmap(kIconSize, kIconSize);
  }
  return QTextBrowser::loadResource(type, name);
}

void CLegendView::OnAnchor(const QUrl& link) {
  if (link.scheme() == QLatin1String("http") || link.scheme() == QLatin1String("https") ||
      link.scheme() == QLatin1String("mailto")) {
    if (g_App)
      g_App->Callbacks().OpenUrl(link);
    else
      CDesktopOpener::Open(link);
    return;
  }
  const QUrl target = source().resolved(link);
  if (target.isLocalFile() && QFileInfo(target.toLocalFile()).isFile()) setSource(target);
}

void CLegendView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QTextBrowser::mousePressEvent(event);
}

void CLegendView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QTextBrowser::mouseReleaseEvent(event);
}

void CLegendView::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }
