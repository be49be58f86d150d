// Writes the built-in string table into a language file through the language
// tables' export (only keys the file lacks are added): how Languages/English.lng
// is made. Usage: lng_export <program folder> [language name]
#include <QCoreApplication>

#include <cstdio>

#include "app/Languages.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: lng_export <folder holding Languages/> [language]\n");
    return 2;
  }
  CLanguages languages(QStringLiteral("Languages"), QString::fromLocal8Bit(argv[1]));
  if (argc > 2) languages.SelectLanguageByName(QString::fromLocal8Bit(argv[2]));
  const int written = languages.ExportStringsTable();
  if (written < 0) {
    std::fprintf(stderr, "lng_export: the language file could not be written\n");
    return 1;
  }
  std::printf("%d string(s) written\n", written);
  return 0;
}
