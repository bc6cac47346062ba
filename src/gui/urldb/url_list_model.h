// The database list's model: a view of the URL database, which stays the only copy of the rows.
// Every change to the database made while a view is attached goes through here, so views stay in step.
#pragma once

#include "core/urldb/add_command.h"
#include "core/urldb/url_database.h"

#include <QAbstractTableModel>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell::gui {

class BackgroundTask;

class UrlListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 4;

    explicit UrlListModel(sendwell::UrlDatabase& db, QObject* parent = nullptr);
    ~UrlListModel() override;

    sendwell::UrlDatabase& database() { return db_; }
    const sendwell::UrlDatabase& database() const { return db_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The "#" label may be edited in place, but the row number never changes that way.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The Add button's logic on the address text, with the new row announced to the views.
    sendwell::AddOutcome addCommand(std::string_view addressText);
    // Appends every non-empty text; returns how many rows were added.
    std::size_t appendUrls(const std::vector<std::string>& texts);
    // Deletes the given rows; returns the row to select afterwards (0, or -1 when none remain).
    long removeRows(std::vector<std::size_t> rows);
    // Sorts as a header click does; returns the new order as old row indices (empty: nothing moved).
    std::vector<std::uint32_t> sortByColumn(int column);
    // The same in two steps: planSort only reads the database, so it may run on another thread;
    // applySort then puts the rows in place and turns the direction round.
    sendwell::UrlDatabase::SortPlan planSort(int column) const;
    std::vector<std::uint32_t> applySort(sendwell::UrlDatabase::SortPlan plan);

    // A header click's sort with the order worked out on another thread while the UI thread goes on
    // (a short list is sorted at once). ready gets the plan on the UI thread and applies it with
    // applySort; it gets nullptr when there was no memory to sort in. A click while a sort runs is
    // queued behind it, and sorts the rows as the one before left them. Marks by address wait for the
    // sorts without holding the window up; any other change of the rows made meanwhile through this
    // model first waits for them and has them applied, so the change lands as it would after them.
    using SortReady = std::function<void(sendwell::UrlDatabase::SortPlan* plan)>;
    void startSort(int column, SortReady ready);
    bool sortPending() const { return sortTask_ != nullptr || !queuedSorts_.empty(); }
    // Waits for the pending sorts, if any, and hands their plans over.
    void finishSort();

    // While a hold lasts, a sort that ends is not handed over: the rows stay in the order a command
    // that works on them started with (its modal windows let the window's events run meanwhile).
    class SortHold {
    public:
        explicit SortHold(UrlListModel& model) : model_(&model) { ++model.sortHolds_; }
        ~SortHold();
        SortHold(const SortHold&) = delete;
        SortHold& operator=(const SortHold&) = delete;

    private:
        UrlListModel* model_;
    };

    void markSubmitted(std::size_t row, std::string_view today);
    void markSubmittedAddresses(const std::vector<std::string>& addresses, std::string_view today);
    // Every row, first to last, with one change announced for all of them.
    void markAllSubmitted(std::string_view today);

    // For whole-database changes made elsewhere (e.g. loading): views start over afterwards.
    template <typename Change>
    void resetWith(Change&& change) {
        finishSort();
        beginResetModel();
        change(db_);
        endResetModel();
    }

signals:
    // A sort of startSort has been handed over.
    void sortFinished();

private:
    struct QueuedSort {
        int column;
        SortReady ready;
    };
    // The ended sort's plan to its ready, then the next queued sort started, or once none is left,
    // the marks that waited for them.
    void handOver();
    // Starts the queued sorts in turn until one runs on another thread or none is left.
    void startQueued();
    // Runs change at once, or after the pending sorts when there are any.
    void afterSorts(std::function<void()> change);

    sendwell::UrlDatabase& db_;
    std::unique_ptr<BackgroundTask> sortTask_;
    sendwell::UrlDatabase::SortPlan sortPlan_;
    SortReady sortReady_;
    std::uint64_t sortCount_ = 0;
    std::vector<QueuedSort> queuedSorts_;
    std::vector<std::function<void()>> afterSorts_;
    int sortHolds_ = 0;
    bool handOverDue_ = false;
};

} // namespace sendwell::gui
