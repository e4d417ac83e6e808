#pragma once
// The question about two stations whose local coordinates nearly coincide: same point (and
// which name to keep), different points, or cancel the conversion.

#include <QDialog>

#include "model/merge_answer.h"
#include "model/records.h"

class QRadioButton;

namespace fenwix {

class SimilarStationsDialog : public QDialog {
  Q_OBJECT

 public:
  // first has the lower table index; the selection starts on it. The distance between the two
  // is shown beside the merge tolerance (meters), horizontal when two_dimensional.
  SimilarStationsDialog(const StationRecord& first, const StationRecord& second, double tolerance,
                        bool two_dimensional, QWidget* parent = nullptr);

  // Shows the dialog modally and returns the answer.
  MergeAnswer Ask();
  // The answer so far: Cancel until a button other than Cancel was pressed.
  MergeAnswer answer() const { return answer_; }

 private:
  QRadioButton* use_first_ = nullptr;
  QRadioButton* use_second_ = nullptr;
  MergeAnswer answer_ = MergeAnswer::Cancel;
};

}  // namespace fenwix
