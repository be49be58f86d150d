#include "engine/volume/ImageJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "engine/device/FileHandle.h"
#include "engine/device/SectorBuffer.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/ConfigFolderGuard.h"
#include "engine/volume/DeviceMatch.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"


bool ImageJob::Start() {
  if (!source) return false;
  if (thread_.joinable()) {
    if (running.load() == 1) return false;
    thread_.join();
  }
  status.store(0);
  unreadSectors.store(0);
  currentSector.store(0);
  running.store(1);  // before the thread runs, so that a cancel right away is not lost
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    running.store(0);  // no thread: nothing runs, and nothing will post
    Log().Error(u"Image_Create: the writer thread could not be started");
    return false;
  }
  return true;
}

void ImageJob::Cancel() {
  running.store(0);
  Join();
}

void ImageJob::Join() {
  if (thread_.joinable()) thread_.join();
}

void ImageJob::Run() {
  startTime = platform::FileTimeNow();
  startTick = std::chrono::steady_clock::now();
  const std::string path = platform::Utf16ToUtf8(imagePath);
  auto fail = [&](int error) {
    status.store(error);
    PostToUi(WM_IMAGE_ERROR, 0, error, {}, notifyTarget);
  };
  auto finish = [&] {
    running.store(0);
    PostToUi(WM_IMAGE_DONE, status.load(), std::min<std::int64_t>(unreadSectors.load(), INT32_MAX), {}, notifyTarget);
  };

  // Nothing of the program's own is written onto the drive being imaged.
  const ConfigFolderGuard guard(*source);
  if (!source->OpenDrive()) {
    Log().Error(u"Image_Create: Can't open the source '%s'", source->GetDisplayName());
    fail(EIO);
    return finish();
  }
  // The image must not lie on the drive it copies, nor be the file behind a loop
  // device being copied.
  const platform::BlockDeviceTree tree;
  switch (MatchImagePath(path, *source, tree)) {
    case DeviceMatch::Same:
      Log().Error(u"Image_Create: '%s' lies on the drive being imaged", imagePath);
      fail(EPERM);
      return finish();
    case DeviceMatch::Unknown: {
      Question q;
      q.kind = QuestionKind::DestinationUnknown;
      q.text = u"The drive of the image file can't be told apart from the drive being imaged. Write the image anyway?";
      q.caption = GetLangString(157);
      q.detail = imagePath;
      if (AskUser(q, [this] { return running.load() == 1; }).answer != Answer::Yes) {
        status.store(ECANCELED);
        return finish();
      }
      break;
    }
    case DeviceMatch::Different:
      break;
  }

  // The size first: an image of a source whose size is not known (or 0) would be an
  // empty file taken for a complete copy.
  const std::int64_t total = source->Geometry().totalSectors;
  if (total <= 0) {
    Log().Error(u"Image_Create: the size of '%s' is not known: no image is written", source->GetDisplayName());
    fail(EINVAL);
    return finish();
  }

  // Created if missing, never through a link, and only ever a regular file: as root
  // a device path such as /dev/sdb would otherwise be overwritten. O_NONBLOCK makes
  // a FIFO fail at once instead of waiting for a reader; regular files ignore it.
  CFileHandle image;
  if (!image.Open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0644)) {
    int error = errno;
    Log().Error(u"Image_Create: Can't create '%s': %s", imagePath, std::string(std::strerror(error)));
    fail(error);
    return finish();
  }
  struct stat st{};
  struct stat src{};
  const std::string sourcePath = platform::Utf16ToUtf8(source->GetPath());
  if (fstat(image.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
    Log().Error(u"Image_Create: '%s' is not a regular file", imagePath);
    fail(EINVAL);
    return finish();
  }
  if (stat(sourcePath.c_str(), &src) == 0 && src.st_dev == st.st_dev && src.st_ino == st.st_ino) {
    Log().Error(u"Image_Create: '%s' is the image being copied", imagePath);
    fail(EINVAL);
    return finish();
  }
  // The file opened, whatever name reached it: not one behind a loop device being
  // copied (nothing was truncated yet).
  for (const LoopBackingFile& f : LoopBackingFiles(*source, tree)) {
    if (f.haveInode && f.device == st.st_dev && f.inode == st.st_ino) {
      Log().Error(u"Image_Create: '%s' lies on the drive being imaged", imagePath);
      fail(EPERM);
      return finish();
    }
  }
  if (ftruncate(image.fd(), 0) != 0) {
    int error = errno;
    fail(error);
    return finish();
  }

  totalSectors.store(total);
  SectorBuffer chunk(std::size_t(kChunkSectors) * CVolume::kSectorSize);
  if (chunk.empty()) {
    Log().ErrorId(193);
    fail(ENOMEM);
    return finish();
  }
  // The one text that names each run of unreadable sectors (string 191).
  const std::u16string cantRead = GetLangString(191);
  CVolume::UnreadableSectors unreadable;
  // Cancel is seen by every read, retry and salvaged sector, not only between chunks.
  const ReadStop stop([this] { return running.load() != 1; });
  std::int64_t position = 0;
  while (position < total) {
    currentSector.store(position);
    if (running.load() != 1) {
      status.store(ECANCELED);
      break;
    }
    const std::int64_t count = std::min(kChunkSectors, total - position);
    const std::size_t bytes = std::size_t(count) * CVolume::kSectorSize;
    // Where the chunk can't be read whole, it is read again sector by sector: only
    // the sectors that can't be read are zeros, and every later sector keeps its
    // true offset in the image.
    std::int64_t got = source->ReadSectorsSalvaged(chunk, position, count, cantRead);
    if (running.load() != 1) {  // cancelled while the read ran
      status.store(ECANCELED);
      break;
    }
    std::uint8_t* data = chunk.data();
    if (got < std::int64_t(bytes)) {
      // The device could not be read at all, or ends before the volume does.
      got = std::max<std::int64_t>(got, 0);
      const std::int64_t from = got / CVolume::kSectorSize;
      std::memset(data + from * CVolume::kSectorSize, 0, bytes - std::size_t(from * CVolume::kSectorSize));
      Log().ErrorId(191, position + from);
      CVolume::UnreadableSectors::Add(count - from);
    }
    unreadSectors.store(unreadable.Count());
    if (!image.WriteAll(data, bytes)) {
      int error = errno;
      Log().ErrorId(192, position);
      fail(error);
      break;
    }
    position += count;
    currentSector.store(position);
    PostToUi(WM_IMAGE_PROGRESS, 0, 0, {}, notifyTarget);
  }
  if (status.load() == 0 && fsync(image.fd()) != 0) {
    int error = errno;
    Log().ErrorId(192, position);
    fail(error);
  }
  image.Close();
  unreadSectors.store(unreadable.Count());
  if (unreadable.Count() > 0) {
    // Never taken for a clean copy: the end says how many sectors are zeros.
    Log().Error(u"Image_Create: %I64d of %I64d sectors could not be read and are zeros in the image",
                unreadable.Count(), total);
  }
  finish();
}
