#include "gui/similar_stations_dialog.h"

#include <fmt/format.h>

#include <cmath>
#include <tuple>

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "geodesy/angles.h"

namespace fenwix {

namespace {

// Coordinates are shown to the millimeter; the merge test uses the unrounded values.
constexpr int SHOWN_DECIMALS = 3;

// Grid columns of a station row.
constexpr int COLUMN_RADIO = 0;
constexpr int COLUMN_NAME = 1;
constexpr int COLUMN_FIRST_COORDINATE = 2;

QLineEdit* ReadOnlyField(const QString& text, const QString& object_name) {
  auto* field = new QLineEdit(text);
  field->setReadOnly(true);
  // The window's own background, so that the fields do not invite typing.
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  field->setPalette(palette);
  field->setObjectName(object_name);
  field->setCursorPosition(0);
  return field;
}

// Every value with the same decimals, so that the rows line up digit for digit.
QString ShownCoordinate(double value) {
  // Adding zero turns a rounded -0 into 0, which is what a surveyor expects to read.
  return QString::fromStdString(
      fmt::format("{:.{}f}", RoundToDecimals(value, SHOWN_DECIMALS) + 0.0, SHOWN_DECIMALS));
}

}  // namespace

SimilarStationsDialog::SimilarStationsDialog(const StationRecord& first,
                                             const StationRecord& second, double tolerance,
                                             bool two_dimensional, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("similarStationsDialog"));
  setWindowTitle(QStringLiteral("Found two stations with coordinates that are similar"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  auto* layout = new QVBoxLayout(this);
  auto* explanation = new QLabel(QStringLiteral(
      "Stations shown below appear to be the same point. If they are the same, select the one "
      "to be used. Linear units are meters."));
  explanation->setObjectName(QStringLiteral("explanationLabel"));
  explanation->setWordWrap(true);
  layout->addWidget(explanation);

  auto* grid = new QGridLayout;
  use_first_ = new QRadioButton(QStringLiteral("Use station:"));
  use_first_->setObjectName(QStringLiteral("useFirstRadio"));
  use_second_ = new QRadioButton(QStringLiteral("Use station:"));
  use_second_->setObjectName(QStringLiteral("useSecondRadio"));
  auto* group = new QButtonGroup(this);
  group->addButton(use_first_, 0);
  group->addButton(use_second_, 1);
  layout->addLayout(grid);
  // Each station takes two grid rows: its description above its name and coordinates.
  auto add_row = [&](int row, const StationRecord& station, const QString& prefix,
                     QRadioButton* radio) {
    auto* description = new QLabel(QString::fromStdString(station.description));
    description->setObjectName(prefix + QStringLiteral("Description"));
    // The description comes from the input file: never read it as markup.
    description->setTextFormat(Qt::PlainText);
    grid->addWidget(description, row * 2, COLUMN_NAME, 1, 7);
    grid->addWidget(radio, row * 2 + 1, COLUMN_RADIO);
    grid->addWidget(ReadOnlyField(QString::fromStdString(station.name), prefix + "Name"),
                    row * 2 + 1, COLUMN_NAME);
    const std::pair<const char*, double> coordinates[] = {
        {"North", station.north}, {"East", station.east}, {"Elev", station.elevation}};
    int column = COLUMN_FIRST_COORDINATE;
    for (const auto& [label, value] : coordinates) {
      grid->addWidget(new QLabel(QString::fromLatin1(label) + QLatin1Char(':')), row * 2 + 1,
                      column++);
      grid->addWidget(ReadOnlyField(ShownCoordinate(value), prefix + QString::fromLatin1(label)),
                      row * 2 + 1, column++);
    }
  };
  add_row(0, first, QStringLiteral("first"), use_first_);
  add_row(1, second, QStringLiteral("second"), use_second_);
  use_first_->setChecked(true);

  // The distance as the merge test measured it, beside the tolerance it was tested against.
  const double dn = second.north - first.north;
  const double de = second.east - first.east;
  const double du = second.elevation - first.elevation;
  const double distance = std::sqrt(dn * dn + de * de + (two_dimensional ? 0.0 : du * du));
  int column = COLUMN_FIRST_COORDINATE;
  for (const auto& [label, value, name] :
       {std::tuple{two_dimensional ? "2D distance:" : "3D distance:", distance, "distance"},
        std::tuple{"Tolerance:", tolerance, "tolerance"}}) {
    grid->addWidget(new QLabel(QString::fromLatin1(label)), 4, column++);
    grid->addWidget(ReadOnlyField(ShownCoordinate(value), QString::fromLatin1(name)), 4, column++);
  }

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto add_button = [&](const char* text, const char* name) {
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    buttons->addWidget(button);
    return button;
  };
  connect(add_button("Stations Are The &Same", "sameButton"), &QPushButton::clicked, this, [this] {
    answer_ = use_second_->isChecked() ? MergeAnswer::SameKeepSecond : MergeAnswer::SameKeepFirst;
    accept();
  });
  connect(add_button("Stations Are &Different", "differentButton"), &QPushButton::clicked, this,
          [this] {
            answer_ = MergeAnswer::Different;
            accept();
          });
  connect(add_button("Cancel", "cancelButton"), &QPushButton::clicked, this, &QDialog::reject);
  layout->addLayout(buttons);
  use_first_->setFocus();
}

MergeAnswer SimilarStationsDialog::Ask() {
  answer_ = MergeAnswer::Cancel;
  // Escape and the close box reject, which leaves the answer at Cancel.
  exec();
  return answer_;
}

}  // namespace fenwix
