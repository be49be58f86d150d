#include "wizards/WizardMode_LeftBar.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/App.h"
#include "controls/ControlId.h"
#include "mainframe/MediaFolder.h"

CWizardMode_LeftBar::CWizardMode_LeftBar(QWidget* parent, const QString& mediaFolder)
    : QWidget(parent), browser_(new QTextBrowser(this)) {
  controls::SetControlId(this, IDD);
  controls::SetControlId(browser_, IDC_BROWSER);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  browser_->setFrameShape(QFrame::NoFrame);
  browser_->setOpenLinks(false);
  browser_->setContextMenuPolicy(Qt::NoContextMenu);
  browser_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(browser_, &QTextBrowser::anchorClicked, this, &CWizardMode_LeftBar::OnAnchor);
  const QString path = MediaPagePath(mediaFolder, QString::fromLatin1(kPage));
  if (QFileInfo::exists(path)) {
    address_ = QUrl::fromLocalFile(path).toString();
    browser_->setSource(QUrl::fromLocalFile(path));
  }
}

CWizardMode_LeftBar::~CWizardMode_LeftBar() = default;

void CWizardMode_LeftBar::OnAnchor(const QUrl& link) {
  const QUrl target = browser_->source().resolved(link);
  if (target.isLocalFile()) {
    if (QFileInfo::exists(target.toLocalFile())) browser_->setSource(target);
    return;
  }
  const QString scheme = target.scheme().toLower();
  if ((scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) &&
      g_App)
    g_App->Callbacks().OpenUrl(target);
}
