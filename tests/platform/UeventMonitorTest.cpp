#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/UeventMonitor.h"

using namespace platform;

namespace {

std::string Event(const std::string& action, const std::string& name, const std::string& subsystem = "block") {
  std::string s = action + "@/devices/virtual/block/" + name;
  s.push_back('\0');
  for (std::string kv : {"ACTION=" + action, "DEVPATH=/devices/virtual/block/" + name, "SUBSYSTEM=" + subsystem,
                         "DEVNAME=" + name, std::string("DEVTYPE=disk"), std::string("MAJOR=8"),
                         std::string("MINOR=16"), std::string("DISKSEQ=42")}) {
    s += kv;
    s.push_back('\0');
  }
  return s;
}

void Send(int fd, std::uint32_t sender, const std::string& payload) {
  std::string d(4, '\0');
  for (int i = 0; i < 4; ++i) d[i] = char((sender >> (8 * i)) & 0xFF);
  d += payload;
  ASSERT_EQ(send(fd, d.data(), d.size(), 0), static_cast<ssize_t>(d.size()));
}

}  // namespace

TEST(Uevent, ParsesKernelMessagesAndRejectsOthers) {
  auto e = ParseUevent(Event("add", "sdb"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->action, "add");
  EXPECT_EQ(e->subsystem, "block");
  EXPECT_EQ(e->devName, "sdb");
  EXPECT_EQ(e->major, 8u);
  EXPECT_EQ(e->minor, 16u);
  EXPECT_EQ(e->diskseq, 42u);
  EXPECT_FALSE(ParseUevent(std::string("libudev\0\xfe\xed", 10)));
  EXPECT_FALSE(ParseUevent("no header"));
  EXPECT_FALSE(ParseUevent(std::string("add@/x\0NOTHING=1\0", 17)));
}

TEST(UeventThreads, BurstsAreDeliveredOnceAndForeignSendersDropped) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::vector<Uevent>> bursts;
  UeventMonitor monitor;
  ASSERT_TRUE(monitor.Start(MakePrefixedSocketSource(fds[0]),
                            [&](const std::vector<Uevent>& burst) {
                              std::lock_guard g(m);
                              bursts.push_back(burst);
                              cv.notify_all();
                            },
                            100));
  // A burst of kernel events, plus events that do not count.
  Send(fds[1], 0, Event("add", "sdb"));
  Send(fds[1], 0, Event("change", "sdb"));
  Send(fds[1], 0, Event("add", "sdb1"));
  Send(fds[1], 1234, Event("add", "sdc"));           // not from the kernel
  Send(fds[1], 0, Event("add", "input3", "input"));  // not a block device
  Send(fds[1], 0, Event("bind", "sdb"));             // not an action that changes the list
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return bursts.size() == 1; }));
  }
  Send(fds[1], 0, Event("remove", "sdb"));
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return bursts.size() == 2; }));
  }
  monitor.Stop();  // ends the thread although the other end is still open
  EXPECT_FALSE(monitor.running());
  close(fds[1]);
  ASSERT_EQ(bursts[0].size(), 3u);
  EXPECT_EQ(bursts[0][0].action, "add");
  EXPECT_EQ(bursts[0][2].devName, "sdb1");
  ASSERT_EQ(bursts[1].size(), 1u);
  EXPECT_EQ(bursts[1][0].action, "remove");
}

TEST(UeventThreads, TheKernelSocketOpensOrIsRefusedCleanly) {
  auto source = OpenKernelUeventSource();
  if (!source) GTEST_SKIP() << "no uevent socket in this environment";
  UeventMonitor monitor;
  ASSERT_TRUE(monitor.Start(std::move(source), [](const std::vector<Uevent>&) {}));
  monitor.Stop();
  EXPECT_FALSE(monitor.running());
}
