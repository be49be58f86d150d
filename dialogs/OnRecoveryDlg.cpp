#include "dialogs/OnRecoveryDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/QtText.h"
#include "controls/Bitmaps.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/Label.h"
#include "dialogs/FolderPicker.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/volume/LocalComputer.h"

COnRecoveryDlg::COnRecoveryDlg(QWidget* parent, AppSettings* settings, CLocalComputer* computer)
    : QDialog(parent), settings_(settings ? *settings : Settings()), computer_(computer) {
  setWindowTitle(QStringLiteral("Recover"));
  controls::SetControlId(this, IDD);
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());

  // The header: the bitmap across the top with the title drawn over it.
  auto* header = new QLabel(this);
  header->setPixmap(controls::Bitmap(kHeaderBitmap));
  header->setScaledContents(true);
  header->setFixedHeight(controls::DluToPixelsY(du, 30));
  title_ = new controls::CLabel(QStringLiteral("Recover files"), header);
  controls::SetControlId(title_, IDC_TITLE);
  title_->SetFontBold(true).SetFontSize(16).SetTransparent(true);
  auto* headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(controls::DluToPixelsX(du, 7), 0, 0, 0);
  headerLayout->addWidget(title_, 0, Qt::AlignVCenter | Qt::AlignLeft);
  headerLayout->addStretch(1);

  auto* prompt = new QLabel(QStringLiteral("The target folder where the recovered files will be saved:"), this);
  destination_ = new QLineEdit(this);
  controls::SetControlId(destination_, IDC_DESTINATION);
  destination_->setMaxLength(kMaxDestinationUnits);
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  controls::SetControlId(browse, IDC_BROWSE);
  browse->setAutoDefault(false);
  connect(browse, &QPushButton::clicked, this, &COnRecoveryDlg::OnBrowse);
  keepFolders_ = new QCheckBox(QStringLiteral("Keep folder structure"), this);
  controls::SetControlId(keepFolders_, IDC_KEEP_FOLDER_STRUCTURE);
  auto* warning = new QLabel(QStringLiteral("Warning: Never try to save recovered files to the same logical disk "
                                            "where they are located, or you may obtain unpredictable results and "
                                            "lose all your data!"),
                             this);
  warning->setWordWrap(true);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  controls::SetControlId(ok, 1);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  controls::SetControlId(cancel, 2);
  auto* help = new QPushButton(QStringLiteral("Help"), this);
  controls::SetControlId(help, IDC_HELP_BUTTON);
  help->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &COnRecoveryDlg::OnOK);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [] {
    // As a posted help command: the dialog stays open.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] {
          if (g_App) g_App->OnHelpCommand(kHelpCommand);
        },
        Qt::QueuedConnection);
  });

  auto* folderRow = new QHBoxLayout();
  folderRow->addWidget(destination_, 1);
  folderRow->addWidget(browse);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(help);

  auto* body = new QVBoxLayout();
  const int margin = controls::DluToPixelsX(du, 7);
  body->setContentsMargins(margin, controls::DluToPixelsY(du, 7), margin, controls::DluToPixelsY(du, 7));
  body->addWidget(prompt);
  body->addLayout(folderRow);
  body->addWidget(keepFolders_);
  body->addSpacing(controls::DluToPixelsY(du, 4));
  body->addWidget(warning);
  body->addSpacing(controls::DluToPixelsY(du, 4));
  body->addLayout(buttons);

  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);
  top->addWidget(header);
  top->addLayout(body);
  setMinimumWidth(controls::DluToPixelsX(du, 290));

  Exchange(false);
}

void COnRecoveryDlg::Exchange(bool save) {
  if (save) {
    settings_.SetKeepFolderStructure(keepFolders_->isChecked() ? 1 : 0);
    settings_.SetDestinationFolder(app::ToU16(destination_->text()));
  } else {
    keepFolders_->setChecked(settings_.KeepFolderStructure() != 0);
    destination_->setText(app::ToQString(settings_.DestinationFolder()));
  }
}

QString COnRecoveryDlg::WithTrailingSeparator(const QString& folder) {
  return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

void COnRecoveryDlg::OnBrowse() {
  const QString chosen = CFolderPicker::Pick(QApplication::activeWindow(), QString(), destination_->text());
  if (chosen.isEmpty()) return;
  // Only the destination is loaded again: a check-box change not saved yet stays.
  settings_.SetDestinationFolder(app::ToU16(WithTrailingSeparator(chosen)));
  destination_->setText(app::ToQString(settings_.DestinationFolder()));
}

void COnRecoveryDlg::OnOK() {
  Exchange(true);
  CLocalComputer* computer = computer_ ? computer_ : g_Computer;
  const int ok = computer ? computer->CheckDestinationFolder(nullptr, false) : 1;
  if (!ok) return;  // its message was shown; the user's text stays
  PostToUi(WM_START_RECOVERY, 0, 0);
  done(QDialog::Accepted);
}
