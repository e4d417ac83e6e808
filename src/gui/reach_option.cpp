#include "gui/reach_option.h"

#include <functional>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/conversion_request.h"
#include "gui/program_settings.h"

namespace fenwix {

namespace {

// A checkable entry whose state is kept under key: apply is told the remembered state now and
// every new one when it is toggled.
QAction* AddRememberedToggle(QMenu& menu, const QString& text, const QString& object_name,
                             const QString& key, bool by_default,
                             const std::function<void(bool)>& apply) {
  QAction* entry = menu.addAction(text);
  entry->setObjectName(object_name);
  entry->setCheckable(true);
  const bool remembered = ProgramSettings()->value(key, by_default).toBool();
  entry->setChecked(remembered);
  apply(remembered);
  QObject::connect(entry, &QAction::toggled, entry, [apply, key](bool checked) {
    apply(checked);
    ProgramSettings()->setValue(key, checked);
  });
  return entry;
}

}  // namespace

QMenu* OptionsMenu(QMenuBar& menu_bar) {
  QMenu* options = menu_bar.findChild<QMenu*>(QStringLiteral("optionsMenu"));
  if (options == nullptr) {
    options = menu_bar.addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("optionsMenu"));
  }
  return options;
}

QAction* AddEveryStationOption(QMenuBar& menu_bar, ConversionRequest& request) {
  return AddRememberedToggle(
      *OptionsMenu(menu_bar), QStringLiteral("Compute every reachable station"),
      QStringLiteral("everyStationAction"), EVERY_STATION_SETTING, false,
      [&request](bool checked) { request.max_steps = checked ? 0 : PROPAGATION_STEP_CAP; });
}

QAction* AddAdjustmentTestOption(QMenuBar& menu_bar, ConversionRequest& request) {
  QMenu* options = OptionsMenu(menu_bar);
  // Last in the menu, after the units: the entries above keep their places for the keyboard.
  options->addSeparator();
  QAction* test =
      AddRememberedToggle(*options, QStringLiteral("Test the network by adjustment"),
                          QStringLiteral("adjustmentTestAction"), ADJUSTMENT_TEST_SETTING, true,
                          [&request](bool checked) { request.adjustment_test = checked; });
  test->setToolTip(
      QStringLiteral("After the conversion, adjust the whole job as a free network and name "
                     "the observations it rejects first among the suspects"));
  return test;
}

}  // namespace fenwix
