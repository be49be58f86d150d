#include "mainframe/panes/DataInfoView.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>

#include "app/App.h"
#include "app/Formatting.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "engine/records/Messages.h"
#include "engine/volume/Volume.h"
#include "mainframe/icons/FoundObjectIcons.h"
#include "mainframe/icons/ObjectTypeNames.h"
#include "search/FileType.h"
#include "search/FileTypeDatabase.h"

namespace {

QString TimeText(platform::FileTime time) { return time == 0 ? LangString(57116) : FormatFileTime(time); }

QString Number(std::int64_t value) { return QString::number(value); }

}  // namespace

std::int64_t CDataInfo_View::SizeOnDisk(std::int64_t size, std::int64_t clusterBytes) {
  if (size < 0) return -1;
  if (clusterBytes <= 0 || size % clusterBytes == 0) return size;
  // Whole clusters; a size within a cluster of the largest value stays the size.
  const std::int64_t clusters = size / clusterBytes + 1;
  std::int64_t bytes = 0;
  if (__builtin_mul_overflow(clusters, clusterBytes, &bytes)) return size;
  return bytes;
}

QString CDataInfo_View::TypeText(const FoundObject& record) {
  if (record.IsDevice()) return {};
  if (record.IsFolder()) return LangString(57118);
  if (!record.flags.Any(OBJ_NAMED)) {
    if (g_FileTypes)
      if (const FileType* type = g_FileTypes->FindForObject(record)) return app::ToQString(type->DisplayName());
    return {};
  }
  // The desktop's name for the type of a file of that name (nothing is read), as
  // the lists name it.
  static CObjectTypeNames names;
  return names.TypeNameOfFile(record.Name());
}

CDataInfo_View::Texts CDataInfo_View::MakeTexts(const FoundObject& record, std::int64_t clusterBytes,
                                                const QString& type, const QString& location) {
  Texts t;
  const bool folder = record.IsFolder();
  const bool deleted = record.flags.Any(OBJ_DELETED);
  t.image = folder ? (deleted ? 6 : 2) : (deleted ? 1 : 0);
  t.name = app::ToQString(record.Name());
  t.status = deleted ? QStringLiteral("Deleted") : QStringLiteral("Live");
  t.id = Number(record.id);
  t.parentId = Number(record.parentId);
  t.offset = folder ? QStringLiteral("0") : Number(record.offset);
  t.type = type;
  t.location = location;
  if (folder) {
    t.size = t.sizeOnDisk = QStringLiteral("0");
  } else if (record.size < 0) {
    t.size = t.sizeOnDisk = LangString(57116);
  } else {
    t.size = Number(record.size);
    t.sizeOnDisk = Number(SizeOnDisk(record.size, clusterBytes));
  }
  t.created = TimeText(record.created);
  t.modified = TimeText(record.modified);
  t.accessed = TimeText(record.accessed);
  return t;
}

CDataInfo_View::CDataInfo_View(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CDataInfo_View"));
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 8, 8, 8);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(3);
  icon_ = new QLabel(this);
  icon_->setFixedSize(kIconSize, kIconSize);
  controls::SetControlId(icon_, kIdIcon);
  name_ = new QLabel(this);
  controls::SetControlId(name_, kIdName);
  name_->setWordWrap(true);
  name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont bold = name_->font();
  bold.setBold(true);
  name_->setFont(bold);
  grid->addWidget(icon_, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
  grid->addWidget(name_, 0, 1);
  grid->setRowMinimumHeight(1, 6);
  int row = 2;
  AddRow(grid, row++, QStringLiteral("Status:"), kIdStatus);
  AddRow(grid, row++, QStringLiteral("Id:"), kIdId);
  AddRow(grid, row++, QStringLiteral("Parent Id:"), kIdParentId);
  AddRow(grid, row++, QStringLiteral("Offset:"), kIdOffset);
  AddRow(grid, row++, QStringLiteral("Type:"), kIdType);
  AddRow(grid, row++, QStringLiteral("Location:"), kIdLocation);
  AddRow(grid, row++, QStringLiteral("Size:"), kIdSize);
  AddRow(grid, row++, QStringLiteral("Size on disk:"), kIdSizeOnDisk);
  AddRow(grid, row++, QStringLiteral("Created time:"), kIdCreated);
  AddRow(grid, row++, QStringLiteral("Modified time:"), kIdModified);
  AddRow(grid, row++, QStringLiteral("Accessed time:"), kIdAccessed);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(row, 1);
}

QLabel* CDataInfo_View::AddRow(QGridLayout* grid, int row, const QString& label, int id) {
  auto* caption = new QLabel(label, this);
  auto* value = new QLabel(this);
  controls::SetControlId(value, id);
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // The form is a quarter of the window wide: a long value goes on over lines.
  value->setWordWrap(true);
  value->setMinimumWidth(1);
  grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignTop);
  grid->addWidget(value, row, 1, Qt::AlignTop);
  return value;
}

QLabel* CDataInfo_View::Field(int controlId) const {
  return controls::FindControlAs<QLabel>(this, controlId);
}

void CDataInfo_View::SetObject(std::shared_ptr<CVolume> volume, std::int64_t handle) {
  volume_ = std::move(volume);
  handle_ = volume_ ? handle : -1;
  PostedMessage m;
  m.message = WM_REFRESH_VIEW;
  QCoreApplication::postEvent(this, new CPostedEvent(std::move(m)));
}

bool CDataInfo_View::event(QEvent* event) {
  if (const PostedMessage* m = CPostedEvent::Of(event); m && m->message == WM_REFRESH_VIEW) {
    Refresh();
    return true;
  }
  return QWidget::event(event);
}

void CDataInfo_View::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
}

void CDataInfo_View::Refresh() {
  if (!volume_ || handle_ < 0) {
    Show(Texts{});
    icon_->clear();
    return;
  }
  FoundObject record;
  std::u16string name;
  {
    const FoundObjectStore::ReadView view = volume_->Store().Read();
    const FoundObject* r = view.FromHandle(handle_);
    if (!r) {
      handle_ = -1;
      Show(Texts{});
      icon_->clear();
      return;
    }
    record = *r;
    name.assign(r->Name());
  }
  record.SetName(name);
  std::u16string folder;
  volume_->GetObjectPath(record, folder);
  const Texts texts = MakeTexts(record, volume_->Geometry().clusterBytes, TypeText(record), app::ToQString(folder));
  Show(texts);
  icon_->setPixmap(CFoundObjectIcons::Icon(texts.image).pixmap(kIconSize, kIconSize));
}

void CDataInfo_View::Show(const Texts& t) {
  name_->setText(t.name);
  const std::pair<int, const QString*> fields[] = {
      {kIdStatus, &t.status},     {kIdId, &t.id},         {kIdParentId, &t.parentId}, {kIdOffset, &t.offset},
      {kIdType, &t.type},         {kIdLocation, &t.location}, {kIdSize, &t.size},     {kIdSizeOnDisk, &t.sizeOnDisk},
      {kIdCreated, &t.created},   {kIdModified, &t.modified}, {kIdAccessed, &t.accessed},
  };
  for (const auto& [id, text] : fields)
    if (QLabel* label = Field(id)) label->setText(*text);
}
