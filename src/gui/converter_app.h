#pragma once
// The application object: starts the one window and ends the program when it closes.

#include <QApplication>
#include <QIcon>
#include <QString>

namespace fenwix {

class ConverterApp : public QApplication {
 public:
  ConverterApp(int& argc, char** argv);

  // Shows the main window modally; the program's life is the window's life.
  int Run();
};

// Caption of every message box: the executable's file name without a ".exe" ending.
QString ApplicationTitle();

// The program icon, for the windows and the About box.
QIcon ProgramIcon();

}  // namespace fenwix
