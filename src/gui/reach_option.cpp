#include "gui/reach_option.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/convert_dialog.h"
#include "gui/program_settings.h"

namespace fenwix {

QAction* AddEveryStationOption(QMenuBar& menu_bar, ConvertDialog& dialog) {
  QMenu* options = menu_bar.addMenu(QStringLiteral("&Options"));
  options->setObjectName(QStringLiteral("optionsMenu"));
  QAction* every = options->addAction(QStringLiteral("Compute every reachable station"));
  every->setObjectName(QStringLiteral("everyStationAction"));
  every->setCheckable(true);
  const auto apply = [&dialog](bool checked) {
    dialog.max_steps = checked ? 0 : PROPAGATION_STEP_CAP;
  };
  const bool remembered = ProgramSettings()->value(EVERY_STATION_SETTING, false).toBool();
  every->setChecked(remembered);
  apply(remembered);
  QObject::connect(every, &QAction::toggled, every, [apply](bool checked) {
    apply(checked);
    ProgramSettings()->setValue(EVERY_STATION_SETTING, checked);
  });
  return every;
}

}  // namespace fenwix
