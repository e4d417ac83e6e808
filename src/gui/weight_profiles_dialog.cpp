#include "gui/weight_profiles_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/field_validation.h"

namespace fenwix {

namespace {

QLineEdit* NewEdit(const char* object_name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromLatin1(object_name));
  return edit;
}

QPushButton* NewButton(const char* text, const char* object_name) {
  auto* button = new QPushButton(QString::fromUtf8(text));
  button->setObjectName(QString::fromLatin1(object_name));
  button->setAutoDefault(false);
  return button;
}

QString Number(double value) {
  return QString::fromStdString(FormatFieldNumber(value));
}

}  // namespace

WeightProfilesDialog::WeightProfilesDialog(std::vector<NamedWeightProfile> profiles,
                                           const QString& current, QWidget* parent)
    : QDialog(parent), profiles_(std::move(profiles)) {
  setObjectName(QStringLiteral("weightProfilesDialog"));
  setWindowTitle(QStringLiteral("Instrument and GNSS precision"));
  if (profiles_.empty()) profiles_.push_back({std::string(DEFAULT_PROFILE_NAME), {}});
  for (size_t i = 0; i < profiles_.size(); ++i) {
    if (QString::fromStdString(profiles_[i].name) == current) current_ = static_cast<int>(i);
  }

  auto* layout = new QVBoxLayout(this);
  auto* chooser = new QHBoxLayout;
  combo_ = new QComboBox;
  combo_->setObjectName(QStringLiteral("profileCombo"));
  auto* add = NewButton("&Add...", "addProfileButton");
  auto* rename = NewButton("&Rename...", "renameProfileButton");
  auto* remove = NewButton("Re&move", "removeProfileButton");
  chooser->addWidget(new QLabel(QStringLiteral("Profile:")));
  chooser->addWidget(combo_, 1);
  chooser->addWidget(add);
  chooser->addWidget(rename);
  chooser->addWidget(remove);
  layout->addLayout(chooser);

  auto* station = new QGroupBox(QStringLiteral("Total station"));
  auto* station_form = new QFormLayout(station);
  angle_ = NewEdit("angleSdEdit");
  zenith_ = NewEdit("zenithSdEdit");
  distance_ = NewEdit("distanceSdEdit");
  ppm_ = NewEdit("distancePpmEdit");
  instrument_ = NewEdit("instrumentCenteringEdit");
  target_ = NewEdit("targetCenteringEdit");
  station_form->addRow(QStringLiteral("Horizontal angle SD (\"):"), angle_);
  station_form->addRow(QStringLiteral("Zenith angle SD (\"):"), zenith_);
  station_form->addRow(QStringLiteral("Distance SD (mm):"), distance_);
  station_form->addRow(QStringLiteral("  plus (ppm):"), ppm_);
  station_form->addRow(QStringLiteral("Instrument centring (mm):"), instrument_);
  station_form->addRow(QStringLiteral("Target centring (mm):"), target_);
  layout->addWidget(station);

  auto* gnss = new QGroupBox(QStringLiteral("GNSS vectors"));
  auto* gnss_form = new QFormLayout(gnss);
  scale_ = NewEdit("gnssScaleEdit");
  horizontal_ = NewEdit("gnssHorizontalEdit");
  vertical_ = NewEdit("gnssVerticalEdit");
  fallback_ = NewEdit("gnssFallbackEdit");
  fallback_->setPlaceholderText(QStringLiteral("none"));
  gnss_form->addRow(QStringLiteral("Scale of the processor's SDs:"), scale_);
  gnss_form->addRow(QStringLiteral("Centring per end, horizontal (mm):"), horizontal_);
  gnss_form->addRow(QStringLiteral("Centring per end, vertical (mm):"), vertical_);
  gnss_form->addRow(QStringLiteral("SD of vectors given none (mm):"), fallback_);
  layout->addWidget(gnss);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->setObjectName(QStringLiteral("weightButtons"));
  layout->addWidget(buttons);

  FillCombo();
  ShowFields();
  connect(combo_, &QComboBox::currentIndexChanged, this, &WeightProfilesDialog::OnProfileChosen);
  connect(add, &QPushButton::clicked, this, &WeightProfilesDialog::OnAdd);
  connect(rename, &QPushButton::clicked, this, &WeightProfilesDialog::OnRename);
  connect(remove, &QPushButton::clicked, this, &WeightProfilesDialog::OnRemove);
  connect(buttons, &QDialogButtonBox::accepted, this, &WeightProfilesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &WeightProfilesDialog::reject);
}

void WeightProfilesDialog::FillCombo() {
  const QSignalBlocker block(combo_);
  combo_->clear();
  for (const NamedWeightProfile& p : profiles_) combo_->addItem(QString::fromStdString(p.name));
  combo_->setCurrentIndex(current_);
}

void WeightProfilesDialog::ShowFields() {
  const WeightProfile& p = profiles_[static_cast<size_t>(current_)].profile;
  angle_->setText(Number(p.instrument.angle_sd));
  zenith_->setText(Number(p.instrument.zenith_sd));
  distance_->setText(Number(p.instrument.distance_sd_mm));
  ppm_->setText(Number(p.instrument.distance_ppm));
  instrument_->setText(Number(p.instrument.instrument_centering));
  target_->setText(Number(p.instrument.target_centering));
  scale_->setText(Number(p.gnss.scale));
  horizontal_->setText(Number(p.gnss.horizontal_centering));
  vertical_->setText(Number(p.gnss.vertical_centering));
  fallback_->setText(p.gnss.fallback_sd ? Number(*p.gnss.fallback_sd) : QString());
}

void WeightProfilesDialog::Refuse(QLineEdit* field, const QString& text) {
  if (message_hook_) {
    message_hook_(text);
  } else {
    QMessageBox::warning(this, windowTitle(), text);
  }
  field->setFocus(Qt::OtherFocusReason);
  field->selectAll();
}

bool WeightProfilesDialog::ReadFields() {
  WeightProfile read = profiles_[static_cast<size_t>(current_)].profile;
  InstrumentProfile& t = read.instrument;
  GnssProfile& g = read.gnss;
  struct Field {
    QLineEdit* edit;
    double* value;
    bool scale;
  };
  const Field fields[] = {{angle_, &t.angle_sd, false},
                          {zenith_, &t.zenith_sd, false},
                          {distance_, &t.distance_sd_mm, false},
                          {ppm_, &t.distance_ppm, false},
                          {instrument_, &t.instrument_centering, false},
                          {target_, &t.target_centering, false},
                          {scale_, &g.scale, true},
                          {horizontal_, &g.horizontal_centering, false},
                          {vertical_, &g.vertical_centering, false}};
  const auto read_one = [this](QLineEdit* edit, bool scale, double& value) {
    const std::optional<double> number = ParseNumberField(edit->text().toStdString());
    const std::string refused =
        number ? RefuseProfileValue(*number, scale) : std::string("not a number");
    if (!refused.empty()) {
      Refuse(edit, QStringLiteral("The value %1 is refused: %2.")
                       .arg(edit->text().trimmed(), QString::fromStdString(refused)));
      return false;
    }
    value = *number;
    return true;
  };
  for (const Field& field : fields) {
    if (!read_one(field.edit, field.scale, *field.value)) return false;
  }
  if (fallback_->text().trimmed().isEmpty()) {
    g.fallback_sd.reset();
  } else {
    double fallback = 0.0;
    if (!read_one(fallback_, false, fallback)) return false;
    g.fallback_sd = fallback;
  }
  profiles_[static_cast<size_t>(current_)].profile = read;
  return true;
}

void WeightProfilesDialog::OnProfileChosen(int index) {
  if (index < 0 || index == current_) return;
  if (!ReadFields()) {
    // The refused field keeps the focus; the profile shown stays the one being edited.
    const QSignalBlocker block(combo_);
    combo_->setCurrentIndex(current_);
    return;
  }
  current_ = index;
  ShowFields();
}

std::optional<QString> WeightProfilesDialog::AskName(const QString& title, const QString& current) {
  std::optional<QString> name;
  if (name_asker_) {
    name = name_asker_(title, current);
  } else {
    bool ok = false;
    const QString text = QInputDialog::getText(this, title, QStringLiteral("Profile name:"),
                                               QLineEdit::Normal, current, &ok);
    if (ok) name = text;
  }
  if (!name) return std::nullopt;
  *name = name->trimmed();
  if (name->isEmpty()) return std::nullopt;
  for (size_t i = 0; i < profiles_.size(); ++i) {
    if (QString::fromStdString(profiles_[i].name) == *name && *name != current) {
      Refuse(angle_, QStringLiteral("A profile named %1 exists already.").arg(*name));
      combo_->setFocus(Qt::OtherFocusReason);
      return std::nullopt;
    }
  }
  return name;
}

void WeightProfilesDialog::OnAdd() {
  if (!ReadFields()) return;
  const std::optional<QString> name = AskName(QStringLiteral("New profile"), QString());
  if (!name) return;
  profiles_.push_back({name->toStdString(), WeightProfile{}});
  current_ = static_cast<int>(profiles_.size()) - 1;
  FillCombo();
  ShowFields();
}

void WeightProfilesDialog::OnRename() {
  const QString old_name = QString::fromStdString(profiles_[static_cast<size_t>(current_)].name);
  const std::optional<QString> name = AskName(QStringLiteral("Rename profile"), old_name);
  if (!name) return;
  profiles_[static_cast<size_t>(current_)].name = name->toStdString();
  FillCombo();
}

void WeightProfilesDialog::OnRemove() {
  // One profile always remains: the conversions need one.
  if (profiles_.size() < 2) return;
  profiles_.erase(profiles_.begin() + current_);
  current_ = std::max(0, current_ - 1);
  FillCombo();
  ShowFields();
}

void WeightProfilesDialog::accept() {
  if (!ReadFields()) return;
  QDialog::accept();
}

}  // namespace fenwix
