#pragma once
// Qt test classes of one test folder share one executable. Each class registers
// itself with VANDREL_QT_TEST(Class); the build reads those lines and makes one
// ctest test "<folder>.<Class>" per class, run as `<folder>_qt_tests Class`.
// Class names ending in "Threads" are also run by the ThreadSanitizer build.

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace test {

using QtTestFactory = std::function<std::unique_ptr<QObject>()>;

std::map<std::string, QtTestFactory>& QtTestClasses();

struct QtTestRegistration {
  QtTestRegistration(const char* name, QtTestFactory factory) { QtTestClasses()[name] = std::move(factory); }
};

}  // namespace test

#define VANDREL_QT_TEST(Class)                                      \
  static const ::test::QtTestRegistration vandrel_qt_test_##Class{ \
      #Class, [] { return std::unique_ptr<QObject>(new Class); }}
