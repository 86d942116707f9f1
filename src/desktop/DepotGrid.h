// The census grid: one line per listed structure with all its data, under a three-band heading,
// drawn through a back buffer kept for the grid's life. Only the visible rows are drawn; the drawing
// itself is CGridRenderer's.
#pragma once

#include <QAbstractScrollArea>
#include <QPixmap>
#include <functional>

#include "desktop/GridRenderer.h"
#include "register/StructureList.h"

namespace desktop {

class CDepotGrid : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // `list` holds the rows; `onSelection` is told which row is selected after every painting.
    CDepotGrid(reg::StructureList& list, QWidget* parent);

    // Recomputes the widths and the row height from the headings and the rows.
    void MeasureGrid();
    const GridLayout& Layout() const { return renderer_.Layout(); }

    // The interaction state.
    int FirstVisible() const { return first_; }
    int VisibleRows() const { return visible_; }
    int CurrentRow() const { return current_; }
    int HorizontalPosition() const { return xPos_; }
    // The row under a point of the viewport, clamped as a click is; repaints.
    void SelectAt(int y);
    void ScrollRows(int delta);
    void ScrollTo(int first);
    // Makes a row current, scrolling it into view; repaints.
    void MakeCurrent(int row);
    // Makes `row` the current row, shown at the top of the grid, when the grid is next painted (before
    // its first painting it does not know how many rows it shows).
    void MakeCurrentWhenPainted(int row) { pendingCurrent_ = row; }

    // Called with the command id of a context-menu entry or key.
    std::function<void(int command)> onCommand;
    // Called after each painting (the selection box follows the current row).
    std::function<void()> onPainted;
    // The context menu for the current state, as shown at a right click.
    void ShowContextMenu(const QPoint& globalPosition);
    // From the keyboard (the Menu key, Shift+F10): at the current row.
    void ShowContextMenuAtCurrentRow();
    // Right and Left: the picture moves one column.
    void StepColumn(int step);

    // Paints the grid into an image of the viewport's size (what the window shows).
    QImage Snapshot();

    // What the grid shows, for assistive technologies: the rows, a cell's text as painted (an empty
    // count or a missing activity is empty), and where a cell of a visible row (row -1: the column's
    // title) stands on the screen, empty otherwise. After each painting that loaded new rows or moved
    // the current row, the grid sends the table's interface a model reset and then the selection (and,
    // with the keyboard, the focus) of the current row's cell in kFollowedColumn.
    int RowCount() const { return static_cast<int>(list_.Rows().size()); }
    QString CellText(int row, int column) const;
    QRect CellRect(int row, int column) const;
    // The cell a screen reader follows: the location of the current row.
    static constexpr int kFollowedColumn = 1;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    void PaintGrid(QPainter& p, const QRect& client);
    void ClampVertical();
    void UpdateScrollBars(int clientWidth);
    // Tells an assistive technology that the current row changed (or the rows were loaded anew).
    void AnnounceCurrent();

    reg::StructureList& list_;
    CGridRenderer renderer_;
    QPixmap back_;
    int first_ = 0;
    int visible_ = 0;
    int xPos_ = 0;
    int current_ = 0;
    int pendingCurrent_ = -1;  // the row made current, until the painting knows how many rows fit
    bool updatingBars_ = false;
    int announced_ = -1;      // the current row assistive technologies were last told of
    int announcedRows_ = -1;  // and the row count then
};

}  // namespace desktop
