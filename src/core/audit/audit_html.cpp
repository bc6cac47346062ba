#include "core/audit/audit_report.h"

namespace sendwell {

std::string WriteAuditHtml(const AuditReport& report) {
    return "<!DOCTYPE html><title>Site audit</title><pre>" + std::to_string(report.findings.size()) +
           "</pre>\n";
}

} // namespace sendwell
