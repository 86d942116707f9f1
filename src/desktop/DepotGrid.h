// The census grid: one line per listed structure with all its data, under a three-band heading,
// drawn through a back buffer of a band of rows kept for the grid's life. Only the visible rows are drawn;
// the drawing itself is CGridRenderer's.
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
    // The current cell's column: with the current row, where the keyboard stands.
    int CurrentColumn() const { return column_; }
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
    // Called before what is told of the whole list (the row count, the cells) to assistive
    // technologies: the rows not yet read are read first.
    std::function<void()> onWholeListNeeded;
    void NeedWholeList() const {
        if (onWholeListNeeded) {
            onWholeListNeeded();
        }
    }
    // The context menu for the current state, as shown at a right click.
    void ShowContextMenu(const QPoint& globalPosition, bool fromKeyboard = false);
    // From the keyboard (the Menu key, Shift+F10): at the current row.
    void ShowContextMenuAtCurrentRow();
    // Right and Left: the current cell moves one column, the picture following it into view.
    void StepColumn(int step);
    // Makes a column the current cell's, scrolled into view; repaints.
    void MakeCurrentColumn(int column);
    // Tells assistive technologies, of the current cell, what the list window has just done to its row
    // (`notice`, said once), or only the row's state anew (deleted, changed).
    void Announce(const QString& notice = {});

    // Paints the grid into an image of the viewport's size (what the window shows).
    QImage Snapshot();

    // What the grid shows, for assistive technologies: the rows, a cell's text as painted (an empty
    // count or a missing activity is empty), what a cell's row has undergone ("eliminata",
    // "modificata", and what was announced of the current cell), and where a cell of a visible row
    // (row -1: the column's title) stands on the screen, empty where it is out of view. After each
    // painting that loaded new rows or moved the current cell, the grid sends the table's interface a
    // model reset and then the selection (and, with the keyboard, the focus) of the current cell.
    int RowCount() const { return static_cast<int>(list_.Rows().size()); }
    QString CellText(int row, int column) const;
    QString CellDescription(int row, int column) const;
    QRect CellRect(int row, int column) const;
    // The column the current cell is in when the list opens: the location.
    static constexpr int kFirstColumn = 1;

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
    void focusOutEvent(QFocusEvent* event) override;

  private:
    // What a painting of the viewport's rectangle `client` shows (the rows that fit, the current row
    // kept among them, the scroll bars set to them).
    GridView PrepareView(const QRect& client);
    // Paints the parts of the grid in `region`; then the list is told which row is selected.
    void PaintParts(QPainter& p, GridView view, const QRegion& region);
    void SelectShown(const GridView& view);
    // Shows the rows moved from `oldFirst` (and the current row from `oldCurrent`): the rows already
    // painted are moved, and only those brought into view and those whose look changed are painted, at
    // once or `now`. A move of a screen or more paints the whole grid.
    void ShowMoved(int oldFirst, int oldCurrent, bool now);
    // Makes a row current with the first row moved by `shift` first (a page up or down).
    void MoveCurrent(int row, int shift);
    void ClampVertical();
    void UpdateScrollBars(int clientWidth);
    // Tells an assistive technology that the current row changed (or the rows were loaded anew).
    void AnnounceCurrent();
    // Tells assistive technologies which cells of the current row came into view, or went out of it,
    // as the columns moved sideways from `oldPosition`.
    void TellShowing(int oldPosition);
    // Where a column's cell begins and ends across the grid (before scrolling).
    int ColumnLeft(int column) const;
    int ColumnRight(int column) const;

    reg::StructureList& list_;
    CGridRenderer renderer_;
    QPixmap back_;
    int first_ = 0;
    int visible_ = 0;
    int xPos_ = 0;
    int current_ = 0;
    int column_ = kFirstColumn;
    int pendingCurrent_ = -1;  // the row made current, until the painting knows how many rows fit
    bool updatingBars_ = false;
    int announced_ = -1;        // the current row assistive technologies were last told of
    int announcedColumn_ = -1;  // and its column
    int announcedRows_ = -1;    // and the row count then
    QString notice_;            // what was last announced of the current cell, until it moves
};

}  // namespace desktop
