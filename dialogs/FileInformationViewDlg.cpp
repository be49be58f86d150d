#include "dialogs/FileInformationViewDlg.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeDatabase>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Icons.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "dialogs/FormParts.h"
#include "dialogs/VolumeTexts.h"
#include "engine/records/Messages.h"
#include "engine/volume/Volume.h"
#include "search/FileTypeDatabase.h"

using dialogs::AddInfoRow;
using dialogs::AddInfoSeparator;
using dialogs::SetInfoText;

namespace {
constexpr std::uint32_t IDS_FOLDER = 57118;
constexpr int kImageSize = 32;
}  // namespace

CFileInformationViewDlg::CFileInformationViewDlg(std::shared_ptr<CVolume> volume, std::int64_t handle,
                                                 QWidget* owner)
    : QDialog(owner), volume_(std::move(volume)), handle_(handle) {
  Build();
}

CFileInformationViewDlg::CFileInformationViewDlg(std::shared_ptr<CVolume> volume, const FoundObject* object,
                                                 QWidget* owner)
    : QDialog(owner), volume_(std::move(volume)) {
  if (volume_ && object) handle_ = volume_->Store().HandleOf(object);
  Build();
}

CFileInformationViewDlg::~CFileInformationViewDlg() = default;

int CFileInformationViewDlg::Show(std::shared_ptr<CVolume> volume, const FoundObject* object, QWidget* owner) {
  CFileInformationViewDlg dialog(std::move(volume), object, owner);
  return dialog.exec();
}

void CFileInformationViewDlg::Build() {
  setWindowTitle(QStringLiteral("File Information"));
  controls::SetControlId(this, IDD);
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());

  for (int id : kImageIcons) images_.append(app::IconById(id));

  QVBoxLayout* layout = dialogs::MakeFormLayout(this);
  icon_ = new QLabel(this);
  controls::SetControlId(icon_, IDC_ICON);
  icon_->setFixedSize(kImageSize, kImageSize);
  auto* name = new QLabel(this);
  controls::SetControlId(name, IDC_NAME);
  name->setTextFormat(Qt::PlainText);
  name->setTextInteractionFlags(Qt::TextSelectableByMouse);
  name->setWordWrap(true);
  auto* head = new QHBoxLayout();
  layout->addLayout(head);
  head->addWidget(icon_, 0, Qt::AlignTop);
  head->addSpacing(controls::DluToPixelsX(du, 8));
  head->addWidget(name, 1);
  layout->addSpacing(controls::DluToPixelsY(du, 3));

  QGridLayout* grid = dialogs::MakeInfoGrid(this, 0, 56);
  layout->addLayout(grid);
  AddInfoSeparator(grid);
  AddInfoRow(grid, QStringLiteral("Status:"), IDC_STATUS);
  AddInfoRow(grid, QStringLiteral("Id:"), IDC_ID);
  AddInfoRow(grid, QStringLiteral("Parent Id:"), IDC_PARENT_ID);
  AddInfoRow(grid, QStringLiteral("Type:"), IDC_TYPE);
  AddInfoRow(grid, QStringLiteral("Signature:"), IDC_SIGNATURE, QStringLiteral("unknown"));
  AddInfoRow(grid, QStringLiteral("Location:"), IDC_LOCATION)->setWordWrap(true);
  AddInfoSeparator(grid);
  AddInfoRow(grid, QStringLiteral("Offset:"), IDC_OFFSET);
  AddInfoRow(grid, QStringLiteral("Size:"), IDC_SIZE);
  AddInfoRow(grid, QStringLiteral("Size on disk:"), IDC_SIZE_ON_DISK);
  AddInfoSeparator(grid);
  AddInfoRow(grid, QStringLiteral("Created time:"), IDC_CREATED);
  AddInfoRow(grid, QStringLiteral("Modified time:"), IDC_MODIFIED);
  AddInfoRow(grid, QStringLiteral("Accessed time:"), IDC_ACCESSED);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  controls::SetControlId(ok, 1);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addStretch(1);
  layout->addWidget(buttons);
  setMinimumWidth(controls::DluToPixelsX(du, 240));

  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_REFRESH_VIEW)));
}

bool CFileInformationViewDlg::event(QEvent* event) {
  if (event->type() == static_cast<QEvent::Type>(WM_REFRESH_VIEW)) {
    ShowObject();
    return true;
  }
  return QDialog::event(event);
}

int CFileInformationViewDlg::ImageOf(std::uint16_t flags) {
  const bool deleted = (flags & OBJ_DELETED) != 0;
  if (flags & OBJ_FOLDER) return deleted ? 6 : 2;
  return deleted ? 1 : 0;
}

QString CFileInformationViewDlg::TypeText(bool isFolder, const QString* typeDescription, const QString& name) {
  if (isFolder) return LangString(IDS_FOLDER);
  if (typeDescription) return *typeDescription;
  if (name.isEmpty()) return {};
  // By the name alone: nothing is read from any file.
  const QMimeType mime = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  return mime.isValid() && !mime.isDefault() ? mime.comment() : QString();
}

void CFileInformationViewDlg::ShowObject() {
  if (!volume_ || handle_ < 0) return;
  FoundObject object;
  QString name;
  {
    // The record and its name under one look at the store: a clear frees the
    // names, and waits for this look to end.
    const FoundObjectStore::ReadView view = volume_->Store().Read();
    const FoundObject* record = view.FromHandle(handle_);
    if (!record) return;
    object = *record;
    name = app::ToQString(record->Name());
    object.name = nullptr;  // the name is copied; the record's own may change
    object.nameLength = 0;
  }
  const bool folder = object.IsFolder();
  const bool deleted = object.flags.Any(OBJ_DELETED);

  shownImage_ = ImageOf(object.flags);
  icon_->setPixmap(images_.value(shownImage_).pixmap(kImageSize, kImageSize));
  SetInfoText(this, IDC_STATUS, deleted ? QStringLiteral("Deleted") : QStringLiteral("Live"));
  SetInfoText(this, IDC_ID, QString::number(object.id));
  SetInfoText(this, IDC_PARENT_ID, QString::number(object.parentId));
  SetInfoText(this, IDC_NAME, name);

  QString description;
  bool typed = false;
  if (g_FileTypes) {
    if (const FileType* type =
            g_FileTypes->FindForObject(object.typeKey, object.typeId, app::ToU16(name), folder)) {
      SetInfoText(this, IDC_SIGNATURE, app::ToQString(type->DisplayName()));
      description = app::ToQString(type->Description());
      typed = true;
    }
  }
  SetInfoText(this, IDC_TYPE, TypeText(folder, typed ? &description : nullptr, name));

  std::u16string path;
  volume_->GetObjectPath(object, path);
  SetInfoText(this, IDC_LOCATION, app::ToQString(path));

  if (folder) {
    for (int id : {IDC_OFFSET, IDC_SIZE, IDC_SIZE_ON_DISK}) SetInfoText(this, id, QStringLiteral("0"));
  } else {
    SetInfoText(this, IDC_OFFSET, QString::number(object.offset));
    SetInfoText(this, IDC_SIZE, dialogs::FileSizeText(object.size));
    SetInfoText(this, IDC_SIZE_ON_DISK, dialogs::FileSizeOnDiskText(object.size, volume_->Geometry().clusterBytes));
  }
  SetInfoText(this, IDC_CREATED, dialogs::FileTimeText(object.created));
  SetInfoText(this, IDC_MODIFIED, dialogs::FileTimeText(object.modified));
  SetInfoText(this, IDC_ACCESSED, dialogs::FileTimeText(object.accessed));
}
