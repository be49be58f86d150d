#include "app/AboutDlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Icons.h"
#include "app/WebLinks.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/Label.h"

#ifndef VANDREL_FILE_VERSION
#define VANDREL_FILE_VERSION ""
#endif

namespace {
constexpr int kHelpContents = 57670;
constexpr int kWebSiteCommand = 32789;
constexpr int kSupportCommand = 32795;

controls::CLabel* MakeLink(QWidget* parent, int id, const QString& address) {
  auto* label = new controls::CLabel(parent);
  controls::SetControlId(label, id);
  label->SetFontUnderline(true).SetLinkCursor().SetLink(true, true).SetTextColor(QColor(0, 0, 192)).SetText(address);
  return label;
}
}  // namespace

CAboutDlg::CAboutDlg(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("About"));
  controls::SetControlId(this, IDD);
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());

  auto* icon = new QLabel(this);
  icon->setPixmap(app::IconById(app::IDI_PROGRAM).pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* product = new QLabel(QStringLiteral("Vandrel Pro"), this);
  controls::SetControlId(product, IDC_PRODUCT);
  QFont bold = product->font();
  bold.setBold(true);
  product->setFont(bold);
  auto* version = new QLabel(QStringLiteral("Version"), this);
  controls::SetControlId(version, IDC_VERSION);
  auto* tagline = new QLabel(QStringLiteral("Professional data recovery tool."), this);

  auto* web = MakeLink(this, IDC_WEB_LINK, app::MakerWebSite());
  auto* support = MakeLink(this, IDC_SUPPORT_LINK, app::MakerPage(app::kSupportPath));
  connect(web, &controls::CLabel::clicked, this, [this] { OnLinkClicked(kWebSiteCommand); });
  connect(support, &controls::CLabel::clicked, this, [this] { OnLinkClicked(kSupportCommand); });

  auto* links = new QGridLayout();
  links->addWidget(new QLabel(QStringLiteral("Web:"), this), 0, 0);
  links->addWidget(web, 0, 1);
  links->addWidget(new QLabel(QStringLiteral("Support:"), this), 1, 0);
  links->addWidget(support, 1, 1);
  links->setColumnStretch(1, 1);

  auto* legal = new QLabel(QStringLiteral("Copyright \u00A9 Quenmar. All rights reserved.\n"
                                          "This program is protected by copyright law and international treaties."),
                           this);
  legal->setWordWrap(true);

  auto* text = new QVBoxLayout();
  text->addWidget(product);
  text->addWidget(version);
  text->addWidget(tagline);
  text->addSpacing(controls::DluToPixelsY(du, 4));
  text->addLayout(links);
  text->addSpacing(controls::DluToPixelsY(du, 4));
  text->addWidget(legal);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  controls::SetControlId(ok, 1);
  ok->setDefault(true);
  auto* help = new QPushButton(QStringLiteral("Help"), this);
  controls::SetControlId(help, IDC_HELP_BUTTON);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(help, &QPushButton::clicked, this, [this] { PostCommandToOwner(kHelpContents); });
  auto* buttons = new QVBoxLayout();
  buttons->addWidget(ok);
  buttons->addWidget(help);
  buttons->addStretch(1);

  auto* top = new QHBoxLayout(this);
  top->addWidget(icon);
  top->addLayout(text, 1);
  top->addLayout(buttons);
  setMinimumWidth(controls::DluToPixelsX(du, 260));

  const QString versionText = VersionText(FileVersion());
  if (!versionText.isEmpty()) version->setText(versionText);
  product->setText(QStringLiteral("Vandrel Pro"));
}

QString CAboutDlg::FileVersion() { return QString::fromLatin1(VANDREL_FILE_VERSION); }

CAboutDlg::VersionParts CAboutDlg::ParseFileVersion(const QString& fileVersion) {
  const QStringList parts = fileVersion.split(QLatin1Char(','));
  VersionParts out;
  auto part = [&parts](int i) { return i < parts.size() ? parts[i].trimmed() : QString(); };
  out.major = part(0);
  out.minor = part(1);
  out.build = part(3);
  return out;
}

QString CAboutDlg::VersionText(const QString& fileVersion) {
  if (fileVersion.trimmed().isEmpty()) return {};
  const VersionParts v = ParseFileVersion(fileVersion);
  return QStringLiteral("Version %1.%2 Build %3").arg(v.major, v.minor, v.build);
}

void CAboutDlg::PostCommandToOwner(int commandId) {
  QPointer<QWidget> owner = parentWidget();
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [owner, commandId] {
        if (owner) {
          if (QAction* action = controls::FindCommand(owner, commandId)) {
            action->trigger();
            return;
          }
        }
        if (g_App) g_App->OnHelpCommand(commandId);
      },
      Qt::QueuedConnection);
}

void CAboutDlg::OnLinkClicked(int commandId) {
  PostCommandToOwner(commandId);
  done(0);
}
