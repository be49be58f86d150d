#include "dialogs/RecoveryCommands.h"

#include "app/MessageBox.h"
#include "app/QtText.h"
#include "dialogs/OnRecoveryDlg.h"
#include "dialogs/ProbableFileSizeDlg.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "engine/ProgramLog.h"
#include "engine/Volume.h"
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

int CRecoveryCommands::OnRecover(QWidget* owner) {
  COnRecoveryDlg dialog(owner);
  return dialog.exec();
}

int CRecoveryCommands::StartRecovery(QWidget* owner, const Selection& selection) {
  if (RefuseWhileAJobEnds(owner)) return -1;
  CRecovery& job = RecoveryJob();
  // Logs 184 when it starts, 183 for an empty selection.
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

bool CRecoveryCommands::SetNewSize(QWidget* owner, const Selection& selection) {
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
  const CRecovery::SelectedObject& first = files.front();
  CProbableFileSizeDlg dialog(
      CRecovery::ProbableSizeQuestion(*first.volume, first.volume->Store().Snapshot(*first.object)), owner);
  if (dialog.exec() != QDialog::Accepted) return false;
  // Each file gets the size the chosen mode gives it: the custom size, or its own
  // distance or its type's default size.
  for (const CRecovery::SelectedObject& s : files) {
    const std::int64_t size = CRecovery::SizeByMode(*s.volume, s.volume->Store().Snapshot(*s.object),
                                                    dialog.SizeMode(), dialog.CustomSize());
    if (size >= 0) s.volume->Store().SetSize(s.object, size);
  }
  return true;
}
