// The URL database: the user's addresses with their last-sent dates and submission counts, and the
// e-mail address. Every value is kept as the text shown in its column, as the list shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

struct UrlRecord {
    std::string number;   // "#": 1-based row number as text; not stored in the file
    std::string url;      // "Web URL"
    std::string lastSent; // "Last Sent": "%m/%d/%Y" or ""
    std::string submits;  // "# Submits": decimal text, "0" for a new address
};

enum class ListColumn { Number = 0, WebUrl = 1, LastSent = 2, Submits = 3 };

// What the Add command asks the window to do.
enum class AddOutcome {
    Nothing,    // 2 characters or fewer
    InvalidUrl, // no "." -> show the "Invalid URL" message, keep the field's text
    Appended    // row appended; empty the address field
};

// The Add command's answer to a text without a dot.
inline constexpr const char* kInvalidUrlText =
    "Please enter a complete URL. An example is http://www.example.com";
inline constexpr const char* kInvalidUrlCaption = "Invalid URL";

class UrlDatabase {
public:
    const std::vector<UrlRecord>& rows() const { return rows_; }
    std::size_t recordCount() const { return rows_.size(); }

    const std::string& email() const { return email_; }
    void setEmail(std::string email) { email_ = std::move(email); }

    // Appends one record; "http://" goes in front when the text holds neither "http://" nor "https://".
    // False, and nothing appended, for an empty text.
    bool AppendUrl(std::string text);

    // The Add button's logic on the address field's text.
    AddOutcome AddCommand(std::string_view addressText);

    // Deletes the rows at the given indices (any order, duplicates ignored), renumbers "#".
    // Returns the row to select afterwards: 0 when rows remain, else -1.
    long RemoveSelected(std::vector<std::size_t> selected);

    // One more submission of a row, dated today ("%m/%d/%Y").
    void MarkSubmitted(std::size_t row, std::string_view today);
    // Marks every row whose "Web URL" equals one of the addresses (case-sensitive).
    void MarkSubmittedAddresses(const std::vector<std::string>& addresses, std::string_view today);

    // Header click: sorts by the column's rule in the current direction, then inverts the shared
    // direction flag (also for "# Submits", which does not reorder). Returns the new order as old row
    // indices (new row i was old row order[i]); empty when the rows did not move.
    std::vector<std::uint32_t> SortByColumn(int column);
    bool sortAscending() const { return ascending_; }

    // Load support: room for this many rows, then one record as read from the file.
    void Reserve(std::size_t rowCount) { rows_.reserve(rowCount); }
    void AppendLoaded(std::string url, std::string lastSent, std::string submits);
    // Empties the rows and the e-mail address; the sort direction stays.
    void Clear();

private:
    std::vector<UrlRecord> rows_;
    std::string email_;
    bool ascending_ = true;
};

// Today's local date as "%m/%d/%Y".
std::string TodayText();
// The current local time in a strftime format (at most 63 characters of result).
std::string LocalTimeText(const char* format);

// The "Last Sent" text for a date line as read from the file: a valid date is written "%m/%d/%Y",
// anything else gives "".
std::string NormalizeDateLine(std::string_view line);

} // namespace sendwell
