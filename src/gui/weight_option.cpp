#include "gui/weight_option.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStringList>

#include "app/conversion_request.h"
#include "gui/program_settings.h"
#include "gui/weight_profiles_dialog.h"
#include "weights/weight_fields.h"

namespace fenwix {

namespace {

const QString PROFILES_ARRAY = QStringLiteral("weights/profiles");
const QString CURRENT_KEY = QStringLiteral("weights/current");

QString SettingsKey(const WeightField& field) {
  return QString::fromLatin1(field.settings_key.data(),
                             static_cast<qsizetype>(field.settings_key.size()));
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

NamedWeightProfile ProfileInUse(const StoredWeightProfiles& stored) {
  for (const NamedWeightProfile& named : stored.profiles) {
    if (Text(named.name) == stored.current) return named;
  }
  return stored.profiles.front();
}

void ShowWeighting(QLabel& label, const std::vector<NamedWeightProfile>& by_file,
                   const std::vector<std::string>& xml_paths) {
  QStringList names;
  QStringList files;
  for (size_t i = 0; i < by_file.size(); ++i) {
    if (!names.contains(Text(by_file[i].name))) names.append(Text(by_file[i].name));
    const std::string& path = i < xml_paths.size() ? xml_paths[i] : std::string();
    files.append(QStringLiteral("%1: %2").arg(Text(path.substr(path.find_last_of("/\\") + 1)),
                                              Text(by_file[i].name)));
  }
  if (names.size() == 1) {
    label.setText(QStringLiteral("Weighting: %1").arg(names.front()));
    label.setToolTip(Text(DescribeProfile(by_file.front().profile)));
  } else {
    label.setText(QStringLiteral("Weighting: per file (%1)").arg(names.join(QStringLiteral(", "))));
    label.setToolTip(files.join(QLatin1Char('\n')));
  }
}

StoredWeightProfiles LoadWeightProfiles() {
  const auto settings = ProgramSettings();
  StoredWeightProfiles stored;
  const int count = settings->beginReadArray(PROFILES_ARRAY);
  for (int i = 0; i < count; ++i) {
    settings->setArrayIndex(i);
    NamedWeightProfile named;
    named.name = settings->value(QStringLiteral("name")).toString().trimmed().toStdString();
    bool usable = !named.name.empty();
    for (const WeightField& field : WEIGHT_FIELDS) {
      // A field that may be none is none when it is not stored.
      if (!usable || (field.may_be_none && !settings->contains(SettingsKey(field)))) continue;
      bool ok = false;
      const double value = settings->value(SettingsKey(field)).toDouble(&ok);
      usable = ok && RefuseProfileValue(value, field.scale).ok();
      field.SetValue(named.profile, value);
    }
    // A profile edited by hand into something unusable is left out rather than half read.
    if (usable) stored.profiles.push_back(named);
  }
  settings->endArray();
  if (stored.profiles.empty()) stored.profiles.push_back({std::string(DEFAULT_PROFILE_NAME), {}});
  stored.current = settings->value(CURRENT_KEY).toString();
  return stored;
}

void SaveWeightProfiles(const StoredWeightProfiles& stored) {
  const auto settings = ProgramSettings();
  settings->remove(PROFILES_ARRAY);
  settings->beginWriteArray(PROFILES_ARRAY, static_cast<int>(stored.profiles.size()));
  for (int i = 0; i < static_cast<int>(stored.profiles.size()); ++i) {
    settings->setArrayIndex(i);
    NamedWeightProfile named = stored.profiles[static_cast<size_t>(i)];
    settings->setValue(QStringLiteral("name"), QString::fromStdString(named.name));
    for (const WeightField& field : WEIGHT_FIELDS) {
      if (const std::optional<double> value = field.Value(named.profile)) {
        settings->setValue(SettingsKey(field), *value);
      }
    }
  }
  settings->endArray();
  settings->setValue(CURRENT_KEY, stored.current);
}

void AddWeightProfilesOption(QMenu& options, ConversionRequest& request, QWidget* parent,
                             std::function<void()> chosen) {
  request.weight_profile = ProfileInUse(LoadWeightProfiles());
  QAction* action = options.addAction(QStringLiteral("Instrument and GNSS precision..."));
  action->setObjectName(QStringLiteral("weightProfilesAction"));
  QObject::connect(action, &QAction::triggered, parent, [chosen, &request, parent] {
    StoredWeightProfiles stored = LoadWeightProfiles();
    WeightProfilesDialog profiles(stored.profiles,
                                  QString::fromStdString(request.weight_profile.name), parent);
    if (profiles.exec() != QDialog::Accepted) return;
    stored.profiles = profiles.profiles();
    stored.current =
        QString::fromStdString(stored.profiles[static_cast<size_t>(profiles.current())].name);
    SaveWeightProfiles(stored);
    request.weight_profile = ProfileInUse(stored);
    if (chosen) chosen();
  });
}

}  // namespace fenwix
