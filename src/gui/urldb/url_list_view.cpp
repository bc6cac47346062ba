#include "gui/urldb/url_list_view.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <utility>

namespace sendwell::gui {

UrlListView::UrlListView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setAlternatingRowColors(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    // Uniform row heights keep a list of a million rows as cheap as a short one.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    rows->setMinimumSectionSize(1);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setMinimumSectionSize(1);

    // The selection stays as visible when the list loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
}

void UrlListView::setModel(QAbstractItemModel* model) {
    if (this->model() != nullptr) {
        disconnect(this->model(), nullptr, this, nullptr);
    }
    if (selectionModel() != nullptr) {
        disconnect(selectionModel(), nullptr, this, nullptr);
    }
    QTableView::setModel(model);
    for (int c = 0; c < 4 && model != nullptr && c < model->columnCount(); ++c) {
        horizontalHeader()->resizeSection(c, kColumnWidths[c]);
    }
    if (model == nullptr) {
        return;
    }
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &UrlListView::itemsChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &UrlListView::itemsChanged);
    connect(model, &QAbstractItemModel::rowsInserted, this, &UrlListView::itemsChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &UrlListView::itemsChanged);
    connect(model, &QAbstractItemModel::dataChanged, this, &UrlListView::itemsChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &UrlListView::fitNumberColumn);
    connect(model, &QAbstractItemModel::rowsInserted, this, &UrlListView::fitNumberColumn);
    fitNumberColumn();
}

int UrlListView::numberColumnWidthNeeded() const {
    const int rows = model() != nullptr ? model()->rowCount() : 0;
    // No row number is longer than the row count; size for that many of the widest digit.
    const QFontMetrics metrics(font());
    int digitWidth = 0;
    for (char d = '0'; d <= '9'; ++d) {
        digitWidth = std::max(digitWidth, metrics.horizontalAdvance(QLatin1Char(d)));
    }
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return digitWidth * static_cast<int>(QString::number(rows).size()) + 2 * margin + 2;
}

void UrlListView::fitNumberColumn() {
    if (model() == nullptr || model()->columnCount() == 0) {
        return;
    }
    // Widened only: a column the user made wider stays so, and short lists keep the usual width.
    const int needed = numberColumnWidthNeeded();
    if (horizontalHeader()->sectionSize(0) < needed) {
        horizontalHeader()->resizeSection(0, needed);
    }
}

void UrlListView::setBackgroundPicture(const QPixmap& picture) {
    picture_ = picture;
    viewport()->update();
}

QPoint UrlListView::backgroundPicturePosition() const {
    const QSize area = viewport()->size();
    const int x = static_cast<int>(std::lround((area.width() - picture_.width()) * kPictureX));
    const int y = static_cast<int>(std::lround((area.height() - picture_.height()) * kPictureY));
    return {x, y};
}

std::vector<std::size_t> UrlListView::selectedRows() const {
    std::vector<std::size_t> rows;
    if (selectionModel() == nullptr || model() == nullptr) {
        return rows;
    }
    const int count = model()->rowCount();
    // Ranges may overlap or come in any order; merge them as intervals rather than visiting indexes.
    std::vector<std::pair<int, int>> spans;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (!range.isValid()) {
            continue;
        }
        const int top = std::max(0, range.top());
        const int bottom = std::min(count - 1, range.bottom());
        if (top <= bottom) {
            spans.emplace_back(top, bottom);
        }
    }
    std::sort(spans.begin(), spans.end());
    int next = 0; // first row not yet emitted
    for (const auto& [top, bottom] : spans) {
        for (int r = std::max(top, next); r <= bottom; ++r) {
            rows.push_back(static_cast<std::size_t>(r));
        }
        next = std::max(next, bottom + 1);
    }
    return rows;
}

bool UrlListView::hasSelectedRow() const {
    if (selectionModel() == nullptr || model() == nullptr) {
        return false;
    }
    const int count = model()->rowCount();
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.isValid() && range.bottom() >= 0 && range.top() < count) {
            return true;
        }
    }
    return false;
}

void UrlListView::selectRows(const std::vector<std::size_t>& rows) {
    if (selectionModel() == nullptr || model() == nullptr) {
        return;
    }
    const int lastColumn = model()->columnCount() - 1;
    QItemSelection selection;
    std::size_t i = 0;
    while (i < rows.size()) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) {
            ++j;
        }
        selection.select(model()->index(static_cast<int>(rows[i]), 0),
                         model()->index(static_cast<int>(rows[j]), lastColumn));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void UrlListView::paintEvent(QPaintEvent* event) {
    if (!picture_.isNull()) {
        QPainter painter(viewport());
        painter.drawPixmap(backgroundPicturePosition(), picture_);
    }
    QTableView::paintEvent(event);
}

void UrlListView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    // The picture stays put while the rows scroll, so the shifted pixels cannot be reused.
    if (!picture_.isNull()) {
        viewport()->update();
    }
}

void UrlListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit listDoubleClicked();
    }
}

} // namespace sendwell::gui
