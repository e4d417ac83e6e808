// libFuzzer target for the whole conversion: reading, merging similar stations with scripted
// answers, approximate coordinates from a seed station named in the input (with the step budget
// and without it), and writing the output file, the check report and the sketch to a scratch
// folder under names drawn from the input, among them the field file, the job file and a link
// to the field file, which must be refused.
//
// Input: an 8-byte head, then the document, then optionally a NUL byte and a job file (a NUL
// cannot occur in a well-formed document, so the last one splits the two parts).
//   byte 0  bit 0 geodetic, bit 1 local, bit 2 2D merge test, bit 3 also run without a budget
//   byte 1  which of the stations read is the seed
//   byte 2  merge tolerance in steps of 0.25 m
//   byte 3  seed latitude (degrees north, -89 to 89)
//   byte 4  seed longitude (degrees east, -180 to 175)
//   byte 5  the merge answers: two bits per question, cycled
//   byte 6  progress reports allowed before the run is cancelled (0: never cancelled)
//   byte 7  bit 0 the check report as well; bits 1-2, 3-4 and 5-6 the names of the output, the
//           report and the sketch (0 its own name, 1 the field file, 2 the job file, 3 a link
//           to the field file); bit 7 the sketch as well
// Besides the sanitizers' checks the run aborts when a computed station holds a value that is
// not finite, when the outcome disagrees with the output file on disk, when a cancelled or
// failed run replaced the previous output, when a temporary file is left in the scratch folder,
// when a message is longer than a message box takes (besides the final message's own short
// sentences), when the run without a budget leaves more stations without coordinates than the
// run with it, when a job file that was read does not read back the same once written, or when
// the field file or the job file in use was written, or a write to either was not refused.
//
// The input's last byte L (mod 64) also marks the L bytes before it as drawn paths: their first
// half the "output", the second the one "inputs" path of a job file made up around them, in a
// job folder that holds links out of it, to itself and inside it. Bytes from 0xE0 up stand for
// pieces that matter to paths ("..", "up/" a link to the parent, a blank, ESC, a byte-order
// mark); the others are themselves. The run aborts when such a job is read while a path holds a
// blank at an end or a control character, when a path read is not the text written, or when the
// job's output, as the conversion would write it, lands outside the job folder once every link
// on the way is followed (by a walk of its own here, one name at a time).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/conversion_request.h"
#include "app/conversion_sketch.h"
#include "app/convert_dialog.h"
#include "app/job_conversion.h"
#include "app/messages.h"
#include "checks/report_forms.h"
#include "job/job_file.h"
#include "job/job_paths.h"
#include "model/survey_tables.h"
#include "sketch/svg_writer.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace {

namespace fs = std::filesystem;
using fenwix::ConversionOutcome;
using fenwix::ConvertDialog;
using fenwix::MergeAnswer;
using fenwix::StationRecord;

constexpr size_t HEAD = 8;
// The sentences the final message adds after its own text, which is cut to the message limit:
// the step budget (with up to 10 digits), the reading warnings and the check report's count.
constexpr size_t FINAL_SENTENCES_BYTES = 210 + 50 + 60;
constexpr const char* OLD_OUTPUT = "the previous output\n";

void Check(bool condition) {
  if (!condition) std::abort();
}

class ScriptedUi : public fenwix::UserInterface {
 public:
  ScriptedUi(uint8_t answers, uint8_t reports) : answers_(answers), reports_(reports) {}
  void ShowMessage(fenwix::MessageId id, const std::string& text) override {
    Check(text.size() <= fenwix::MAX_MESSAGE_BYTES + FINAL_SENTENCES_BYTES);
    const size_t count = text.find(" computed for ");
    if (id == fenwix::MSG_SUCCESS_APPROX && count != std::string::npos) {
      not_computed = std::atoi(text.c_str() + count + 14);
    }
  }
  void BeginWait() override {}
  void EndWait() override {}
  MergeAnswer AskSimilarStations(const StationRecord& first, const StationRecord& second) override {
    Check(&first != &second);
    const int answer = (answers_ >> (2 * (asked_++ % 4))) & 3;
    return static_cast<MergeAnswer>(answer);
  }
  bool ReportProgress(fenwix::RunPhase, double done) override {
    Check(done >= 0.0 && done <= 1.0);
    return reports_ == 0 || ++reported_ < reports_;
  }

  // The stations left without approximate coordinates, as the final message says; -1 when the
  // run did not end with that message.
  int not_computed = -1;

 private:
  uint8_t answers_;
  uint8_t reports_;
  int asked_ = 0;
  int reported_ = 0;
};

// The scratch folder lives in memory (/dev/shm) where there is one, so that writing the input,
// the temporary output, its fsync and the rename cost no disk traffic; it is removed at exit.
struct Scratch {
  Scratch() {
    std::error_code ec;
    const fs::path base =
        fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    folder = base / ("fenwix-pipeline-fuzz-" + std::to_string(getpid()));
    fs::create_directories(folder);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path folder;
};

const fs::path& ScratchFolder() {
  static const Scratch scratch;
  return scratch.folder;
}

// Plain system calls: a stream object per file costs more than the small files themselves.
void WriteFile(const fs::path& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  Check(fd >= 0);
  Check(write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
  close(fd);
}

// The file's bytes, or "" when it is missing.
const std::string& ReadFile(const fs::path& path) {
  static std::string bytes;
  bytes.clear();
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  char block[4096];
  ssize_t got;
  while ((got = read(fd, block, sizeof block)) > 0) bytes.append(block, static_cast<size_t>(got));
  Check(got == 0);
  close(fd);
  return bytes;
}

// True when the scratch folder holds the input and the output only: whatever the outcome, no
// temporary file of the output is left behind.
bool OnlyInputAndOutput() {
  DIR* dir = opendir(ScratchFolder().c_str());
  Check(dir != nullptr);
  int others = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != ".." && name != "in.xml" && name != "out.txt" &&
        name != "job.fenwix" && name != "link.txt" && name != "report.txt" &&
        name != "sketch.svg" && name != "paths") {
      ++others;
    }
  }
  closedir(dir);
  return others == 0;
}

// The file a write goes to: choice 0 its own name, else one that must be refused: the field
// file, the job file (its own name when no job is in use) or a link to the field file.
fs::path Target(int choice, const char* own, bool job_in_use) {
  static const char* const TAKEN[] = {"in.xml", "job.fenwix", "link.txt"};
  if (choice == 0 || (choice == 2 && !job_in_use)) return ScratchFolder() / own;
  return ScratchFolder() / TAKEN[choice - 1];
}

bool Refused(int choice, bool job_in_use) {
  return choice == 1 || choice == 3 || (choice == 2 && job_in_use);
}

// Returns the number of stations the run left without approximate coordinates, or -1.
int Convert(const uint8_t* head, const std::string& seed, int32_t max_steps,
            const fenwix::Job* job) {
  static const fs::path input = ScratchFolder() / "in.xml";
  const int output_choice = (head[7] >> 1) & 3;
  const fs::path output = Target(output_choice, "out.txt", job != nullptr);
  const std::string field_file = ReadFile(input);
  const std::string job_file = ReadFile(ScratchFolder() / "job.fenwix");
  const bool own_output = !Refused(output_choice, job != nullptr);
  if (own_output) WriteFile(output, OLD_OUTPUT);
  ConvertDialog dialog;
  dialog.InitializeDefaults();
  dialog.request.xml_paths = {input.string()};
  dialog.request.output_path = output.string();
  dialog.request.seed_name = seed;
  dialog.request.compute_geodetic = (head[0] & 1) != 0;
  dialog.request.compute_local = ((head[0] >> 1) & 1) != 0;
  dialog.request.tolerance_mode =
      (head[0] & 4) != 0 ? fenwix::TOLERANCE_MODE_2D : fenwix::TOLERANCE_MODE_3D;
  dialog.request.merge_tolerance = 0.25 * head[2];
  dialog.request.seed_latitude = head[3] % 179 - 89.0;
  dialog.request.seed_longitude = head[4] * 355.0 / 255.0 - 180.0;
  dialog.request.max_steps = max_steps;
  dialog.request.run_checks = (head[7] & 1) != 0;
  // The job's options, field file and edits; the output stays the scratch folder's, as when
  // one is named on the command line, so a job never writes elsewhere.
  if (job != nullptr) {
    const std::string job_path = (ScratchFolder() / "job.fenwix").string();
    if (fenwix::ApplyJobOptions(*job, dialog.request).failed() ||
        fenwix::ApplyJobFiles(*job, job_path, true, dialog.request).failed()) {
      return -1;
    }
    fenwix::ChangedFieldFiles(*job, job_path);
  }
  ScriptedUi ui(head[5], head[6]);
  const ConversionOutcome outcome = dialog.RunConversion(ui).outcome;

  const bool written_ok =
      outcome == ConversionOutcome::Succeeded || outcome == ConversionOutcome::Incomplete;
  if (Refused(output_choice, job != nullptr)) {
    Check(outcome == ConversionOutcome::Failed);
  } else {
    const std::string& written = ReadFile(output);
    if (written_ok) {
      Check(written != OLD_OUTPUT && !written.empty());
    } else {
      Check(written == OLD_OUTPUT);
    }
  }
  // The report and the sketch, as the command line writes them after a run that wrote.
  if (written_ok && dialog.request.run_checks) {
    const int choice = (head[7] >> 3) & 3;
    const fenwix::Status written = fenwix::WriteReportFile(
        dialog.run.check_report, Target(choice, "report.txt", job != nullptr).string());
    Check(written.ok() != Refused(choice, job != nullptr));
  }
  if (written_ok && (head[7] & 128) != 0) {
    const int choice = (head[7] >> 5) & 3;
    const fenwix::Status written =
        fenwix::WriteSketchSvg(fenwix::ConversionSketch(dialog.run),
                               Target(choice, "sketch.svg", job != nullptr).string());
    Check(written.ok() != Refused(choice, job != nullptr));
  }
  Check(ReadFile(input) == field_file);
  if (job != nullptr) Check(ReadFile(ScratchFolder() / "job.fenwix") == job_file);
  Check(OnlyInputAndOutput());
  for (const StationRecord& s : dialog.run.tables.stations()) {
    if (!s.coords_known) continue;
    for (double v : {s.latitude, s.longitude, s.height, s.north, s.east, s.elevation}) {
      Check(std::isfinite(v));
    }
  }
  return ui.not_computed;
}

// The job folder of the drawn paths and the folder beside it that no job output may reach.
struct PathFolders {
  fs::path job;
  fs::path outside;
};

const PathFolders& JobFolders() {
  static const PathFolders folders = [] {
    PathFolders made{ScratchFolder() / "paths" / "job", ScratchFolder() / "paths" / "outside"};
    fs::create_directories(made.job / "sub" / "deeper");
    fs::create_directories(made.outside);
    const auto link = [&made](const char* to, const char* name) {
      Check(symlink(to, (made.job / name).c_str()) == 0);
    };
    link("..", "up");
    link("../outside", "away");
    link(made.outside.c_str(), "abs");
    link("sub", "inner");
    link("loop", "loop");
    link("../outside/f.txt", "file.txt");
    link("../outside/none.txt", "dangle");
    WriteFile(made.outside / "f.txt", "outside\n");
    WriteFile(made.job / "in.xml", "<data/>\n");
    return made;
  }();
  return folders;
}

// The path text drawn from bytes: from 0xE0 up a piece, below it the byte itself.
std::string DrawnPath(std::string_view bytes) {
  static const char* const PIECES[] = {
      "..",          "../",     "/",      "./",        "up/",      "up",           "away/",
      "away",        "abs/",    "loop",   "file.txt",  "dangle",   "inner/",       "sub/",
      "sub/deeper/", "..\\",    " ",      "\t",        "\n",       "\r",           "\v",
      "\f",          "\x1b[2J", "\x07",   "\x7f",      "\xc2\xa0", "\xe3\x80\x80", "\xef\xbb\xbf",
      "//",          "x.txt",   "in.xml", "job.fenwix"};
  std::string path;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0xE0) {
      path += PIECES[byte - 0xE0];
    } else {
      path += c;
    }
  }
  return path;
}

// Text as a JSON string: quotes, backslashes and control characters escaped, other bytes as
// they are (bytes that are no UTF-8 make the job file unreadable, as they should).
std::string JsonText(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      static const char HEX[] = "0123456789abcdef";
      out += "\\u00";
      out += HEX[byte >> 4];
      out += HEX[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Whether the text can never be a path as written: empty, a blank or control character at an
// end, or a control character anywhere.
bool UnusablePathText(std::string_view text) {
  if (text.empty()) return true;
  const auto blank = [](char c) { return c == ' ' || static_cast<unsigned char>(c) < 0x20; };
  if (blank(text.front()) || blank(text.back())) return true;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return true;
  }
  return false;
}

// Where an absolute path lands once every link on the way, the last name's too, is followed,
// one name at a time: ".." of a real folder is its parent, ".." after a missing name drops that
// name (the system would refuse such a path; the answer is then the nearer one). Nothing when
// the links go round more than the system follows.
std::optional<fs::path> Landing(const fs::path& path) {
  std::vector<std::string> pending;
  for (const fs::path& part : path.relative_path()) pending.insert(pending.begin(), part.string());
  std::vector<std::string> done;
  for (int hops = 0; !pending.empty();) {
    const std::string name = pending.back();
    pending.pop_back();
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!done.empty()) done.pop_back();
      continue;
    }
    std::string at = "/";
    for (const std::string& d : done) at += d + "/";
    at += name;
    struct stat info {};
    if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      done.push_back(name);
      continue;
    }
    if (++hops > 40) return std::nullopt;
    char target[4096];
    const ssize_t size = readlink(at.c_str(), target, sizeof target);
    Check(size > 0 && size < static_cast<ssize_t>(sizeof target));
    const fs::path to(std::string(target, static_cast<size_t>(size)));
    if (to.is_absolute()) done.clear();
    std::vector<std::string> parts;
    for (const fs::path& part : to.relative_path()) parts.push_back(part.string());
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) pending.push_back(*part);
  }
  fs::path landed = "/";
  for (const std::string& d : done) landed /= d;
  return landed;
}

// A job file made around two drawn paths, read and applied as the command line does with no
// output of its own: see the head of this file for what aborts.
void CheckDrawnPaths(std::string_view bytes) {
  const PathFolders& folders = JobFolders();
  const std::string output = DrawnPath(bytes.substr(0, bytes.size() / 2));
  const std::string input = DrawnPath(bytes.substr(bytes.size() / 2));
  const std::string text = "{\"fenwix_project\": 1, \"inputs\": [{\"path\": " + JsonText(input) +
                           "}], \"output\": " + JsonText(output) + "}";
  const fenwix::Result<fenwix::Job> read = fenwix::ReadJobText(text, "job.fenwix");
  if (!read.ok()) return;
  const fenwix::Job& job = read.value();
  Check(!UnusablePathText(output) && !UnusablePathText(input));
  Check(job.output == output && job.inputs.size() == 1 && job.inputs[0].path == input);
  fenwix::ConversionRequest request;
  const std::string job_path = (folders.job / "job.fenwix").string();
  if (fenwix::ApplyJobFiles(job, job_path, false, request).failed()) return;
  const std::optional<fs::path> landed = Landing(fs::absolute(request.output_path));
  if (!landed) return;
  // The folder as the same walk finds it: the scratch folder's own way may hold a link.
  static const fs::path job_folder = Landing(folders.job).value();
  const fs::path inside = landed->lexically_relative(job_folder);
  Check(!inside.empty() && inside != "." && inside.begin()->string() != "..");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < HEAD) return 0;
  const size_t drawn = std::min<size_t>(data[size - 1] % 64, size - 1);
  CheckDrawnPaths(std::string_view(reinterpret_cast<const char*>(data + size - 1 - drawn), drawn));
  std::string_view document(reinterpret_cast<const char*>(data + HEAD), size - HEAD);
  std::optional<fenwix::Job> job;
  // The link to the field file is there from the start; a job file only when the input has one.
  static const bool linked = symlink("in.xml", (ScratchFolder() / "link.txt").c_str()) == 0;
  Check(linked);
  unlink((ScratchFolder() / "job.fenwix").c_str());
  if (const size_t split = document.rfind('\0'); split != std::string_view::npos) {
    const std::string job_text(document.substr(split + 1));
    document = document.substr(0, split);
    WriteFile(ScratchFolder() / "job.fenwix", job_text);
    fenwix::Result<fenwix::Job> read_job =
        fenwix::ReadJobFile((ScratchFolder() / "job.fenwix").string());
    if (read_job.ok()) {
      fenwix::Job& read = read_job.value();
      // What is written reads back as the same job, and writes as the same text.
      const std::string written = fenwix::FormatJobText(read);
      const fenwix::Result<fenwix::Job> again = fenwix::ReadJobText(written, "again");
      Check(again.ok() && again.value() == read && fenwix::FormatJobText(again.value()) == written);
      // Only the scratch input is read: a job may name any file, /dev/zero among them.
      bool scratch_only = true;
      for (const fenwix::JobInput& input : read.inputs) {
        scratch_only = scratch_only && fenwix::SameJobPath(input.path, "in.xml");
      }
      if (scratch_only) job = std::move(read);
    }
  }
  WriteFile(ScratchFolder() / "in.xml", document);
  // The seed: one of the stations the reader finds, or none.
  fenwix::SurveyTables tables;
  {
    fenwix::XmlContentHandler handler(tables);
    fenwix::SaxReader reader;
    reader.Attach(&handler);
    // One piece of the document's own size, not a 64 KiB buffer for a few hundred bytes.
    reader.set_chunk_size(document.size());
    // A document that breaks part-way still converts what came before the fault.
    (void)reader.ParseText(document);
  }
  std::string seed;
  if (tables.station_count() > 1) {
    seed = tables.stations()[1 + data[1] % (tables.station_count() - 1)].name;
  }
  const fenwix::Job* edits = job ? &*job : nullptr;
  const int budgeted = Convert(data, seed, fenwix::PROPAGATION_STEP_CAP, edits);
  if ((data[0] & 8) != 0) {
    // Without the budget every station the budgeted run reached is reached too.
    const int unbudgeted = Convert(data, seed, 0, edits);
    if (budgeted >= 0 && unbudgeted >= 0) Check(unbudgeted <= budgeted);
  }
  return 0;
}
