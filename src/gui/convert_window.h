#pragma once
// The main window: shows the settings held by ConvertDialog in their controls, exchanges them
// with validation before every command, runs the conversion and reaches the person for the
// core (UserInterface).
//
// Every control has a descriptive object name, by which the tests find it:
// stationNameEdit, northEdit, eastEdit, elevEdit, computeLocalCheck, latitudeEdit,
// longitudeEdit, heightEdit, computeGeodeticCheck, toleranceEdit, tolerance2dRadio,
// tolerance3dRadio, xmlFileEdit, xmlBrowseButton, convertButton, outputFileEdit,
// outputBrowseButton and closeButton.
// The File menu (job files, edits) is described in job_file_menu.h.
// The About box is the "About Fenwix..." entry (object name "aboutAction") of the Help menu; the
// network sketch is "Network Sketch..." ("sketchAction") of the View menu.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QPointer>

#include "app/convert_dialog.h"
#include "app/field_validation.h"
#include "app/user_interface.h"
#include "gui/file_chooser.h"
#include "gui/job_file_menu.h"
#include "gui/report_window.h"
#include "gui/sketch_window.h"
#include "gui/xml_file_list.h"

class QAbstractButton;
class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QAction;

namespace fenwix {

// Starting size of the window, in dialog units.
inline constexpr int DIALOG_WIDTH_UNITS = 500;
inline constexpr int DIALOG_HEIGHT_UNITS = 313;

class ConvertWindow : public QDialog, public UserInterface {
  Q_OBJECT

 public:
  // Shows a numbered message in place of the message box.
  using MessageHook = std::function<void(MessageId id, const std::string& text)>;
  // Answers a Browse request in place of the file dialog; empty means cancelled.
  using FileChooser = std::function<std::optional<QString>(const FileRequest& request)>;

  // Sets the output datum and default SDs, loads the settings file at settings_path and shows
  // the loaded values.
  explicit ConvertWindow(std::string settings_path, QWidget* parent = nullptr);
  ~ConvertWindow() override;

  ConvertDialog& dialog() { return dialog_; }
  const std::string& settings_path() const { return settings_path_; }

  void SetMessageHook(MessageHook hook) { message_hook_ = std::move(hook); }
  void SetFileChooser(FileChooser chooser) { file_chooser_ = std::move(chooser); }

  // Controls to members in the fixed order; at the first refused field its message is shown,
  // the field gets the focus with its text selected, and false is returned.
  bool ExchangeToMembers();
  // Members to controls.
  void ExchangeToControls();
  // Names on its label the weighting the next conversion gives the field files in the
  // controls: the profile in use, or the job's instrument of each file.
  void ShowWeighting();

  // Lets the person pick the file of a kind, starting from current_name; the choice is kept
  // exactly as given, since the file system tells letter cases apart.
  void BrowseForFile(FileKind kind, const std::string& current_name);

  void ShowAbout();
  // The window of the check report of the last conversion that wrote its output (the Report
  // menu's command); nothing before the first such conversion.
  void ShowCheckReport();
  ReportWindow* report_window() const { return report_window_; }

  // The sketch of the last conversion in its own window (replacing one shown before).
  void ShowSketch();
  SketchWindow* sketch_window() const { return sketch_window_; }
  // The File menu and the job file it keeps.
  JobFileMenu* job_menu() const { return job_menu_; }
  // Answers in place of the question, after a conversion with approximate coordinates, whether
  // to show the sketch.
  void SetSketchOffer(std::function<bool()> offer) { sketch_offer_ = std::move(offer); }

  // A size in dialog units as pixels for a font: a horizontal unit is a quarter of the average
  // character width, a vertical unit an eighth of the character height.
  static QSize DialogUnitsToPixels(const QFont& font, int width_units, int height_units);

  // UserInterface
  void ShowMessage(MessageId id, const std::string& text) override;
  void BeginWait() override;
  void EndWait() override;
  MergeAnswer AskSimilarStations(const StationRecord& first, const StationRecord& second) override;

 public slots:
  // Escape and the close box: leaves without saving the settings, once the job's unsaved
  // changes are saved or dropped as the person says.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  void ApplyEnableRules();
  bool Refuse(QLineEdit* field, const Status& refused);
  bool ReadNumber(QLineEdit* field, double& member, const std::optional<NumberRange>& range);
  void OnConvert();
  // Offers the report window's "Use the estimated precision" when the last run's adjustment
  // test estimated a reliable group whose profile value it would change.
  void OfferEstimatedPrecision();
  void OnBrowse(FileKind kind);
  // The field files chosen in the input dialog (several at once), or by the test's chooser;
  // the dialog starts in folder when one is given, else where Browse starts.
  QStringList ChooseInputFiles(const QString& folder = {});
  // The list of several field files lives in QSettings beside the settings record, which
  // keeps the first; it is taken back only when its first file is the record's.
  void RestoreFileList();
  void StoreFileList();
  void OnClose();
  // The field files in the entry and the list, in reading order.
  std::vector<std::string> FieldFilesOfControls() const;
  // Enables the sketch entry, or says in it why there is nothing to draw.
  void UpdateSketchAction();
  void OfferSketch();
  // Leave out and put back through the File menu's job file.
  LineEdits JobLineEdits() const;
  // The same for a window that shows the last conversion (the sketch, the check report), whose
  // elements name the field files by their place in that conversion's list.
  LineEdits ConversionLineEdits(QWidget* window);

  ConvertDialog dialog_;
  std::string settings_path_;
  MessageHook message_hook_;
  FileChooser file_chooser_;
  std::function<bool()> sketch_offer_;
  // What the final message's buttons asked to see once the run is over.
  enum class AfterRun { Nothing = 0, Report = 1, Sketch = 2 };
  AfterRun after_run_ = AfterRun::Nothing;
  // QSettings key of the button chosen last, the final message's default.
  inline static const QString AFTER_RUN_SETTING = QStringLiteral("afterRun/lastChoice");
  QAction* sketch_action_ = nullptr;
  QPointer<SketchWindow> sketch_window_;

  QLineEdit* seed_name_edit_ = nullptr;
  QLineEdit* north_edit_ = nullptr;
  QLineEdit* east_edit_ = nullptr;
  QLineEdit* elevation_edit_ = nullptr;
  QCheckBox* compute_local_check_ = nullptr;
  QLineEdit* latitude_edit_ = nullptr;
  QLineEdit* longitude_edit_ = nullptr;
  QLineEdit* height_edit_ = nullptr;
  QCheckBox* compute_geodetic_check_ = nullptr;
  QLineEdit* tolerance_edit_ = nullptr;
  QRadioButton* tolerance_2d_radio_ = nullptr;
  QRadioButton* tolerance_3d_radio_ = nullptr;
  QButtonGroup* tolerance_group_ = nullptr;
  QLineEdit* xml_path_edit_ = nullptr;
  XmlFileList* xml_file_list_ = nullptr;
  QLineEdit* output_path_edit_ = nullptr;
  QAction* report_action_ = nullptr;
  // The Options menu's "Test the network by adjustment", applied before each run.
  QAction* adjustment_action_ = nullptr;
  QLabel* weight_label_ = nullptr;
  JobFileMenu* job_menu_ = nullptr;
  ReportWindow* report_window_ = nullptr;
  int wait_depth_ = 0;
};

}  // namespace fenwix
