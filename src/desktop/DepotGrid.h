// The census grid: one line per listed structure with all its data, under a three-band heading,
// drawn through a back buffer kept for the grid's life. Only the visible rows are drawn.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <array>
#include <functional>
#include <vector>

#include "register/StructureList.h"

namespace desktop {

// The columns of the grid: the identifier, the location, the activities, the areas and the counts.
constexpr int kGridColumns = 54;

// Column widths and the horizontal layout derived from them (pixels, before scrolling).
struct GridLayout {
    int h = 0;  // row height
    int wN = 0, wU = 0, wL = 0, wC = 0, wP = 0;
    std::array<int, 7> wA{};
    int wSP = 0, wSM = 0, wST = 0, wCP = 0, wCM = 0, wCT = 0, wS = 0, wR = 0;
    // Derived.
    int XL = 0, WL = 0, XA = 0, WA = 0, XS = 0, WS = 0, XC = 0, WC = 0, XF = 0, B = 0, G = 0, T = 0;

    void Derive();
    // Left edge and width of every cell column, in drawing order (identifier first), and whether the
    // column's separator closes a block.
    struct Column {
        int left;
        int width;
        bool closesBlock;
    };
    std::vector<Column> Columns() const;
};

// The drawing font: "Arial" 8 points, bold.
QFont GridFont();

// A text laid out in the grid's font, kept for the next drawings: for a screen, and once printed, as
// the glyphs a printer draws without laying the text out again.
struct LaidOutText {
    QStaticText shown;
    int width = 0;
    QList<QGlyphRun> glyphs;
    bool hasGlyphs = false;
};
using LaidOutTexts = QHash<QString, LaidOutText>;
LaidOutText& LaidOut(LaidOutTexts& kept, const QString& text);

// What one drawing of the grid shows.
struct GridView {
    int first = 0;     // the first row drawn, under the heading bands
    int count = 0;     // how many rows
    int current = -1;  // the highlighted row, or none
    int dx = 0;        // how far the columns are moved (minus the horizontal scroll)
    int width = 0;     // the width drawn
    QFont font = GridFont();
    bool glyphs = false;  // texts drawn as glyphs (on a printer)
};
// Draws the heading bands and the rows of `view` in the grid's font, colours and rules, at the top
// left of the painter.
void DrawGrid(QPainter& p, const GridLayout& layout, const reg::CDepotRowList& rows, const GridView& view,
              LaidOutTexts& laidOut);
// A cell's text as the grid paints it; empty where nothing shows.
QString GridCellText(const reg::CDepotRowList& rows, int row, int column);
// The widths of the columns and the row height for these rows in the grid's font.
GridLayout MeasureGridLayout(const reg::CDepotRowList& rows);

class CDepotGrid : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // `list` holds the rows; `onSelection` is told which row is selected after every painting.
    CDepotGrid(reg::StructureList& list, QWidget* parent);

    // Recomputes the widths and the row height from the headings and the rows.
    void MeasureGrid();
    const GridLayout& Layout() const { return layout_; }

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
    void ScrollHorizontally(int position);
    // Makes `row` the current row, shown at the top of the grid, when the grid is next painted (before
    // its first painting it does not know how many rows it shows).
    void MakeCurrentWhenPainted(int row) { pendingCurrent_ = row; }

    // Called with the command id of a context-menu entry or key.
    std::function<void(int command)> onCommand;
    // Called after each painting (the selection box follows the current row).
    std::function<void()> onPainted;
    // The context menu for the current state, as shown at a right click.
    void ShowContextMenu(const QPoint& globalPosition);

    // Paints the grid into an image of the viewport's size (what the window shows).
    QImage Snapshot();

    // What the grid shows, as text: a cell as painted (an empty count or a missing activity is
    // empty), a column's title in the third band, the titles of the bands above it as words.
    int RowCount() const { return static_cast<int>(list_.Rows().size()); }
    QString CellText(int row, int column) const;
    static QString ColumnTitle(int column);
    static QStringList ColumnBands(int column);
    static int CellAlignment(int column);
    // The screen rectangle of a cell of a visible row (row -1: the column's title); empty otherwise.
    QRect CellRect(int row, int column) const;

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
    GridLayout layout_;
    QPixmap back_;
    LaidOutTexts laidOut_;  // a step of the wheel lays out only what it brings into view
    int first_ = 0;
    int visible_ = 0;
    int xPos_ = 0;
    int current_ = 0;
    int pendingCurrent_ = -1;  // the row made current, until the painting knows how many rows fit
    bool updatingBars_ = false;
    int announced_ = -1;      // the current row assistive technologies were last told of
    int announcedRows_ = -1;  // and the row count then
};

// A title drawn letter-spaced ("S u p e r f i c i   C o p e r t e") as the words it reads.
QString ReadableTitle(const QString& drawn);

}  // namespace desktop
