#include "wizards/WizardMode_Step0.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/AboutDlg.h"
#include "app/App.h"
#include "app/QtText.h"
#include "app/WebLinks.h"
#include "controls/ControlId.h"
#include "controls/Label.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/records/Strings.h"
#include "platform/Format.h"

namespace {

controls::CLabel* MakeLink(QWidget* parent, int id, const QString& page, const char* event) {
  auto* link = new controls::CLabel(parent);
  controls::SetControlId(link, id);
  link->SetText(page);
  link->SetLinkUrl(BuildEventUrl(page, QString::fromLatin1(event)));
  link->SetLink(true, false);
  link->SetLinkCursor();
  return link;
}

}  // namespace

CWizardMode_Step0::CWizardMode_Step0() : CWizardModePage(IDD, 142, QStringLiteral("Wizard.Step0")) {
  QVBoxLayout* layout = Layout();
  QLabel* heading = AddText(QStringLiteral("Welcome to Digital Vandrel Professional"), IDC_HEADING);
  QFont bold = heading->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  heading->setFont(bold);
  layout->addWidget(heading);
  layout->addWidget(AddText(QStringLiteral("This wizard will help you to recover your lost document files and data "
                                           "from all types of media."),
                            1198));
  layout->addWidget(AddText(QStringLiteral("This software is designed for file recovery after an accidental "
                                           "deletion, power spike, virus attack, hardware malfunction, as well as "
                                           "from formatted or corrupted media."),
                            1199));
  layout->addWidget(AddText(QStringLiteral("The program will scan every sector of your data storage device (Hard "
                                           "Drive, USB Disk or Flash Memory) in order to find deleted and otherwise "
                                           "lost files."),
                            1200));
  layout->addWidget(AddText(QStringLiteral("The program \"knows\" the internal file structure so it can "
                                           "automatically recognize a file by looking at the seemingly random data "
                                           "on the drive."),
                            1201));
  layout->addWidget(AddText(QStringLiteral("After a recognized data sequence is located, you can initiate the "
                                           "RECOVERY process and the program will copy the file sector by sector to "
                                           "another disk with maximum integrity."),
                            1202));
  layout->addStretch(1);

  auto* facts = new QGridLayout;
  facts->setHorizontalSpacing(DluX(6));
  support_ = MakeLink(this, IDC_SUPPORT_LINK, app::MakerPage(app::kSupportPath), "Welcome");
  product_ = MakeLink(this, IDC_PRODUCT_LINK, app::MakerPage(app::kProductsPath), "Welcome");
  version_ = AddText(QString::fromLatin1(kVersionPlaceholder), IDC_VERSION);
  facts->addWidget(AddText(QStringLiteral("Support:"), 1207), 0, 0);
  facts->addWidget(support_, 0, 1);
  facts->addWidget(AddText(QStringLiteral("Homepage:"), 1208), 1, 0);
  facts->addWidget(product_, 1, 1);
  facts->addWidget(AddText(QStringLiteral("Version:"), 1209), 2, 0);
  facts->addWidget(version_, 2, 1);
  facts->setColumnStretch(1, 1);
  layout->addLayout(facts);
  layout->addSpacing(DluY(4));
  layout->addWidget(AddText(QStringLiteral("Click Next to continue..."), IDC_HINT));
}

CWizardMode_Step0::~CWizardMode_Step0() = default;

void CWizardMode_Step0::InitPage() { ShowVersion(); }

bool CWizardMode_Step0::OnPageSetActive() {
  SetWizardButtons(controls::PSWIZB_NEXT);
  return true;
}

std::optional<QString> CWizardMode_Step0::FormatVersion(const QString& fileVersion) {
  const qsizetype first = fileVersion.indexOf(QLatin1Char(','));
  const qsizetype last = fileVersion.lastIndexOf(QLatin1Char(','));
  if (first < 0 || last == first) return std::nullopt;
  qsizetype secondEnd = fileVersion.indexOf(QLatin1Char(','), first + 1);
  const QString major = fileVersion.left(first).trimmed();
  const QString minor = fileVersion.mid(first + 1, secondEnd - first - 1).trimmed();
  const QString build = fileVersion.mid(last + 1).trimmed();
  if (major.isEmpty() || minor.isEmpty() || build.isEmpty()) return std::nullopt;
  // String 216: "%s.%s Build %s".
  return app::ToQString(platform::Format(GetLangString(216), app::ToU16(major), app::ToU16(minor), app::ToU16(build)));
}

void CWizardMode_Step0::ShowVersion(const QString* fileVersion) {
  const QString version = fileVersion ? *fileVersion : CAboutDlg::FileVersion();
  if (const std::optional<QString> text = FormatVersion(version)) version_->setText(*text);
}
