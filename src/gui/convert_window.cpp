#include "gui/convert_window.h"

#include <array>
#include <utility>

#include <new>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "app/conversion_sketch.h"
#include "app/estimated_precision.h"
#include "app/messages.h"
#include "app/settings_file.h"
#include "app/settings_location.h"
#include "gui/about_dialog.h"
#include "gui/background_run.h"
#include "gui/converter_app.h"
#include "gui/program_settings.h"
#include "gui/reach_option.h"
#include "gui/settings_places.h"
#include "gui/similar_stations_dialog.h"
#include "gui/sketch_view.h"
#include "gui/unit_options.h"
#include "gui/weight_option.h"

namespace fenwix {

namespace {

// Grid columns: three label/edit pairs, then the check boxes and Browse buttons, then the
// command buttons.
constexpr int COLUMN_BOX = 6;
constexpr int COLUMN_COMMAND = 7;
// Letters whose mean width is the average character width of a font.
constexpr const char* AVERAGE_WIDTH_SAMPLE = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

constexpr const char* INTRODUCTION_TEXT =
    "This program extracts the field observations of a Topcon XML file and writes them into a "
    "Trivanto input file.";
constexpr const char* ELEMENTS_TEXT =
    "CURRENT TOPCON XML ELEMENTS SUPPORTED:   Vector (gps), Station, Observation (horiz ang, "
    "zenith ang, slope dist) elements.";
constexpr const char* APPROXIMATE_TEXT =
    "Approximate coordinates can be computed for all stations from the approximate coordinates "
    "of one station. Enter its name and coordinates below: latitude and longitude in "
    "DD.MMSSsssss format, positive east and north; heights, north, east and elevation in "
    "meters; geodetic values on WGS 84. The field files' distances are read in the unit they "
    "name, else in the one chosen under Options \u2192 Distance unit.";
constexpr const char* MERGE_TEXT =
    "The same point may have been recorded under two station names. After the approximate "
    "coordinates are computed, every pair of stations closer together than the tolerance is "
    "shown, so that the two names can be merged into one.\n"
    "The tolerance is in meters, tested in 2D (north and east) or in 3D (north, east and "
    "elevation).";
constexpr const char* CLOSING_TEXT =
    "When done, load the file into Trivanto and adjust the coordinates of the fixed stations "
    "there.";

QLabel* TextLine(const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text));
  label->setWordWrap(true);
  return label;
}

template <typename Control>
Control* Named(Control* control, const char* object_name) {
  control->setObjectName(QString::fromLatin1(object_name));
  return control;
}

QLineEdit* NewEdit(const char* object_name) {
  return Named(new QLineEdit, object_name);
}

QPushButton* NewButton(const char* text, const char* object_name) {
  auto* button = Named(new QPushButton(QString::fromUtf8(text)), object_name);
  // No button is the default: Enter goes to the window, which treats it as Close.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

// A file name selected as a whole (after a message about the file) stays selected when the
// conversion shows it trimmed.
void SetTextKeepingSelection(QLineEdit* edit, const QString& text) {
  const bool whole = edit->hasSelectedText() && edit->selectedText() == edit->text();
  edit->setText(text);
  if (whole) edit->selectAll();
}

// After a message about a file, the edit that names it has the focus with its text selected,
// as a refused field does.
void SelectFileEdit(MessageId message_id, QLineEdit* xml_edit, QLineEdit* output_edit) {
  const MessageSubject subject = SubjectOf(message_id);
  if (subject == MessageSubject::None) return;
  QLineEdit* edit = subject == MessageSubject::FieldFiles ? xml_edit : output_edit;
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
}

QString NumberText(double value) {
  return QString::fromStdString(FormatFieldNumber(value));
}

}  // namespace

ConvertWindow::ConvertWindow(std::string settings_path, QWidget* parent)
    : QDialog(parent), settings_path_(std::move(settings_path)) {
  setObjectName(QStringLiteral("convertWindow"));
  setWindowTitle(QStringLiteral("Convert Topcon Xml File To a Trivanto Input File"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowIcon(ProgramIcon());
  BuildControls();

  dialog_.InitializeDefaults();
  dialog_.request.run_checks = true;
  // A first start has no settings file; the dialog then shows its defaults. A file that is no
  // settings record (a field file saved under the name) keeps them too, and says so once the
  // dialog is up.
  if (const Status loaded = LoadSettingsFile(dialog_.request, settings_path_);
      loaded.kind() == StatusKind::Refused) {
    QTimer::singleShot(0, this, [this, text = loaded.text()] { ShowMessage(MSG_NO_NUMBER, text); });
  }
  RestoreFileList();
  ExchangeToControls();
  ApplyEnableRules();

  resize(
      DialogUnitsToPixels(font(), DIALOG_WIDTH_UNITS, DIALOG_HEIGHT_UNITS).expandedTo(sizeHint()));
}

ConvertWindow::~ConvertWindow() {
  while (wait_depth_ > 0) EndWait();
}

void ConvertWindow::BuildControls() {
  auto* grid = new QGridLayout(this);
  int row = 0;
  auto add_text = [&](const char* text) { grid->addWidget(TextLine(text), row++, 0, 1, -1); };
  // Spare height goes into the gaps between the groups of controls rather than below them.
  auto add_gap = [&] { grid->setRowStretch(row++, 1); };
  auto add_label = [&](const char* text, int column) {
    grid->addWidget(new QLabel(QString::fromUtf8(text)), row, column);
  };

  auto* menu_bar = new QMenuBar(this);
  job_menu_ = new JobFileMenu(*this, *menu_bar);
  sketch_action_ = menu_bar->addMenu(QStringLiteral("&View"))->addAction(QString());
  sketch_action_->setObjectName(QStringLiteral("sketchAction"));
  connect(sketch_action_, &QAction::triggered, this, &ConvertWindow::ShowSketch);
  UpdateSketchAction();
  QMenu* report = menu_bar->addMenu(QStringLiteral("&Report"));
  report_action_ = report->addAction(QStringLiteral("&Check report..."));
  report_action_->setObjectName(QStringLiteral("checkReportAction"));
  report_action_->setEnabled(false);
  connect(report_action_, &QAction::triggered, this, &ConvertWindow::ShowCheckReport);
  AddEveryStationOption(*menu_bar, dialog_.request);
  weight_label_ = new QLabel;
  weight_label_->setObjectName(QStringLiteral("weightProfileLabel"));
  // A profile chosen in the Options menu weights every field file, the job's too.
  AddWeightProfilesOption(*menu_bar->findChild<QMenu*>(QStringLiteral("optionsMenu")),
                          dialog_.request, this, [this] {
                            job_menu_->session().ForgetInstruments();
                            job_menu_->Changed();
                          });
  AddJobUnitOptions(*menu_bar, dialog_.request);
  adjustment_action_ = AddAdjustmentTestOption(*menu_bar, dialog_.request);
  QMenu* help = menu_bar->addMenu(QStringLiteral("&Help"));
  QAction* about = help->addAction(QString::fromUtf8(MessageText(MSG_ABOUT_MENU)));
  about->setObjectName(QStringLiteral("aboutAction"));
  connect(about, &QAction::triggered, this, &ConvertWindow::ShowAbout);
  grid->setMenuBar(menu_bar);

  add_text(INTRODUCTION_TEXT);
  add_text(ELEMENTS_TEXT);
  add_text(APPROXIMATE_TEXT);
  add_gap();

  seed_name_edit_ = NewEdit("stationNameEdit");
  add_label("Station Name:", 0);
  grid->addWidget(seed_name_edit_, row++, 1);

  // A row of three labelled coordinate edits and its "Compute approx for each station." box.
  // The row's own label on a line above it tells the two rows (and their boxes) apart.
  auto add_coordinate_row = [&](const char* row_label,
                                const std::array<std::pair<const char*, QLineEdit*>, 3>& edits,
                                QCheckBox* box) {
    add_label(row_label, 0);
    ++row;
    int column = 0;
    for (const auto& [label, edit] : edits) {
      add_label(label, column);
      grid->addWidget(edit, row, column + 1);
      column += 2;
    }
    grid->addWidget(box, row++, COLUMN_BOX, 1, 2);
  };
  const auto new_box = [](const char* object_name, const char* purpose) {
    auto* box =
        Named(new QCheckBox(QStringLiteral("Compute approx for each station.")), object_name);
    box->setToolTip(QString::fromUtf8(purpose));
    box->setAccessibleName(QString::fromUtf8(purpose));
    return box;
  };

  north_edit_ = NewEdit("northEdit");
  east_edit_ = NewEdit("eastEdit");
  elevation_edit_ = NewEdit("elevEdit");
  compute_local_check_ = new_box("computeLocalCheck", "Compute local coordinates");
  add_coordinate_row(
      "Local (m):", {{{"North:", north_edit_}, {"East:", east_edit_}, {"Elev:", elevation_edit_}}},
      compute_local_check_);

  latitude_edit_ = NewEdit("latitudeEdit");
  longitude_edit_ = NewEdit("longitudeEdit");
  height_edit_ = NewEdit("heightEdit");
  compute_geodetic_check_ = new_box("computeGeodeticCheck", "Compute geodetic coordinates");
  add_coordinate_row(
      "Geodetic:",
      {{{"Latitude:", latitude_edit_}, {"Longitude:", longitude_edit_}, {"Hgt:", height_edit_}}},
      compute_geodetic_check_);

  add_gap();
  add_text(MERGE_TEXT);

  tolerance_edit_ = NewEdit("toleranceEdit");
  tolerance_2d_radio_ =
      Named(new QRadioButton(QStringLiteral("2D tolerance check")), "tolerance2dRadio");
  tolerance_3d_radio_ =
      Named(new QRadioButton(QStringLiteral("3D tolerance check")), "tolerance3dRadio");
  tolerance_group_ = new QButtonGroup(this);
  tolerance_group_->addButton(tolerance_2d_radio_, TOLERANCE_MODE_2D);
  tolerance_group_->addButton(tolerance_3d_radio_, TOLERANCE_MODE_3D);
  add_label("Tolerance (m):", 0);
  grid->addWidget(tolerance_edit_, row, 1);
  grid->addWidget(tolerance_2d_radio_, row, 2, 1, 2);
  grid->addWidget(tolerance_3d_radio_, row++, 4, 1, 2);
  // The weighting of the next conversion; Options → "Instrument and GNSS precision..." changes
  // it, and so does a job file that names its instruments.
  grid->addWidget(weight_label_, row++, 0, 1, -1);

  add_gap();
  xml_path_edit_ = NewEdit("xmlFileEdit");
  auto* xml_browse = NewButton("Browse...", "xmlBrowseButton");
  auto* convert = NewButton("&Convert Data", "convertButton");
  add_label("Topcon Xml File:", 0);
  grid->addWidget(xml_path_edit_, row, 1, 1, COLUMN_BOX - 1);
  grid->addWidget(xml_browse, row, COLUMN_BOX);
  grid->addWidget(convert, row++, COLUMN_COMMAND);
  xml_file_list_ = new XmlFileList(this);
  xml_file_list_->SetChooser(
      [this] { return ChooseInputFiles(AddFilesFolder(xml_file_list_->CurrentFile())); });
  grid->addWidget(xml_file_list_, row++, 1, 1, COLUMN_BOX);
  connect(xml_path_edit_, &QLineEdit::textEdited, xml_file_list_, &XmlFileList::SetFirst);
  connect(xml_file_list_, &XmlFileList::Changed, this, [this] {
    const QStringList files = xml_file_list_->Files();
    xml_path_edit_->setText(files.isEmpty() ? QString() : files.front());
    ShowWeighting();
  });
  connect(xml_path_edit_, &QLineEdit::textEdited, this, &ConvertWindow::ShowWeighting);

  output_path_edit_ = NewEdit("outputFileEdit");
  auto* output_browse = NewButton("Browse...", "outputBrowseButton");
  auto* close = NewButton("Close", "closeButton");
  add_label("Trivanto File:", 0);
  grid->addWidget(output_path_edit_, row, 1, 1, COLUMN_BOX - 1);
  grid->addWidget(output_browse, row, COLUMN_BOX);
  grid->addWidget(close, row++, COLUMN_COMMAND);

  add_gap();
  add_text(CLOSING_TEXT);
  for (const int column : {1, 3, 5}) grid->setColumnStretch(column, 1);

  // Tab order follows the arrangement, top to bottom and left to right.
  QWidget* order[] = {seed_name_edit_,
                      north_edit_,
                      east_edit_,
                      elevation_edit_,
                      compute_local_check_,
                      latitude_edit_,
                      longitude_edit_,
                      height_edit_,
                      compute_geodetic_check_,
                      tolerance_edit_,
                      tolerance_2d_radio_,
                      tolerance_3d_radio_,
                      xml_path_edit_,
                      xml_browse,
                      convert,
                      xml_file_list_,
                      output_path_edit_,
                      output_browse,
                      close};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(compute_local_check_, &QCheckBox::toggled, this, &ConvertWindow::ApplyEnableRules);
  connect(compute_geodetic_check_, &QCheckBox::toggled, this, &ConvertWindow::ApplyEnableRules);
  connect(convert, &QPushButton::clicked, this, &ConvertWindow::OnConvert);
  connect(xml_browse, &QPushButton::clicked, this, [this] { OnBrowse(FileKind::Input); });
  connect(output_browse, &QPushButton::clicked, this, [this] { OnBrowse(FileKind::Output); });
  connect(close, &QPushButton::clicked, this, &ConvertWindow::OnClose);
}

void ConvertWindow::ApplyEnableRules() {
  const bool geodetic = compute_geodetic_check_->isChecked();
  latitude_edit_->setEnabled(geodetic);
  longitude_edit_->setEnabled(geodetic);
  height_edit_->setEnabled(geodetic);
  const bool local = compute_local_check_->isChecked();
  north_edit_->setEnabled(local);
  east_edit_->setEnabled(local);
  elevation_edit_->setEnabled(local);
}

bool ConvertWindow::Refuse(QLineEdit* field, const Status& refused) {
  ShowMessage(MSG_NO_NUMBER, refused.text());
  field->setFocus(Qt::OtherFocusReason);
  field->selectAll();
  return false;
}

bool ConvertWindow::ReadNumber(QLineEdit* field, double& member,
                               const std::optional<NumberRange>& range) {
  const Status refused = ReadNumberField(field->text().toStdString(), member, range);
  return refused.failed() ? Refuse(field, refused) : true;
}

bool ConvertWindow::ExchangeToMembers() {
  dialog_.request.output_path = output_path_edit_->text().toStdString();
  dialog_.request.xml_paths = FieldFilesOfControls();
  dialog_.request.seed_name = seed_name_edit_->text().toStdString();
  if (const Status refused = CheckSeedName(dialog_.request.seed_name); refused.failed()) {
    return Refuse(seed_name_edit_, refused);
  }
  const auto packed = [this](QLineEdit* field, double value) {
    const Status refused = CheckPackedAngle(value);
    return refused.failed() ? Refuse(field, refused) : true;
  };
  if (!ReadNumber(latitude_edit_, dialog_.request.seed_latitude, LATITUDE_RANGE) ||
      !packed(latitude_edit_, dialog_.request.seed_latitude) ||
      !ReadNumber(longitude_edit_, dialog_.request.seed_longitude, LONGITUDE_RANGE) ||
      !packed(longitude_edit_, dialog_.request.seed_longitude) ||
      !ReadNumber(height_edit_, dialog_.request.seed_height, HEIGHT_RANGE) ||
      !ReadNumber(tolerance_edit_, dialog_.request.merge_tolerance, TOLERANCE_RANGE)) {
    return false;
  }
  dialog_.request.tolerance_mode =
      tolerance_2d_radio_->isChecked() ? TOLERANCE_MODE_2D : TOLERANCE_MODE_3D;
  dialog_.request.compute_geodetic = compute_geodetic_check_->isChecked();
  if (!ReadNumber(east_edit_, dialog_.request.seed_east, GRID_RANGE) ||
      !ReadNumber(elevation_edit_, dialog_.request.seed_elevation, ELEVATION_RANGE) ||
      !ReadNumber(north_edit_, dialog_.request.seed_north, GRID_RANGE)) {
    return false;
  }
  dialog_.request.compute_local = compute_local_check_->isChecked();
  return true;
}

std::vector<std::string> ConvertWindow::FieldFilesOfControls() const {
  // The entry holds the first field file, the list every one in reading order.
  std::vector<std::string> paths{xml_path_edit_->text().toStdString()};
  const QStringList files = xml_file_list_->Files();
  for (qsizetype i = 1; i < files.size(); ++i) paths.push_back(files[i].toStdString());
  return paths;
}

void ConvertWindow::ShowWeighting() {
  if (weight_label_ == nullptr || job_menu_ == nullptr || xml_path_edit_ == nullptr) return;
  const std::vector<std::string> paths = FieldFilesOfControls();
  fenwix::ShowWeighting(*weight_label_,
                        job_menu_->session().FileWeighting(paths, dialog_.request.weight_profile),
                        paths);
}

void ConvertWindow::ExchangeToControls() {
  SetTextKeepingSelection(output_path_edit_, QString::fromStdString(dialog_.request.output_path));
  SetTextKeepingSelection(
      xml_path_edit_,
      QString::fromStdString(dialog_.request.xml_paths.empty() ? std::string()
                                                               : dialog_.request.xml_paths[0]));
  QStringList files;
  for (const std::string& path : dialog_.request.xml_paths)
    files.append(QString::fromStdString(path));
  xml_file_list_->SetFiles(files);
  seed_name_edit_->setMaxLength(static_cast<int>(SEED_NAME_MAX_CHARS));
  seed_name_edit_->setText(QString::fromStdString(dialog_.request.seed_name));
  latitude_edit_->setText(NumberText(dialog_.request.seed_latitude));
  longitude_edit_->setText(NumberText(dialog_.request.seed_longitude));
  height_edit_->setText(NumberText(dialog_.request.seed_height));
  tolerance_edit_->setText(NumberText(dialog_.request.merge_tolerance));
  (dialog_.request.tolerance_mode == TOLERANCE_MODE_2D ? tolerance_2d_radio_ : tolerance_3d_radio_)
      ->setChecked(true);
  // A flag byte other than 0 or 1 can come only from a foreign settings file; it counts as
  // ticked, as it does for the conversion.
  compute_geodetic_check_->setChecked(dialog_.request.compute_geodetic);
  east_edit_->setText(NumberText(dialog_.request.seed_east));
  elevation_edit_->setText(NumberText(dialog_.request.seed_elevation));
  north_edit_->setText(NumberText(dialog_.request.seed_north));
  compute_local_check_->setChecked(dialog_.request.compute_local);
  ShowWeighting();
}

void ConvertWindow::OnConvert() {
  if (!ExchangeToMembers()) return;
  if ((dialog_.request.compute_local || dialog_.request.compute_geodetic) &&
      TrimWhiteSpace(dialog_.request.seed_name).empty()) {
    Refuse(seed_name_edit_, Status::Refused(std::string(MessageText(MSG_NO_SEED_NAME))));
    return;
  }
  if (!job_menu_->BeforeConversion()) return;
  dialog_.request.adjustment_test = adjustment_action_->isChecked();
  bool offer_sketch = false;
  try {
    const bool written = RunInBackground(dialog_, *this, *this).written();
    job_menu_->AfterConversion();
    if (written) {
      if (report_window_ == nullptr) {
        report_window_ = new ReportWindow(this);
        // A row chosen in the report shows its lines in the open sketch.
        connect(report_window_, &ReportWindow::RowChosen, this, [this](const CheckRow& row) {
          if (sketch_window_ == nullptr) return;
          SketchView* view = sketch_window_->view();
          view->SelectLines(SketchLinesOfRow(view->model(), row));
        });
        connect(job_menu_, &JobFileMenu::EditsChanged, report_window_, &ReportWindow::EditsChanged);
        connect(report_window_, &ReportWindow::SeedTaken, this,
                [this](double latitude, double longitude) {
                  latitude_edit_->setText(NumberText(latitude));
                  longitude_edit_->setText(NumberText(longitude));
                });
      }
      report_window_->ShowReport(dialog_.run.check_report);
      const SeedCheck& seed = dialog_.run.seed_check;
      report_window_->OfferSeed(
          seed.agrees.has_value() && !*seed.agrees
              ? std::optional(std::pair(seed.suggested_latitude, seed.suggested_longitude))
              : std::nullopt);
      report_window_->SetLineEdits(ConversionLineEdits(report_window_));
      OfferEstimatedPrecision();
      report_action_->setEnabled(true);
      // The report opens by itself when it flags something, else when asked for.
      if (dialog_.run.check_report.FlaggedRows() > 0 || after_run_ == AfterRun::Report) {
        ShowCheckReport();
      }
      offer_sketch = true;
    } else if (report_window_ != nullptr) {
      report_window_->MarkEarlierRun();
    }
  } catch (const std::bad_alloc&) {
    while (wait_depth_ > 0) EndWait();
    FormatMessageBox(*this, MSG_NO_MEMORY);
  }
  // The conversion uses the names without surrounding blanks; show them as it used them.
  ConversionRequest& request = dialog_.request;
  request.xml_paths = TrimmedFileNames(request.xml_paths);
  request.output_path = TrimWhiteSpace(request.output_path);
  request.seed_name = TrimWhiteSpace(request.seed_name);
  ExchangeToControls();
  // A cancelled or failed run may have left coordinates behind: only a written file is offered.
  UpdateSketchAction();
  if (offer_sketch) OfferSketch();
}

void ConvertWindow::OfferEstimatedPrecision() {
  const PrecisionScales scales = ReliableScales(dialog_.run.adjustment_result);
  const NamedWeightProfile weighted = dialog_.request.weight_profile;
  const WeightProfile suggested{ScaledInstrument(weighted.profile.instrument, scales),
                                ScaledGnss(weighted.profile.gnss, scales)};
  const std::vector<std::string> preview = PrecisionChanges(weighted.profile, suggested);
  if (preview.empty()) return;
  std::string tip = "Writes the precision the adjustment test estimated into the job's profile:";
  for (const std::string& line : preview) tip += "\n" + line;
  for (const std::string& line : UnreliableGroups(dialog_.run.adjustment_result)) {
    tip += "\n" + line;
  }
  tip += "\nThis run's output keeps the profile's weights; the next conversion uses the new ones.";
  report_window_->OfferEstimatedPrecision(
      QString::fromStdString(tip), [this, scales, weighted]() -> QString {
        // The estimate scales the weighting the run had; another one would be scaled wrongly.
        if (dialog_.request.weight_profile != weighted) {
          return QStringLiteral(
              "The profile changed since this conversion: convert again to estimate it anew");
        }
        std::string text;
        for (const std::string& line : job_menu_->UseEstimatedPrecision(scales)) {
          text += (text.empty() ? "Precision of the job: " : "; ") + line;
        }
        if (text.empty()) return QStringLiteral("The estimated precision changes nothing");
        return QString::fromStdString(text) +
               QStringLiteral(" \u2014 the next conversion uses it; save the job to keep it");
      });
}

void ConvertWindow::OnClose() {
  if (!ExchangeToMembers()) return;
  if (job_menu_ != nullptr && !job_menu_->MayDropJob()) return;
  StoreFileList();
  // The settings are a convenience: a file that cannot be written is reported once, without
  // holding up the close.
  const bool saved = SaveSettingsCreatingFolder(dialog_.request, settings_path_).ok();
  if (TellAboutSettingsSave(settings_path_, saved)) {
    FormatMessageBox(*this, MSG_SETTINGS_NOT_SAVED, settings_path_.c_str());
  }
  accept();
}

void ConvertWindow::reject() {
  if (job_menu_ != nullptr && !job_menu_->MayDropJob()) return;
  QDialog::reject();
}

void ConvertWindow::ShowCheckReport() {
  if (report_window_ == nullptr) return;
  // A minimised report comes back with the new run's rows.
  if (report_window_->isMinimized()) {
    report_window_->showNormal();
  } else {
    report_window_->show();
  }
  report_window_->raise();
}

void ConvertWindow::ShowAbout() {
  AboutDialog about(this);
  about.exec();
}

void ConvertWindow::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (enter && modifiers == Qt::NoModifier) {
    // A focused button answers Enter itself; anywhere else Enter means Close.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      if (button->isEnabled()) button->click();
    } else {
      OnClose();
    }
    return;
  }
  QDialog::keyPressEvent(event);
}

QSize ConvertWindow::DialogUnitsToPixels(const QFont& font, int width_units, int height_units) {
  const QFontMetricsF metrics(font);
  const QString sample = QString::fromLatin1(AVERAGE_WIDTH_SAMPLE);
  const double average_width = metrics.horizontalAdvance(sample) / sample.size();
  return QSize(qRound(width_units * average_width / 4.0),
               qRound(height_units * metrics.height() / 8.0));
}

void ConvertWindow::ShowMessage(MessageId id, const std::string& text) {
  if (message_hook_) {
    message_hook_(id, text);
    SelectFileEdit(id, xml_path_edit_, output_path_edit_);
    return;
  }
  const bool final_success = IsSuccessMessage(id);
  QMessageBox box(final_success ? QMessageBox::Information : QMessageBox::Warning,
                  ApplicationTitle(), QString::fromStdString(text), QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("messageBox"));
  // The end of a run is one window: what to look at next is a button of its message.
  QPushButton* report = nullptr;
  QPushButton* sketch = nullptr;
  if (final_success) {
    after_run_ = AfterRun::Nothing;
    if (dialog_.request.run_checks) {
      report = box.addButton(QStringLiteral("Show check report"), QMessageBox::ActionRole);
      report->setObjectName(QStringLiteral("showReportButton"));
    }
    if (HasSketchCoordinates(dialog_.run)) {
      sketch = box.addButton(QStringLiteral("Show sketch"), QMessageBox::ActionRole);
      sketch->setObjectName(QStringLiteral("showSketchButton"));
    }
    // The button chosen last time is the default.
    const int last = ProgramSettings()->value(AFTER_RUN_SETTING, 0).toInt();
    if (last == static_cast<int>(AfterRun::Report) && report) box.setDefaultButton(report);
    if (last == static_cast<int>(AfterRun::Sketch) && sketch) box.setDefaultButton(sketch);
  }
  // File names and station names reach messages; never read them as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
  if (final_success) {
    if (box.clickedButton() != nullptr && box.clickedButton() == report) {
      after_run_ = AfterRun::Report;
    } else if (box.clickedButton() != nullptr && box.clickedButton() == sketch) {
      after_run_ = AfterRun::Sketch;
    }
    ProgramSettings()->setValue(AFTER_RUN_SETTING, static_cast<int>(after_run_));
  }
  SelectFileEdit(id, xml_path_edit_, output_path_edit_);
}

void ConvertWindow::BeginWait() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ++wait_depth_;
}

void ConvertWindow::EndWait() {
  if (wait_depth_ == 0) return;
  --wait_depth_;
  QApplication::restoreOverrideCursor();
}

MergeAnswer ConvertWindow::AskSimilarStations(const StationRecord& first,
                                              const StationRecord& second) {
  SimilarStationsDialog question(first, second, dialog_.request.merge_tolerance,
                                 dialog_.request.tolerance_mode == TOLERANCE_MODE_2D, this);
  return question.Ask();
}

}  // namespace fenwix
