#include "engine/ImageJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "engine/DeviceMatch.h"
#include "engine/FileHandle.h"
#include "engine/Messages.h"
#include "engine/Notifier.h"
#include "engine/ProgramLog.h"
#include "engine/SectorBuffer.h"
#include "engine/UserCallbacks.h"
#include "engine/Volume.h"
#include "platform/Text.h"

namespace {

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

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
    PostToUi(WM_IMAGE_DONE, status.load(), 0, {}, notifyTarget);
  };

  if (!source->OpenDrive()) {
    Log().Error(u"Image_Create: Can't open the source '%s'", source->GetDisplayName());
    fail(EIO);
    return finish();
  }
  // The image must not lie on the drive it copies.
  switch (MatchDestination(FolderOf(path), *source, platform::BlockDeviceTree())) {
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
  if (ftruncate(image.fd(), 0) != 0) {
    int error = errno;
    fail(error);
    return finish();
  }

  const std::int64_t total = source->Geometry().totalSectors;
  totalSectors.store(total);
  SectorBuffer chunk(std::size_t(kChunkSectors) * CVolume::kSectorSize);
  if (chunk.empty()) {
    Log().ErrorId(193);
    fail(ENOMEM);
    return finish();
  }
  std::uint8_t one[CVolume::kSectorSize];
  std::int64_t position = 0;
  while (position < total) {
    currentSector.store(position);
    if (running.load() != 1) {
      status.store(ECANCELED);
      break;
    }
    const std::int64_t count = std::min(kChunkSectors, total - position);
    const std::size_t bytes = std::size_t(count) * CVolume::kSectorSize;
    const std::int64_t got = source->ReadSectors(chunk, position, count);
    if (running.load() != 1) {  // cancelled while the read ran
      status.store(ECANCELED);
      break;
    }
    std::uint8_t* data = chunk.data();
    if (got < std::int64_t(bytes)) {
      // Sector by sector for the rest of the chunk; what still fails stays zero, so
      // every later sector keeps its true offset in the image.
      bool inBadRun = false;
      for (std::int64_t s = got / CVolume::kSectorSize; s < count; ++s) {
        if (running.load() != 1) break;
        if (source->ReadSectors(one, position + s, 1) == CVolume::kSectorSize) {
          std::memcpy(data + s * CVolume::kSectorSize, one, CVolume::kSectorSize);
          inBadRun = false;
        } else {
          std::memset(data + s * CVolume::kSectorSize, 0, CVolume::kSectorSize);
          unreadSectors.fetch_add(1);
          if (!inBadRun) Log().ErrorId(191, position + s);
          inBadRun = true;
        }
      }
      if (running.load() != 1) {
        status.store(ECANCELED);
        break;
      }
    }
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
  finish();
}
