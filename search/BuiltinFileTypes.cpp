#include "search/BuiltinFileTypes.h"

#include <cstring>
#include <string>
#include <string_view>

#include "search/FileTypeDatabase.h"

namespace {

constexpr std::int32_t kDoc = CATEGORY_DOCUMENTS, kArc = CATEGORY_ARCHIVES, kDb = CATEGORY_DATABASES,
                       kImg = CATEGORY_IMAGES, kPhoto = CATEGORY_PHOTOS, kVideo = CATEGORY_VIDEO,
                       kAudio = CATEGORY_AUDIO, kStore = CATEGORY_STORAGES, kMobile = CATEGORY_MOBILE,
                       kExe = CATEGORY_EXECUTABLE, kSys = CATEGORY_SYSTEM;

std::vector<std::uint8_t> ParseHex(std::string_view hex) {
  auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
    out.push_back(std::uint8_t(digit(hex[i]) * 16 + digit(hex[i + 1])));
  return out;
}

// One row of the table: the type, then its signatures. Patterns are added to the
// current signature (all must hold); Or() starts the next signature.
class Row {
 public:
  Row(std::vector<std::unique_ptr<FileType>>& out, std::int32_t category, std::int32_t id, const char16_t* description,
      const char16_t* extensions, const char16_t* prefix, const char16_t* title = u"") {
    out.push_back(FileTypeDatabase::MakeFileType(category, id, 1024, title, description, {}, prefix, extensions));
    type_ = out.back().get();
  }
  Row& Or() {
    current_ = nullptr;
    return *this;
  }
  Row& Text(std::string_view ascii, std::int32_t offset) {
    return Add(PATTERN_BYTES, std::vector<std::uint8_t>(ascii.begin(), ascii.end()), offset);
  }
  Row& Hex(std::string_view hex, std::int32_t offset) { return Add(PATTERN_BYTES, ParseHex(hex), offset); }
  Row& B(std::string_view hex, std::int32_t offset) { return Add(PATTERN_BYTE, ParseHex(hex), offset); }
  Row& W(std::string_view hex, std::int32_t offset) { return Add(PATTERN_WORD, ParseHex(hex), offset); }
  Row& D(std::string_view hex, std::int32_t offset) { return Add(PATTERN_DWORD, ParseHex(hex), offset); }
  Row& Q(std::string_view hex, std::int32_t offset) { return Add(PATTERN_QWORD, ParseHex(hex), offset); }
  Row& Find(std::string_view ascii, std::int32_t offset) {
    return Add(PATTERN_SEARCH, std::vector<std::uint8_t>(ascii.begin(), ascii.end()), offset);
  }
  Row& NoCaseFind(std::string_view ascii, std::int32_t offset) {
    return Add(PATTERN_SEARCH_NOCASE, std::vector<std::uint8_t>(ascii.begin(), ascii.end()), offset);
  }
  Row& WordRange(std::uint16_t low, std::uint16_t high, std::int32_t offset) {
    return Add(PATTERN_WORD_RANGE,
               {std::uint8_t(low), std::uint8_t(low >> 8), std::uint8_t(high), std::uint8_t(high >> 8)}, offset);
  }

 private:
  Row& Add(std::int32_t kind, const std::vector<std::uint8_t>& data, std::int32_t offset) {
    if (!current_) current_ = &type_->AppendSignature(std::make_unique<Signature>());
    current_->AddPattern(kind, data, offset, static_cast<std::uint16_t>(data.size()), 0);
    return *this;
  }
  FileType* type_;
  Signature* current_ = nullptr;
};

}  // namespace

const std::vector<DefaultFileTypeGroup>& DefaultFileTypeGroups() {
  static const std::vector<DefaultFileTypeGroup> groups = {
      {kDoc, u"Documents", 0},        {kArc, u"Archives", 0},
      {kDb, u"Databases", 0},         {kImg, u"Images", 0},
      {kPhoto, u"Photos", kImg},      {kVideo, u"Video", 0},
      {kAudio, u"Audio", 0},          {kStore, u"Storages and Drive images", 0},
      {kMobile, u"Mobile", 0},        {kExe, u"Executable", 0},
      {CATEGORY_EMAIL, u"E-mail", 0},
  };
  return groups;
}

std::vector<std::unique_ptr<FileType>> MakeBuiltinFileTypes() {
  std::vector<std::unique_ptr<FileType>> t;
  t.reserve(104);
  Row(t, kDoc, 47, u"Portable Document Format (Adobe Acrobat)", u"PDF", u"adobe").Text("%PDF-1.", 0);
  Row(t, kDoc, 42, u"WordPerfect Format", u"WPC", u"document").D("FF 57 50 43", 0);
  Row(t, kDoc, 46, u"Microsoft Write", u"WRI", u"document").Hex("BE 00 00 00 AB 00 00 00 00 00 00 00 00", 1);
  Row(t, kDoc, 45, u"Microsoft Reader Document (Windows CE)", u"LIT", u"document").Text("ITOLITLS", 0);
  Row(t, kDoc, 41, u"Rich Text Format", u"RTF", u"document").Text("{\\rtf", 0);
  Row(t, kDoc, 60, u"DjVu Text Format", u"DJVU;DJV", u"document").Text("AT&TFORM", 0);
  Row(t, kDoc, 82, u"Adobe Encapsulated PostScript", u"EPS", u"adobe").Text("%!PS-Adobe", 0);
  Row(t, kDoc, 51, u"XML File", u"XML", u"xml").Text("<?xml ", 0).Or().Text("<?XML ", 0);
  Row(t, kDoc, 52, u"HTML Hypertext Web Document", u"HTML;HTM", u"web_document")
      .NoCaseFind("<HTML", 0)
      .Or()
      .NoCaseFind("<!DOCTYPE HTML", 0);
  Row(t, kDoc, 44, u"HTML Help File", u"CHM", u"help").Q("49 54 53 46 03 00 00 00", 0);
  Row(t, kDoc, 43, u"Windows Help File", u"HLP", u"help").D("3F 5F 03 00", 0);
  Row(t, kDoc, 48, u"Lotus 1-2-3/Symphony Document", u"WKS", u"document").Hex("00 00 02 00 04", 0);
  Row(t, kDoc, 50, u"Business Card (vCard)", u"VCF", u"vCard").Text("BEGIN:VCARD", 0);
  Row(t, kDoc, 54, u"Internet shortcut file", u"URL", u"url").Text("[InternetShortcut]", 0);
  Row(t, kAudio, 200, u"Windows Audio", u"WAV", u"audio").D("52 49 46 46", 0).Text("WAVEfmt", 8);
  Row(t, kAudio, 220, u"MIDI Audio (.MID, .MIDI, .KAR, .RMI)", u"MID,MIDI,KAR,RMI", u"audio")
      .Q("4D 54 68 64 00 00 00 06", 0);
  Row(t, kAudio, 202, u"OGG Audio", u"OGG", u"audio").Q("4F 67 67 53 00 02 00 00", 0);
  Row(t, kAudio, 221, u"Digital Speech Standard", u"DSS", u"audio").D("02 64 75 75", 0);
  Row(t, kAudio, 222, u"AU Audio", u"AU,SND", u"audio").D("2E 75 6E 64", 0);
  Row(t, kAudio, 223, u"AIF Audio", u"AIF,AIFF,AIFC", u"audio").D("46 4F 52 4D", 0).Text("AIF", 8);
  Row(t, kAudio, 224, u"M3U Play List File", u"M3U", u"audio").Text("#EXTM3U", 0);
  Row(t, kAudio, 226, u"Creative Voice File", u"VOC", u"audio").Text("Creative Voice File", 0);
  Row(t, kAudio, 227, u"Audio Visual Research File", u"AVR", u"audio").D("32 42 49 54", 0);
  {
    // FF D8 FF and the segment that follows the SOI in files of common tools and
    // cameras: APP1 (Exif), APP0 (JFIF), APP2 (ICC profile), APP13 (Photoshop),
    // APP14 (Adobe), COM, or the quantisation tables themselves.
    Row jpeg(t, kImg, 83, u"JPEG Image", u"JPG,JPEG,JPE,JFIF,JFI", u"image");
    for (const char* start : {"FF D8 FF E1", "FF D8 FF E0", "FF D8 FF E2", "FF D8 FF ED", "FF D8 FF EE", "FF D8 FF FE",
                              "FF D8 FF DB"})
      jpeg.Or().D(start, 0);
  }
  Row(t, kImg, 525, u"Bitmap Image", u"BMP", u"image").W("42 4D", 0).D("00 00 00 00", 6);
  Row(t, kImg, 85, u"GIF Image", u"GIF", u"image").D("47 49 46 38", 0).B("61", 5);
  Row(t, kImg, 88, u"PNG Image", u"PNG", u"image").Q("89 50 4E 47 0D 0A 1A 0A", 0).Q("00 00 00 0D 49 48 44 52", 8);
  Row(t, kImg, 89, u"Photoshop Document", u"PSD", u"image").Q("38 42 50 53 00 01 00 00", 0);
  Row(t, kImg, 91, u"Windows Metafile", u"WMF,MET", u"image").D("D7 CD C6 9A", 0).W("00 00", 4);
  Row(t, kImg, 92, u"TrueType Font File", u"TTF", u"image").D("00 01 00 00", 0).D("4F 53 2F 32", 12);
  Row(t, kImg, 93, u"Paint Shop Pro Image", u"PSP", u"image").Text("Paint Shop Pro Image File", 0);
  Row(t, kImg, 94, u"Corel Draw", u"CDR", u"image").D("52 49 46 46", 0).Text("CDR", 8);
  // "eXtended" cannot stand at offset 0 together with 49 49 2A: it is searched for
  // within the unit instead.
  Row(t, kImg, 95, u"Xerox Image Format", u"XIF", u"image").Hex("49 49 2A", 0).Find("eXtended", 0);
  // The word at 4 is the icon's image count.
  Row(t, kImg, 90, u"Icon File", u"ICO", u"image").D("00 00 01 00", 0).WordRange(1, 255, 4).B("00", 9);
  Row(t, kImg, 96, u"AutoCAD Drawing", u"DWG", u"image").D("2A 38 78 02", 0);
  Row(t, kImg, 97, u"AutoCAD Drawing", u"DXF", u"image").Text("SECTION", 4);
  Row(t, kPhoto, 110, u"Minolta RAW. Raster image from a Minolta digital camera", u"MRW", u"foto_image")
      .D("00 4D 52 4D", 0);
  Row(t, kPhoto, 111, u"Canon RAW. Photograph from a Canon camera", u"CRW,CR2", u"foto_image")
      .Text("HEAPCCDR", 8)
      .Or()
      .Text("HEAPJPGM", 8)
      .Or()
      .Text("HEAPTIFP", 8)
      .Or()
      .Text("HEAPARCH", 8);
  Row(t, kPhoto, 112, u"Digital Camera RAW. Photograph from a Kodak digital camera", u"DCR", u"foto_image")
      .D("52 49 46 58", 0)
      .Or()
      .D("58 46 49 52", 0);
  Row(t, kPhoto, 117, u"Fuji RAW. Raster image from a Fuji digital camera", u"RAF", u"foto_image").Text("FUJIFILM", 0);
  Row(t, kPhoto, 114, u"NEF Foto", u"NEF", u"foto_image").D("4D 4D 00 2A", 0).Or().D("49 49 2A 00", 0);
  Row(t, kPhoto, 115, u"Olympus Raw Format", u"ORF", u"foto_image").D("49 49 52 53", 0);
  Row(t, kPhoto, 116, u"Pentax Electronic Format", u"PEF", u"foto_image").D("4D 4D 00 2A", 0).Or().D("49 49 2A 00", 0);
  Row(t, kPhoto, 118, u"Sony RAW File", u"SRF", u"foto_image").D("4D 4D 00 2A", 0).Or().D("49 49 2A 00", 0);
  Row(t, kImg, 87, u"TIFF Image", u"TIFF,TIF", u"image").D("4D 4D 00 2A", 0).Or().D("49 49 2A 00", 0);
  Row(t, kVideo, 160, u"ASF", u"ASF", u"video").Q("30 26 B2 75 8E 66 CF 11", 0).Q("A6 D9 00 AA 00 62 CE 6C", 8);
  Row(t, kVideo, 150, u"RealMedia File", u"RM", u"video").D("2E 52 4D 46", 0);
  {
    // A box's name stands at 4, after its size: "ftyp" with the QuickTime brand in
    // newer files, the movie's own boxes first in classic ones.
    Row qt(t, kVideo, 170, u"QuickTime (Rich Media Format)", u"MOV,QT,PKG,M2S,MPGX,MPM,QTIF,QTI", u"quicktime");
    qt.Or().Text("ftypqt  ", 4);
    for (const char* atom : {"6D 6F 6F 76", "70 6E 6F 74", "6D 64 61 74", "77 69 64 65", "76 69 64 65", "74 72 61 6B",
                             "73 6B 69 70", "4D 50 45 47", "73 74 72 6D", "66 72 65 65"})
      qt.Or().D(atom, 4);
  }
  Row(t, kVideo, 524, u"AVI (RIFF Video Format)", u"AVI", u"video").D("52 49 46 46", 0).Text("AVI LIST", 8);
  Row(t, kVideo, 181, u"Mobile Phone Video", u"3GP", u"mobile_video").Text("ftyp3gp", 4);
  {
    // "ftyp" at 4 with the major brand of an MPEG-4 file after it.
    Row mp4(t, kVideo, 141, u"MPEG-4 Video File", u"MP4", u"video");
    for (const char* brand : {"isom", "iso2", "iso4", "iso5", "iso6", "mp41", "mp42", "mp71", "avc1", "dash", "M4V ",
                              "M4A ", "M4P ", "M4B ", "MSNV", "NDAS", "f4v ", "mmp4", "XAVC"})
      mp4.Or().Text(std::string("ftyp") + brand, 4);
  }
  Row(t, kMobile, 265, u"SymbianOS Installer File", u"SIS", u"mobile_content").D("04 19 10 00", 6).W("10 00", 10);
  Row(t, kMobile, 266, u"Microsoft PocketPC Word", u"PSW", u"mobile_content").Text("{\\pwi", 0);
  Row(t, kMobile, 266, u"Microsoft PocketPC Buckup", u"PBF", u"mobile_content").Text("POCKETPCIMAGE", 0);
  Row(t, kArc, 300, u"PkZIP/WinZIP Archive File", u"ZIP", u"archive").D("50 4B 03 04", 0);
  Row(t, kArc, 330, u"TAR Archive File", u"TAR", u"archive").Text("ustar", 257);
  Row(t, kArc, 310, u"RAR Archive File", u"RAR", u"archive").D("52 61 72 21", 0).Or().Hex("1A 07 00", 4);
  Row(t, kArc, 320, u"ARJ Archive File", u"ARJ", u"archive").W("60 EA", 0);
  Row(t, kArc, 331, u"GZIP Archive File", u"GZIP", u"archive").W("1F 8B", 0);
  Row(t, kArc, 332, u"ACE Archive File", u"ACE", u"archive").Text("**ACE**", 0);
  Row(t, kArc, 333, u"LZH Archive File", u"LZH", u"archive").Text("-lh", 2).Or().Text("-lz", 2);
  Row(t, kArc, 334, u"HA Archive File", u"HA", u"archive").W("48 41", 0);
  Row(t, kArc, 335, u"HYP Archive File", u"HYP", u"archive").Hex("1A 50 00", 0).Or().Hex("1A 54 00", 0);
  Row(t, kArc, 336, u"MS Cabinet File", u"CAB", u"archive").Q("4D 53 43 46 00 00 00 00", 0);
  Row(t, kArc, 337, u"ZOO Archive File", u"ZOO", u"archive").D("5A 4F 4F 20", 0);
  Row(t, kArc, 338, u"JAR Archive File", u"JAR", u"archive")
      .Q("50 4B 03 04 14 00 08 00", 0)
      .Or()
      .Hex("4A 41 52 43 53 00", 0);
  Row(t, kArc, 339, u"Z Archive File", u"Z", u"archive").Hex("1F 90 00", 0);
  Row(t, kArc, 344, u"GZ Archive File", u"GZ", u"archive").Hex("1F 08 00", 0);
  Row(t, kArc, 345, u"7Z Archive File", u"7Z", u"archive").W("37 7A", 0).D("BC AF 27 1C", 2);
  Row(t, kArc, 340, u"AIN Archive File", u"AIN", u"archive").D("21 12 00 00", 0);
  Row(t, kArc, 341, u"BZIP Archive File", u"BZIP,BZI", u"archive").Text("BZh91AY&SY", 0);
  Row(t, kArc, 342, u"RK Archive File", u"RK", u"archive").D("52 4B 41 37", 0);
  Row(t, kArc, 343, u"UC2 Archive File", u"UC2", u"archive").D("55 43 32 1A", 0);
  Row(t, kExe, 400, u"DOS Executable File", u"EXE", u"executable", u"EXE-DOS").W("4D 5A", 0);
  Row(t, kExe, 411, u"LIBCOFF Executable File", u"LIB", u"executable", u"EXE-LIBCOFF").Q("21 3C 61 72 63 68 3E 0A", 0);
  Row(t, kExe, 412, u"MSLIB Executable File", u"LIB", u"executable", u"EXE-MSLIB").D("F0 0D 00 00", 0);
  Row(t, kDb, 500, u"Outlook Express E-mail Folder", u"DBX", u"outlook_express_data").D("CF AD 12 FE", 0);
  Row(t, kDb, 501, u"Microsoft Access Database", u"MDB", u"access_database")
      .Hex("53 74 61 6E 64 61 72 64 20 4A 65 74 20 44 42 00", 4);
  Row(t, kDb, 800, u"Microsoft Money Data", u"MNY", u"money_data").Text("MSISAM.Database", 4);
  Row(t, kDoc, 250, u"MS Outlook Personal Folders", u"PST,OST", u"outlook").D("21 42 44 4E", 0);
  Row(t, kDoc, 251, u"MS Outlook Address Book", u"OAB", u"outlook_address_book").Hex("00 00 00 94 01 00 3E", 1);
  Row(t, kDoc, 53, u"Ichitaro Document (Japanese)", u"JXW,JAW,JBW,JSW", u"document")
      .D("44 4F 43 00", 0)
      .D("00 00 00 00", 4);
  Row(t, kDoc, 252, u"MS Calendar", u"CAL", u"Calendar").Q("B5 A2 B0 B3 B3 B0 A2 B5", 0);
  Row(t, kDb, 506, u"Microsoft Cardfile", u"CRD", u"Cardfile").Text("MGC", 0);
  Row(t, kDoc, 610, u"Win Organizer", u"GSO", u"WinOrganizer").Text("TreeData", 1);
  Row(t, kStore, 610, u"Best Crypt Disk Image", u"JBC", u"Disk_Image").Text("LOCOS", 3);
  Row(t, kStore, 611, u"PGP Disk Image", u"PGD", u"Disk_Image").Text("PGPdMAIN", 0);
  Row(t, kSys, 1, u"System Logical FAT12 Disk", u"SYSTEM", u"system")
      .W("55 AA", 510)
      .B("EB", 0)
      .B("90", 2)
      .Text("FAT12", 54);
  Row(t, kSys, 4, u"System Logical FAT16 Disk", u"SYSTEM", u"system")
      .W("55 AA", 510)
      .B("EB", 0)
      .B("90", 2)
      .Text("FAT16", 54);
  Row(t, kSys, 11, u"System Logical FAT32 Disk", u"SYSTEM", u"system")
      .W("55 AA", 510)
      .B("EB", 0)
      .B("90", 2)
      .Text("FAT32", 82);
  Row(t, kSys, 7, u"System Logical NTFS Disk", u"SYSTEM", u"system")
      .W("55 AA", 510)
      .B("EB", 0)
      .B("90", 2)
      .Text("NTFS    ", 3);
  Row(t, kSys, 24, u"NTFS File Entry", u"SYSTEM", u"system").D("46 49 4C 45", 0);
  Row(t, kDoc, 500, u"Microsoft Storage File (DOC,XLS,PPT and etc.)", u"DOC", u"document").D("D0 CF 11 E0", 0);
  // The rows below have no signature: the compound-document probe of type 500, or
  // the extension of a name, gives an object these types.
  Row(t, kDoc, 502, u"Microsoft Word Document", u"DOC", u"document");
  Row(t, kDoc, 501, u"Microsoft Excel Document", u"XLS", u"document");
  Row(t, kDoc, 503, u"Microsoft PowerPoint Presentation", u"PPT", u"document");
  Row(t, kDoc, 508, u"Microsoft Publisher Document", u"PUB", u"document");
  Row(t, kDoc, 506, u"Microsoft Project Document", u"MPP", u"document");
  Row(t, kDoc, 505, u"Microsoft Visio Document", u"VSD", u"document");
  Row(t, kDoc, 507, u"Microsoft Works Document", u"WPS", u"document");
  Row(t, kDoc, 522, u"3D Studio Max Model", u"MAX", u"discreet");
  Row(t, kDoc, 81, u"3D Studio Max Model", u"3DS", u"discreet");
  Row(t, kDoc, 523, u"Macromedia Flash", u"FLA", u"flash_document");
  Row(t, kDoc, 520, u"Ichitaro Document (Storage File) (Japanese)", u"JTD,JTD,JFW,JTT", u"document");
  return t;
}

std::vector<std::unique_ptr<FileType>> MakeEarlierBuiltinRows() {
  std::vector<std::unique_ptr<FileType>> t;
  Row(t, kImg, 83, u"JPEG Image", u"JPG,JPEG,JPE,JFIF,JFI", u"image").D("FF D8 FF E1", 0).Or().D("FF D8 FF E0", 0);
  {
    Row qt(t, kVideo, 170, u"QuickTime (Rich Media Format)", u"MOV,QT,PKG,M2S,MPGX,MPM,QTIF,QTI", u"quicktime");
    for (const char* atom : {"6D 6F 6F 76", "70 6E 6F 74", "6D 64 61 74", "77 69 64 65", "76 69 64 65", "74 72 61 6B",
                             "73 6B 69 70", "4D 50 45 47", "73 74 72 6D", "66 72 65 65"})
      qt.Or().D(atom, 0);
  }
  Row(t, kVideo, 141, u"MPEG-4 Video File", u"MP4", u"video").D("66 74 79 70", 0).Text("mp4", 16);
  return t;
}
