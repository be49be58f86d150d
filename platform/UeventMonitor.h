#pragma once
// Device arrival and removal: the kernel's uevents from a NETLINK_KOBJECT_UEVENT
// socket, read by one thread of its own. Only block-device add, remove and change
// events sent by the kernel itself (sender 0) count; events that come close together
// are delivered as one burst. Stop() shuts the socket down and joins the thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace platform {

struct Uevent {
  std::string action;     // "add", "remove", "change"
  std::string subsystem;  // "block"
  std::string devName;    // "sdb1"
  std::string devType;    // "disk" or "partition"
  std::string devPath;    // "/devices/.../block/sdb/sdb1"
  unsigned major = 0, minor = 0;
  std::uint64_t diskseq = 0;
};

// Parses one kernel uevent datagram ("add@/devices/...\0ACTION=add\0..."); messages
// from udev (which begin "libudev") and malformed ones give nothing.
std::optional<Uevent> ParseUevent(std::string_view datagram);

// Where datagrams come from, with the port id of their sender (0 is the kernel).
class IDatagramSource {
 public:
  virtual ~IDatagramSource() = default;
  enum class Result { Datagram, TimedOut, Closed };
  // Waits up to `timeoutMs` (-1: no limit) for the next datagram.
  virtual Result Receive(std::string& datagram, std::uint32_t& sender, int timeoutMs) = 0;
  // Ends a Receive that is waiting (from another thread).
  virtual void Close() = 0;
};

// The kernel's uevent socket; null where the system refuses it (some containers).
std::unique_ptr<IDatagramSource> OpenKernelUeventSource();
// For tests: a SOCK_SEQPACKET socket whose datagrams begin with a 4-byte
// little-endian sender id followed by the uevent itself. Takes ownership of `fd`.
std::unique_ptr<IDatagramSource> MakePrefixedSocketSource(int fd);

class UeventMonitor {
 public:
  using Callback = std::function<void(const std::vector<Uevent>& burst)>;

  UeventMonitor() = default;
  ~UeventMonitor();
  UeventMonitor(const UeventMonitor&) = delete;
  UeventMonitor& operator=(const UeventMonitor&) = delete;

  // Starts the reading thread; events within `burstMs` of each other are delivered
  // together, on the reading thread. False when `source` is null.
  bool Start(std::unique_ptr<IDatagramSource> source, Callback callback, int burstMs = 250);
  void Stop();
  bool running() const { return thread_.joinable(); }

 private:
  void Run();
  std::unique_ptr<IDatagramSource> source_;
  Callback callback_;
  int burstMs_ = 250;
  std::thread thread_;
};

}  // namespace platform
