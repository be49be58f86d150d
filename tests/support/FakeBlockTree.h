#pragma once
// A fake sysfs, proc and dev tree laid out as the kernel lays out its own: a
// device's folder lives under sys/devices/, reached through the block/, class/block
// and dev/block links. Device nodes under dev/ are plain files.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/BlockDevices.h"
#include "support/TempDir.h"

namespace test {

class FakeBlockTree {
 public:
  FakeBlockTree() {
    namespace fs = std::filesystem;
    fs::create_directories(sys("block"));
    fs::create_directories(sys("dev/block"));
    fs::create_directories(sys("class/block"));
    fs::create_directories(dir_ / "proc/self");
    fs::create_directories(dir_ / "dev");
    Mountinfo("");
  }
  std::string root() const { return dir_.path(); }
  std::string sys(const std::string& rel) const { return dir_ / ("sys/" + rel); }
  std::string dev(const std::string& name) const { return dir_ / ("dev/" + name); }
  // Each file is replaced whole (written aside, then renamed), as a reader running
  // meanwhile sees the kernel's files change.
  void Write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string aside = path + ".new";
    std::ofstream(aside) << text << "\n";
    std::filesystem::rename(aside, path);
  }
  void Disk(const std::string& name, const std::string& dev, std::uint64_t sectors, bool removable = false,
            const std::string& model = "") {
    namespace fs = std::filesystem;
    std::string real = sys("devices/" + name);
    Write(real + "/dev", dev);
    Write(real + "/size", std::to_string(sectors));
    Write(real + "/removable", removable ? "1" : "0");
    if (!model.empty()) Write(real + "/device/model", model + "  ");
    fs::create_directory_symlink(real, sys("block/" + name));
    fs::create_directory_symlink(real, sys("class/block/" + name));
    fs::create_directory_symlink(real, sys("dev/block/" + dev));
  }
  void Partition(const std::string& disk, const std::string& name, const std::string& dev, int number,
                 std::uint64_t start, std::uint64_t sectors) {
    namespace fs = std::filesystem;
    std::string real = sys("devices/" + disk + "/" + name);
    Write(real + "/dev", dev);
    Write(real + "/partition", std::to_string(number));
    Write(real + "/start", std::to_string(start));
    Write(real + "/size", std::to_string(sectors));
    fs::create_directory_symlink(real, sys("class/block/" + name));
    fs::create_directory_symlink(real, sys("dev/block/" + dev));
  }
  void Slave(const std::string& holder, const std::string& slave) {
    std::filesystem::create_directories(sys("devices/" + holder + "/slaves"));
    std::filesystem::create_directory_symlink(sys("class/block/" + slave),
                                              sys("devices/" + holder + "/slaves/" + slave));
  }
  // Takes a disk and its partitions away, as an unplug does.
  void Unplug(const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string real = sys("devices/" + name);
    for (const auto& e : fs::directory_iterator(real, ec)) {
      if (!fs::exists(e.path() / "partition")) continue;
      const std::string part = e.path().filename();
      fs::remove(sys("class/block/" + part), ec);
      fs::remove(sys("dev/block/" + ReadLine(e.path() / "dev")), ec);
    }
    fs::remove(sys("dev/block/" + ReadLine(real + "/dev")), ec);
    fs::remove(sys("block/" + name), ec);
    fs::remove(sys("class/block/" + name), ec);
    fs::remove_all(real, ec);
  }
  void Mountinfo(const std::string& text) { Write(dir_ / "proc/self/mountinfo", text); }
  platform::BlockDeviceTree Tree() const {
    return platform::BlockDeviceTree(dir_ / "sys", dir_ / "proc", dir_ / "dev");
  }

 private:
  static std::string ReadLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
  }
  TempDir dir_;
};

}  // namespace test
