// The main window driven by object name, as the person would drive it: typing, clicking,
// Enter and Escape. Messages and the file chooser are answered by the test.

#include "gui/convert_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/messages.h"
#include "app/settings_file.h"
#include "gui/about_dialog.h"
#include "gui/gui_test_support.h"
#include "gui/program_settings.h"
#include "gui/xml_file_list.h"

namespace fenwix {
namespace {

namespace fs = std::filesystem;
using test::Click;
using test::Type;

struct Message {
  MessageId id;
  std::string text;
};

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ConvertWindowTest : public ::testing::Test {
 protected:
  std::string SettingsPath() const { return (dir_.path() + "/Fenwix.cfg").toStdString(); }
  std::string TempPath(const char* name) const { return (dir_.path() + "/" + name).toStdString(); }

  // A window as the program opens it, with messages and file choices answered here.
  std::unique_ptr<ConvertWindow> Open() {
    auto window = std::make_unique<ConvertWindow>(SettingsPath());
    window->SetMessageHook([this](MessageId id, const std::string& text) {
      messages_.push_back({id, text});
    });
    window->SetFileChooser([this](const FileRequest& request) {
      requests_.push_back(request);
      return next_choice_;
    });
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return window;
  }

  template <typename Control>
  static Control* Find(ConvertWindow& window, const char* name) {
    auto* control = window.findChild<Control*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  static QLineEdit* Edit(ConvertWindow& window, const char* name) {
    return Find<QLineEdit>(window, name);
  }

  // The field that a refused exchange leaves for the person: focused, its text selected.
  static void ExpectRefusedField(ConvertWindow& window, const char* name) {
    QLineEdit* field = Edit(window, name);
    EXPECT_EQ(window.focusWidget(), field) << name;
    EXPECT_EQ(field->hasSelectedText(), !field->text().isEmpty()) << name;
    EXPECT_EQ(field->selectedText(), field->text()) << name;
  }

  QTemporaryDir dir_;
  std::vector<Message> messages_;
  std::vector<FileRequest> requests_;
  std::optional<QString> next_choice_;
};

TEST_F(ConvertWindowTest, FirstStartShowsDefaultsWithCoordinateEditsDisabled) {
  auto window = Open();
  EXPECT_EQ(window->windowTitle(), "Convert Topcon Xml File To a Trivanto Input File");

  const std::pair<const char*, const char*> texts[] = {
      {"stationNameEdit", ""}, {"latitudeEdit", "45"},    {"longitudeEdit", "-120"},
      {"heightEdit", "0"},     {"northEdit", "100000"},   {"eastEdit", "100000"},
      {"elevEdit", "0"},       {"toleranceEdit", "0.05"}, {"xmlFileEdit", ""},
      {"outputFileEdit", ""}};
  for (const auto& [name, text] : texts) EXPECT_EQ(Edit(*window, name)->text(), text) << name;
  for (const char* name :
       {"latitudeEdit", "longitudeEdit", "heightEdit", "northEdit", "eastEdit", "elevEdit"}) {
    EXPECT_FALSE(Edit(*window, name)->isEnabled()) << name;
  }
  for (const char* name : {"stationNameEdit", "toleranceEdit", "xmlFileEdit", "outputFileEdit"}) {
    EXPECT_TRUE(Edit(*window, name)->isEnabled()) << name;
  }
  EXPECT_EQ(Edit(*window, "stationNameEdit")->maxLength(), 15);
  EXPECT_TRUE(Find<QRadioButton>(*window, "tolerance3dRadio")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(*window, "tolerance2dRadio")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(*window, "computeGeodeticCheck")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(*window, "computeLocalCheck")->isChecked());

  // The output header's datum and default standard deviations are set before anything loads.
  EXPECT_EQ(window->dialog().request.writer_state.output_datum_name, "WGS 84");
  EXPECT_EQ(window->dialog().request.writer_state.default_coord_sd, 0.005);
  // Opening the window writes nothing.
  EXPECT_FALSE(fs::exists(SettingsPath()));
}

TEST_F(ConvertWindowTest, ControlsAreFoundByNameAloneAndNoButtonIsTheDefault) {
  auto window = Open();
  for (const char* name :
       {"stationNameEdit", "northEdit", "eastEdit", "elevEdit", "computeLocalCheck", "latitudeEdit",
        "longitudeEdit", "heightEdit", "computeGeodeticCheck", "toleranceEdit", "tolerance2dRadio",
        "tolerance3dRadio", "xmlFileEdit", "xmlBrowseButton", "convertButton", "outputFileEdit",
        "outputBrowseButton", "closeButton"}) {
    QWidget* control = Find<QWidget>(*window, name);
    ASSERT_NE(control, nullptr) << name;
    // The name is enough: no number rides along on the control.
    EXPECT_TRUE(control->dynamicPropertyNames().isEmpty()) << name;
  }
  const auto buttons = window->findChildren<QPushButton*>();
  EXPECT_EQ(buttons.size(), 8);  // and Add..., Remove, Up and Down of the file list
  for (const QPushButton* button : buttons) {
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
    EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
  }
  EXPECT_EQ(Find<QPushButton>(*window, "convertButton")->text(), "&Convert Data");
  EXPECT_EQ(Find<QPushButton>(*window, "closeButton")->text(), "Close");
}

TEST_F(ConvertWindowTest, NumbersOutOfRangeAreRefusedWithTheBoundsShown) {
  auto window = Open();
  Click(Find<QCheckBox>(*window, "computeGeodeticCheck"));
  for (const char* latitude : {"89.5", "-90"}) {
    messages_.clear();
    Type(Edit(*window, "latitudeEdit"), latitude);
    Click(Find<QPushButton>(*window, "closeButton"));
    ASSERT_EQ(messages_.size(), 1u) << latitude;
    EXPECT_EQ(messages_[0].text, "Please enter a number between -89 and 89.");
    ExpectRefusedField(*window, "latitudeEdit");
    EXPECT_EQ(Edit(*window, "latitudeEdit")->text(), latitude);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(fs::exists(SettingsPath()));
  }
  // The bounds themselves and a longitude of 180 pass.
  messages_.clear();
  Type(Edit(*window, "latitudeEdit"), "-89");
  Type(Edit(*window, "longitudeEdit"), "180");
  Click(Find<QPushButton>(*window, "closeButton"));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(window->result(), QDialog::Accepted);
  EXPECT_EQ(window->dialog().request.seed_latitude, -89.0);
  EXPECT_EQ(window->dialog().request.seed_longitude, 180.0);
}

TEST_F(ConvertWindowTest, ToleranceBelowZeroIsRefusedAndZeroAccepted) {
  auto window = Open();
  Type(Edit(*window, "toleranceEdit"), "-0.01");
  Click(Find<QPushButton>(*window, "closeButton"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Please enter a number between 0 and 99999.");
  ExpectRefusedField(*window, "toleranceEdit");
  EXPECT_EQ(window->dialog().request.merge_tolerance, 0.05);

  messages_.clear();
  Type(Edit(*window, "toleranceEdit"), "0");
  Click(Find<QPushButton>(*window, "closeButton"));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(window->dialog().request.merge_tolerance, 0.0);
  EXPECT_EQ(ReadBytes(SettingsPath()).size(), SETTINGS_RECORD_SIZE);
}

TEST_F(ConvertWindowTest, TheNumberRuleRefusesTextAndKeepsTheMember) {
  auto window = Open();
  Click(Find<QCheckBox>(*window, "computeLocalCheck"));
  // An empty field, a zero that does not start with the digit 0, and trailing letters.
  for (const char* text : {"", "-0", ".0", "12.5x", "north", "1 2"}) {
    messages_.clear();
    Type(Edit(*window, "northEdit"), text);
    Click(Find<QPushButton>(*window, "closeButton"));
    ASSERT_EQ(messages_.size(), 1u) << '"' << text << '"';
    EXPECT_EQ(messages_[0].text, "Please enter a number.");
    ExpectRefusedField(*window, "northEdit");
    EXPECT_EQ(window->dialog().request.seed_north, 100000.0);
  }
  // Blanks around a number are allowed; north has no range.
  messages_.clear();
  Type(Edit(*window, "northEdit"), "  -1234567.5 ");
  Click(Find<QPushButton>(*window, "closeButton"));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(window->dialog().request.seed_north, -1234567.5);
}

TEST_F(ConvertWindowTest, ValidationFollowsTheFixedOrderAndStopsAtTheFirstFailure) {
  auto window = Open();
  Click(Find<QCheckBox>(*window, "computeGeodeticCheck"));
  Click(Find<QCheckBox>(*window, "computeLocalCheck"));
  // North is above latitude on the screen but is read after the tolerance.
  Type(Edit(*window, "northEdit"), "x");
  Type(Edit(*window, "toleranceEdit"), "x");
  Type(Edit(*window, "latitudeEdit"), "x");
  QPushButton* close = Find<QPushButton>(*window, "closeButton");
  const std::pair<const char*, const char*> expected_order[] = {
      {"latitudeEdit", "1"}, {"toleranceEdit", "1"}, {"northEdit", "1"}};
  for (const auto& [field, fix] : expected_order) {
    messages_.clear();
    Click(close);
    ASSERT_EQ(messages_.size(), 1u) << field;
    ExpectRefusedField(*window, field);
    Type(Edit(*window, field), fix);
  }
  messages_.clear();
  Click(close);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(fs::exists(SettingsPath()));
}

TEST_F(ConvertWindowTest, StationNameIsLimitedToFifteenCharacters) {
  auto window = Open();
  QLineEdit* name = Edit(*window, "stationNameEdit");
  Type(name, "ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(name->text(), "ABCDEFGHIJKLMNO");
  // Fifteen characters of two bytes each are fifteen characters, not thirty (pasted, as the
  // test keyboard knows only ASCII).
  name->selectAll();
  name->insert(QString::fromUtf8("ÄÖÜäöüßéèêàçñøåX"));
  EXPECT_EQ(name->text(), QString::fromUtf8("ÄÖÜäöüßéèêàçñøå"));
  Click(Find<QPushButton>(*window, "closeButton"));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(window->dialog().request.seed_name, "ÄÖÜäöüßéèêàçñøå");
}

TEST_F(ConvertWindowTest, EachBoxEnablesOnlyItsOwnRow) {
  auto window = Open();
  const char* geodetic[] = {"latitudeEdit", "longitudeEdit", "heightEdit"};
  const char* local[] = {"northEdit", "eastEdit", "elevEdit"};
  auto expect_enabled = [&](bool geodetic_on, bool local_on) {
    for (const char* name : geodetic) EXPECT_EQ(Edit(*window, name)->isEnabled(), geodetic_on);
    for (const char* name : local) EXPECT_EQ(Edit(*window, name)->isEnabled(), local_on);
  };
  auto* geodetic_box = Find<QCheckBox>(*window, "computeGeodeticCheck");
  auto* local_box = Find<QCheckBox>(*window, "computeLocalCheck");

  Click(geodetic_box);
  expect_enabled(true, false);
  Type(Edit(*window, "heightEdit"), "12.5");
  Click(local_box);
  expect_enabled(true, true);
  Click(geodetic_box);
  expect_enabled(false, true);
  Click(local_box);
  expect_enabled(false, false);
  // Disabling keeps the values, and they are still read and saved.
  EXPECT_EQ(Edit(*window, "heightEdit")->text(), "12.5");
  Click(Find<QPushButton>(*window, "closeButton"));
  EXPECT_EQ(window->dialog().request.seed_height, 12.5);
  EXPECT_FALSE(window->dialog().request.compute_geodetic);
}

TEST_F(ConvertWindowTest, InvalidFieldBlocksBrowseConvertAndClose) {
  auto window = Open();
  const std::string output = TempPath("out.txt");
  Type(Edit(*window, "xmlFileEdit"),
       QString::fromStdString(std::string(FENWIX_TEST_DATA) + "/jobs/small-job.xml"));
  Type(Edit(*window, "outputFileEdit"), QString::fromStdString(output));
  Type(Edit(*window, "toleranceEdit"), "abc");
  next_choice_ = QStringLiteral("/never/chosen.xml");

  for (const char* command :
       {"xmlBrowseButton", "outputBrowseButton", "convertButton", "closeButton"}) {
    messages_.clear();
    Click(Find<QPushButton>(*window, command));
    ASSERT_EQ(messages_.size(), 1u) << command;
    EXPECT_EQ(messages_[0].text, "Please enter a number.") << command;
    ExpectRefusedField(*window, "toleranceEdit");
  }
  EXPECT_TRUE(requests_.empty());
  EXPECT_FALSE(fs::exists(output));
  EXPECT_FALSE(fs::exists(SettingsPath()));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(ConvertWindowTest, BrowseOffersTheKindsFilesAndKeepsTheChosenNameExactly) {
  auto window = Open();
  Click(Find<QCheckBox>(*window, "computeGeodeticCheck"));
  Type(Edit(*window, "latitudeEdit"), " 12.50 ");

  // No input name yet: the dialog opens in the program's folder.
  next_choice_ = QStringLiteral("/Survey/Job1.XML");
  Click(Find<QPushButton>(*window, "xmlBrowseButton"));
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_EQ(requests_[0].kind, FileKind::Input);
  EXPECT_EQ(requests_[0].title, "Select Topcon XML File");
  EXPECT_EQ(requests_[0].filters, QStringList({"Topcon XML File (*.xml)", "All Files (*)"}));
  EXPECT_EQ(QFileInfo(requests_[0].folder).canonicalFilePath(),
            QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath());
  // Linux tells letter cases apart: the name stays exactly as chosen.
  EXPECT_EQ(Edit(*window, "xmlFileEdit")->text(), "/Survey/Job1.XML");
  EXPECT_EQ(window->dialog().request.xml_paths[0], "/Survey/Job1.XML");
  // The members went back to the controls, in their shortest form.
  EXPECT_EQ(Edit(*window, "latitudeEdit")->text(), "12.5");

  // An output name already typed: the dialog opens in its folder, text files first.
  Type(Edit(*window, "outputFileEdit"), "  /data/Out Dir/Result.TXT");
  next_choice_ = QStringLiteral("/data/Out Dir/New Result");
  Click(Find<QPushButton>(*window, "outputBrowseButton"));
  ASSERT_EQ(requests_.size(), 2u);
  EXPECT_EQ(requests_[1].kind, FileKind::Output);
  EXPECT_EQ(requests_[1].title, "Enter/Select An Output File");
  EXPECT_EQ(requests_[1].filters, QStringList({"ASCII (Text) File (*.txt)", "All Files (*)"}));
  EXPECT_EQ(requests_[1].folder, "/data/Out Dir");
  // No extension is appended to a typed name.
  EXPECT_EQ(window->dialog().request.output_path, "/data/Out Dir/New Result");

  // Cancel changes nothing.
  next_choice_.reset();
  Click(Find<QPushButton>(*window, "xmlBrowseButton"));
  EXPECT_EQ(requests_.size(), 3u);
  EXPECT_EQ(requests_[2].folder, "/Survey");
  EXPECT_EQ(Edit(*window, "xmlFileEdit")->text(), "/Survey/Job1.XML");
  EXPECT_TRUE(messages_.empty());
}

// Add... starts where the field file at hand lies, else in the documents folder: never in the
// program's folder, nor in the working folder that a bare name would lead to.
TEST_F(ConvertWindowTest, AddStartsInTheFolderOfTheFieldFileAtHand) {
  auto window = Open();
  auto* list = static_cast<XmlFileList*>(Find<QWidget>(*window, "xmlFileListPanel"));
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString here = dir_.path(),
                home = QFileInfo(documents).isDir() ? documents : QDir::homePath();
  const std::pair<QStringList, QString> cases[] = {
      {{}, home},
      {{here + "/day1.xml"}, here},
      {{"/no such folder/day1.xml"}, home},
      {{"day1.xml"}, home},
      {{"/no such folder/day1.xml", here + "/day2.xml"}, here}};
  for (const auto& [files, folder] : cases) {
    list->SetFiles(files);
    Click(Find<QPushButton>(*window, "xmlAddButton"));
    ASSERT_FALSE(requests_.empty());
    EXPECT_EQ(requests_.back().folder, folder) << files.join(' ').toStdString();
  }
}

TEST_F(ConvertWindowTest, ConvertRunsTheConversionAndShowsTheTrimmedNames) {
  auto window = Open();
  const std::string input = std::string(FENWIX_TEST_DATA) + "/jobs/small-job.xml";
  const std::string output = TempPath("small job.txt");
  Type(Edit(*window, "xmlFileEdit"), QString::fromStdString("  " + input + "\t"));
  Type(Edit(*window, "outputFileEdit"), QString::fromStdString(" " + output + "  "));
  Type(Edit(*window, "stationNameEdit"), " B1 ");

  Click(Find<QPushButton>(*window, "convertButton"));
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back().id, MSG_SUCCESS) << messages_.back().text;
  EXPECT_TRUE(fs::exists(output));
  EXPECT_EQ(Edit(*window, "xmlFileEdit")->text().toStdString(), input);
  EXPECT_EQ(Edit(*window, "outputFileEdit")->text().toStdString(), output);
  EXPECT_EQ(Edit(*window, "stationNameEdit")->text(), "B1");
  // The wait cursor is gone again, and converting saved no settings.
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(fs::exists(SettingsPath()));
  EXPECT_TRUE(window->isVisible());
}

TEST_F(ConvertWindowTest, CloseSavesAndARestartRestoresEveryValue) {
  {
    auto window = Open();
    Type(Edit(*window, "stationNameEdit"), "PIER 7");
    Click(Find<QCheckBox>(*window, "computeGeodeticCheck"));
    Click(Find<QCheckBox>(*window, "computeLocalCheck"));
    Type(Edit(*window, "latitudeEdit"), "-33.5212");
    Type(Edit(*window, "longitudeEdit"), "151.1234");
    Type(Edit(*window, "heightEdit"), "42.25");
    Type(Edit(*window, "northEdit"), "5000.5");
    Type(Edit(*window, "eastEdit"), "7000.25");
    Type(Edit(*window, "elevEdit"), "12.125");
    Type(Edit(*window, "toleranceEdit"), "0.125");
    Click(Find<QRadioButton>(*window, "tolerance2dRadio"));
    Type(Edit(*window, "xmlFileEdit"), "/jobs/Job One.XML");
    Type(Edit(*window, "outputFileEdit"), "/jobs/Out Put.txt");
    Click(Find<QPushButton>(*window, "closeButton"));
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_FALSE(window->isVisible());
  }
  const std::vector<unsigned char> saved = ReadBytes(SettingsPath());
  ASSERT_EQ(saved.size(), 1136u);
  EXPECT_EQ(saved[112], 1);  // the 2D test

  auto window = Open();
  const std::pair<const char*, const char*> texts[] = {{"stationNameEdit", "PIER 7"},
                                                       {"latitudeEdit", "-33.5212"},
                                                       {"longitudeEdit", "151.1234"},
                                                       {"heightEdit", "42.25"},
                                                       {"northEdit", "5000.5"},
                                                       {"eastEdit", "7000.25"},
                                                       {"elevEdit", "12.125"},
                                                       {"toleranceEdit", "0.125"},
                                                       {"xmlFileEdit", "/jobs/Job One.XML"},
                                                       {"outputFileEdit", "/jobs/Out Put.txt"}};
  for (const auto& [name, text] : texts) {
    EXPECT_EQ(Edit(*window, name)->text(), text) << name;
    EXPECT_TRUE(Edit(*window, name)->isEnabled()) << name;
  }
  EXPECT_TRUE(Find<QRadioButton>(*window, "tolerance2dRadio")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(*window, "computeGeodeticCheck")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(*window, "computeLocalCheck")->isChecked());

  // Enter in an edit is the Close command: the 3D choice is saved.
  Click(Find<QRadioButton>(*window, "tolerance3dRadio"));
  QLineEdit* tolerance = Edit(*window, "toleranceEdit");
  tolerance->setFocus();
  QTest::keyClick(tolerance, Qt::Key_Return);
  EXPECT_EQ(window->result(), QDialog::Accepted);
  const std::vector<unsigned char> resaved = ReadBytes(SettingsPath());
  ASSERT_EQ(resaved.size(), 1136u);
  EXPECT_EQ(resaved[112], 0);
}

TEST_F(ConvertWindowTest, EscapeAndTheCloseBoxWriteNothing) {
  {
    auto window = Open();
    Type(Edit(*window, "stationNameEdit"), "LOST");
    QTest::keyClick(Edit(*window, "stationNameEdit"), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
  }
  EXPECT_FALSE(fs::exists(SettingsPath()));

  // An existing file survives the close box untouched.
  {
    auto window = Open();
    Type(Edit(*window, "stationNameEdit"), "KEPT");
    Click(Find<QPushButton>(*window, "closeButton"));
  }
  const std::vector<unsigned char> before = ReadBytes(SettingsPath());
  {
    auto window = Open();
    Type(Edit(*window, "stationNameEdit"), "LOST");
    window->close();
    EXPECT_FALSE(window->isVisible());
  }
  EXPECT_EQ(ReadBytes(SettingsPath()), before);
  EXPECT_EQ(Edit(*Open(), "stationNameEdit")->text(), "KEPT");
}

TEST_F(ConvertWindowTest, EnterOnAFocusedButtonPressesThatButton) {
  auto window = Open();
  next_choice_.reset();
  QPushButton* browse = Find<QPushButton>(*window, "xmlBrowseButton");
  browse->setFocus();
  QTest::keyClick(browse, Qt::Key_Return);
  EXPECT_EQ(requests_.size(), 1u);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(fs::exists(SettingsPath()));
}

TEST_F(ConvertWindowTest, LoadedValuesAreShownUnvalidatedUntilTheNextCommand) {
  ConvertDialog stored;
  stored.request.seed_latitude = 95.0;
  stored.request.compute_geodetic = true;
  ASSERT_TRUE(SaveSettings(stored.request, SettingsPath()).ok());
  const std::vector<unsigned char> before = ReadBytes(SettingsPath());

  auto window = Open();
  EXPECT_EQ(Edit(*window, "latitudeEdit")->text(), "95");
  EXPECT_TRUE(Edit(*window, "latitudeEdit")->isEnabled());
  EXPECT_TRUE(messages_.empty());
  Click(Find<QPushButton>(*window, "closeButton"));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Please enter a number between -89 and 89.");
  ExpectRefusedField(*window, "latitudeEdit");
  EXPECT_EQ(ReadBytes(SettingsPath()), before);
}

TEST_F(ConvertWindowTest, MessageBoxHasTheWarningIconAndTheProgramsName) {
  auto window = Open();
  window->SetMessageHook(nullptr);
  bool seen = false;
  test::AnswerNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    seen = true;
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->windowTitle(), "fenwix_gui_tests");
    EXPECT_EQ(box->text(), "Cannot open file <b>/x</b>");
    // Names from the person or the input are shown as typed, never as markup.
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    box->button(QMessageBox::Ok)->click();
  });
  window->ShowMessage(MSG_CANNOT_OPEN, "Cannot open file <b>/x</b>");
  EXPECT_TRUE(seen);
}

TEST_F(ConvertWindowTest, AboutBoxIsReachedFromTheHelpMenu) {
  auto window = Open();
  auto* about = window->findChild<QAction*>(QStringLiteral("aboutAction"));
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->text(), "About Fenwix...");
  bool seen = false;
  test::AnswerNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<AboutDialog*>(modal);
    ASSERT_NE(box, nullptr);
    seen = true;
    EXPECT_EQ(box->windowTitle(), "About Fenwix");
    auto* version = box->findChild<QLabel*>(QStringLiteral("versionLabel"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), "Fenwix Version 3.5.1.23");
    auto* build = box->findChild<QLabel*>(QStringLiteral("buildLabel"));
    ASSERT_NE(build, nullptr);
    EXPECT_TRUE(build->text() ==
                    "Built with the nested dissection (METIS) ordering for the adjustment test" ||
                build->text() ==
                    "Built with the minimum degree (AMD) ordering for the adjustment test")
        << build->text().toStdString();
    auto* licence = box->findChild<QLabel*>(QStringLiteral("licenceLabel"));
    ASSERT_NE(licence, nullptr);
    EXPECT_TRUE(licence->text().contains(QStringLiteral("MIT licence")));
    auto* icon = box->findChild<QLabel*>(QStringLiteral("iconLabel"));
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
    auto* ok = box->findChild<QPushButton*>(QStringLiteral("okButton"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    ok->click();
  });
  about->trigger();
  EXPECT_TRUE(seen);
  EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace fenwix

namespace fenwix {
namespace {

// Add..., Up, Remove and the entry above the list, in reading order; the list of several kept
// in the program's settings, the record keeping its first file.
TEST_F(ConvertWindowTest, SeveralFieldFilesAreListedInReadingOrderAndKept) {
  QStandardPaths::setTestModeEnabled(true);
  ProgramSettings()->remove(QStringLiteral("xml_files"));
  auto window = Open();
  for (const char* name : {"/jobs/day1.xml", "/jobs/day2.xml", "/jobs/day3.xml", "/jobs/x.xml"}) {
    next_choice_ = QString::fromLatin1(name);
    Click(Find<QPushButton>(*window, "xmlAddButton"));
  }
  Click(Find<QPushButton>(*window, "xmlRemoveButton"));  // the last added is selected
  Click(Find<QPushButton>(*window, "xmlUpButton"));
  auto* list = Find<QWidget>(*window, "xmlFileListPanel");
  const auto files = [&] { return static_cast<XmlFileList*>(list)->Files(); };
  EXPECT_EQ(files(), QStringList({"/jobs/day1.xml", "/jobs/day3.xml", "/jobs/day2.xml"}));
  EXPECT_EQ(Edit(*window, "xmlFileEdit")->text(), "/jobs/day1.xml");
  Type(Edit(*window, "xmlFileEdit"), "/jobs/day0.xml");
  EXPECT_EQ(files(), QStringList({"/jobs/day0.xml", "/jobs/day3.xml", "/jobs/day2.xml"}));
  Click(Find<QPushButton>(*window, "closeButton"));
  const std::vector<std::string> kept = {"/jobs/day0.xml", "/jobs/day3.xml", "/jobs/day2.xml"};
  EXPECT_EQ(window->dialog().request.xml_paths, kept);

  ConversionSettings record;
  ASSERT_TRUE(LoadSettings(record, SettingsPath()).ok());
  EXPECT_EQ(record.xml_paths, std::vector<std::string>{"/jobs/day0.xml"});
  auto again = Open();
  EXPECT_EQ(again->dialog().request.xml_paths, kept);
  ProgramSettings()->remove(QStringLiteral("xml_files"));
}

}  // namespace
}  // namespace fenwix
