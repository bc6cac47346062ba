// The site audit's report in every format it is written in: a text summary for a terminal, JSON (one
// document with "pages" and "issues"), CSV and Markdown of the issues, JUnit (one test case per check),
// and one self-contained HTML file with a chart, for a browser and for print.
#pragma once

#include "core/audit/site_audit.h"

#include <optional>
#include <string>
#include <string_view>

namespace sendwell {

enum class AuditFormat { Text, Json, Csv, Junit, Markdown, Html };

// "text", "json", "csv", "junit", "markdown", "html"; nullopt for any other name.
std::optional<AuditFormat> AuditFormatNamed(std::string_view name);

std::string WriteAuditReport(const AuditReport& report, AuditFormat format);

// The HTML report alone: inline styles and an inline SVG chart of issues by severity and category,
// nothing fetched from elsewhere.
std::string WriteAuditHtml(const AuditReport& report);

} // namespace sendwell
