#include "gui/report_window.h"

#include <string>

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "checks/report_forms.h"
#include "gui/converter_app.h"

namespace fenwix {

namespace {

// Opening size of the window, in pixels: wide enough for the widest check table.
constexpr int WINDOW_WIDTH = 980;
constexpr int WINDOW_HEIGHT = 640;

}  // namespace

ReportWindow::ReportWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("reportWindow"));
  setWindowTitle(QStringLiteral("Check report"));
  setWindowIcon(ProgramIcon());
  setModal(false);

  view_ = new QTextBrowser(this);
  view_->setObjectName(QStringLiteral("reportView"));
  view_->setOpenLinks(false);
  // The summary links to the sections on the same page.
  connect(view_, &QTextBrowser::anchorClicked, this,
          [this](const QUrl& url) { view_->scrollToAnchor(url.fragment()); });

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("reportStatus"));
  auto* save = new QPushButton(QStringLiteral("&Save..."), this);
  save->setObjectName(QStringLiteral("saveReportButton"));
  connect(save, &QPushButton::clicked, this, &ReportWindow::OnSave);
  auto* close = new QPushButton(QStringLiteral("&Close"), this);
  close->setObjectName(QStringLiteral("closeReportButton"));
  connect(close, &QPushButton::clicked, this, &QDialog::close);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(save);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);
  resize(WINDOW_WIDTH, WINDOW_HEIGHT);
}

void ReportWindow::ShowReport(const CheckReport& report) {
  report_ = report;
  report_.Index();
  view_->setHtml(QString::fromStdString(ReportHtml(report_)));
  status_->setText(QStringLiteral("%1 flagged rows").arg(report_.FlaggedRows()));
}

bool ReportWindow::SaveTo(const QString& path) {
  const std::string fault = WriteReportFile(report_, path.toStdString());
  if (fault.empty()) {
    status_->setText(QStringLiteral("Saved to %1").arg(path));
    return true;
  }
  status_->setText(QStringLiteral("Cannot save %1: %2").arg(path, QString::fromStdString(fault)));
  return false;
}

void ReportWindow::OnSave() {
  std::optional<QString> path;
  if (save_chooser_) {
    path = save_chooser_();
  } else {
    QString filter = QStringLiteral("HTML page (*.html)");
    const QString chosen = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save check report"), QString(),
        QStringLiteral("HTML page (*.html);;Plain text (*.txt);;JSON for scripts (*.json)"),
        &filter);
    if (!chosen.isEmpty()) {
      path = chosen;
      // A name typed without an extension takes the form chosen in the filter.
      ReportForm form = ReportForm::Text;
      if (!ReportFormOf(chosen.toStdString(), form)) {
        const int star = filter.indexOf(QStringLiteral("*."));
        *path += filter.mid(star + 1, filter.size() - star - 2);
      }
    }
  }
  if (path) SaveTo(*path);
}

}  // namespace fenwix
