// The census grid's drawing, on a window and on paper alike: the columns' widths and the line height
// measured from the rows in the grid's font, the three heading bands and the rows drawn with any
// painter, and the texts laid out once and kept for the next drawings. What each cell shows and what
// each column is called are here too. CDepotGrid draws the rows in view on its back buffer through a
// renderer; CCensusPrint draws the rows of each page.
#pragma once

#include <QCache>
#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QRect>
#include <QStaticText>
#include <QStringList>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "census/Structure.h"
#include "register/StructureList.h"

class QPainter;

namespace desktop {

// The columns of the grid: the identifier, then a structure's columns in their stored order (the
// location, the activities, the areas and the counts).
constexpr int kGridColumns = 1 + static_cast<int>(census::kRecordFields);
constexpr int kFirstActivityColumn = 1 + static_cast<int>(census::kFirstFlag);
constexpr int kFirstCountColumn = 1 + static_cast<int>(census::kFirstCount);

// The drawing font: "Arial" 8 points, bold.
QFont GridFont();

// Column widths and the layout derived from them (pixels, before scrolling).
struct GridLayout {
    int h = 0;  // the height of a line of text
    int wN = 0, wU = 0, wL = 0, wC = 0, wP = 0;
    std::array<int, census::kFlagCount> wA{};
    int wSP = 0, wSM = 0, wST = 0, wCP = 0, wCM = 0, wCT = 0, wS = 0, wR = 0;
    // Derived.
    int XL = 0, WL = 0, XA = 0, WA = 0, XS = 0, WS = 0, XC = 0, WC = 0, XF = 0, B = 0, G = 0, T = 0;
    // Every cell column in drawing order (identifier first): where its text stands, where the rule
    // that closes it stands, and whether that rule closes a block of columns too.
    struct Column {
        int left;
        int width;
        int rule;
        bool closesBlock;
    };
    std::vector<Column> columns;

    // Works out the derived positions and the columns from the widths.
    void Derive();

    // Each heading band is a line of text and 6 pixels high; each row a line and 4. Row i (counted from
    // the first one drawn) lies between the rules at RowTop(i) and RowTop(i + 1).
    int BandHeight() const { return h + 6; }
    int HeadingsHeight() const { return 3 * BandHeight(); }
    int RowPitch() const { return h + 4; }
    int RowTop(int i) const { return HeadingsHeight() + i * RowPitch(); }
    // From the left edge to the grid's last rule.
    int Width() const { return T + 5; }
    // Where the text of a column stands: in the band of the column headings (row -1) or in row i.
    QRect TextRect(int column, int row) const;
};

// What one drawing of the grid shows.
struct GridView {
    int first = 0;     // the first row drawn, under the heading bands
    int count = 0;     // how many rows
    int current = -1;  // the highlighted row, or none
    int dx = 0;        // how far the columns are moved (minus the horizontal scroll)
    int left = 0;      // where the drawing begins across
    int width = 0;     // where it ends (the width drawn from the left edge)
    // The band of pixel lines drawn, ends included: the heading bands only where it reaches above the
    // rule under them, and only the rows it crosses (a window repainting the rows a scroll brought
    // into view).
    int top = 0;
    int bottom = std::numeric_limits<int>::max();
    QFont font = GridFont();

    bool glyphs = false;  // texts drawn as glyphs (on a printer)
    // Each text drawn as glyphs cut to the part of its cell between `left` and `width`, and elided to
    // it, instead of being drawn whole under a clip (on paper, where a clipped text would still be in
    // the file).
    bool cutTexts = false;
};

class CGridRenderer {
  public:
    CGridRenderer();
    // Measures the widths of the columns and the line height for these rows in the grid's font.
    void Measure(const reg::CDepotRowList& rows);
    const GridLayout& Layout() const { return layout_; }

    // Draws the heading bands and the rows of `view` in the grid's colours and rules, at the top left
    // of the painter.
    void Draw(QPainter& p, const reg::CDepotRowList& rows, const GridView& view);

  private:
    // A text laid out in the grid's font for a screen.
    struct LaidOutText {
        QStaticText shown;
        int width = 0;
    };
    LaidOutText& LaidOut(const QString& text);
    // A text as a printer draws it: its width in the grid's font, and its glyphs in the font of the
    // drawing, laid out once for every page that shows it.
    struct PrintedText {
        int width = 0;
        QList<QGlyphRun> glyphs;
    };
    static PrintedText LayOut(const QString& text, const QFont& font);
    const PrintedText& Printed(const QString& text, const QFont& font);
    // The letters in the font of the printed texts: a text is drawn as its letters side by side, not
    // laid out, when that font lays out every letter alone as one glyph and a row of all of them (and
    // of the pairs a font may join or move) so (the grid's font draws without kerning).
    struct PrintedLetters {
        bool prepared = false;
        bool sideBySide = false;
        QRawFont font;
        // By letter (LetterIndex): its glyph (0 where it is not drawn side by side), its advance and how
        // far it reaches past it, ending a text (NaN until a text ends with it).
        std::vector<quint32> glyphs;
        std::vector<qreal> advances;
        std::vector<qreal> overhangs;
        qreal baseline = 0;
    };
    // Makes `font` the one of the printed texts.
    void PrintIn(const QFont& font);
    // The width of a text drawn side by side, or nothing when it cannot be.
    std::optional<int> SideBySideWidth(const QString& text);
    // How far a letter reaches past its advance, ending a text.
    qreal Overhang(int letter);

    // The texts of a row's cells laid out for a screen, made once while the row is among those kept:
    // a row drawn again (brought back into view, or its colour changed) is not read and laid out anew.
    struct LaidOutRow {
        std::uint64_t list = 0;  // made from this list (CDepotRowList::Generation) and row texts
        std::uint32_t texts = 0;
        std::array<QStaticText, kGridColumns> shown;  // a null text where the cell shows nothing
        std::array<int, kGridColumns> widths{};
    };
    const LaidOutRow& RowLaidOut(const reg::CDepotRowList& rows, int index);

    GridLayout layout_;
    QHash<QString, LaidOutText> laidOut_;  // a step of the wheel lays out only what it brings into view
    QCache<int, LaidOutRow> rowsLaidOut_;  // by row index
    QHash<QString, PrintedText> printed_;
    QFont printedFont_;  // the font the glyphs of printed_ are in
    PrintedLetters letters_;
};

// A cell's text as the grid paints it; empty where nothing shows (an empty count, a missing activity).
QString GridCellText(const reg::CDepotRowList& rows, int row, int column);
// A column's title in the third band; the titles of the bands above it, as words.
QString GridColumnTitle(int column);
QStringList GridColumnBands(int column);
// How a column's texts are aligned in their cells (Qt::AlignLeft, AlignRight or AlignHCenter).
int GridCellAlignment(int column);

// A title drawn letter-spaced ("S u p e r f i c i   C o p e r t e") as the words it reads.
QString ReadableTitle(const QString& drawn);

}  // namespace desktop
