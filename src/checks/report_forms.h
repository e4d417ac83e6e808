#pragma once
// The three forms of the check report, as text: a fixed-width listing (.txt), a page that
// opens in any browser without scripts or other files (.html), and JSON for scripts (.json).
//
// JSON shape (every key always present):
//   { "job": string, "summary": string or null, "weighting": [ { "profile": string, ... } ],
//     "limit_origins": [ { "limits": [ string, ... ], "rule": string,
//                          "multiple": number or null, "sigma": number or null,
//                          "value": number or null, "text": string } ],
//     "flagged_rows": integer,
//     "checks": [ { "name": string, "title": string, "rule": string,
//                   "limits": { limit name: number, ... },
//                   "columns": [ string, ... ], "flagged": integer, "unlisted_rows": integer,
//                   "unlisted_flagged": boolean,
//                   "rows": [ { "stations": [ string, ... ],
//                               "values": { column: number or null, ... },
//                               "lines": [ integer, ... ], "files": [ string, ... ],
//                               "observations": [ integer, ... ],
//                               "note": string, "ratio": number or null,
//                               "flagged": boolean } ] } ] }
// "lines" and "files" go in pairs: the k-th reading of a row is at line lines[k] (0 when not
// known) of the field file files[k], named as it was given; "job" names every field file, in
// reading order, separated by ", ". "observations" are rows of the observation table (the
// order records are written in, counted from 1); "ratio" is the worst value over its limit.
// "flagged" counts the unlisted rows too when "unlisted_flagged" is true (reading warnings past
// those kept in full); otherwise the unlisted rows are passing rows past the listing cap.
// "limit_origins" says where each limit in force came from: "rule" is "profile" (k × σ of the
// compared quantity from the instrument profile: "multiple" k, "sigma" σ in the limit's unit),
// "covariances" (k × σ of each row's misfit from its vectors' covariances: σ varies by row and
// "sigma" and "value" are null unless every row has the same), "hand" (a limits file) or
// "fixed"; "value" is the limit in force where it is one number. A check's "limits" hold null
// for a limit without one value.
// "summary" is the adjustment test's one line (global test, σ̂0, group factors, rejections),
// null when the test did not run. The test adds the check "adjustment" (its summary rows, then
// each rejected observation: columns "w" (the whole observation's w-test value), "r" (the
// redundancy number), "MDB" and "error" (the minimal detectable bias and the estimated error
// −v/r, in arc-seconds or millimetres), flagged, its "ratio" |w| over the critical value) and
// the check "uncontrolled" (observations whose "r" is below 0.1: a blunder in them cannot be
// found). Rejected observations open "suspects" with the same note; a total-station record's
// row gives the one reading farthest from the adjusted network in "lines" and "files".

#include <string>
#include <string_view>

#include "checks/check_report.h"
#include "model/status.h"

namespace fenwix {

enum class ReportForm { Text, Html, Json };

// The form named by the extension of path (".txt", ".html" or ".htm", ".json", any letter
// case); false for any other.
bool ReportFormOf(std::string_view path, ReportForm& form);

std::string ReportText(const CheckReport& report);
std::string ReportHtml(const CheckReport& report);
std::string ReportJson(const CheckReport& report);
std::string FormatReport(const CheckReport& report, ReportForm form);

// Writes the report in the form its extension names. A refusal names the extension; a write
// failure gives the system's message.
Status WriteReportFile(const CheckReport& report, const std::string& path);

// A JSON string of the text: quotes, backslashes and control characters (DEL too) escaped.
std::string JsonString(std::string_view text);

}  // namespace fenwix
