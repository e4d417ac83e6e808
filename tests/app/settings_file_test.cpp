// The settings record byte for byte, and the folder helpers that place it.

#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "platform/utf8_path.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;

// Little-endian IEEE 754 images of the defaults, worked out independently of the code.
const std::vector<unsigned char> WGS84_A_BYTES = {0x00, 0x00, 0x00, 0x40, 0xa6, 0x54, 0x58, 0x41};
const std::vector<unsigned char> WGS84_INV_F_BYTES = {0x88, 0x6d, 0x74, 0x96,
                                                      0x1d, 0xa4, 0x72, 0x40};
const std::vector<unsigned char> LATITUDE_45_BYTES = {0, 0, 0, 0, 0, 0x80, 0x46, 0x40};
const std::vector<unsigned char> LONGITUDE_MINUS_120_BYTES = {0, 0, 0, 0, 0, 0, 0x5e, 0xc0};
const std::vector<unsigned char> TOLERANCE_005_BYTES = {0x9a, 0x99, 0x99, 0x99,
                                                        0x99, 0x99, 0xa9, 0x3f};
const std::vector<unsigned char> VALUE_100000_BYTES = {0, 0, 0, 0, 0, 0x6a, 0xf8, 0x40};
const std::vector<unsigned char> ZERO_BYTES(8, 0);

std::vector<unsigned char> Bytes(const SettingsRecord& record, size_t offset, size_t size) {
  return {record.begin() + offset, record.begin() + offset + size};
}

std::string Text(const SettingsRecord& record, size_t offset, size_t size) {
  return {reinterpret_cast<const char*>(record.data()) + offset, size};
}

bool AllZero(const SettingsRecord& record, size_t offset, size_t size) {
  for (size_t i = offset; i < offset + size; ++i) {
    if (record[i] != 0) return false;
  }
  return true;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  std::string PathOf(const char* name) const { return (dir_ / name).string(); }
  void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) const {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  std::vector<unsigned char> ReadFile(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("fenwix_settings_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
};

TEST_F(SettingsFileTest, DefaultsLieAtTheirOffsetsAsLittleEndianDoubles) {
  ConvertDialog dialog;
  const SettingsRecord record = EncodeSettings(dialog.request);
  EXPECT_EQ(record.size(), 1136u);
  EXPECT_EQ(record[0], 0);  // compute_geodetic
  EXPECT_EQ(record[1], 0);  // compute_local
  EXPECT_EQ(Text(record, 2, 7), std::string("WGS 84\0", 7));
  EXPECT_TRUE(AllZero(record, 9, 15));  // rest of the name field and bytes 18 to 23
  EXPECT_EQ(Bytes(record, 24, 8), WGS84_A_BYTES);
  EXPECT_EQ(Bytes(record, 32, 8), WGS84_INV_F_BYTES);
  EXPECT_TRUE(AllZero(record, 40, 16));  // no seed name
  EXPECT_EQ(Bytes(record, 56, 8), LATITUDE_45_BYTES);
  EXPECT_EQ(Bytes(record, 64, 8), LONGITUDE_MINUS_120_BYTES);
  EXPECT_EQ(Bytes(record, 72, 8), ZERO_BYTES);          // height
  EXPECT_EQ(Bytes(record, 80, 8), VALUE_100000_BYTES);  // north
  EXPECT_EQ(Bytes(record, 88, 8), VALUE_100000_BYTES);  // east
  EXPECT_EQ(Bytes(record, 96, 8), ZERO_BYTES);          // elevation
  EXPECT_EQ(Bytes(record, 104, 8), TOLERANCE_005_BYTES);
  EXPECT_EQ(record[112], 0);  // the 3D test
  EXPECT_TRUE(AllZero(record, 113, 1136 - 113));
}

TEST_F(SettingsFileTest, NorthComesBeforeEastAndElevationAndFlagsAreBytes) {
  ConvertDialog dialog;
  dialog.request.seed_north = 100000.0;
  dialog.request.seed_east = 0.0;
  dialog.request.seed_elevation = 45.0;
  dialog.request.compute_geodetic = 7;  // any non-zero state is stored as 1
  dialog.request.compute_local = true;
  dialog.request.tolerance_mode = TOLERANCE_MODE_2D;
  const SettingsRecord record = EncodeSettings(dialog.request);
  EXPECT_EQ(Bytes(record, 80, 8), VALUE_100000_BYTES);
  EXPECT_EQ(Bytes(record, 88, 8), ZERO_BYTES);
  EXPECT_EQ(Bytes(record, 96, 8), LATITUDE_45_BYTES);
  EXPECT_EQ(record[0], 1);
  EXPECT_EQ(record[1], 1);
  EXPECT_EQ(record[112], 1);  // byte 112 holds the 2D choice, not the radio index
}

TEST_F(SettingsFileTest, NamesTakeAtMostFifteenBytesWithoutSplittingACharacter) {
  ConvertDialog dialog;
  dialog.request.seed_name = "ABCDEFGHIJKLMNO";
  SettingsRecord record = EncodeSettings(dialog.request);
  EXPECT_EQ(Text(record, 40, 15), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(record[55], 0);

  dialog.request.seed_name = "ABCDEFGHIJKLMNOPQ";
  record = EncodeSettings(dialog.request);
  EXPECT_EQ(Text(record, 40, 15), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(record[55], 0);
  EXPECT_EQ(Bytes(record, 56, 8), LATITUDE_45_BYTES);

  // "é" is two bytes: starting at the 15th byte it would be cut in half, so it is left out.
  dialog.request.seed_name = "ABCDEFGHIJKLMN\xC3\xA9";
  record = EncodeSettings(dialog.request);
  EXPECT_EQ(Text(record, 40, 14), "ABCDEFGHIJKLMN");
  EXPECT_TRUE(AllZero(record, 54, 2));
  // Ending exactly at the 15th byte it fits.
  dialog.request.seed_name = "ABCDEFGHIJKLM\xC3\xA9";
  record = EncodeSettings(dialog.request);
  EXPECT_EQ(Text(record, 40, 15), "ABCDEFGHIJKLM\xC3\xA9");
  // A three-byte "€" over bytes 14 to 16 of the name is left out whole.
  dialog.request.seed_name = "ABCDEFGHIJKLM\xE2\x82\xAC";
  record = EncodeSettings(dialog.request);
  EXPECT_EQ(Text(record, 40, 13), "ABCDEFGHIJKLM");
  EXPECT_TRUE(AllZero(record, 53, 3));

  // The ellipsoid name follows the same rule and never reaches the spare bytes 18 to 23.
  dialog.request.approx_datum_name = "An ellipsoid name far too long";
  record = EncodeSettings(dialog.request);
  EXPECT_EQ(Text(record, 2, 15), "An ellipsoid na");
  EXPECT_TRUE(AllZero(record, 17, 7));
}

TEST_F(SettingsFileTest, PathsFillTheirFieldsOrAreStoredEmpty) {
  ConvertDialog dialog;
  dialog.request.output_path = "/" + std::string(258, 'o');  // 259 bytes: the longest that fits
  dialog.request.xml_paths = {"/" + std::string(761, 'x')};  // 762 bytes
  SettingsRecord record = EncodeSettings(dialog.request);
  EXPECT_EQ(Text(record, 113, 259), dialog.request.output_path);
  EXPECT_EQ(record[372], 0);
  EXPECT_EQ(Text(record, 373, 762), dialog.request.xml_paths[0]);
  EXPECT_EQ(record[1135], 0);
  ConvertDialog loaded;
  DecodeSettings(record, loaded.request);
  EXPECT_EQ(loaded.request.output_path, dialog.request.output_path);
  EXPECT_EQ(loaded.request.xml_paths[0], dialog.request.xml_paths[0]);

  // One byte more: a cut path would name another file, so nothing is stored.
  dialog.request.output_path += "o";
  dialog.request.xml_paths[0] += "x";
  record = EncodeSettings(dialog.request);
  EXPECT_TRUE(AllZero(record, 113, 1136 - 113));
}

TEST_F(SettingsFileTest, SaveThenLoadRestoresEveryMember) {
  ConvertDialog saved;
  saved.request.output_path = "/home/surveyor/Jobs/Out Put.txt";
  saved.request.xml_paths = {"/home/surveyor/Jobs/Day 1.XML"};
  saved.request.seed_name = "PIER 7";
  saved.request.seed_latitude = -33.52123456;
  saved.request.seed_longitude = 151.1;
  saved.request.seed_height = 42.25;
  saved.request.merge_tolerance = 0.125;
  saved.request.tolerance_mode = TOLERANCE_MODE_2D;
  saved.request.compute_geodetic = true;
  saved.request.seed_east = 7000.25;
  saved.request.seed_elevation = -12.5;
  saved.request.seed_north = 5000.5;
  saved.request.compute_local = true;
  saved.request.approx_datum_name = "GRS 1980";
  saved.request.approx_datum_a = 6378137.0;
  saved.request.approx_datum_inv_f = 298.257222101;
  const std::string path = PathOf("Fenwix.cfg");
  ASSERT_TRUE(SaveSettings(saved.request, path).ok());
  EXPECT_EQ(fs::file_size(path), 1136u);

  ConvertDialog loaded;
  loaded.request.tolerance_mode = TOLERANCE_MODE_3D;
  ASSERT_TRUE(LoadSettings(loaded.request, path).ok());
  EXPECT_EQ(loaded.request.output_path, saved.request.output_path);
  EXPECT_EQ(loaded.request.xml_paths[0], saved.request.xml_paths[0]);
  EXPECT_EQ(loaded.request.seed_name, saved.request.seed_name);
  EXPECT_EQ(loaded.request.seed_latitude, saved.request.seed_latitude);
  EXPECT_EQ(loaded.request.seed_longitude, saved.request.seed_longitude);
  EXPECT_EQ(loaded.request.seed_height, saved.request.seed_height);
  EXPECT_EQ(loaded.request.merge_tolerance, saved.request.merge_tolerance);
  EXPECT_EQ(loaded.request.tolerance_mode, saved.request.tolerance_mode);
  EXPECT_EQ(loaded.request.compute_geodetic, 1);
  EXPECT_EQ(loaded.request.seed_east, saved.request.seed_east);
  EXPECT_EQ(loaded.request.seed_elevation, saved.request.seed_elevation);
  EXPECT_EQ(loaded.request.seed_north, saved.request.seed_north);
  EXPECT_EQ(loaded.request.compute_local, 1);
  EXPECT_EQ(loaded.request.approx_datum_name, saved.request.approx_datum_name);
  EXPECT_EQ(loaded.request.approx_datum_inv_f, saved.request.approx_datum_inv_f);

  // Saving again truncates: the file stays 1136 bytes with shorter names.
  saved.request.xml_paths = {"a.xml"};
  ASSERT_TRUE(SaveSettings(saved.request, path).ok());
  EXPECT_EQ(fs::file_size(path), 1136u);
}

TEST_F(SettingsFileTest, ShortOrEmptyFileReadsItsMissingTailAsZeros) {
  const std::string path = PathOf("short.cfg");
  WriteFile(path, {});
  ConvertDialog empty;
  ASSERT_TRUE(LoadSettings(empty.request, path).ok());
  EXPECT_EQ(empty.request.approx_datum_name, "");
  EXPECT_EQ(empty.request.approx_datum_a, 0.0);
  EXPECT_EQ(empty.request.seed_latitude, 0.0);
  EXPECT_EQ(empty.request.seed_north, 0.0);
  EXPECT_EQ(empty.request.merge_tolerance, 0.0);
  EXPECT_EQ(empty.request.tolerance_mode, TOLERANCE_MODE_3D);
  EXPECT_EQ(empty.request.compute_geodetic, 0);
  EXPECT_TRUE(empty.request.xml_paths.empty());

  // 64 bytes: the flags, the ellipsoid, the seed name and its latitude; nothing after.
  std::vector<unsigned char> head(64, 0);
  head[0] = 1;
  head[1] = 255;  // any byte but 0 sets a flag
  head[40] = 'S';
  head[41] = '1';
  std::copy(LATITUDE_45_BYTES.begin(), LATITUDE_45_BYTES.end(), head.begin() + 56);
  WriteFile(path, head);
  ConvertDialog partial;
  ASSERT_TRUE(LoadSettings(partial.request, path).ok());
  EXPECT_TRUE(partial.request.compute_geodetic);
  EXPECT_TRUE(partial.request.compute_local);
  EXPECT_EQ(partial.request.seed_name, "S1");
  EXPECT_EQ(partial.request.seed_latitude, 45.0);
  EXPECT_EQ(partial.request.seed_longitude, 0.0);
  EXPECT_EQ(partial.request.output_path, "");
}

TEST_F(SettingsFileTest, ReadingStaysInsideFieldsAndIgnoresExtraBytes) {
  std::vector<unsigned char> bytes(1136 + 50, 'Z');
  // A name field without its terminator, followed by a non-zero latitude byte.
  const std::string name = "ABCDEFGHIJKLMNOP";
  std::copy(name.begin(), name.end(), bytes.begin() + 40);
  const std::string path = PathOf("long.cfg");
  WriteFile(path, bytes);
  ConvertDialog dialog;
  ASSERT_TRUE(LoadSettings(dialog.request, path).ok());
  EXPECT_EQ(dialog.request.seed_name, name);
  EXPECT_EQ(dialog.request.output_path, std::string(260, 'Z'));
  EXPECT_EQ(dialog.request.xml_paths[0], std::string(763, 'Z'));
}

// A file that is no settings record is refused by the checked load and changes nothing; the
// clean controls (a record as saved, a short one) are read. The latitude of 1e68 is the image of
// the bytes "<Point>\r\n" that a field file would hold at that offset, written by hand here.
TEST_F(SettingsFileTest, CheckedLoadRefusesWhatIsNoSettingsRecord) {
  ConvertDialog good;
  good.InitializeDefaults();
  good.request.seed_name = "GOOD";
  const SettingsRecord saved = EncodeSettings(good.request);
  const std::vector<unsigned char> record(saved.begin(), saved.end());
  const auto with = [&record](size_t offset, const std::vector<unsigned char>& bytes) {
    std::vector<unsigned char> changed = record;
    std::copy(bytes.begin(), bytes.end(), changed.begin() + static_cast<std::ptrdiff_t>(offset));
    return changed;
  };
  const std::string xml = "\xEF\xBB\xBF  \n<?xml version=\"1.0\"?>\n<FieldBook/>\n";
  const struct {
    const char* name;
    std::vector<unsigned char> bytes;
    const char* why;  // empty: read
  } cases[] = {
      {"xml", {xml.begin(), xml.end()}, "an XML document"},
      {"long", std::vector<unsigned char>(1137, 0), "longer than"},
      {"latitude", with(56, {0x3c, 0x50, 0x6f, 0x69, 0x6e, 0x74, 0x3e, 0x4e}), "latitude"},
      {"nan north", with(80, {0, 0, 0, 0, 0, 0, 0xf8, 0x7f}), "north"},
      {"axis", with(24, {0, 0, 0, 0, 0, 0, 0xf0, 0x7f}), "semi-major axis inf"},
      // Out of its field's range but typed: shown for the person to mend, as always.
      {"latitude 95", with(56, {0, 0, 0, 0, 0, 0xc0, 0x57, 0x40}), ""},
      {"record", record, ""},
      {"short", std::vector<unsigned char>(64, 0), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = PathOf("Fenwix.cfg");
    WriteFile(path, c.bytes);
    ConvertDialog dialog;
    dialog.InitializeDefaults();
    dialog.request.seed_name = "KEEP";
    const Status read = LoadSettingsFile(dialog.request, path);
    if (*c.why == '\0') {
      EXPECT_TRUE(read.ok()) << read.text();
      EXPECT_NE(dialog.request.seed_name, "KEEP");
      continue;
    }
    EXPECT_EQ(read.kind(), StatusKind::Refused);
    EXPECT_NE(read.text().find(c.why), std::string::npos) << read.text();
    EXPECT_EQ(dialog.request.seed_name, "KEEP");
    EXPECT_EQ(dialog.request.seed_latitude, 45.0);
  }
}

TEST_F(SettingsFileTest, MissingOrUnwritableFileChangesNothing) {
  ConvertDialog dialog;
  dialog.request.seed_name = "KEEP";
  for (const auto& [name, why] : {std::pair{"absent.cfg", "no such file"},
                                  std::pair{".", "is a folder"}}) {  // a folder opens
    const Status read = LoadSettings(dialog.request, PathOf(name));
    EXPECT_EQ(read.kind(), StatusKind::Unreadable) << name;
    EXPECT_EQ(read.text(), "Cannot read file " + PathOf(name) + ": " + why);
  }
  EXPECT_EQ(dialog.request.seed_name, "KEEP");
  EXPECT_EQ(dialog.request.seed_latitude, 45.0);
  EXPECT_TRUE(SaveSettings(dialog.request, PathOf("no such folder/Fenwix.cfg")).failed());
  EXPECT_FALSE(fs::exists(PathOf("no such folder")));
}

TEST(FolderOfPath, KeepsTheSeparatorAndTrimsLeadingBlanks) {
  EXPECT_EQ(FolderOfPath("/usr/local/bin/fenwix"), "/usr/local/bin/");
  EXPECT_EQ(FolderOfPath("/usr/local/bin/"), "/usr/local/bin/");
  EXPECT_EQ(FolderOfPath("/fenwix"), "/");
  EXPECT_EQ(FolderOfPath(" \t/data/jobs/a.xml \n"), "/data/jobs/");
  EXPECT_EQ(FolderOfPath("jobs/Ünterlagen/a.xml"), "jobs/Ünterlagen/");
  EXPECT_EQ(FolderOfPath("fenwix"), "");
  EXPECT_EQ(FolderOfPath(""), "");
}

TEST(AppFolder, IsTheExecutablesFolderWhateverTheWorkingFolder) {
  const std::string folder = AppFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(PathFromUtf8(folder).is_absolute());
  EXPECT_TRUE(IsPathSeparator(folder.back()));
  // The program itself, named as the build names it; ".exe" on Windows.
  EXPECT_TRUE(fs::exists(folder + "fenwix_app_tests") ||
              fs::exists(folder + "fenwix_app_tests.exe"));

  const fs::path before = fs::current_path();
  fs::current_path(fs::temp_directory_path());
  EXPECT_EQ(AppFolder(), folder);
  EXPECT_EQ(DefaultSettingsPath(), folder + "Fenwix.cfg");
  fs::current_path(before);
}

}  // namespace
}  // namespace fenwix
