// The built-in table: real file headers typed as their own type, a candidate made
// from each row's signature text, the registry value names and the extension map.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"

using platform::Bytes;
using namespace std::literals;

namespace {

// The built-in types as a first start makes them.
struct Builtins {
  FileTypeDatabase db;
  std::vector<FileType*> types;
  Builtins() {
    db.CreateDefaultGroups();
    for (auto& t : MakeBuiltinFileTypes()) db.AppendFileType(std::move(t));
    types = db.Types();
  }
  // The first type in list order that matches, as the signature search's first hit.
  const FileType* FirstMatch(Bytes candidate) const {
    for (const FileType* t : types)
      if (t->Match(candidate)) return t;
    return nullptr;
  }
  const FileType* Find(std::int32_t id, std::u16string_view description) const {
    for (const FileType* t : types)
      if (t->typeId() == id && t->Description() == description) return t;
    return nullptr;
  }
};

std::string Name(const FileType* t) {
  if (!t) return "(none)";
  return std::to_string(t->typeId()) + " " + platform::Utf16ToUtf8(t->Description());
}

void Put(std::vector<std::uint8_t>& b, std::size_t at, std::string_view bytes) {
  std::memcpy(b.data() + at, bytes.data(), bytes.size());
}

std::vector<std::uint8_t> Sector(std::initializer_list<std::pair<std::size_t, std::string_view>> parts,
                                 std::size_t size = 512) {
  std::vector<std::uint8_t> b(size, 0);
  for (auto& [at, bytes] : parts) Put(b, at, bytes);
  return b;
}

// A FAT boot sector as mkfs writes it: jump, OEM name, BPB, label and type, 55 AA.
std::vector<std::uint8_t> FatBootSector(int bits) {
  std::vector<std::uint8_t> b(512, 0);
  Put(b, 0, "\xEB\x3C\x90"sv);
  Put(b, 3, "mkfs.fat");
  platform::LeWriter w(b);
  w.U16(11, 512);
  b[13] = bits == 32 ? 8 : 4;
  w.U16(14, bits == 32 ? 32 : 1);
  b[16] = 2;
  w.U16(17, bits == 32 ? 0 : 512);
  w.U16(19, bits == 12 ? 2880 : 0);
  b[21] = 0xF8;
  w.U16(24, 63);
  w.U16(26, 255);
  if (bits == 32) {
    b[0] = 0xEB;
    b[1] = 0x58;
    w.U32(32, 2097152);
    w.U32(36, 2048);
    w.U32(44, 2);
    w.U16(48, 1);
    w.U16(50, 6);
    b[64] = 0x80;
    b[66] = 0x29;
    w.U32(67, 0x12345678);
    Put(b, 71, "NO NAME    FAT32   ");
  } else {
    w.U16(22, bits == 12 ? 9 : 256);
    w.U32(32, bits == 12 ? 0 : 1048576);
    b[36] = 0x80;
    b[38] = 0x29;
    w.U32(39, 0x12345678);
    Put(b, 43, bits == 12 ? "NO NAME    FAT12   " : "NO NAME    FAT16   ");
  }
  Put(b, 90, "\x0E\x1F\xBE\x5B\x7C\xAC\x22\xC0"sv);  // boot code
  Put(b, 510, "\x55\xAA"sv);
  return b;
}

std::vector<std::uint8_t> NtfsBootSector() {
  std::vector<std::uint8_t> b(512, 0);
  Put(b, 0, "\xEB\x52\x90NTFS    "sv);
  platform::LeWriter w(b);
  w.U16(11, 512);
  b[13] = 8;
  b[21] = 0xF8;
  w.U16(24, 63);
  w.U16(26, 255);
  w.U64(40, 2097151);
  w.U64(48, 4);
  w.U64(56, 131071);
  b[64] = 0xF6;
  b[68] = 1;
  w.U64(72, 0x1122334455667788ull);
  Put(b, 84, "\xFA\x33\xC0\x8E\xD0\xBC\x00\x7C"sv);
  Put(b, 510, "\x55\xAA"sv);
  return b;
}

std::vector<std::uint8_t> NtfsFileRecord() {
  std::vector<std::uint8_t> b(1024, 0);
  Put(b, 0, "FILE0\x00\x03\x00"sv);
  platform::LeWriter w(b);
  w.U64(8, 0x100000);
  w.U16(16, 1);
  w.U16(18, 1);
  w.U16(20, 56);
  w.U16(22, 1);
  w.U32(24, 416);
  w.U32(28, 1024);
  w.U32(56, 0x10);
  w.U32(60, 96);
  return b;
}

}  // namespace

TEST(BuiltinFileTypes, RealFileHeadersAreTheirOwnType) {
  Builtins b;
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::int32_t id;
    std::u16string_view description;
  } cases[] = {
      {"PNG", Sector({{0, "\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR\x00\x00\x01\x00\x00\x00\x01\x00\x08\x06"sv}}), 88,
       u"PNG Image"},
      {"JPEG JFIF", Sector({{0, "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x01\x00H\x00H"sv}}), 83, u"JPEG Image"},
      {"JPEG Exif",
       Sector({{0,
                "\xFF\xD8\xFF\xE1\x1C\x45"
                "Exif\x00\x00MM\x00*"sv}}),
       83, u"JPEG Image"},
      {"GIF", Sector({{0, "GIF89a\x10\x00\x10\x00\x80\x00\x00"sv}}), 85, u"GIF Image"},
      {"PDF", Sector({{0, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n"sv}}), 47,
       u"Portable Document Format (Adobe Acrobat)"},
      {"ZIP", Sector({{0, "PK\x03\x04\x14\x00\x00\x00\x08\x00\x21\x43readme.txt"sv}}), 300,
       u"PkZIP/WinZIP Archive File"},
      {"7z", Sector({{0, "7z\xBC\xAF\x27\x1C\x00\x04\x8D\x9B\xD5\x0F"sv}}), 345, u"7Z Archive File"},
      {"RIFF WAV", Sector({{0, "RIFF\x24\x08\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00"sv}}), 200,
       u"Windows Audio"},
      {"RIFF AVI",
       Sector({{0,
                "RIFF\x00\x10\x00\x00"
                "AVI LIST\xC0\x01\x00\x00hdrlavih"sv}}),
       524, u"AVI (RIFF Video Format)"},
      {"RIFF CDR",
       Sector({{0,
                "RIFF\x00\x20\x00\x00"
                "CDR9vrsn\x02\x00\x00\x00"sv}}),
       94, u"Corel Draw"},
      {"mixed-case HTML", Sector({{0, "\xEF\xBB\xBF\n\n  <!-- page -->\n<Html lang=\"en\">\n<head>"sv}}), 52,
       u"HTML Hypertext Web Document"},
      {"HTML doctype", Sector({{0, "<!doctype Html>\n<title>x</title>"sv}}), 52, u"HTML Hypertext Web Document"},
      {"FAT12 boot sector", FatBootSector(12), 1, u"System Logical FAT12 Disk"},
      {"FAT16 boot sector", FatBootSector(16), 4, u"System Logical FAT16 Disk"},
      {"FAT32 boot sector", FatBootSector(32), 11, u"System Logical FAT32 Disk"},
      {"NTFS boot sector", NtfsBootSector(), 7, u"System Logical NTFS Disk"},
      {"NTFS FILE record", NtfsFileRecord(), 24, u"NTFS File Entry"},
      {"compound document", Sector({{0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv}}), 500,
       u"Microsoft Storage File (DOC,XLS,PPT and etc.)"},
  };
  for (const auto& c : cases) {
    const FileType* want = b.Find(c.id, c.description);
    ASSERT_TRUE(want) << c.what;
    const FileType* got = b.FirstMatch(c.bytes);
    EXPECT_EQ(got, want) << c.what << ": " << Name(got);
  }
  // The siblings that share the RIFF start are not fooled by each other.
  const FileType* wav = b.Find(200, u"Windows Audio");
  const FileType* avi = b.Find(524, u"AVI (RIFF Video Format)");
  const FileType* cdr = b.Find(94, u"Corel Draw");
  EXPECT_FALSE(avi->Match(cases[7].bytes));
  EXPECT_FALSE(cdr->Match(cases[7].bytes));
  EXPECT_FALSE(wav->Match(cases[8].bytes));
  EXPECT_FALSE(wav->Match(cases[9].bytes));
  // FAT12 and FAT16 differ only in their label; FAT32 has it elsewhere.
  EXPECT_FALSE(b.Find(4, u"System Logical FAT16 Disk")->Match(cases[12].bytes));
  EXPECT_FALSE(b.Find(1, u"System Logical FAT12 Disk")->Match(cases[14].bytes));
  // "<html" at the last position a 5-byte search reaches (511 - 5 = 506) counts, one later does not.
  const FileType* html = b.Find(52, u"HTML Hypertext Web Document");
  EXPECT_TRUE(html->Match(Sector({{506, "<hTmL"}}, 1024)));
  EXPECT_FALSE(html->Match(Sector({{507, "<hTmL"}}, 1024)));
}

namespace {

// Each built-in row and its signature column, as the table of built-in types writes
// it: " / " between signatures, " and " between patterns, "at n" for the offset;
// "text" for ASCII bytes, bare hex bytes, b: w: d: q: for value patterns,
// nocase-find and find for the search kinds (the text is placed at the offset
// given), w-range for the icon's image count (the word placed at the offset).
struct RowText {
  std::int32_t id;
  const char16_t* description;
  const char* signatures;
};

// Signatures that an earlier row's signature also matches: the first type in list
// order is that row.
struct Shadow {
  const char16_t* description;
  const char* signature;
  std::int32_t by;
};
const Shadow kShadows[] = {
    {u"Pentax Electronic Format", "d:4D 4D 00 2A at 0", 114},
    {u"Pentax Electronic Format", "d:49 49 2A 00 at 0", 114},
    {u"Sony RAW File", "d:4D 4D 00 2A at 0", 114},
    {u"Sony RAW File", "d:49 49 2A 00 at 0", 114},
    {u"TIFF Image", "d:4D 4D 00 2A at 0", 114},
    {u"TIFF Image", "d:49 49 2A 00 at 0", 114},
    {u"JAR Archive File", "q:50 4B 03 04 14 00 08 00 at 0", 300},
};

const RowText kRows[] = {
    {47, u"Portable Document Format (Adobe Acrobat)", "\"%PDF-1.\" at 0"},
    {42, u"WordPerfect Format", "d:FF 57 50 43 at 0"},
    {46, u"Microsoft Write", "BE 00 00 00 AB 00 00 00 00 00 00 00 00 at 1"},
    {45, u"Microsoft Reader Document (Windows CE)", "\"ITOLITLS\" at 0"},
    {41, u"Rich Text Format", "\"{\\rtf\" at 0"},
    {60, u"DjVu Text Format", "\"AT&TFORM\" at 0"},
    {82, u"Adobe Encapsulated PostScript", "\"%!PS-Adobe\" at 0"},
    {51, u"XML File", "\"<?xml \" at 0 / \"<?XML \" at 0"},
    {52, u"HTML Hypertext Web Document", "nocase-find \"<html\" at 200 / nocase-find \"<!DOCTYPE html\" at 0"},
    {44, u"HTML Help File", "q:49 54 53 46 03 00 00 00 at 0"},
    {43, u"Windows Help File", "d:3F 5F 03 00 at 0"},
    {48, u"Lotus 1-2-3/Symphony Document", "00 00 02 00 04 at 0"},
    {50, u"Business Card (vCard)", "\"BEGIN:VCARD\" at 0"},
    {54, u"Internet shortcut file", "\"[InternetShortcut]\" at 0"},
    {200, u"Windows Audio", "d:52 49 46 46 at 0 and \"WAVEfmt\" at 8"},
    {220, u"MIDI Audio (.MID, .MIDI, .KAR, .RMI)", "q:4D 54 68 64 00 00 00 06 at 0"},
    {202, u"OGG Audio", "q:4F 67 67 53 00 02 00 00 at 0"},
    {221, u"Digital Speech Standard", "d:02 64 75 75 at 0"},
    {222, u"AU Audio", "d:2E 75 6E 64 at 0"},
    {223, u"AIF Audio", "d:46 4F 52 4D at 0 and \"AIF\" at 8"},
    {224, u"M3U Play List File", "\"#EXTM3U\" at 0"},
    {226, u"Creative Voice File", "\"Creative Voice File\" at 0"},
    {227, u"Audio Visual Research File", "d:32 42 49 54 at 0"},
    {83, u"JPEG Image",
     "d:FF D8 FF E1 at 0 / d:FF D8 FF E0 at 0 / d:FF D8 FF E2 at 0 / d:FF D8 FF ED at 0 / d:FF D8 FF EE at 0 / "
     "d:FF D8 FF FE at 0 / d:FF D8 FF DB at 0"},
    {525, u"Bitmap Image", "w:42 4D at 0 and d:00 00 00 00 at 6"},
    {85, u"GIF Image", "d:47 49 46 38 at 0 and b:61 at 5"},
    {88, u"PNG Image", "q:89 50 4E 47 0D 0A 1A 0A at 0 and q:00 00 00 0D 49 48 44 52 at 8"},
    {89, u"Photoshop Document", "q:38 42 50 53 00 01 00 00 at 0"},
    {91, u"Windows Metafile", "d:D7 CD C6 9A at 0 and w:00 00 at 4"},
    {92, u"TrueType Font File", "d:00 01 00 00 at 0 and d:4F 53 2F 32 at 12"},
    {93, u"Paint Shop Pro Image", "\"Paint Shop Pro Image File\" at 0"},
    {94, u"Corel Draw", "d:52 49 46 46 at 0 and \"CDR\" at 8"},
    {95, u"Xerox Image Format", "49 49 2A at 0 and find \"eXtended\" at 8"},
    {90, u"Icon File", "d:00 00 01 00 at 0 and w-range 03 00 at 4 and b:00 at 9"},
    {96, u"AutoCAD Drawing", "d:2A 38 78 02 at 0"},
    {97, u"AutoCAD Drawing", "\"SECTION\" at 4"},
    {110, u"Minolta RAW. Raster image from a Minolta digital camera", "d:00 4D 52 4D at 0"},
    {111, u"Canon RAW. Photograph from a Canon camera",
     "\"HEAPCCDR\" at 8 / \"HEAPJPGM\" at 8 / \"HEAPTIFP\" at 8 / \"HEAPARCH\" at 8"},
    {112, u"Digital Camera RAW. Photograph from a Kodak digital camera", "d:52 49 46 58 at 0 / d:58 46 49 52 at 0"},
    {117, u"Fuji RAW. Raster image from a Fuji digital camera", "\"FUJIFILM\" at 0"},
    {114, u"NEF Foto", "d:4D 4D 00 2A at 0 / d:49 49 2A 00 at 0"},
    {115, u"Olympus Raw Format", "d:49 49 52 53 at 0"},
    {116, u"Pentax Electronic Format", "d:4D 4D 00 2A at 0 / d:49 49 2A 00 at 0"},
    {118, u"Sony RAW File", "d:4D 4D 00 2A at 0 / d:49 49 2A 00 at 0"},
    {87, u"TIFF Image", "d:4D 4D 00 2A at 0 / d:49 49 2A 00 at 0"},
    {160, u"ASF", "q:30 26 B2 75 8E 66 CF 11 at 0 and q:A6 D9 00 AA 00 62 CE 6C at 8"},
    {150, u"RealMedia File", "d:2E 52 4D 46 at 0"},
    {170, u"QuickTime (Rich Media Format)",
     "\"ftypqt  \" at 4 / d:6D 6F 6F 76 at 4 / d:70 6E 6F 74 at 4 / d:6D 64 61 74 at 4 / d:77 69 64 65 at 4 / "
     "d:76 69 64 65 at 4 / d:74 72 61 6B at 4 / d:73 6B 69 70 at 4 / d:4D 50 45 47 at 4 / d:73 74 72 6D at 4 / "
     "d:66 72 65 65 at 4"},
    {524, u"AVI (RIFF Video Format)", "d:52 49 46 46 at 0 and \"AVI LIST\" at 8"},
    {181, u"Mobile Phone Video", "\"ftyp3gp\" at 4"},
    {141, u"MPEG-4 Video File",
     "\"ftypisom\" at 4 / \"ftypiso2\" at 4 / \"ftypiso4\" at 4 / \"ftypiso5\" at 4 / "
     "\"ftypiso6\" at 4 / \"ftypmp41\" at 4 / \"ftypmp42\" at 4 / \"ftypmp71\" at 4 / "
     "\"ftypavc1\" at 4 / \"ftypdash\" at 4 / \"ftypM4V \" at 4 / \"ftypM4A \" at 4 / "
     "\"ftypM4P \" at 4 / \"ftypM4B \" at 4 / \"ftypMSNV\" at 4 / \"ftypNDAS\" at 4 / "
     "\"ftypf4v \" at 4 / \"ftypmmp4\" at 4 / \"ftypXAVC\" at 4"},
    {265, u"SymbianOS Installer File", "d:04 19 10 00 at 6 and w:10 00 at 10"},
    {266, u"Microsoft PocketPC Word", "\"{\\pwi\" at 0"},
    {266, u"Microsoft PocketPC Buckup", "\"POCKETPCIMAGE\" at 0"},
    {300, u"PkZIP/WinZIP Archive File", "d:50 4B 03 04 at 0"},
    {330, u"TAR Archive File", "\"ustar\" at 257"},
    {310, u"RAR Archive File", "d:52 61 72 21 at 0 / 1A 07 00 at 4"},
    {320, u"ARJ Archive File", "w:60 EA at 0"},
    {331, u"GZIP Archive File", "w:1F 8B at 0"},
    {332, u"ACE Archive File", "\"**ACE**\" at 0"},
    {333, u"LZH Archive File", "\"-lh\" at 2 / \"-lz\" at 2"},
    {334, u"HA Archive File", "w:48 41 at 0"},
    {335, u"HYP Archive File", "1A 50 00 at 0 / 1A 54 00 at 0"},
    {336, u"MS Cabinet File", "q:4D 53 43 46 00 00 00 00 at 0"},
    {337, u"ZOO Archive File", "d:5A 4F 4F 20 at 0"},
    {338, u"JAR Archive File", "q:50 4B 03 04 14 00 08 00 at 0 / 4A 41 52 43 53 00 at 0"},
    {339, u"Z Archive File", "1F 90 00 at 0"},
    {344, u"GZ Archive File", "1F 08 00 at 0"},
    {345, u"7Z Archive File", "w:37 7A at 0 and d:BC AF 27 1C at 2"},
    {340, u"AIN Archive File", "d:21 12 00 00 at 0"},
    {341, u"BZIP Archive File", "\"BZh91AY&SY\" at 0"},
    {342, u"RK Archive File", "d:52 4B 41 37 at 0"},
    {343, u"UC2 Archive File", "d:55 43 32 1A at 0"},
    {400, u"DOS Executable File", "w:4D 5A at 0"},
    {411, u"LIBCOFF Executable File", "q:21 3C 61 72 63 68 3E 0A at 0"},
    {412, u"MSLIB Executable File", "d:F0 0D 00 00 at 0"},
    {500, u"Outlook Express E-mail Folder", "d:CF AD 12 FE at 0"},
    {501, u"Microsoft Access Database", "53 74 61 6E 64 61 72 64 20 4A 65 74 20 44 42 00 at 4"},
    {800, u"Microsoft Money Data", "\"MSISAM.Database\" at 4"},
    {250, u"MS Outlook Personal Folders", "d:21 42 44 4E at 0"},
    {251, u"MS Outlook Address Book", "00 00 00 94 01 00 3E at 1"},
    {53, u"Ichitaro Document (Japanese)", "d:44 4F 43 00 at 0 and d:00 00 00 00 at 4"},
    {252, u"MS Calendar", "q:B5 A2 B0 B3 B3 B0 A2 B5 at 0"},
    {506, u"Microsoft Cardfile", "\"MGC\" at 0"},
    {610, u"Win Organizer", "\"TreeData\" at 1"},
    {610, u"Best Crypt Disk Image", "\"LOCOS\" at 3"},
    {611, u"PGP Disk Image", "\"PGPdMAIN\" at 0"},
    {1, u"System Logical FAT12 Disk", "w:55 AA at 510 and b:EB at 0 and b:90 at 2 and \"FAT12\" at 54"},
    {4, u"System Logical FAT16 Disk", "w:55 AA at 510 and b:EB at 0 and b:90 at 2 and \"FAT16\" at 54"},
    {11, u"System Logical FAT32 Disk", "w:55 AA at 510 and b:EB at 0 and b:90 at 2 and \"FAT32\" at 82"},
    {7, u"System Logical NTFS Disk", "w:55 AA at 510 and b:EB at 0 and b:90 at 2 and \"NTFS    \" at 3"},
    {24, u"NTFS File Entry", "d:46 49 4C 45 at 0"},
    {500, u"Microsoft Storage File (DOC,XLS,PPT and etc.)", "d:D0 CF 11 E0 at 0"},
    {502, u"Microsoft Word Document", ""},
    {501, u"Microsoft Excel Document", ""},
    {503, u"Microsoft PowerPoint Presentation", ""},
    {508, u"Microsoft Publisher Document", ""},
    {506, u"Microsoft Project Document", ""},
    {505, u"Microsoft Visio Document", ""},
    {507, u"Microsoft Works Document", ""},
    {522, u"3D Studio Max Model", ""},
    {81, u"3D Studio Max Model", ""},
    {523, u"Macromedia Flash", ""},
    {520, u"Ichitaro Document (Storage File) (Japanese)", ""},
};

std::vector<std::string> Split(const std::string& text, const std::string& sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (true) {
    std::size_t cut = text.find(sep, start);
    out.push_back(text.substr(start, cut - start));
    if (cut == std::string::npos) return out;
    start = cut + sep.size();
  }
}

std::string HexBytes(const std::string& hex) {
  std::string out;
  std::istringstream in(hex);
  std::string byte;
  while (in >> byte) out.push_back(char(std::stoi(byte, nullptr, 16)));
  return out;
}

// Places one pattern's bytes into the candidate.
void PlacePattern(std::vector<std::uint8_t>& c, const std::string& pattern) {
  std::size_t at = pattern.rfind(" at ");
  ASSERT_NE(at, std::string::npos) << pattern;
  std::size_t offset = std::stoul(pattern.substr(at + 4));
  std::string what = pattern.substr(0, at);
  for (const char* prefix : {"nocase-find ", "find ", "w-range ", "b:", "w:", "d:", "q:"})
    if (what.rfind(prefix, 0) == 0) what = what.substr(std::strlen(prefix));
  std::string bytes = what.front() == '"' ? what.substr(1, what.size() - 2) : HexBytes(what);
  ASSERT_LE(offset + bytes.size(), c.size()) << pattern;
  std::memcpy(c.data() + offset, bytes.data(), bytes.size());
}

}  // namespace

TEST(BuiltinFileTypes, EveryRowsSignatureTextIsTypedAsThatRow) {
  Builtins b;
  ASSERT_EQ(b.types.size(), std::size(kRows));
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    const RowText& row = kRows[i];
    const FileType* self = b.types[i];
    ASSERT_EQ(self->typeId(), row.id) << i;
    ASSERT_EQ(self->Description(), row.description) << i;
    std::string text = row.signatures;
    if (text.empty()) {
      EXPECT_EQ(self->GetSignatureCount(), 0u) << Name(self);
      continue;
    }
    std::vector<std::string> signatures = Split(text, " / ");
    EXPECT_EQ(self->GetSignatureCount(), signatures.size()) << Name(self);
    for (const std::string& signature : signatures) {
      std::vector<std::uint8_t> candidate(512, 0);
      for (const std::string& pattern : Split(signature, " and ")) PlacePattern(candidate, pattern);
      const FileType* first = b.FirstMatch(candidate);
      EXPECT_TRUE(self->Match(candidate)) << Name(self) << ": " << signature;
      std::int32_t shadow = 0;
      for (const Shadow& sh : kShadows)
        if (row.description == std::u16string_view(sh.description) && signature == sh.signature) shadow = sh.by;
      if (shadow) {
        ASSERT_TRUE(first);
        EXPECT_EQ(first->typeId(), shadow) << Name(self) << ": " << signature;
      } else {
        EXPECT_EQ(first, self) << Name(self) << ": " << signature << " is typed as " << Name(first);
      }
    }
  }
}

TEST(BuiltinFileTypes, RowsAndTheirFields) {
  Builtins b;
  ASSERT_EQ(b.types.size(), 104u);
  for (const FileType* t : b.types) {
    EXPECT_EQ(t->listed(), 1);
    EXPECT_EQ(t->selected(), 0);
    EXPECT_EQ(t->searchEnabled(), 1);
    EXPECT_EQ(t->showInFilter(), 0);
    EXPECT_EQ(t->typicalSizeKB(), 1024);
    EXPECT_EQ(t->TechnicalText(), u"");
    EXPECT_EQ(t->HeaderI32(24), 0);
    EXPECT_EQ(t->HeaderI32(44), 50);
  }
  EXPECT_EQ(b.Find(400, u"DOS Executable File")->Title(), u"EXE-DOS");
  EXPECT_EQ(b.Find(411, u"LIBCOFF Executable File")->Title(), u"EXE-LIBCOFF");
  EXPECT_EQ(b.Find(412, u"MSLIB Executable File")->Title(), u"EXE-MSLIB");
  EXPECT_EQ(b.Find(503, u"Microsoft PowerPoint Presentation")->Extensions(), u"PPT");
  EXPECT_EQ(b.Find(52, u"HTML Hypertext Web Document")->NamePrefix(), u"web_document");
  EXPECT_EQ(b.Find(252, u"MS Calendar")->NamePrefix(), u"Calendar");

  // The icon's image count: 1 to 255.
  const FileType* ico = b.Find(90, u"Icon File");
  for (int count : {0, 1, 255, 256}) {
    std::vector<std::uint8_t> c(512, 0);
    c[2] = 1;
    c[4] = std::uint8_t(count);
    c[5] = std::uint8_t(count >> 8);
    EXPECT_EQ(ico->Match(c), count >= 1 && count <= 255) << count;
  }
  // The Xerox type: "eXtended" anywhere in the unit after 49 49 2A.
  const FileType* xif = b.Find(95, u"Xerox Image Format");
  EXPECT_TRUE(xif->Match(Sector({{0, "II*\0"sv}, {300, "eXtended"}})));
  EXPECT_FALSE(xif->Match(Sector({{0, "II*\0"sv}})));
}

TEST(BuiltinFileTypes, RegistryValueNamesInOrder) {
  const char16_t* kNames[] = {
      u"-144.47..PDF",          u"-144.42..WPC",   u"-144.46..WRI",  u"-144.45..LIT",        u"-144.41..RTF",
      u"-144.60..DJVU",         u"-144.82..EPS",   u"-144.51..XML",  u"-144.52..HTML",       u"-144.44..CHM",
      u"-144.43..HLP",          u"-144.48..WKS",   u"-144.50..VCF",  u"-144.54..URL",        u"-122.200..WAV",
      u"-122.220..MID",         u"-122.202..OGG",  u"-122.221..DSS", u"-122.222..AU",        u"-122.223..AIF",
      u"-122.224..M3U",         u"-122.226..VOC",  u"-122.227..AVR", u"-115.83..JPG",        u"-115.525..BMP",
      u"-115.85..GIF",          u"-115.88..PNG",   u"-115.89..PSD",  u"-115.91..WMF",        u"-115.92..TTF",
      u"-115.93..PSP",          u"-115.94..CDR",   u"-115.95..XIF",  u"-115.90..ICO",        u"-115.96..DWG",
      u"-115.97..DXF",          u"-117.110..MRW",  u"-117.111..CRW", u"-117.112..DCR",       u"-117.117..RAF",
      u"-117.114..NEF",         u"-117.115..ORF",  u"-117.116..PEF", u"-117.118..SRF",       u"-115.87..TIFF",
      u"-120.160..ASF",         u"-120.150..RM",   u"-120.170..MOV", u"-120.524..AVI",       u"-120.181..3GP",
      u"-120.141..MP4",         u"-128.265..SIS",  u"-128.266..PSW", u"-128.266..PBF",       u"-48.300..ZIP",
      u"-48.330..TAR",          u"-48.310..RAR",   u"-48.320..ARJ",  u"-48.331..GZIP",       u"-48.332..ACE",
      u"-48.333..LZH",          u"-48.334..HA",    u"-48.335..HYP",  u"-48.336..CAB",        u"-48.337..ZOO",
      u"-48.338..JAR",          u"-48.339..Z",     u"-48.344..GZ",   u"-48.345..7Z",         u"-48.340..AIN",
      u"-48.341..BZIP",         u"-48.342..RK",    u"-48.343..UC2",  u"-80.400.EXE-DOS.EXE", u"-80.411.EXE-LIBCOFF.LIB",
      u"-80.412.EXE-MSLIB.LIB", u"-64.500..DBX",   u"-64.501..MDB",  u"-64.800..MNY",        u"-144.250..PST",
      u"-144.251..OAB",         u"-144.53..JXW",   u"-144.252..CAL", u"-64.506..CRD",        u"-144.610..GSO",
      u"-112.610..JBC",         u"-112.611..PGD",  u"-16.1..SYSTEM", u"-16.4..SYSTEM",       u"-16.11..SYSTEM",
      u"-16.7..SYSTEM",         u"-16.24..SYSTEM", u"-144.500..DOC", u"-144.502..DOC",       u"-144.501..XLS",
      u"-144.503..PPT",         u"-144.508..PUB",  u"-144.506..MPP", u"-144.505..VSD",       u"-144.507..WPS",
      u"-144.522..MAX",         u"-144.81..3DS",   u"-144.523..FLA", u"-144.520..JTD",
  };
  auto types = MakeBuiltinFileTypes();
  ASSERT_EQ(types.size(), std::size(kNames));
  for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(types[i]->RegistryValueName(), kNames[i]) << i;
}

TEST(BuiltinFileTypes, ExtensionMap) {
  Builtins b;
  const FileType* storage = b.Find(500, u"Microsoft Storage File (DOC,XLS,PPT and etc.)");
  EXPECT_EQ(b.db.FindByExtension(u"DOC"), storage);  // not the Word row that lists DOC later
  EXPECT_EQ(b.db.FindByExtension(u"doc"), storage);
  EXPECT_EQ(b.db.FindByExtension(u"LIB"), b.Find(411, u"LIBCOFF Executable File"));
  EXPECT_EQ(b.db.FindByExtension(u"XLS"), b.Find(501, u"Microsoft Excel Document"));
  EXPECT_EQ(b.db.FindByExtension(u"JFI"), b.Find(83, u"JPEG Image"));
  EXPECT_EQ(b.db.FindByExtension(u"DJV"), b.Find(60, u"DjVu Text Format"));
  EXPECT_EQ(b.db.FindByExtension(u"PTT"), nullptr);
  EXPECT_EQ(b.db.FindByExtension(u"SYSTEM"), b.Find(1, u"System Logical FAT12 Disk"));
  // Insertion order, upper case, each extension once.
  auto map = b.db.ExtensionMap();
  ASSERT_GE(map.size(), 3u);
  EXPECT_EQ(map[0].first, u"PDF");
  EXPECT_EQ(map[1].first, u"WPC");
  std::size_t jtd = 0;
  for (auto& [ext, type] : map) jtd += ext == u"JTD";
  EXPECT_EQ(jtd, 1u);
  EXPECT_EQ(map.back().first, u"JTT");
}
