#pragma once
// Options → "Instrument and GNSS precision...": the surveyor's named weight profiles (one per
// instrument), each with its angle, zenith, distance and centring precision and its GNSS
// scaling. The profile selected when OK is pressed is the one the conversions use.

#include <functional>
#include <optional>
#include <vector>

#include <QDialog>
#include <QString>

#include "weights/weight_profile.h"

class QComboBox;
class QLineEdit;

namespace fenwix {

class WeightProfilesDialog : public QDialog {
  Q_OBJECT

 public:
  // Shows a refusal in place of the message box.
  using MessageHook = std::function<void(const QString& text)>;
  // Asks for a profile name in place of the input box; empty means cancelled.
  using NameAsker =
      std::function<std::optional<QString>(const QString& title, const QString& current)>;

  // profiles must not be empty; current names the one selected at first.
  WeightProfilesDialog(std::vector<NamedWeightProfile> profiles, const QString& current,
                       QWidget* parent = nullptr);

  void SetMessageHook(MessageHook hook) { message_hook_ = std::move(hook); }
  void SetNameAsker(NameAsker asker) { name_asker_ = std::move(asker); }

  // After OK: every profile, and the one selected.
  const std::vector<NamedWeightProfile>& profiles() const { return profiles_; }
  int current() const { return current_; }

  void accept() override;

 private:
  // The fields into profiles_[current_]; at the first refused field its message is shown, the
  // field keeps the focus with its text selected, and false is returned.
  bool ReadFields();
  void ShowFields();
  void OnProfileChosen(int index);
  void OnAdd();
  void OnRename();
  void OnRemove();
  std::optional<QString> AskName(const QString& title, const QString& current);
  void Refuse(QLineEdit* field, const QString& text);
  void FillCombo();

  std::vector<NamedWeightProfile> profiles_;
  int current_ = 0;
  MessageHook message_hook_;
  NameAsker name_asker_;
  QComboBox* combo_ = nullptr;
  // The edit of each field of WEIGHT_FIELDS, in its order.
  std::vector<QLineEdit*> edits_;
};

}  // namespace fenwix
