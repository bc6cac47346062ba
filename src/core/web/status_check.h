// The web site status check: one GET of an address, reporting its HTTP status in words. It follows no
// redirect, asks for no password, reads no body and does not take the network lock.
#pragma once

#include "core/web/page_fetcher.h"

#include <atomic>
#include <string>

namespace sendwell {

inline constexpr const char* kStatusReportCaption = "Web Site Status";
inline constexpr const char* kContactingUrlText = "Contacting URL";

// Sends one GET to address ("http://" in front when it has no scheme) with the page fetch's header
// block, connection's proxy choice and the given limits, and returns the HTTP status, or -1 when none
// was obtained; statusText receives the words. Setting stop from another thread cancels the request.
int CheckUrlStatus(const std::string& address, std::string& statusText,
                   const ConnectionSettings& connection = {}, const TransferLimits& limits = {},
                   const std::atomic<bool>* stop = nullptr);

// The words for an HTTP status: the class text followed by the reason for the common codes.
std::string StatusCodeText(int status);

// The report shown to the user: "Web Site Status Report\n\nCode <code>\n\n<text>".
std::string StatusReportText(int code, const std::string& statusText);

} // namespace sendwell
