#include "gui/urldb/url_list_model.h"

#include "gui/base/background_work.h"
#include "gui/base/text_bytes.h"

#include <QStringList>
#include <algorithm>
#include <climits>
#include <new>
#include <utility>

namespace sendwell::gui {

namespace {

// Below this many rows a sort takes a few milliseconds, less than starting a thread would.
constexpr std::size_t kSortOnThreadRows = 50000;

} // namespace

UrlListModel::UrlListModel(sendwell::UrlDatabase& db, QObject* parent)
    : QAbstractTableModel(parent), db_(db) {}

UrlListModel::~UrlListModel() {
    // A sort still running writes its plan into this object: it ends before the members go.
    sortTask_.reset();
}

int UrlListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(std::min<std::size_t>(db_.recordCount(), static_cast<std::size_t>(INT_MAX)));
}

int UrlListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant UrlListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return ToQString(db_.CellText(static_cast<std::size_t>(index.row()),
                                      static_cast<sendwell::ListColumn>(index.column())));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return {};
    }
}

QVariant UrlListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        static const QStringList titles = {QStringLiteral("#"), QStringLiteral("Web URL"),
                                           QStringLiteral("Last Sent"), QStringLiteral("# Submits")};
        return titles.at(section);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

Qt::ItemFlags UrlListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

bool UrlListModel::setData(const QModelIndex&, const QVariant&, int) {
    return false;
}

sendwell::AddOutcome UrlListModel::addCommand(std::string_view addressText) {
    finishSort();
    // Ask the rules first, so the insertion can be announced before it happens.
    if (const sendwell::AddOutcome outcome = sendwell::CheckAddText(addressText);
        outcome != sendwell::AddOutcome::Appended) {
        return outcome;
    }
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    const sendwell::AddOutcome outcome = sendwell::AddCommand(db_, addressText);
    endInsertRows();
    return outcome;
}

std::size_t UrlListModel::appendUrls(const std::vector<std::string>& texts) {
    finishSort();
    const auto added = static_cast<std::size_t>(
        std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return !t.empty(); }));
    if (added == 0) {
        return 0;
    }
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(added) - 1);
    for (const std::string& text : texts) {
        db_.AppendUrl(text);
    }
    endInsertRows();
    return added;
}

long UrlListModel::removeRows(std::vector<std::size_t> rows) {
    finishSort();
    beginResetModel();
    const long select = db_.RemoveSelected(std::move(rows));
    endResetModel();
    return select;
}

std::vector<std::uint32_t> UrlListModel::sortByColumn(int column) {
    finishSort();
    return applySort(db_.PlanSort(column));
}

sendwell::UrlDatabase::SortPlan UrlListModel::planSort(int column) const {
    return db_.PlanSort(column);
}

std::vector<std::uint32_t> UrlListModel::applySort(sendwell::UrlDatabase::SortPlan plan) {
    if (plan.order().empty()) {
        return db_.ApplySort(std::move(plan)); // only the direction turns round
    }
    beginResetModel();
    std::vector<std::uint32_t> order = db_.ApplySort(std::move(plan));
    endResetModel();
    return order;
}

void UrlListModel::startSort(int column, SortReady ready) {
    queuedSorts_.push_back({column, std::move(ready)});
    if (!sortTask_) {
        startQueued();
    }
}

void UrlListModel::startQueued() {
    while (!sortTask_ && !queuedSorts_.empty()) {
        QueuedSort next = std::move(queuedSorts_.front());
        queuedSorts_.erase(queuedSorts_.begin());
        if (db_.recordCount() < kSortOnThreadRows) {
            sendwell::UrlDatabase::SortPlan plan;
            bool planned = true;
            try {
                plan = db_.PlanSort(next.column);
            } catch (const std::bad_alloc&) {
                planned = false;
            }
            next.ready(planned ? &plan : nullptr);
            emit sortFinished();
            continue;
        }
        // Only reads the database; every change of it waits until the plan is handed over. The end
        // is told by a queued call, which may arrive after finishSort has already handed this sort
        // over and the next one has started; that one is not handed over here.
        sortReady_ = std::move(next.ready);
        const std::uint64_t sort = ++sortCount_;
        sortTask_ = StartOffUiThread([this, column = next.column] { sortPlan_ = db_.PlanSort(column); }, this,
                                     [this, sort] {
                                         if (sort != sortCount_ || !sortTask_) {
                                             return;
                                         }
                                         if (sortHolds_ > 0) {
                                             handOverDue_ = true;
                                             return;
                                         }
                                         handOver();
                                     });
    }
    if (!sortTask_) {
        for (const std::function<void()>& change : std::exchange(afterSorts_, {})) {
            change();
        }
    }
}

void UrlListModel::handOver() {
    handOverDue_ = false;
    const std::unique_ptr<BackgroundTask> task = std::move(sortTask_);
    SortReady ready = std::exchange(sortReady_, nullptr);
    sendwell::UrlDatabase::SortPlan plan;
    bool planned = true;
    try {
        task->wait();
        plan = std::exchange(sortPlan_, {});
    } catch (const std::bad_alloc&) {
        planned = false; // no memory to sort in: the rows stay as they are
    }
    ready(planned ? &plan : nullptr);
    emit sortFinished();
    startQueued();
}

void UrlListModel::finishSort() {
    while (sortTask_) {
        handOver();
    }
}

UrlListModel::SortHold::~SortHold() {
    if (--model_->sortHolds_ == 0 && model_->handOverDue_) {
        model_->handOver();
    }
}

void UrlListModel::afterSorts(std::function<void()> change) {
    if (sortPending()) {
        afterSorts_.push_back(std::move(change));
    } else {
        change();
    }
}

void UrlListModel::markSubmitted(std::size_t row, std::string_view today) {
    finishSort();
    if (row >= db_.recordCount()) {
        return;
    }
    db_.MarkSubmitted(row, today);
    const int r = static_cast<int>(row);
    emit dataChanged(index(r, 2), index(r, 3), {Qt::DisplayRole});
}

void UrlListModel::markSubmittedAddresses(const std::vector<std::string>& addresses, std::string_view today) {
    // By address, so the rows' order does not matter and the marks may wait for a sort.
    afterSorts([this, addresses, today = std::string(today)] {
        db_.MarkSubmittedAddresses(addresses, today);
        if (rowCount() > 0) {
            emit dataChanged(index(0, 2), index(rowCount() - 1, 3), {Qt::DisplayRole});
        }
    });
}

void UrlListModel::markAllSubmitted(std::string_view today) {
    afterSorts([this, today = std::string(today)] {
        for (std::size_t r = 0; r < db_.recordCount(); ++r) {
            db_.MarkSubmitted(r, today);
        }
        if (rowCount() > 0) {
            emit dataChanged(index(0, 2), index(rowCount() - 1, 3), {Qt::DisplayRole});
        }
    });
}

} // namespace sendwell::gui
