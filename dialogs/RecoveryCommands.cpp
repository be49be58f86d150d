#include "dialogs/RecoveryCommands.h"

#include "app/MessageBox.h"
#include "app/QtText.h"
#include "dialogs/OnRecoveryDlg.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/Strings.h"
#include "engine/volume/Volume.h"
#include "search/RecoveryJobs.h"

const char16_t* const CRecoveryCommands::kStillEndingText =
    u"The previous recovery is still ending. Please wait a moment, then try again.";

bool CRecoveryCommands::RefuseWhileAJobEnds(QWidget* owner) {
  if (!RecoveryJob().IsThreadAlive() && !TryOpenJob().IsThreadAlive()) return false;
  Log().Error(kStillEndingText);
  app::ShowMessageBox(owner, app::ToQString(kStillEndingText), QStringLiteral("Recover"), Buttons::Ok,
                      MessageIcon::Warning);
  return true;
}

void CRecoveryCommands::ReportEmptySelection(QWidget* owner) {
  Log().ErrorId(183);
  app::ShowMessageBox(owner, app::ToQString(GetLangString(183)), QStringLiteral("Recover"), Buttons::Ok,
                      MessageIcon::Error);
}

int CRecoveryCommands::OnRecover(QWidget* owner) {
  COnRecoveryDlg dialog(owner);
  return dialog.exec();
}

int CRecoveryCommands::StartRecovery(QWidget* owner, const Selection& selection) {
  if (selection.empty()) {
    ReportEmptySelection(owner);
    return -1;
  }
  if (RefuseWhileAJobEnds(owner)) return -1;
  CRecovery& job = RecoveryJob();
  // Logs 184 when it starts.
  if (!job.SetSelection(selection) || !job.StartRecovery()) return -1;
  CRecoveryProgressDlg dialog(job, owner);
  return dialog.exec();
}

int CRecoveryCommands::StartTryOpen(QWidget* owner, const Selection& selection) {
  if (selection.empty() || RefuseWhileAJobEnds(owner)) return -1;
  CRecovery& job = TryOpenJob();
  if (!job.SetSelection(selection) || !job.StartTryOpen()) return -1;
  CRecoveryProgressDlg dialog(job, owner);
  dialog.SetCloseWhenDone(1);
  return dialog.exec();
}

CRecoveryCommands::Selection CRecoveryCommands::Of(const std::shared_ptr<CVolume>& volume,
                                                   const std::vector<FoundObject*>& objects) {
  Selection out;
  out.reserve(objects.size());
  for (FoundObject* o : objects) out.push_back({volume, o});
  return out;
}

bool CRecoveryCommands::SetNewSize(const Selection& selection) {
  // The files only: a folder in a list selection has no size of its own.
  Selection files;
  for (const CRecovery::SelectedObject& s : selection) {
    if (!s.object || !s.volume) continue;
    const FoundObject snapshot = s.volume->Store().Snapshot(*s.object);
    if (!snapshot.IsFolder() && !snapshot.IsDevice()) files.push_back(s);
  }
  if (files.empty()) return false;
  // The distances need the offset index of the object's own store.
  for (const CRecovery::SelectedObject& s : files) CRecovery::SwitchOnOffsetIndex(*s.volume);
  // Asked as the recovery asks it, from the first file's own store.
  const CRecovery::SelectedObject& first = files.front();
  const Reply reply =
      AskUser(CRecovery::ProbableSizeQuestion(*first.volume, first.volume->Store().Snapshot(*first.object)));
  if (reply.answer != Answer::Ok || reply.values.size() <= CRecovery::kReplyMode) return false;
  const std::int64_t mode = reply.values[CRecovery::kReplyMode];
  if (mode < 1 || mode > 4) return false;
  const std::int64_t custom =
      reply.values.size() > CRecovery::kReplyCustomBytes ? reply.values[CRecovery::kReplyCustomBytes] : -1;
  // Each file gets the size the chosen mode gives it: the custom size, or its own
  // distance or its type's default size.
  for (const CRecovery::SelectedObject& s : files) {
    const std::int64_t size = CRecovery::SizeByMode(*s.volume, s.volume->Store().Snapshot(*s.object),
                                                    static_cast<std::int32_t>(mode), custom);
    if (size >= 0) s.volume->Store().SetSize(s.object, size);
  }
  return true;
}
