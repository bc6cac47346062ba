// The checks and texts around starting a submission run from the main window.
#pragma once

#include "core/urldb/url_database.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

inline constexpr const char* kEmptyEmailText =
    "Please enter an email address. All search engines require this.";
inline constexpr const char* kExampleEmail = "yourname@example.com";
inline constexpr const char* kNoUrlsText = "Enter at least 1 http:// address and click ADD.";
inline constexpr const char* kNoUrlsCaption = "No URLs to Submit";
inline constexpr const char* kFirewallTipText = "Quick Tip!\n\nIf you are behind a firewall, you should "
                                                "temporarily disable it before you begin submissions.";
inline constexpr const char* kFirewallTipCaption = "Sendwell!";

enum class EmailCheck { Ok, Empty, NoAt };
EmailCheck CheckSubmitEmail(std::string_view email);
// "Please enter a valid email address, in the form " + the example address.
std::string InvalidEmailText();

// True until the firewall tip has been shown once.
bool FirstTimeNoticeDue();
void RecordFirstTimeNoticeShown();

// The "Web URL" of every row, first to last.
std::vector<std::string> AllAddresses(const UrlDatabase& db);
// The "Web URL" of the given rows, in row order whatever order they come in.
std::vector<std::string> AddressesOfRows(const UrlDatabase& db, std::vector<std::size_t> rows);

} // namespace sendwell
