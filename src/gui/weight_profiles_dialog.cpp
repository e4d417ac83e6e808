#include "gui/weight_profiles_dialog.h"

#include <string_view>

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
#include "weights/weight_fields.h"

namespace fenwix {

namespace {

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit* NewEdit(std::string_view object_name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(Latin1(object_name));
  return edit;
}

// "Distance SD (mm):", or the label alone for a factor.
QString LabelText(const WeightField& field) {
  const QString label =
      QString::fromUtf8(field.label.data(), static_cast<qsizetype>(field.label.size()));
  if (field.unit.empty()) return label + QLatin1Char(':');
  return QStringLiteral("%1 (%2):").arg(label, Latin1(field.unit));
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
  auto* gnss = new QGroupBox(QStringLiteral("GNSS vectors"));
  auto* station_form = new QFormLayout(station);
  auto* gnss_form = new QFormLayout(gnss);
  for (const WeightField& field : WEIGHT_FIELDS) {
    QLineEdit* edit = NewEdit(field.edit_name);
    if (field.may_be_none) edit->setPlaceholderText(QStringLiteral("none"));
    (field.gnss ? gnss_form : station_form)->addRow(LabelText(field), edit);
    edits_.push_back(edit);
  }
  layout->addWidget(station);
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
  for (size_t k = 0; k < edits_.size(); ++k) {
    const std::optional<double> value = WEIGHT_FIELDS[k].Value(p);
    edits_[k]->setText(value ? Number(*value) : QString());
  }
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
  for (size_t k = 0; k < edits_.size(); ++k) {
    const WeightField& field = WEIGHT_FIELDS[k];
    QLineEdit* edit = edits_[k];
    // An empty field that may be none is none.
    if (field.may_be_none && edit->text().trimmed().isEmpty()) {
      field.SetValue(read, std::nullopt);
      continue;
    }
    const std::optional<double> number = ParseNumberField(edit->text().toStdString());
    const Status refused =
        number ? RefuseProfileValue(*number, field.scale) : Status::Refused("not a number");
    if (refused.failed()) {
      Refuse(edit, QStringLiteral("The value %1 is refused: %2.")
                       .arg(edit->text().trimmed(), QString::fromStdString(refused.text())));
      return false;
    }
    field.SetValue(read, *number);
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
      Refuse(edits_.front(), QStringLiteral("A profile named %1 exists already.").arg(*name));
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
