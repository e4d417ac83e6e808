#include "gui/edits_window.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/converter_app.h"
#include "gui/job_file_menu.h"

namespace fenwix {

namespace {

// What a row of the list stands for: its kind in column 0's user data, its index in the job's
// list of that kind beside it.
enum class EditKind { LeftOut = 1, Rename = 2, Merge = 3 };
constexpr int KIND_ROLE = Qt::UserRole;
constexpr int INDEX_ROLE = Qt::UserRole + 1;

constexpr int WINDOW_WIDTH = 720;
constexpr int WINDOW_HEIGHT = 360;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// A field file's name without its folder, as the lists show it.
QString FileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return Text(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace

EditsWindow::EditsWindow(JobFileMenu& menu, QWidget* parent) : QDialog(parent), menu_(menu) {
  setObjectName(QStringLiteral("editsWindow"));
  setWindowTitle(QStringLiteral("Edits"));
  setWindowIcon(ProgramIcon());
  setModal(false);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("editsList"));
  list_->setColumnCount(3);
  list_->setHeaderLabels(
      {QStringLiteral("Edit"), QStringLiteral("Where"), QStringLiteral("Reason")});
  list_->setRootIsDecorated(false);
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &EditsWindow::UpdateButtons);

  put_back_ = new QPushButton(QStringLiteral("&Put back"), this);
  put_back_->setObjectName(QStringLiteral("putBackButton"));
  forget_ = new QPushButton(QStringLiteral("&Forget"), this);
  forget_->setObjectName(QStringLiteral("forgetButton"));
  connect(put_back_, &QPushButton::clicked, this, &EditsWindow::OnRemove);
  connect(forget_, &QPushButton::clicked, this, &EditsWindow::OnRemove);
  auto* close = new QPushButton(QStringLiteral("&Close"), this);
  connect(close, &QPushButton::clicked, this, &QDialog::close);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(put_back_);
  buttons->addWidget(forget_);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(WINDOW_WIDTH, WINDOW_HEIGHT);
  Refresh();
}

void EditsWindow::Refresh() {
  list_->clear();
  const Job& job = menu_.session().job();
  const auto add = [this](EditKind kind, size_t index, const QString& edit, const QString& where,
                          const QString& reason, const std::string& file = {}) {
    auto* item = new QTreeWidgetItem(list_, {edit, where, reason});
    item->setData(0, KIND_ROLE, static_cast<int>(kind));
    item->setData(0, INDEX_ROLE, static_cast<qulonglong>(index));
    // An edit of a field file that changed since the job was saved may point elsewhere now.
    const std::vector<std::string>& changed = menu_.changed_files();
    if (kind != EditKind::LeftOut &&
        std::find(changed.begin(), changed.end(), file) != changed.end()) {
      MarkToCheck(*item);
    }
    return item;
  };
  const auto at = [](const std::vector<JobFileMenu::EditLine>& lines, const JobLeaveOut& left) {
    return std::find_if(lines.begin(), lines.end(), [&](const JobFileMenu::EditLine& line) {
      return line.file == left.file && line.line == left.line;
    });
  };
  for (size_t i = 0; i < job.leave_out.size(); ++i) {
    const JobLeaveOut& left = job.leave_out[i];
    QString where = QStringLiteral("%1 line %2").arg(FileName(left.file)).arg(left.line);
    const auto moved = at(menu_.moved_edits(), left);
    if (moved != menu_.moved_edits().end()) where += QStringLiteral(" (was %1)").arg(moved->from);
    QTreeWidgetItem* item =
        add(EditKind::LeftOut, i, QStringLiteral("Left out"), where, Text(left.reason), left.file);
    if (at(menu_.edits_to_check(), left) != menu_.edits_to_check().end()) {
      MarkToCheck(*item);
    } else if (moved != menu_.moved_edits().end()) {
      item->setIcon(1, style()->standardIcon(QStyle::SP_MessageBoxInformation));
      item->setToolTip(1, QStringLiteral("The field file changed since the job file was saved; "
                                         "this element was found unchanged on line %1, "
                                         "and the edit moved there from line %2")
                              .arg(left.line)
                              .arg(moved->from));
    }
  }
  for (size_t i = 0; i < job.renames.size(); ++i) {
    const JobRename& rename = job.renames[i];
    add(EditKind::Rename, i,
        rename.line > 0 ? QStringLiteral("%1 read as %2 in the element on line %3")
                              .arg(Text(rename.from), Text(rename.to))
                              .arg(rename.line)
                        : QStringLiteral("%1 read as %2").arg(Text(rename.from), Text(rename.to)),
        rename.file.empty() ? QStringLiteral("every file") : FileName(rename.file), QString(),
        rename.file);
  }
  for (size_t i = 0; i < job.merges.size(); ++i) {
    const PairAnswer& answer = job.merges[i];
    add(EditKind::Merge, i,
        answer.different
            ? QStringLiteral("%1 and %2 are different").arg(Text(answer.keep), Text(answer.drop))
            : QStringLiteral("%1 kept, %2 merged into it")
                  .arg(Text(answer.keep), Text(answer.drop)),
        QStringLiteral("similar stations"), QString());
  }
  UpdateButtons();
}

void EditsWindow::MarkToCheck(QTreeWidgetItem& item) const {
  item.setIcon(1, style()->standardIcon(QStyle::SP_MessageBoxWarning));
  item.setToolTip(1, QStringLiteral("The field file changed since the job file was saved"));
}

void EditsWindow::UpdateButtons() {
  const QTreeWidgetItem* item = list_->currentItem();
  const bool selected = item != nullptr && item->isSelected();
  const bool left_out =
      selected && item->data(0, KIND_ROLE).toInt() == static_cast<int>(EditKind::LeftOut);
  put_back_->setEnabled(left_out);
  forget_->setEnabled(selected && !left_out);
}

void EditsWindow::OnRemove() {
  const QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr) return;
  const auto kind = static_cast<EditKind>(item->data(0, KIND_ROLE).toInt());
  const auto index = static_cast<size_t>(item->data(0, INDEX_ROLE).toULongLong());
  JobSession& session = menu_.session();
  if (kind == EditKind::LeftOut && index < session.job().leave_out.size()) {
    const JobLeaveOut left = session.job().leave_out[index];
    session.PutBack(left.file, left.line);
  } else if (kind == EditKind::Rename) {
    session.ForgetRename(index);
  } else if (kind == EditKind::Merge) {
    session.ForgetMerge(index);
  }
  menu_.Changed();
}

}  // namespace fenwix
