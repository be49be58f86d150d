#include "mainframe/explorer/MyComputerView.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/DesktopOpener.h"
#include "controls/ControlId.h"
#include "mainframe/icons/MediaFolder.h"

CMyComputerView::CMyComputerView(QWidget* parent, const QString& mediaFolder)
    : QWidget(parent), browser_(new QTextBrowser(this)) {
  setObjectName(QStringLiteral("CMyComputerView"));
  controls::SetControlId(browser_, kBrowserId);
  browser_->setFrameShape(QFrame::StyledPanel);
  browser_->setOpenLinks(false);
  browser_->setContextMenuPolicy(Qt::NoContextMenu);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  connect(browser_, &QTextBrowser::anchorClicked, this, &CMyComputerView::OnLinkClicked);
  opener_ = [](const QUrl& url) {
    if (g_App)
      g_App->Callbacks().OpenUrl(url);
    else
      CDesktopOpener::Open(url);
  };
  const QString page = MediaPagePath(mediaFolder, QStringLiteral("index.html"));
  folder_ = QFileInfo(page).absolutePath();
  if (QFileInfo(page).isFile()) {
    Navigate(QUrl::fromLocalFile(page));
  } else {
    browser_->setPlainText(tr("The page %1 was not found.").arg(page));
  }
}

void CMyComputerView::OnLinkClicked(const QUrl& link) {
  const QString scheme = link.scheme();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) {
    if (opener_) opener_(link);
    return;
  }
  // Another page of the media folder opens in place; anything else is not followed.
  const QUrl target = browser_->source().resolved(link);
  if (!target.isLocalFile()) return;
  const QString path = QFileInfo(target.toLocalFile()).canonicalFilePath();
  if (path.isEmpty() || !path.startsWith(QFileInfo(folder_).canonicalFilePath() + QLatin1Char('/'))) return;
  if (!link.fragment().isEmpty() && target.adjusted(QUrl::RemoveFragment) == browser_->source().adjusted(QUrl::RemoveFragment)) {
    browser_->scrollToAnchor(link.fragment());
    return;
  }
  if (QFileInfo(path).isFile()) Navigate(target);
}

bool CMyComputerView::ShowPage(const QString& name) {
  const QString page = QFileInfo(folder_ + QLatin1Char('/') + name).canonicalFilePath();
  if (page.isEmpty() || !QFileInfo(page).isFile()) return false;
  Navigate(QUrl::fromLocalFile(page));
  return true;
}

void CMyComputerView::Navigate(const QUrl& address) {
  browser_->setSource(address);
  lastAddress_ = address.toString();
}
