// The check report window on the 20,000-station job: how long it takes to show its summary and
// first flagged rows, how much memory it takes for that, and what paging in every passing row
// costs; against writing the report's JSON form (what Save does), measured in the same run.
//
//   cmake --preset bench-gui -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
//   cmake --build --preset bench-gui -j2 --target report_window_bench
//   QT_QPA_PLATFORM=offscreen build/bench-gui/bench/report_window_bench [rounds]
//
// (bench-gui is the release build, warnings as errors, with the benchmarks and without the
// tests; the bench preset with -DFENWIX_BUILD_GUI=ON builds it too.)
//
// The job is bench/job_generator.h at its default size, converted with checks as the dialog
// does, twice: with the checks' own limits, and with every limit below zero so that every row
// is flagged and listed (the largest report the job can give). Each round writes the JSON form,
// then opens a fresh window (construct, ShowReport, show, events until the view has painted
// with the first flagged row in sight), then opens every check and drags the scroll bar to its
// end until no more rows come (as a person would), then chooses each check's more-row ("… N
// more passing rows") until every passing row of every check is shown, and scrolls to the
// end, then closes the window. Times are wall clock, in milliseconds,
// medians over the rounds; "longest hold of the event loop" is the longest the main window
// would wait for the report window while it opens. Memory is the growth of the process's
// resident set from before the window to after it was shown (and after everything was paged
// in), with the allocator's free memory handed back to the system before each reading, as a
// multiple of the JSON form's size; an empty window takes about 3 MB of it (its backing store).
// Figures only: nothing here passes or fails.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QScrollBar>
#include <QTreeView>

#include <fmt/format.h>

#include "app/convert_dialog.h"
#include "bench_support.h"
#include "checks/check_limits.h"
#include "checks/report_forms.h"
#include "gui/report_model.h"
#include "gui/report_window.h"
#include "job_generator.h"
#include "large_network.h"
#include "platform/memory_pages.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using fenwix::bench::Median;
using fenwix::bench::Milliseconds;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Mb(double bytes) {
  return bytes / 1e6;
}

// Notes when the view's viewport has been painted.
class PaintWatch : public QObject {
 public:
  bool painted = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

// The first flagged row of the first check that has one; invalid when nothing is flagged.
QModelIndex FirstFlaggedRow(const fenwix::ReportModel& model, const fenwix::CheckReport& report) {
  for (int s = 0; s < model.rowCount(); ++s) {
    if (report.sections[static_cast<size_t>(s)].FlaggedCount() > 0) {
      return model.index(0, 0, model.index(s, 0));
    }
  }
  return {};
}

int ShownRows(const fenwix::ReportModel& model) {
  int shown = 0;
  for (int s = 0; s < model.rowCount(); ++s) shown += model.ShownRows(s);
  return shown;
}

// Runs events until the view has painted with row in its viewport (or a painted view when row
// is invalid); returns the longest single pass of the event loop, in milliseconds. A window
// that has not shown it after a minute ends the program.
double ProcessUntilShown(fenwix::ReportWindow& window, PaintWatch& watch, const QModelIndex& row) {
  constexpr double GIVE_UP_MS = 60000.0;
  double longest = 0.0;
  for (const auto begin = Clock::now();;) {
    if (MsSince(begin) > GIVE_UP_MS) {
      fmt::print(stderr, "the report window did not show its rows within a minute\n");
      std::exit(1);
    }
    const auto start = Clock::now();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    longest = std::max(longest, MsSince(start));
    QTreeView* view = window.view();
    const bool in_sight =
        !row.isValid() || view->visualRect(row).intersects(view->viewport()->rect());
    if (watch.painted && window.isVisible() && in_sight) return longest;
  }
}

struct Round {
  double open_ms = 0.0;         // construct, ShowReport, show, painted with a flagged row
  double show_report_ms = 0.0;  // the ShowReport call alone
  double longest_ms = 0.0;      // the longest the event loop was held while opening
  double grown_open = 0.0;      // resident bytes gained by the open window
  double page_all_ms = 0.0;     // every more-row chosen until none is left, end painted
  double grown_all = 0.0;       // resident bytes gained with every row paged in
  int scroll_rows = 0;          // rows shown after scrolling to the end as a person would
  int chosen_rows = 0;          // rows shown after choosing every more-row as well
  int choices = 0;              // more-rows chosen for that
  int closed_check = -1;        // the largest check that opens closed
  int closed_scrolled = 0;      // its rows shown once opened and scrolled to the end
  int closed_shown = 0;         // and once its more-row was chosen until gone
};

// Drags the view's scroll bar to its end until that brings no more rows.
void DragToEnd(QTreeView& view, const fenwix::ReportModel& model) {
  for (int shown = -1; shown != ShownRows(model);) {
    shown = ShownRows(model);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
  }
}

// Chooses the more-row of check as the person would (it becomes the current row, as by a click
// or the Down key) until the check is shown whole; the number of choices.
int ChooseMoreRows(QTreeView& view, const fenwix::ReportModel& model, int check) {
  const QModelIndex parent = model.index(check, 0);
  int choices = 0;
  while (model.HasMoreRow(check)) {
    const int shown = model.ShownRows(check);
    const QModelIndex more = model.index(shown, 0, parent);
    view.scrollTo(more);
    view.setCurrentIndex(more);
    QCoreApplication::processEvents();
    ++choices;
    if (model.ShownRows(check) == shown) {
      fmt::print(stderr, "choosing a more-row showed no more rows\n");
      std::exit(1);
    }
  }
  return choices;
}

Round OpenWindow(const fenwix::CheckReport& report) {
  Round round;
  fenwix::ReturnFreeMemory();
  const double before = static_cast<double>(fenwix::ResidentBytes());
  const auto start = Clock::now();
  auto window = std::make_unique<fenwix::ReportWindow>();
  PaintWatch watch;
  window->view()->viewport()->installEventFilter(&watch);
  round.show_report_ms = Milliseconds([&] { window->ShowReport(report); });
  window->show();
  // Construction, ShowReport and show run in one go, as from the main window's button.
  round.longest_ms = MsSince(start);
  fenwix::ReportModel& model = *window->model();
  round.longest_ms =
      std::max(round.longest_ms, ProcessUntilShown(*window, watch, FirstFlaggedRow(model, report)));
  round.open_ms = MsSince(start);
  fenwix::ReturnFreeMemory();
  round.grown_open = static_cast<double>(fenwix::ResidentBytes()) - before;

  // As a person would: the largest check that opened closed is opened, and the scroll bar
  // dragged to its end until it brings no more rows, then its more-row chosen until gone; then
  // every check open, and the scroll bar dragged the same way.
  QTreeView* view = window->view();
  size_t largest = 0;
  for (int s = 0; s < model.rowCount(); ++s) {
    const size_t rows = report.sections[static_cast<size_t>(s)].rows.size();
    if (!view->isExpanded(model.index(s, 0)) && rows > largest) {
      largest = rows;
      round.closed_check = s;
    }
  }
  if (round.closed_check >= 0) {
    view->expand(model.index(round.closed_check, 0));
    QCoreApplication::processEvents();
    DragToEnd(*view, model);
    round.closed_scrolled = model.ShownRows(round.closed_check);
    ChooseMoreRows(*view, model, round.closed_check);
    round.closed_shown = model.ShownRows(round.closed_check);
  }
  view->expandAll();
  QCoreApplication::processEvents();
  DragToEnd(*view, model);
  round.scroll_rows = ShownRows(model);

  // Every passing row of every check, a page at a time through its more-row with the view laid
  // out after each, then the end of the list in sight.
  const auto paging = Clock::now();
  for (int s = 0; s < model.rowCount(); ++s) round.choices += ChooseMoreRows(*view, model, s);
  round.chosen_rows = ShownRows(model);
  watch.painted = false;
  view->scrollToBottom();
  view->viewport()->update();
  const QModelIndex last_check = model.index(model.rowCount() - 1, 0);
  ProcessUntilShown(*window, watch, model.index(model.rowCount(last_check) - 1, 0, last_check));
  round.page_all_ms = MsSince(paging);
  fenwix::ReturnFreeMemory();
  round.grown_all = static_cast<double>(fenwix::ResidentBytes()) - before;

  window.reset();
  QCoreApplication::processEvents();
  return round;
}

// The report of the job converted with limits scaled by limit_scale; rounds of the JSON form
// and the window, alternating; prints the figures. False when the conversion gave no report.
bool MeasureCase(const char* title, const fs::path& dir, const fs::path& input, double limit_scale,
                 int rounds) {
  fenwix::CheckReport report;
  double convert_ms = 0.0;
  {
    fenwix::ConvertDialog dialog;
    dialog.InitializeDefaults();
    dialog.request.xml_paths = {input.string()};
    dialog.request.output_path = (dir / "job.txt").string();
    dialog.request.run_checks = true;
    for (const fenwix::CheckLimitField& field : fenwix::CheckLimitFields()) {
      dialog.request.check_limits.*field.value *= limit_scale;
    }
    fenwix::bench::SilentUi ui;
    convert_ms = Milliseconds([&] { dialog.RunConversion(ui); });
    report = std::move(dialog.run.check_report);
  }
  size_t rows = 0;
  int64_t unlisted = 0;
  for (const fenwix::CheckSection& section : report.sections) {
    rows += section.rows.size();
    unlisted += section.unlisted_rows;
  }
  if (rows == 0) {
    fmt::print(stderr, "the conversion gave no check report: {}\n", report.job);
    return false;
  }

  const std::string json_path = (dir / "report.json").string();
  std::vector<double> json_ms, open_ms, show_report_ms, longest_ms, grown_open, page_all_ms,
      grown_all;
  Round last;
  for (int r = 0; r < rounds; ++r) {
    json_ms.push_back(Milliseconds([&] {
      if (fenwix::WriteReportFile(report, json_path).failed()) std::abort();
    }));
    const Round round = OpenWindow(report);
    open_ms.push_back(round.open_ms);
    show_report_ms.push_back(round.show_report_ms);
    longest_ms.push_back(round.longest_ms);
    grown_open.push_back(round.grown_open);
    page_all_ms.push_back(round.page_all_ms);
    grown_all.push_back(round.grown_all);
    last = round;
  }
  const double json_bytes = static_cast<double>(fs::file_size(json_path));
  const double base = Median(json_ms);

  fmt::print("\n== {} (conversion with checks {:.0f} ms)\n", title, convert_ms);
  fmt::print("report: {} checks, {} rows listed ({} flagged), {} passing rows not listed\n",
             report.sections.size(), rows, report.FlaggedRows(), unlisted);
  fmt::print("JSON form {:.1f} MB\n\n", Mb(json_bytes));
  fmt::print("{:<46} {:>9} {:>8}\n", "", "ms", "/ JSON");
  const auto line = [&](const char* what, const std::vector<double>& ms) {
    fmt::print("{:<46} {:>9.1f} {:>8.2f}\n", what, Median(ms), Median(ms) / base);
  };
  line("JSON form written (baseline)", json_ms);
  line("window open: summary and flagged rows painted", open_ms);
  line("  of which ShowReport", show_report_ms);
  line("  longest hold of the event loop", longest_ms);
  line("every more-row chosen until none is left", page_all_ms);
  fmt::print("\n{:<46} {:>9} {:>8}\n", "", "MB", "/ JSON");
  const auto memory = [&](const char* what, const std::vector<double>& bytes) {
    fmt::print("{:<46} {:>9.1f} {:>8.2f}\n", what, Mb(Median(bytes)), Median(bytes) / json_bytes);
  };
  memory("resident growth, window open", grown_open);
  memory("resident growth, every row paged in", grown_all);
  fmt::print("\nscrolling to the end with every check open shows {} of the {} listed rows\n",
             last.scroll_rows, rows);
  fmt::print("choosing each check's more-row until none is left ({} choices) shows {} of them\n",
             last.choices, last.chosen_rows);
  if (last.closed_check >= 0) {
    const fenwix::CheckSection& closed = report.sections[static_cast<size_t>(last.closed_check)];
    fmt::print(
        "\"{}\" (opens closed) opened and scrolled to its end shows {} of its {} rows, {} once "
        "its more-row was chosen until gone\n",
        closed.title, last.closed_scrolled, closed.rows.size(), last.closed_shown);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  const fs::path dir = fs::temp_directory_path() / fmt::format("fenwix-report-window-{}", getpid());
  fs::create_directories(dir);
  const fs::path input = dir / "job.xml";
  fenwix::bench::JobCounts counts;
  if (!fenwix::bench::WriteLargeJob(input.string(), fenwix::bench::JobSize{}, counts)) return 1;
  fmt::print("job: {} stations, {:.1f} MB of XML\n", fenwix::bench::JobSize{}.stations,
             Mb(static_cast<double>(counts.bytes)));

  // The main window is up before any report: fonts and styles are loaded by then.
  {
    fenwix::ReportWindow warm;
    warm.show();
    QCoreApplication::processEvents();
  }
  bool measured = MeasureCase("the checks' own limits", dir, input, 1.0, rounds);
  // Every limit below zero flags every row; flagged rows are all listed and their checks open
  // at once: the largest report this job can give (a systematic fault in the whole job).
  measured = measured && MeasureCase("every limit below zero: every row flagged and listed", dir,
                                     input, -1.0, rounds);
  fmt::print("\n(medians of {} rounds, wall clock)\n", rounds);
  fs::remove_all(dir);
  return measured ? 0 : 1;
}
