// The Browse requests: filters in Qt's form, the starting folder, and the file dialog that
// accepts a name that does not exist yet.

#include "gui/file_chooser.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QTemporaryDir>

#include "gui/gui_test_support.h"

namespace fenwix {
namespace {

TEST(ConvertFilterString, PairsBecomeQtNameFilters) {
  EXPECT_EQ(ConvertFilterString("Topcon XML File (*.xml)|*.xml|All Files (*.*)| *.*||"),
            QStringList({"Topcon XML File (*.xml)", "All Files (*)"}));
  EXPECT_EQ(ConvertFilterString("ASCII (Text) File (*.txt)|*.txt|All Files (*.*)| *.*||"),
            QStringList({"ASCII (Text) File (*.txt)", "All Files (*)"}));
  // Several patterns, a description without its own pattern group, text after the end mark.
  EXPECT_EQ(ConvertFilterString("Jobs|*.xml;*.XML|Text|*.txt||ignored|*.x"),
            QStringList({"Jobs (*.xml *.XML)", "Text (*.txt)"}));
  // A description without a pattern, or a pattern of blanks, offers nothing.
  EXPECT_EQ(ConvertFilterString("Broken|"), QStringList());
  EXPECT_EQ(ConvertFilterString("Blank| ||"), QStringList());
  EXPECT_EQ(ConvertFilterString(""), QStringList());
}

TEST(InitialFolder, IsTheFolderWithoutTrailingSeparators) {
  EXPECT_EQ(InitialFolder("/data/jobs/a.xml"), "/data/jobs");
  EXPECT_EQ(InitialFolder("/data/jobs/"), "/data/jobs");
  EXPECT_EQ(InitialFolder("  /data/Jobs Two/b.XML"), "/data/Jobs Two");
  EXPECT_EQ(InitialFolder("relative/c.xml"), "relative");
  // The root stays the root; a bare name leaves the folder to the platform.
  EXPECT_EQ(InitialFolder("/a.xml"), "/");
  EXPECT_EQ(InitialFolder("a.xml"), "");
  EXPECT_EQ(InitialFolder(""), "");
}

TEST(RunFileDialog, AcceptsANewNameWithoutAddingAnExtension) {
  QTemporaryDir dir;
  FileRequest request = MakeFileRequest(FileKind::Output, "", dir.path().toStdString() + "/");
  bool seen = false;
  test::AnswerNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    seen = true;
    EXPECT_EQ(dialog->windowTitle(), "Enter/Select An Output File");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->directory().absolutePath(), dir.path());
    EXPECT_EQ(dialog->selectedNameFilter(), "ASCII (Text) File (*.txt)");
    EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
    dialog->selectFile(QStringLiteral("New Result"));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  const std::optional<QString> chosen = RunFileDialog(request, nullptr);
  EXPECT_TRUE(seen);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, dir.path() + "/New Result");
}

TEST(RunFileDialog, CancelChoosesNothing) {
  test::AnswerNextModal([](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
  });
  EXPECT_FALSE(RunFileDialog(MakeFileRequest(FileKind::Input, "", "/"), nullptr).has_value());
}

}  // namespace
}  // namespace fenwix
