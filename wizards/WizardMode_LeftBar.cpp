#include "wizards/WizardMode_LeftBar.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>
#include <QVBoxLayout>

#include "app/App.h"
#include "controls/ControlId.h"
#include "mainframe/icons/MediaFolder.h"

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

void CWizardMode_LeftBar::SetCurrentStep(int step) {
  step_ = step;
  QTextDocument* document = browser_->document();
  QTextTable* table = nullptr;
  for (QTextFrame* frame : document->rootFrame()->childFrames())
    if ((table = qobject_cast<QTextTable*>(frame))) break;
  if (!table || table->columns() < 2) return;
  for (int row = 0; row < table->rows(); ++row) {
    const bool current = row + 1 == step;
    QTextTableCell cell = table->cellAt(row, 1);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    QTextCharFormat text;
    text.setFontWeight(current ? QFont::Bold : QFont::Normal);
    cursor.mergeCharFormat(text);
    QTextTableCellFormat ground = cell.format().toTableCellFormat();
    if (current)
      ground.setBackground(QColor(0xc9, 0xda, 0xf2));
    else
      ground.clearBackground();
    cell.setFormat(ground);
  }
}

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
