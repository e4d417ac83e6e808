#include "gui/unit_options.h"

#include <cstdint>
#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include "app/conversion_request.h"
#include "gui/program_settings.h"
#include "gui/reach_option.h"

namespace fenwix {

namespace {

template <typename Unit>
struct UnitChoice {
  const char* word;   // as on the command line and in the settings
  const char* label;  // menu text
  Unit unit;
};

constexpr UnitChoice<AngleUnit> ANGLE_CHOICES[] = {
    {"dms", "&Degrees as DD.MMSS", AngleUnit::Degrees},
    {"gon", "&Gons", AngleUnit::Gons},
};
constexpr UnitChoice<LinearUnit> DISTANCE_CHOICES[] = {
    {"m", "&Meters", LinearUnit::Meter},
    {"usft", "&US survey feet", LinearUnit::UsFoot},
    {"ft", "&International feet", LinearUnit::InternationalFoot},
};

// A submenu of exclusive choices; the first one is the default, and a remembered word that
// names none of them counts as the default.
template <typename Unit, size_t N>
void AddChoices(QMenu& options, const QString& title, const QString& name, const QString& key,
                const UnitChoice<Unit> (&choices)[N], Unit& target) {
  QMenu* menu = options.addMenu(title);
  menu->setObjectName(name);
  auto* group = new QActionGroup(menu);
  const QString remembered = ProgramSettings()->value(key, QString()).toString();
  target = choices[0].unit;
  for (const UnitChoice<Unit>& choice : choices) {
    QAction* action = menu->addAction(QString::fromUtf8(choice.label));
    action->setObjectName(name + QStringLiteral("_") + QString::fromUtf8(choice.word));
    action->setCheckable(true);
    group->addAction(action);
    const bool chosen = remembered == QString::fromUtf8(choice.word);
    if (chosen || &choice == &choices[0]) action->setChecked(true);
    if (chosen) target = choice.unit;
    QObject::connect(action, &QAction::triggered, action, [&target, key, choice] {
      target = choice.unit;
      ProgramSettings()->setValue(key, QString::fromUtf8(choice.word));
    });
  }
}

}  // namespace

void AddJobUnitOptions(QMenuBar& menu_bar, ConversionRequest& request) {
  QMenu* options = OptionsMenu(menu_bar);
  options->addSeparator();
  AddChoices(*options, QStringLiteral("&Angle unit"), QStringLiteral("angleUnitMenu"),
             ANGLE_UNIT_SETTING, ANGLE_CHOICES, request.job_angle_unit);
  AddChoices(*options, QStringLiteral("Di&stance unit"), QStringLiteral("distanceUnitMenu"),
             DISTANCE_UNIT_SETTING, DISTANCE_CHOICES, request.job_linear_unit);
}

}  // namespace fenwix
