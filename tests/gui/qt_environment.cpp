// One QApplication for the whole test program, on the offscreen platform unless another is
// asked for.

#include <memory>

#include <QApplication>

#include <gtest/gtest.h>

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char program_[32] = "fenwix_gui_tests";
  char* argv_[2] = {program_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qt_environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
