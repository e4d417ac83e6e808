#include "gui/converter_app.h"

#include <QFileInfo>

#include "gui/convert_window.h"
#include "gui/settings_places.h"

// Resources of a static library must be registered by name, outside any namespace.
static void InitFenwixResources() {
  Q_INIT_RESOURCE(fenwix);
}

namespace fenwix {

ConverterApp::ConverterApp(int& argc, char** argv) : QApplication(argc, argv) {
  setDesktopFileName(QStringLiteral("fenwix"));
  setWindowIcon(ProgramIcon());
}

int ConverterApp::Run() {
  ConvertWindow window(ChosenSettingsPath());
  window.exec();
  return 0;
}

QString ApplicationTitle() {
  QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  // Linux executables carry no extension, and a dot there may be part of the name
  // ("fenwix-3.5"), so only the Windows ending is taken off.
  if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive)) name.chop(4);
  return name;
}

QIcon ProgramIcon() {
  static const bool registered = (InitFenwixResources(), true);
  (void)registered;
  return QIcon(QStringLiteral(":/fenwix/fenwix.png"));
}

}  // namespace fenwix
