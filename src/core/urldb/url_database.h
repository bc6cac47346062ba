// The URL database: the user's addresses with their last-sent dates and submission counts, and the
// e-mail address. Every value reads as the text shown in its column, as the list shows it.
//
// A list may hold millions of rows, so rows are compact: every address's bytes sit in one text store
// per database (text_store.h), and a row holds where its address is plus its number, date and count in
// four bytes each. Dates in the list form and plain counts take no text at all; any other value is kept whole
// beside the rows.
#pragma once

#include "core/urldb/text_store.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// One row as its four cells read.
struct UrlRecord {
    std::string number;   // "#": 1-based row number as text; not stored in the file
    std::string url;      // "Web URL"
    std::string lastSent; // "Last Sent": "%m/%d/%Y" or ""
    std::string submits;  // "# Submits": decimal text, "0" for a new address
};

enum class ListColumn { Number = 0, WebUrl = 1, LastSent = 2, Submits = 3 };

class UrlDatabase {
    // "Last Sent" and "# Submits" are one word each: a date in the list form or a plain count is held
    // in the word itself, anything else is a slot of odd_ marked by the top bit.
    static constexpr std::uint32_t kOddValue = 0x80000000U;

    struct Row {
        std::uint64_t url = 0; // offset in text_
        std::uint32_t urlLength = 0;
        std::uint32_t number = 0;   // "#"
        std::uint32_t lastSent = 0; // 0: ""; else 1 + yyyymmdd, or an odd slot
        std::uint32_t submits = 0;  // the count, or an odd slot
    };

public:
    // The rows as records, built on demand: rows()[i].url, or a loop over every row.
    class RowsView {
    public:
        class iterator {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = UrlRecord;
            using difference_type = std::ptrdiff_t;
            using pointer = void;
            using reference = UrlRecord;
            iterator() = default;
            iterator(const UrlDatabase* db, std::size_t row) : db_(db), row_(row) {}
            UrlRecord operator*() const { return db_->Record(row_); }
            iterator& operator++() {
                ++row_;
                return *this;
            }
            iterator operator++(int) {
                iterator old = *this;
                ++row_;
                return old;
            }
            bool operator==(const iterator& other) const { return row_ == other.row_; }

        private:
            const UrlDatabase* db_ = nullptr;
            std::size_t row_ = 0;
        };

        explicit RowsView(const UrlDatabase& db) : db_(&db) {}
        std::size_t size() const { return db_->recordCount(); }
        bool empty() const { return size() == 0; }
        UrlRecord operator[](std::size_t row) const { return db_->Record(row); }
        iterator begin() const { return {db_, 0}; }
        iterator end() const { return {db_, size()}; }

    private:
        const UrlDatabase* db_;
    };

    RowsView rows() const { return RowsView(*this); }
    std::size_t recordCount() const { return rows_.size(); }

    // One row's cells; row must be below recordCount().
    UrlRecord Record(std::size_t row) const;
    // The "Web URL" text, valid until the next change of the database.
    std::string_view Url(std::size_t row) const { return text_.view(rows_[row].url, rows_[row].urlLength); }
    std::string CellText(std::size_t row, ListColumn column) const;

    const std::string& email() const { return email_; }
    void setEmail(std::string email) { email_ = std::move(email); }

    // Appends one record; "http://" goes in front when the text holds neither "http://" nor "https://".
    // False, and nothing appended, for an empty text.
    bool AppendUrl(std::string_view text);

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

    // The same in two steps, so that a window can do the work on another thread: PlanSort only reads
    // the database and makes the rows in their new order; ApplySort puts them in place, inverts the
    // direction flag and returns the order. Should the database change in between, ApplySort applies
    // the planned order to the rows as they are then.
    class SortPlan {
    public:
        const std::vector<std::uint32_t>& order() const { return order_; }

    private:
        friend class UrlDatabase;
        int column_ = -1;
        std::vector<std::uint32_t> order_;
        std::vector<Row, HugePageAllocator<Row>> rows_;
        std::uint64_t version_ = 0;
    };
    SortPlan PlanSort(int column) const;
    std::vector<std::uint32_t> ApplySort(SortPlan plan);

    // Load support: one record as read from the file.
    void AppendLoaded(std::string_view url, std::string_view lastSent, std::string_view submits);
    // Empties the rows and the e-mail address; the sort direction stays.
    void Clear();

private:
    // The data file's reader and writer work on the rows directly.
    friend class DatabaseFileAccess;

    // The word for a date line as the loader reads it (0 when it is not a date); exact tells whether
    // the line was already in the list form.
    static std::uint32_t PackDateLine(std::string_view line, bool& exact);
    std::uint32_t EncodeLastSent(std::string_view text, std::uint32_t previous);
    std::uint32_t EncodeSubmits(std::string_view text, std::uint32_t previous);
    std::string DecodeLastSent(std::uint32_t word) const;
    // Writes the ten characters of a date word (not an odd slot) in the list form.
    static void FormatListDate(std::uint32_t word, char* out);
    std::string DecodeSubmits(std::uint32_t word) const;
    // The odd slot for a new value, reusing the row's old one when it had one.
    std::uint32_t StoreOdd(std::string_view text, std::uint32_t previous);
    void AppendRow(std::string_view url, std::string_view lastSent, std::string_view submits);
    // Rebuilds the text store and the odd values from the rows that are left.
    void Compact();
    std::vector<std::uint32_t> SortOrder(int column) const;
    // Marks the rows as changed, so that a sort planned before cannot put back what they held.
    void Changed();

    std::vector<Row, HugePageAllocator<Row>> rows_;
    TextStore text_;
    std::vector<std::string> odd_;
    std::string email_;
    bool ascending_ = true;
    std::uint64_t version_ = 0;
};

} // namespace sendwell
