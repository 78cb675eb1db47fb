// The summary of a check for people and programs: text rows, one JSON
// document, or CSV rows for a spreadsheet.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "check.h"

namespace kovar::runner {

// Text rows, each ending in a newline, fields separated by tabs. The plain
// form gives one row per image: image, steps, stop reason, PASS or FAIL and
// the number of mismatches. A file of cases gives one row per image and
// case, with the case's name after the image.
std::string TextRows(const ImageResult& result, bool cases);

// The whole report as one JSON document, ending in a newline.
std::string JsonReport(const std::vector<ImageResult>& results);

// CSV (RFC 4180: fields quoted where needed, CRLF line ends, UTF-8): the
// header line, and one row per image and case.
std::string CsvHeader();
std::string CsvRows(const ImageResult& result);

// A JSON string literal with its quotes; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

} // namespace kovar::runner
