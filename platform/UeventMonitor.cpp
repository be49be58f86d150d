#include "platform/UeventMonitor.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace platform {

std::optional<Uevent> ParseUevent(std::string_view d) {
  if (d.substr(0, 7) == "libudev") return std::nullopt;
  std::size_t first = d.find('\0');
  if (first == std::string_view::npos || d.substr(0, first).find('@') == std::string_view::npos) return std::nullopt;
  Uevent e;
  std::size_t pos = first + 1;
  while (pos < d.size()) {
    std::size_t end = d.find('\0', pos);
    if (end == std::string_view::npos) end = d.size();
    std::string_view kv = d.substr(pos, end - pos);
    std::size_t eq = kv.find('=');
    if (eq != std::string_view::npos) {
      std::string_view k = kv.substr(0, eq), v = kv.substr(eq + 1);
      if (k == "ACTION") e.action = v;
      else if (k == "SUBSYSTEM") e.subsystem = v;
      else if (k == "DEVNAME") e.devName = v;
      else if (k == "DEVTYPE") e.devType = v;
      else if (k == "DEVPATH") e.devPath = v;
      else if (k == "MAJOR") e.major = static_cast<unsigned>(std::strtoul(std::string(v).c_str(), nullptr, 10));
      else if (k == "MINOR") e.minor = static_cast<unsigned>(std::strtoul(std::string(v).c_str(), nullptr, 10));
      else if (k == "DISKSEQ") e.diskseq = std::strtoull(std::string(v).c_str(), nullptr, 10);
    }
    pos = end + 1;
  }
  if (e.action.empty() || e.subsystem.empty()) return std::nullopt;
  return e;
}

namespace {

// Receives with a poll on the socket and on a wake-up pipe, so that Close() from
// another thread ends a waiting Receive without closing a descriptor in use.
class PollingSource : public IDatagramSource {
 public:
  PollingSource(int fd, bool netlink) : fd_(fd), netlink_(netlink) {
    if (pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
  }
  ~PollingSource() override {
    if (fd_ >= 0) close(fd_);
    if (wake_[0] >= 0) close(wake_[0]);
    if (wake_[1] >= 0) close(wake_[1]);
  }
  Result Receive(std::string& datagram, std::uint32_t& sender, int timeoutMs) override {
    std::vector<char> buf(16384);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (!closed_.load()) {
      int wait = -1;
      if (timeoutMs >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Result::TimedOut;
        wait = static_cast<int>(left.count());
      }
      if (wake_[0] < 0 && (wait < 0 || wait > 200)) wait = 200;  // no wake-up pipe: look at the flag now and then
      pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      int n = poll(fds, wake_[0] >= 0 ? 2 : 1, wait);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Result::Closed;
      }
      if (closed_.load()) return Result::Closed;
      if (n == 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      sockaddr_nl addr{};
      iovec iov{buf.data(), buf.size()};
      msghdr msg{};
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      if (netlink_) {
        msg.msg_name = &addr;
        msg.msg_namelen = sizeof addr;
      }
      ssize_t got = recvmsg(fd_, &msg, 0);
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == ENOBUFS) continue;  // ENOBUFS: events were lost
        return Result::Closed;
      }
      if (got == 0 && !netlink_) return Result::Closed;  // the other end closed
      std::string data(buf.data(), static_cast<std::size_t>(got));
      if (netlink_) {
        sender = addr.nl_pid;
        datagram = std::move(data);
      } else {
        if (data.size() < 4) continue;
        sender = std::uint32_t(std::uint8_t(data[0])) | std::uint32_t(std::uint8_t(data[1])) << 8 |
                 std::uint32_t(std::uint8_t(data[2])) << 16 | std::uint32_t(std::uint8_t(data[3])) << 24;
        datagram = data.substr(4);
      }
      return Result::Datagram;
    }
    return Result::Closed;
  }
  void Close() override {
    closed_.store(true);
    if (wake_[1] >= 0) {
      char c = 1;
      [[maybe_unused]] ssize_t n = write(wake_[1], &c, 1);
    }
  }

 private:
  int fd_;
  bool netlink_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> closed_{false};
};

}  // namespace

std::unique_ptr<IDatagramSource> OpenKernelUeventSource() {
  int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  if (fd < 0) return nullptr;
  sockaddr_nl addr{};
  addr.nl_family = AF_NETLINK;
  addr.nl_groups = 1;  // the kernel's own uevent group
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<PollingSource>(fd, true);
}

std::unique_ptr<IDatagramSource> MakePrefixedSocketSource(int fd) { return std::make_unique<PollingSource>(fd, false); }

UeventMonitor::~UeventMonitor() { Stop(); }

bool UeventMonitor::Start(std::unique_ptr<IDatagramSource> source, Callback callback, int burstMs) {
  if (!source || thread_.joinable()) return false;
  source_ = std::move(source);
  callback_ = std::move(callback);
  burstMs_ = burstMs;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void UeventMonitor::Stop() {
  if (source_) source_->Close();
  if (thread_.joinable()) thread_.join();
  source_.reset();
}

void UeventMonitor::Run() {
  // Events are collected until `burstMs` passes without a new one, then delivered
  // together: one refresh per burst.
  std::vector<Uevent> pending;
  std::string datagram;
  std::uint32_t sender = 0;
  while (true) {
    auto r = source_->Receive(datagram, sender, pending.empty() ? -1 : burstMs_);
    if (r == IDatagramSource::Result::Closed) break;
    if (r == IDatagramSource::Result::TimedOut) {
      if (callback_) callback_(pending);
      pending.clear();
      continue;
    }
    if (sender != 0) continue;  // only the kernel's own messages
    auto e = ParseUevent(datagram);
    if (!e || e->subsystem != "block") continue;
    if (e->action != "add" && e->action != "remove" && e->action != "change") continue;
    pending.push_back(std::move(*e));
  }
}

}  // namespace platform
