#include "checks/report_forms.h"
#include "model/station_names.h"
#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <fmt/format.h>

namespace fenwix {

namespace {

// Widths of the text listing's columns.
constexpr size_t STATIONS_WIDTH = 26;
constexpr size_t VALUE_WIDTH = 12;
// Station names shown per row in the text and HTML forms; JSON lists them all.
constexpr size_t NAMES_SHOWN = 12;

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
    text += where;
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
  return std::to_string(section.unlisted_rows) + (section.unlisted_flagged
                                                      ? " more flagged rows, counted but not listed"
                                                      : " more rows within their limits");
}

// A limit without one value (it follows each row's covariance, or each file's instrument) is
// said at the head.
std::string LimitsText(const CheckSection& section) {
  std::string text;
  std::string at_head;
  for (const auto& [name, value] : section.limits) {
    if (std::isnan(value)) {
      at_head += (at_head.empty() ? "" : ", ") + name;
      continue;
    }
    // A limit from σ to a hundredth, one set by hand as written.
    std::string shown = fmt::format("{:.2f}", value);
    while (shown.back() == '0') shown.pop_back();
    if (shown.back() == '.') shown.pop_back();
    text += (text.empty() ? "" : ", ") + name + " = " + shown;
  }
  if (at_head.empty()) return text;
  return text + (text.empty() ? "" : "; ") + at_head + " as the head says";
}

std::string Padded(std::string text, size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string pad(width - text.size(), ' ');
  return right ? pad + text : text + pad;
}

std::string HtmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
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

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      out += fmt::format("\\u{:04x}", static_cast<unsigned>(byte));
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  return fmt::format("{}", value);
}

std::string JsonOptional(const std::optional<double>& value) {
  return value ? JsonNumber(*value) : std::string("null");
}

std::string WeightingJson(const NamedWeightProfile& named) {
  const InstrumentProfile& t = named.profile.instrument;
  const GnssProfile& g = named.profile.gnss;
  return fmt::format(
      "{{\"profile\": {}, \"angle_sd\": {}, \"zenith_sd\": {}, \"distance_sd_mm\": {}, "
      "\"distance_ppm\": {}, \"instrument_centering_mm\": {}, \"target_centering_mm\": {}, "
      "\"gnss_scale\": {}, \"gnss_horizontal_centering_mm\": {}, "
      "\"gnss_vertical_centering_mm\": {}, \"gnss_fallback_sd_mm\": {}}}",
      JsonString(named.name), JsonNumber(t.angle_sd), JsonNumber(t.zenith_sd),
      JsonNumber(t.distance_sd_mm), JsonNumber(t.distance_ppm), JsonNumber(t.instrument_centering),
      JsonNumber(t.target_centering), JsonNumber(g.scale), JsonNumber(g.horizontal_centering),
      JsonNumber(g.vertical_centering), JsonOptional(g.fallback_sd));
}

std::string LimitOriginJson(const LimitOrigin& origin) {
  std::string names;
  for (const std::string& name : origin.limits) {
    names += (names.empty() ? "" : ", ") + JsonString(name);
  }
  return fmt::format(
      "{{\"limits\": [{}], \"rule\": {}, \"multiple\": {}, \"sigma\": {}, \"value\": {}, "
      "\"text\": {}}}",
      names, JsonString(LimitRuleName(origin.rule)), JsonNumber(origin.multiple),
      JsonNumber(origin.sigma), JsonNumber(origin.value), JsonString(origin.text));
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
  if (!report.summary.empty()) out += report.summary + "\n";
  out += "Job: " + report.job + "\n";
  for (const NamedWeightProfile& named : report.weighting) {
    out += "Weighting (" + named.name + "): " + DescribeProfile(named.profile) + "\n";
  }
  if (!report.limit_origins.empty()) out += "Limits:\n";
  for (const LimitOrigin& origin : report.limit_origins) out += "  " + origin.text + "\n";
  out += fmt::format("Flagged rows: {}\n\n", report.FlaggedRows());
  out += fmt::format("{:<48}{:>10}{:>10}\n", "Check", "Rows", "Flagged");
  const std::vector<std::string> labels = FileLabels(report.files);
  for (const CheckSection& section : report.sections) {
    out += fmt::format("{:<48}{:>10}{:>10}\n", section.title,
                       static_cast<int64_t>(section.rows.size()) + section.unlisted_rows,
                       section.FlaggedTotal());
  }
  for (const CheckSection& section : report.sections) {
    out += "\n" + section.title + "\n" + std::string(section.title.size(), '=') + "\n";
    out += "Flagged when: " + section.rule + "\n";
    if (!section.limits.empty()) out += "Limits: " + LimitsText(section) + "\n";
    if (section.rows.empty()) {
      out += "No rows.\n";
      continue;
    }
    std::string head = "   " + Padded("Stations", STATIONS_WIDTH, false);
    for (const CheckColumn& column : section.columns)
      head += Padded(column.name, VALUE_WIDTH, true);
    out += head + "  XML lines  Note\n";
    for (const CheckRow& row : section.rows) {
      std::string line = row.flagged ? "*  " : "   ";
      line += Padded(JoinStations(row, " - "), STATIONS_WIDTH, false);
      for (size_t c = 0; c < section.columns.size(); ++c) {
        const double value = c < row.values.size() ? row.values[c] : std::nan("");
        line += Padded(Value(value, section.columns[c].decimals), VALUE_WIDTH, true);
      }
      line += "  " + Padded(JoinSources(row, labels), 9, false) + "  " + row.note + RatioText(row);
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
  std::string out = "{\n  \"job\": " + JsonString(report.job) + ",\n";
  out += "  \"summary\": " +
         (report.summary.empty() ? std::string("null") : JsonString(report.summary)) + ",\n";
  out += "  \"weighting\": [";
  for (size_t k = 0; k < report.weighting.size(); ++k) {
    out += (k == 0 ? "" : ", ") + WeightingJson(report.weighting[k]);
  }
  out += "],\n  \"limit_origins\": [";
  for (size_t k = 0; k < report.limit_origins.size(); ++k) {
    out += (k == 0 ? "\n    " : ",\n    ") + LimitOriginJson(report.limit_origins[k]);
  }
  out += report.limit_origins.empty() ? "],\n" : "\n  ],\n";
  out += fmt::format("  \"flagged_rows\": {},\n  \"checks\": [", report.FlaggedRows());
  for (size_t s = 0; s < report.sections.size(); ++s) {
    const CheckSection& section = report.sections[s];
    out += s == 0 ? "\n" : ",\n";
    out += "    {\"name\": " + JsonString(section.name) +
           ", \"title\": " + JsonString(section.title) +
           ",\n     \"rule\": " + JsonString(section.rule) + ",\n     \"limits\": {";
    for (size_t k = 0; k < section.limits.size(); ++k) {
      out += (k == 0 ? "" : ", ") + JsonString(section.limits[k].first) + ": " +
             JsonNumber(section.limits[k].second);
    }
    out += "},\n     \"columns\": [";
    for (size_t c = 0; c < section.columns.size(); ++c) {
      out += (c == 0 ? "" : ", ") + JsonString(section.columns[c].name);
    }
    out += fmt::format(
        "],\n     \"flagged\": {}, \"unlisted_rows\": {}, \"unlisted_flagged\": {},\n     "
        "\"rows\": [",
        section.FlaggedTotal(), section.unlisted_rows, section.unlisted_flagged);
    for (size_t r = 0; r < section.rows.size(); ++r) {
      const CheckRow& row = section.rows[r];
      out += r == 0 ? "\n" : ",\n";
      out += "      {\"stations\": [";
      for (size_t k = 0; k < row.stations.size(); ++k) {
        out += (k == 0 ? "" : ", ") + JsonString(row.stations[k]);
      }
      out += "], \"values\": {";
      for (size_t c = 0; c < section.columns.size(); ++c) {
        const double value = c < row.values.size() ? row.values[c] : std::nan("");
        out +=
            (c == 0 ? "" : ", ") + JsonString(section.columns[c].name) + ": " + JsonNumber(value);
      }
      out += "}, \"lines\": [";
      for (size_t k = 0; k < row.sources.size(); ++k) {
        out += fmt::format("{}{}", k == 0 ? "" : ", ", row.sources[k].line);
      }
      out += "], \"files\": [";
      for (size_t k = 0; k < row.sources.size(); ++k) {
        const size_t file = static_cast<size_t>(row.sources[k].file);
        out += (k == 0 ? "" : ", ") +
               JsonString(file < report.files.size() ? report.files[file] : std::string());
      }
      out += "], \"observations\": [";
      for (size_t k = 0; k < row.observations.size(); ++k) {
        out += fmt::format("{}{}", k == 0 ? "" : ", ", row.observations[k]);
      }
      out += "], \"note\": " + JsonString(row.note) +
             ", \"ratio\": " + (row.ratio > 0.0 ? JsonNumber(row.ratio) : std::string("null")) +
             ", \"flagged\": " + (row.flagged ? "true" : "false") + "}";
    }
    out += section.rows.empty() ? "]}" : "\n     ]}";
  }
  out += "\n  ]\n}\n";
  return out;
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

std::string WriteReportFile(const CheckReport& report, const std::string& path) {
  ReportForm form = ReportForm::Text;
  if (!ReportFormOf(path, form)) return "the name must end in .txt, .html or .json";
  // Through a temporary file: a full disk leaves the previous report whole.
  if (const int error = WriteWholeFile(path, FormatReport(report, form))) {
    return SystemErrorText(error);
  }
  return std::string();
}

}  // namespace fenwix
