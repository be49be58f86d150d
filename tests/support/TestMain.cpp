// Test entry point: every test process runs with a pinned time zone and with the
// configuration and data folders in a private temporary folder, so no test touches
// the real home.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>

#include "support/TempDir.h"

int main(int argc, char** argv) {
  // Central European time, written out so that no zoneinfo files are needed.
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  std::setlocale(LC_ALL, "C");
  static test::TempDir root("vandrel-tests-");
  setenv("VANDREL_CONFIG_DIR", (root.path() + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root.path() + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root.path() + "/xdg-config").c_str(), 1);
  setenv("HOME", (root.path() + "/home").c_str(), 1);
  setenv("TMPDIR", root.path().c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
