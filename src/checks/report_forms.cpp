#include "checks/report_forms.h"
#include "model/station_names.h"
#include "model/text_excerpt.h"
#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"
#include "weights/weight_fields.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace fenwix {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      out += fmt::format("\\u{:04x}", static_cast<unsigned>(byte));
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {

// Widths of the text listing's columns.
constexpr size_t STATIONS_WIDTH = 26;
constexpr size_t VALUE_WIDTH = 12;
// Station names shown per row in the text and HTML forms; JSON lists them all.
constexpr size_t NAMES_SHOWN = 12;

// Text that may come from a field file or a job file (names, file names, reasons, limits' names)
// on one line of the text or HTML form: control characters, line ends included, show escaped,
// so that a report shown on a terminal is read, not obeyed.
std::string OneLine(std::string_view text) {
  return EscapeControls(text, LineEnds::Escape);
}

std::string Value(double value, int decimals) {
  if (std::isnan(value)) return std::string();
  // No "-0.0" for a value that rounds to zero.
  if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0.0;
  return fmt::format("{:.{}f}", value, decimals);
}

std::string JoinStations(const CheckRow& row, std::string_view separator) {
  std::string text;
  const size_t shown = std::min(row.stations.size(), NAMES_SHOWN);
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) text += separator;
    // A name read from a field file may hold a line end, which would break the listing.
    text += VisibleName(row.stations[i], std::string::npos);
  }
  if (row.stations.size() > shown) {
    text += fmt::format("{}and {} more", separator, row.stations.size() - shown);
  }
  return text;
}

// Where the row's readings are: lines in a one-file job, "file:line" with several files.
std::string JoinSources(const CheckRow& row, const std::vector<std::string>& labels) {
  std::string text;
  for (const SourceLocation& source : row.sources) {
    const std::string where = SourceText(source, labels);
    if (where.empty()) continue;
    if (!text.empty()) text += ',';
    text += OneLine(where);
  }
  return text;
}

std::string RatioText(const CheckRow& row) {
  if (!row.flagged || !(row.ratio > 0.0)) return std::string();
  if (std::isinf(row.ratio)) return " (limit 0)";
  return fmt::format(" ({:.1f} x limit)", row.ratio);
}

// The count of rows a section does not list, and what they are.
std::string UnlistedText(const CheckSection& section) {
  const bool one = section.unlisted_rows == 1;
  return std::to_string(section.unlisted_rows) +
         (section.unlisted_flagged
              ? (one ? " more flagged row, counted but not listed"
                     : " more flagged rows, counted but not listed")
              : (one ? " more row within its limits" : " more rows within their limits"));
}

// A limit without one value (it follows each row's covariance, or each file's instrument) is
// said at the head.
std::string LimitsText(const CheckSection& section) {
  std::string text;
  std::string at_head;
  for (const auto& [name, value] : section.limits) {
    if (std::isnan(value)) {
      at_head += (at_head.empty() ? "" : ", ") + OneLine(name);
      continue;
    }
    // A limit from σ to a hundredth, one set by hand as written.
    std::string shown = fmt::format("{:.2f}", value);
    while (shown.back() == '0') shown.pop_back();
    if (shown.back() == '.') shown.pop_back();
    text += (text.empty() ? "" : ", ") + OneLine(name) + " = " + shown;
  }
  if (at_head.empty()) return text;
  return text + (text.empty() ? "" : "; ") + at_head + " as the head says";
}

std::string Padded(std::string text, size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string pad(width - text.size(), ' ');
  return right ? pad + text : text + pad;
}

// Markup characters as entities, control characters as by OneLine.
// A value column's text: right-aligned, and one as wide as its column or wider still keeps a
// blank from its neighbour, so that two wide numbers never read as one.
std::string ValueColumn(std::string text) {
  if (text.size() >= VALUE_WIDTH) return " " + text;
  return Padded(std::move(text), VALUE_WIDTH, true);
}

std::string HtmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : OneLine(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The JSON form is built as a document, then written in the layout scripts and people diff:
// the top object one member a line; the arrays below one element a line; inside a check, the
// members below open a line. Everything else stays on its parent's line, apart by ", ".
using Json = nlohmann::ordered_json;

struct ArrayLines {
  std::string_view key;
  size_t element_indent;
  size_t close_indent;
  bool closes_on_a_line_when_empty;
};
constexpr ArrayLines ARRAY_LINES[] = {
    {"limit_origins", 4, 2, false}, {"checks", 4, 2, true}, {"rows", 6, 5, false}};

// Members that open a line in an element of the array named first.
struct MemberLine {
  std::string_view array;
  std::string_view key;
  size_t indent;
};
constexpr MemberLine MEMBER_LINES[] = {{"checks", "rule", 5},
                                       {"checks", "limits", 5},
                                       {"checks", "columns", 5},
                                       {"checks", "flagged", 5},
                                       {"checks", "rows", 5}};

// A number in the document: null when it is none (NaN) or infinite.
Json Number(double value) {
  return std::isfinite(value) ? Json(value) : Json(nullptr);
}

void WriteJson(const Json& value, std::string_view key, std::string_view within, std::string& out);

// Scalars as the shortest text that reads back the same (a whole double without ".0"), and
// strings byte for byte but for quotes, backslashes and control characters.
void WriteScalar(const Json& value, std::string& out) {
  switch (value.type()) {
    case Json::value_t::string:
      out += JsonString(value.get_ref<const std::string&>());
      break;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case Json::value_t::number_integer:
      out += fmt::format("{}", value.get<int64_t>());
      break;
    case Json::value_t::number_unsigned:
      out += fmt::format("{}", value.get<uint64_t>());
      break;
    case Json::value_t::number_float:
      out += fmt::format("{}", value.get<double>());
      break;
    default:
      out += "null";
  }
}

void WriteArray(const Json& array, std::string_view key, std::string& out) {
  const auto lines = std::find_if(std::begin(ARRAY_LINES), std::end(ARRAY_LINES),
                                  [key](const ArrayLines& l) { return l.key == key; });
  out += '[';
  for (size_t k = 0; k < array.size(); ++k) {
    if (lines == std::end(ARRAY_LINES)) {
      if (k > 0) out += ", ";
    } else {
      out += k == 0 ? "\n" : ",\n";
      out.append(lines->element_indent, ' ');
    }
    WriteJson(array[k], std::string_view(), key, out);
  }
  if (lines != std::end(ARRAY_LINES) && (!array.empty() || lines->closes_on_a_line_when_empty)) {
    out += '\n';
    out.append(lines->close_indent, ' ');
  }
  out += ']';
}

void WriteObject(const Json& object, std::string_view within, std::string& out) {
  out += '{';
  bool first = true;
  for (const auto& [name, member] : object.items()) {
    if (!first) {
      const auto line = std::find_if(
          std::begin(MEMBER_LINES), std::end(MEMBER_LINES),
          // A structured binding is captured by name: older compilers refuse it.
          [within, &key = name](const MemberLine& l) { return l.array == within && l.key == key; });
      if (line == std::end(MEMBER_LINES)) {
        out += ", ";
      } else {
        out += ",\n";
        out.append(line->indent, ' ');
      }
    }
    first = false;
    out += JsonString(name) + ": ";
    WriteJson(member, name, std::string_view(), out);
  }
  out += '}';
}

// value is the member key of its object, or an element of the array within.
void WriteJson(const Json& value, std::string_view key, std::string_view within, std::string& out) {
  if (value.is_array()) {
    WriteArray(value, key, out);
  } else if (value.is_object()) {
    WriteObject(value, within, out);
  } else {
    WriteScalar(value, out);
  }
}

Json WeightingJson(const NamedWeightProfile& named) {
  Json json = Json::object();
  json["profile"] = named.name;
  for (const WeightField& field : WEIGHT_FIELDS) {
    const std::optional<double> value = field.Value(named.profile);
    json[std::string(field.report_key)] = value ? Number(*value) : Json(nullptr);
  }
  return json;
}

Json LimitOriginJson(const LimitOrigin& origin) {
  Json json = Json::object();
  json["limits"] = origin.limits;
  json["rule"] = LimitRuleName(origin.rule);
  json["multiple"] = Number(origin.multiple);
  json["sigma"] = Number(origin.sigma);
  json["value"] = Number(origin.value);
  json["text"] = origin.text;
  return json;
}

Json RowJson(const CheckRow& row, const CheckSection& section,
             const std::vector<std::string>& files) {
  Json json = Json::object();
  json["stations"] = row.stations;
  Json values = Json::object();
  for (size_t c = 0; c < section.columns.size(); ++c) {
    values[section.columns[c].name] = Number(c < row.values.size() ? row.values[c] : NAN);
  }
  json["values"] = std::move(values);
  Json lines = Json::array();
  Json named = Json::array();
  for (const SourceLocation& source : row.sources) {
    lines.push_back(source.line);
    const size_t file = static_cast<size_t>(source.file);
    named.push_back(file < files.size() ? files[file] : std::string());
  }
  json["lines"] = std::move(lines);
  json["files"] = std::move(named);
  json["observations"] = row.observations;
  json["note"] = row.note;
  json["ratio"] = row.ratio > 0.0 ? Number(row.ratio) : Json(nullptr);
  json["flagged"] = row.flagged;
  if (row.diagnosis) {
    const RowDiagnosis& d = *row.diagnosis;
    Json diagnosis = Json::object();
    diagnosis["kind"] = d.kind;
    if (!d.fits.empty()) diagnosis["fits"] = d.fits;
    if (std::isfinite(d.typed) && std::isfinite(d.likely)) {
      diagnosis["typed"] = Number(d.typed);
      diagnosis["likely"] = Number(d.likely);
      diagnosis["unit"] = d.unit;
    }
    json["diagnosis"] = std::move(diagnosis);
  }
  return json;
}

Json SectionJson(const CheckSection& section, const std::vector<std::string>& files) {
  Json json = Json::object();
  json["name"] = section.name;
  json["title"] = section.title;
  json["rule"] = section.rule;
  Json limits = Json::object();
  for (const auto& [name, value] : section.limits) limits[name] = Number(value);
  json["limits"] = std::move(limits);
  Json columns = Json::array();
  for (const CheckColumn& column : section.columns) columns.push_back(column.name);
  json["columns"] = std::move(columns);
  json["flagged"] = section.FlaggedTotal();
  json["unlisted_rows"] = section.unlisted_rows;
  json["unlisted_flagged"] = section.unlisted_flagged;
  Json rows = Json::array();
  for (const CheckRow& row : section.rows) rows.push_back(RowJson(row, section, files));
  json["rows"] = std::move(rows);
  return json;
}

}  // namespace

bool ReportFormOf(std::string_view path, ReportForm& form) {
  // Standard output takes the text form.
  if (path == STANDARD_OUTPUT_NAME) {
    form = ReportForm::Text;
    return true;
  }
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return false;
  std::string extension(path.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "txt") {
    form = ReportForm::Text;
  } else if (extension == "html" || extension == "htm") {
    form = ReportForm::Html;
  } else if (extension == "json") {
    form = ReportForm::Json;
  } else {
    return false;
  }
  return true;
}

std::string ReportText(const CheckReport& report) {
  std::string out;
  out += "Fenwix check report\n";
  if (!report.summary.empty()) out += OneLine(report.summary) + "\n";
  out += "Job: " + OneLine(report.job) + "\n";
  for (const NamedWeightProfile& named : report.weighting) {
    out += "Weighting (" + OneLine(named.name) + "): " + OneLine(DescribeProfile(named.profile)) +
           "\n";
  }
  if (!report.limit_origins.empty()) out += "Limits:\n";
  for (const LimitOrigin& origin : report.limit_origins) out += "  " + OneLine(origin.text) + "\n";
  out += fmt::format("Flagged rows: {}\n\n", report.FlaggedRows());
  out += fmt::format("{:<48}{:>10}{:>10}\n", "Check", "Rows", "Flagged");
  const std::vector<std::string> labels = FileLabels(report.files);
  for (const CheckSection& section : report.sections) {
    out += fmt::format("{:<48}{:>10}{:>10}\n", OneLine(section.title),
                       static_cast<int64_t>(section.rows.size()) + section.unlisted_rows,
                       section.FlaggedTotal());
  }
  for (const CheckSection& section : report.sections) {
    const std::string title = OneLine(section.title);
    out += "\n" + title + "\n" + std::string(title.size(), '=') + "\n";
    out += "Flagged when: " + OneLine(section.rule) + "\n";
    if (!section.limits.empty()) out += "Limits: " + LimitsText(section) + "\n";
    if (section.rows.empty()) {
      out += "No rows.\n";
      continue;
    }
    std::string head = "   " + Padded("Stations", STATIONS_WIDTH, false);
    for (const CheckColumn& column : section.columns) head += ValueColumn(OneLine(column.name));
    out += head + "  XML lines  Note\n";
    for (const CheckRow& row : section.rows) {
      std::string line = row.flagged ? "*  " : "   ";
      line += Padded(JoinStations(row, " - "), STATIONS_WIDTH, false);
      for (size_t c = 0; c < section.columns.size(); ++c) {
        const double value = c < row.values.size() ? row.values[c] : std::nan("");
        line += ValueColumn(Value(value, section.columns[c].decimals));
      }
      line += "  " + Padded(JoinSources(row, labels), 9, false) + "  " + OneLine(row.note) +
              RatioText(row);
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out += line + "\n";
    }
    if (section.unlisted_rows > 0) {
      out += fmt::format("   ... and {}\n", UnlistedText(section));
    }
  }
  return out;
}

std::string ReportHtml(const CheckReport& report) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
      "<title>Fenwix check report</title>\n<style>\n"
      "body { font-family: sans-serif; margin: 1em; }\n"
      "table { border-collapse: collapse; margin-bottom: 1.5em; }\n"
      "th, td { border: 1px solid #bbb; padding: 2px 6px; }\n"
      "th { background: #e8e8e8; }\n"
      "td.num { text-align: right; font-family: monospace; }\n"
      "tr.flagged td { background: #ffd6d0; }\n"
      "p.rule { color: #444; margin: 0.2em 0; }\n"
      "</style>\n</head>\n<body>\n";
  out += "<h1>Fenwix check report</h1>\n";
  if (!report.summary.empty()) {
    out += "<p id=\"adjustment-summary\">" + HtmlEscaped(report.summary) + "</p>\n";
  }
  out += "<p>Job: " + HtmlEscaped(report.job) + "</p>\n";
  for (const NamedWeightProfile& named : report.weighting) {
    out += "<p class=\"weighting\">Weighting (" + HtmlEscaped(named.name) +
           "): " + HtmlEscaped(DescribeProfile(named.profile)) + "</p>\n";
  }
  if (!report.limit_origins.empty()) {
    out += "<p class=\"limits\">Limits:</p>\n<ul class=\"limits\">\n";
    for (const LimitOrigin& origin : report.limit_origins) {
      out += fmt::format("<li data-rule=\"{}\">{}</li>\n", LimitRuleName(origin.rule),
                         HtmlEscaped(origin.text));
    }
    out += "</ul>\n";
  }
  out += fmt::format("<p id=\"flagged-rows\">Flagged rows: {}</p>\n", report.FlaggedRows());
  const std::vector<std::string> labels = FileLabels(report.files);
  out += "<table class=\"summary\">\n<tr><th>Check</th><th>Rows</th><th>Flagged</th></tr>\n";
  for (const CheckSection& section : report.sections) {
    const int64_t flagged = section.FlaggedTotal();
    out += fmt::format(
        "<tr{}><td><a href=\"#{}\">{}</a></td><td class=\"num\">{}</td>"
        "<td class=\"num\">{}</td></tr>\n",
        flagged > 0 ? " class=\"flagged\"" : "", section.name, HtmlEscaped(section.title),
        static_cast<int64_t>(section.rows.size()) + section.unlisted_rows, flagged);
  }
  out += "</table>\n";
  for (const CheckSection& section : report.sections) {
    out += fmt::format("<h2 id=\"{}\">{}</h2>\n", section.name, HtmlEscaped(section.title));
    out += "<p class=\"rule\">Flagged when: " + HtmlEscaped(section.rule) + "</p>\n";
    if (!section.limits.empty()) {
      out += "<p class=\"rule\">Limits: " + HtmlEscaped(LimitsText(section)) + "</p>\n";
    }
    if (section.rows.empty()) {
      out += "<p>No rows.</p>\n";
      continue;
    }
    out += fmt::format("<table class=\"check\" data-check=\"{}\">\n<tr><th>Stations</th>",
                       section.name);
    for (const CheckColumn& column : section.columns) {
      out += "<th>" + HtmlEscaped(column.name) + "</th>";
    }
    out += "<th>XML lines</th><th>Note</th></tr>\n";
    for (const CheckRow& row : section.rows) {
      out += row.flagged ? "<tr class=\"flagged\">" : "<tr>";
      out += "<td>" + HtmlEscaped(JoinStations(row, ", ")) + "</td>";
      for (size_t c = 0; c < section.columns.size(); ++c) {
        const double value = c < row.values.size() ? row.values[c] : std::nan("");
        out += "<td class=\"num\">" + Value(value, section.columns[c].decimals) + "</td>";
      }
      out += "<td>" + HtmlEscaped(JoinSources(row, labels)) + "</td><td>" +
             HtmlEscaped(row.note + RatioText(row)) + "</td></tr>\n";
    }
    out += "</table>\n";
    if (section.unlisted_rows > 0) {
      out += fmt::format("<p>... and {}.</p>\n", UnlistedText(section));
    }
  }
  out += "</body>\n</html>\n";
  return out;
}

std::string ReportJson(const CheckReport& report) {
  Json json = Json::object();
  json["job"] = report.job;
  json["summary"] = report.summary.empty() ? Json(nullptr) : Json(report.summary);
  Json weighting = Json::array();
  for (const NamedWeightProfile& named : report.weighting) {
    weighting.push_back(WeightingJson(named));
  }
  json["weighting"] = std::move(weighting);
  Json origins = Json::array();
  for (const LimitOrigin& origin : report.limit_origins) {
    origins.push_back(LimitOriginJson(origin));
  }
  json["limit_origins"] = std::move(origins);
  json["flagged_rows"] = report.FlaggedRows();
  Json checks = Json::array();
  for (const CheckSection& section : report.sections) {
    checks.push_back(SectionJson(section, report.files));
  }
  json["checks"] = std::move(checks);

  std::string out = "{";
  for (const auto& [name, member] : json.items()) {
    out += out.size() == 1 ? "\n  " : ",\n  ";
    out += JsonString(name) + ": ";
    WriteJson(member, name, std::string_view(), out);
  }
  // One observation a line: kept as text, so that a large job's report is not held twice.
  if (!report.adjustment_test.empty()) out += ",\n  \"adjustment_test\": " + report.adjustment_test;
  return out + "\n}\n";
}

std::string FormatReport(const CheckReport& report, ReportForm form) {
  switch (form) {
    case ReportForm::Html:
      return ReportHtml(report);
    case ReportForm::Json:
      return ReportJson(report);
    case ReportForm::Text:
    default:
      return ReportText(report);
  }
}

Status WriteReportFile(const CheckReport& report, const std::string& path) {
  ReportForm form = ReportForm::Text;
  if (!ReportFormOf(path, form))
    return Status::Refused("the name must end in .txt, .html or .json");
  // Through a temporary file: a full disk leaves the previous report whole.
  if (const int error = WriteWholeFile(path, FormatReport(report, form))) {
    // A name the guarded write refuses (a field file, an XML document) has a negative number.
    return Status(error < 0 ? StatusKind::Refused : StatusKind::WriteFailed,
                  SystemErrorText(error));
  }
  return Status();
}

}  // namespace fenwix
