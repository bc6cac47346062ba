// The database list: a report-style list of the URL database with full-row multi-selection, the
// selection kept visible without focus, and an optional background picture drawn once, not tiled.
#pragma once

#include <QPixmap>
#include <QTableView>
#include <cstddef>
#include <vector>

namespace sendwell::gui {

class UrlListView : public QTableView {
    Q_OBJECT
public:
    // Initial column widths in pixels: "#", "Web URL", "Last Sent", "# Submits".
    static constexpr int kColumnWidths[4] = {20, 336, 100, 60};
    // Where the background picture sits, as fractions of the free space across and down.
    static constexpr double kPictureX = 0.50;
    static constexpr double kPictureY = 0.38;

    explicit UrlListView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    void setBackgroundPicture(const QPixmap& picture);
    const QPixmap& backgroundPicture() const { return picture_; }
    // Top-left corner of the picture in viewport coordinates for the current viewport size.
    QPoint backgroundPicturePosition() const;

    // Selected rows in ascending order, taken from the selection ranges.
    std::vector<std::size_t> selectedRows() const;
    bool hasSelectedRow() const;
    // Selects exactly these rows (ascending), merging neighbours into ranges.
    void selectRows(const std::vector<std::size_t>& rows);

    // The "#" column grows so that every row number shows whole.
    int numberColumnWidthNeeded() const;

signals:
    // A double-click anywhere in the list (on a row or on empty space).
    void listDoubleClicked();
    // The selection or the rows changed.
    void itemsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void fitNumberColumn();

    QPixmap picture_;
};

} // namespace sendwell::gui
