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

// Menu texts, in the order of the unit words (AddChoices takes as many of each).
constexpr const char* ANGLE_LABELS[] = {"&Degrees as DD.MMSS", "&Gons"};
constexpr const char* DISTANCE_LABELS[] = {"&Meters", "&US survey feet", "&International feet"};

// A submenu of exclusive choices, one per unit word; the first one is the default, and a
// remembered word that names none of them counts as the default.
template <typename Unit, size_t N>
void AddChoices(QMenu& options, const QString& title, const QString& name, const QString& key,
                const UnitWord<Unit> (&choices)[N], const char* const (&labels)[N], Unit& target) {
  QMenu* menu = options.addMenu(title);
  menu->setObjectName(name);
  auto* group = new QActionGroup(menu);
  const QString remembered = ProgramSettings()->value(key, QString()).toString();
  target = choices[0].unit;
  for (size_t i = 0; i < N; ++i) {
    const Unit unit = choices[i].unit;
    const QString word =
        QString::fromUtf8(choices[i].word.data(), static_cast<qsizetype>(choices[i].word.size()));
    QAction* action = menu->addAction(QString::fromUtf8(labels[i]));
    action->setObjectName(name + QStringLiteral("_") + word);
    action->setCheckable(true);
    group->addAction(action);
    const bool chosen = remembered == word;
    if (chosen || i == 0) action->setChecked(true);
    if (chosen) target = unit;
    QObject::connect(action, &QAction::triggered, action, [&target, key, unit, word] {
      target = unit;
      ProgramSettings()->setValue(key, word);
    });
  }
}

}  // namespace

void AddJobUnitOptions(QMenuBar& menu_bar, ConversionRequest& request) {
  QMenu* options = OptionsMenu(menu_bar);
  options->addSeparator();
  AddChoices(*options, QStringLiteral("&Angle unit"), QStringLiteral("angleUnitMenu"),
             ANGLE_UNIT_SETTING, ANGLE_UNIT_WORDS, ANGLE_LABELS, request.job_angle_unit);
  AddChoices(*options, QStringLiteral("Di&stance unit"), QStringLiteral("distanceUnitMenu"),
             DISTANCE_UNIT_SETTING, LINEAR_UNIT_WORDS, DISTANCE_LABELS, request.job_linear_unit);
}

}  // namespace fenwix
