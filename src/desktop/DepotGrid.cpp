#include "desktop/DepotGrid.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QRawFont>
#include <QScreen>
#include <QScrollBar>
#include <QTextLayout>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>

#include "desktop/GridAccessible.h"
#include "desktop/QtText.h"
#include "text/Text.h"

namespace desktop {

namespace {

const QColor kBand1(0, 0, 255);
const QColor kBand2(0, 0, 224);
const QColor kBand3(0, 0, 192);
const QColor kRule(192, 192, 192);
const QColor kChanged(192, 0, 0);
const QColor kDeleted(192, 192, 192);
const QColor kCurrent(255, 255, 0);

// Commands of the list window reached from the grid.
constexpr int kNew = 1056;
constexpr int kDelete = 1057;
constexpr int kRefresh = 1058;
constexpr int kModify = 1059;
constexpr int kRevert = 1066;

// How many laid-out texts the grid keeps: many screens of rows.
constexpr qsizetype kLaidOutKept = 20000;

const char* const kActivities[] = {"Deposito",    "Rifornimento", "Manutenzione",  "Autostazione",
                                   "Capol.Attr.", "Agenzia",      "Amministrativo"};
const char* const kGroups[] = {"M  E  Z  Z  I      E  X  T  R  A  U  R  B  A  N  I",
                               "M  E  Z  Z  I      S  U  B  U  R  B  A  N  I",
                               "M  E  Z  Z  I      U  R  B  A  N  I"};
const char* const kBlocks[] = {"U b i c a z i o n e  d e l l a   S t r u t t u r a",
                               "A t t i v i t à   S v o l t e    n e l l a    S t r u t t u r a",
                               "Aree  Scoperte Riservate", "S u p e r f i c i   C o p e r t e"};
// The first class column holds the double-decker counts, the second the articulated ones.
const char* const kClasses[] = {"B  i  p  i  a  n  o", "A r t i c o l a t i", "L  u  n  g  h  i",
                                "N  o  r  m  a  l  i", "M  e  d  i",          "C  o  r  t  i"};

}  // namespace

QFont GridFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    font.setWeight(QFont::Bold);
    font.setStyleHint(QFont::SansSerif);
    font.setKerning(false);  // a text's extent is then the sum of its characters' advances
    return font;
}

void GridLayout::Derive() {
    XL = wN + 10;
    WL = wU + wL + wC + wP + 40;
    XA = XL + WL;
    WA = 70;
    for (int w : wA) {
        WA += w;
    }
    XS = XA + WA;
    WS = wSP + wSM + wST + 30;
    XC = XS + WS;
    WC = wCP + wCM + wCT + 30;
    XF = XC + WC;
    B = wS + wR + 20;
    G = 6 * B;
    T = wN + WL + WA + WS + WC + 3 * G;
}

std::vector<GridLayout::Column> GridLayout::Columns() const {
    std::vector<Column> c;
    c.reserve(60);
    c.push_back({5, wN, true});  // identifier: its separator stands at wN + 5
    c.push_back({XL, wU, false});
    c.push_back({XL + wU + 10, wL, false});
    c.push_back({XL + wU + wL + 20, wC, false});
    c.push_back({XL + wU + wL + wC + 30, wP, true});
    int x = XA;
    for (std::size_t i = 0; i < wA.size(); ++i) {
        c.push_back({x, wA[i], i + 1 == wA.size()});
        x += wA[i] + 10;
    }
    for (const int base : {XS, XC}) {
        const bool uncovered = base == XS;
        const int wp = uncovered ? wSP : wCP;
        const int wm = uncovered ? wSM : wCM;
        const int wt = uncovered ? wST : wCT;
        c.push_back({base, wp, false});
        c.push_back({base + wp + 10, wm, false});
        c.push_back({base + wp + wm + 20, wt, true});
    }
    for (int g = 0; g < 3; ++g) {
        for (int k = 0; k < 6; ++k) {
            const int left = XF + g * G + k * B;
            c.push_back({left, wS, false});
            c.push_back({left + wS + 10, wR, true});
        }
    }
    return c;
}

CDepotGrid::CDepotGrid(reg::StructureList& list, QWidget* parent) : QAbstractScrollArea(parent), list_(list) {
    CGridAccessible::Install();  // before anything asks how the grid is told
    setObjectName("6004");
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Strutture"));
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    MeasureGrid();
}

void CDepotGrid::MeasureGrid() {
    layout_ = MeasureGridLayout(list_.Rows());
}

GridLayout MeasureGridLayout(const reg::CDepotRowList& rows) {
    // A text's extent is the sum of its characters' advances (the grid's font draws without kerning),
    // read from a table of the 256 Windows-1252 characters: measuring a large census stays quick.
    const QFontMetrics m(GridFont());
    std::array<int, 256> advance{};
    for (int b = 0; b < 256; ++b) {
        advance[static_cast<std::size_t>(b)] = m.horizontalAdvance(
            QChar(static_cast<char16_t>(text::Cp1252ToCodePoint(static_cast<unsigned char>(b)))));
    }
    const auto width = [&](std::string_view cp1252) {
        int w = 0;
        for (const char c : cp1252) {
            w += advance[static_cast<unsigned char>(c)];
        }
        return w;
    };
    const auto widest = [&](const char* heading, auto member) {
        int w = width(text::Utf8ToCp1252Lossy(heading));
        for (const reg::CDepotRow& row : rows) {
            w = std::max(w, width(member(row)));
        }
        return w + 2;
    };
    const auto fixed = [&](const char* heading) { return width(text::Utf8ToCp1252Lossy(heading)) + 2; };
    GridLayout l;
    using Field = reg::CDepotRowList::Field;
    const auto textOf = [&](Field field) {
        return [&rows, field](const reg::CDepotRow& r) { return rows.Text(r, field); };
    };
    l.wN = fixed("00000");
    l.wU = widest("Ubicazione", textOf(Field::Ubicaz));
    l.wL = widest("Località", textOf(Field::Local));
    l.wC = widest("Comune",
                  [&rows](const reg::CDepotRow& r) -> const std::string& { return rows.ComuneName(r); });
    l.wP = fixed("Prov");
    for (std::size_t i = 0; i < l.wA.size(); ++i) {
        l.wA[i] = fixed(kActivities[i]);
    }
    l.wSP = widest("Proprietà", textOf(Field::ScoPro));
    l.wSM = widest("MQ", [](const reg::CDepotRow& r) { return text::FormatInt(r.scoSup); });
    l.wST = widest("Titolo", [](const reg::CDepotRow& r) { return reg::TitleWord(r.scoTit); });
    l.wCP = widest("Proprietà", textOf(Field::CopPro));
    l.wCM = widest("MQ", [](const reg::CDepotRow& r) { return text::FormatInt(r.copSup); });
    l.wCT = widest("Titolo", [](const reg::CDepotRow& r) { return reg::TitleWord(r.copTit); });
    l.wS = fixed("Servizio");
    l.wR = fixed("Riserva");
    l.h = m.height() + 2;
    l.Derive();
    return l;
}

void CDepotGrid::ClampVertical() {
    const int n = RowCount();
    if (first_ + visible_ > n) {
        first_ = n - visible_;
    }
    if (first_ < 0) {
        first_ = 0;
    }
    if (current_ < first_) {
        current_ = first_;
    }
    if (current_ >= n) {
        current_ = n - 1;
    }
    if (current_ >= first_ + visible_) {
        current_ = first_ + visible_ - 1;
    }
}

void CDepotGrid::SelectAt(int y) {
    const int h = layout_.h;
    current_ = (y - (3 * h + 18)) / (h + 4) + first_;
    if (current_ < first_) {
        current_ = first_;
    }
    if (current_ >= RowCount()) {
        current_ = RowCount() - 1;
    }
    if (current_ >= first_ + visible_) {
        current_ = first_ + visible_ - 1;
    }
    viewport()->repaint();
}

void CDepotGrid::ScrollRows(int delta) {
    ScrollTo(first_ + delta);
}

void CDepotGrid::ScrollTo(int first) {
    first_ = first;
    ClampVertical();
    viewport()->update();
}

void CDepotGrid::ScrollHorizontally(int position) {
    const int clientWidth = viewport()->width();
    xPos_ = position;
    if (clientWidth + xPos_ > layout_.T + 5) {
        xPos_ = layout_.T + 5 - clientWidth;
    }
    if (xPos_ < 0) {
        xPos_ = 0;
    }
    viewport()->update();
}

void CDepotGrid::scrollContentsBy(int, int) {
    if (updatingBars_) {
        return;
    }
    first_ = verticalScrollBar()->value();
    ClampVertical();
    xPos_ = horizontalScrollBar()->value();
    viewport()->update();
}

void CDepotGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    viewport()->update();
}

void CDepotGrid::UpdateScrollBars(int clientWidth) {
    updatingBars_ = true;
    QScrollBar* horizontal = horizontalScrollBar();
    if (clientWidth < layout_.T + 5) {
        horizontal->setEnabled(true);
        horizontal->setRange(0, layout_.T + 5 - clientWidth);
        horizontal->setPageStep(clientWidth);
        horizontal->setSingleStep(10);
        horizontal->setValue(xPos_);
    } else {
        horizontal->setRange(0, 0);
        horizontal->setEnabled(false);
    }
    QScrollBar* vertical = verticalScrollBar();
    const int n = RowCount();
    if (visible_ < n) {
        vertical->setEnabled(true);
        vertical->setRange(0, n - visible_);
        vertical->setPageStep(std::max(visible_, 1));
        vertical->setSingleStep(1);
        vertical->setValue(first_);
    } else {
        vertical->setRange(0, 0);
        vertical->setEnabled(false);
    }
    updatingBars_ = false;
}

QString ReadableTitle(const QString& drawn) {
    const QStringList letters = drawn.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const bool spaced = !letters.isEmpty() && std::all_of(letters.begin(), letters.end(),
                                                          [](const QString& t) { return t.size() == 1; });
    if (!spaced) {
        return drawn.simplified();
    }
    // The narrowest gap joins letters; any wider one parts words.
    std::vector<int> gaps;
    int run = 0;
    for (qsizetype i = drawn.indexOf(letters.front()) + 1; i < drawn.size(); ++i) {
        if (drawn[i] == QLatin1Char(' ')) {
            ++run;
        } else {
            gaps.push_back(run);
            run = 0;
        }
    }
    const int narrowest = gaps.empty() ? 0 : *std::min_element(gaps.begin(), gaps.end());
    QString out = letters.front();
    for (std::size_t i = 0; i < gaps.size() && i + 1 < static_cast<std::size_t>(letters.size()); ++i) {
        if (gaps[i] > narrowest) {
            out += QLatin1Char(' ');
        }
        out += letters[static_cast<qsizetype>(i + 1)];
    }
    return out;
}

QString CDepotGrid::ColumnTitle(int column) {
    static const std::vector<QString> titles = [] {
        std::vector<QString> t = {"N.ro", "Ubicazione", It("Località"), "Comune", "Prov"};
        for (const char* a : kActivities) {
            t.push_back(It(a));
        }
        for (int area = 0; area < 2; ++area) {
            t.insert(t.end(), {It("Proprietà"), "MQ", "Titolo"});
        }
        for (int c = 0; c < 18; ++c) {
            t.insert(t.end(), {"Servizio", "Riserva"});
        }
        return t;
    }();
    return column >= 0 && column < kGridColumns ? titles[static_cast<std::size_t>(column)] : QString();
}

QStringList CDepotGrid::ColumnBands(int column) {
    const auto words = [](const char* drawn) { return ReadableTitle(It(drawn)); };
    if (column >= 1 && column <= 4) {
        return {words(kBlocks[0])};
    }
    if (column >= 5 && column <= 11) {
        return {words(kBlocks[1])};
    }
    if (column >= 12 && column <= 17) {
        return {words(kBlocks[column <= 14 ? 2 : 3])};
    }
    if (column >= 18 && column < kGridColumns) {
        const int k = column - 18;
        return {words(kGroups[k / 12]), words(kClasses[(k % 12) / 2])};
    }
    return {};
}

namespace {
// A text that shows nothing is told as empty.
QString Shown(const QString& text) {
    return text.trimmed().isEmpty() ? QString() : text;
}
}  // namespace

QString CDepotGrid::CellText(int row, int column) const {
    return GridCellText(list_.Rows(), row, column);
}

QString GridCellText(const reg::CDepotRowList& rows, int rowIndex, int column) {
    if (rowIndex < 0 || rowIndex >= static_cast<int>(rows.size())) {
        return {};
    }
    const reg::CDepotRow& row = rows[static_cast<std::size_t>(rowIndex)];
    using Field = reg::CDepotRowList::Field;
    switch (column) {
        case 0:
            return QString::number(row.id);
        case 1:
            return Shown(FromCp(rows.Text(row, Field::Ubicaz)));
        case 2:
            return Shown(FromCp(rows.Text(row, Field::Local)));
        case 3:
            return Shown(FromCp(rows.ComuneName(row)));
        case 4:
            return FromCp(row.Provin());
        case 12:
            return Shown(FromCp(rows.Text(row, Field::ScoPro)));
        case 13:
            return QString::number(row.scoSup);
        case 14:
            return Shown(FromCp(reg::TitleWord(row.scoTit)));
        case 15:
            return Shown(FromCp(rows.Text(row, Field::CopPro)));
        case 16:
            return QString::number(row.copSup);
        case 17:
            return Shown(FromCp(reg::TitleWord(row.copTit)));
        default:
            break;
    }
    if (column >= 5 && column <= 11) {
        return row.Flag(static_cast<std::size_t>(column - 5)) ? QStringLiteral("SI") : QString();
    }
    if (column >= 18 && column < kGridColumns) {
        const std::int16_t count = row.counts[static_cast<std::size_t>(column - 18)];
        return count ? QString::number(count) : QString();  // an empty count is shown blank
    }
    return {};
}

QRect CDepotGrid::CellRect(int row, int column) const {
    if (column < 0 || column >= kGridColumns || row < -1 || row >= RowCount()) {
        return {};
    }
    const int h = layout_.h;
    int top = 2 * h + 16;
    if (row >= 0) {
        if (row < first_ || row >= first_ + visible_) {
            return {};
        }
        top = 3 * h + 18 + (row - first_) * (h + 4) + 2;
    }
    const GridLayout::Column c = layout_.Columns()[static_cast<std::size_t>(column)];
    const QRect local(column == 0 && row >= 0 ? 5 - xPos_ : c.left - xPos_, top,
                      column == 0 && row >= 0 ? layout_.wN : c.width, h);
    const QRect shown = local.intersected(viewport()->rect());
    return shown.isEmpty() ? QRect() : QRect(viewport()->mapToGlobal(shown.topLeft()), shown.size());
}

int CDepotGrid::CellAlignment(int column) {
    if (column >= 5 && column <= 11) {
        return Qt::AlignHCenter;
    }
    return column == 0 || column == 13 || column == 16 || column >= 18 ? Qt::AlignRight : Qt::AlignLeft;
}

void CDepotGrid::paintEvent(QPaintEvent*) {
    const QRect client = viewport()->rect();
    const qreal ratio = devicePixelRatioF();
    if (back_.isNull() || back_.width() < client.width() * ratio ||
        back_.height() < client.height() * ratio) {
        // Created once, as large as the screen, and kept.
        QSize size =
            QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->size() : client.size();
        size = size.expandedTo(client.size()) * ratio;
        back_ = QPixmap(size);
        back_.setDevicePixelRatio(ratio);
    }
    {
        QPainter p(&back_);
        PaintGrid(p, client);
    }
    QPainter window(viewport());
    window.drawPixmap(client, back_, QRectF(QPointF(0, 0), QSizeF(client.size()) * ratio));
    if (onPainted) {
        onPainted();
    }
    AnnounceCurrent();
}

LaidOutText& LaidOut(LaidOutTexts& kept, const QString& text) {
    auto found = kept.find(text);
    if (found != kept.end()) {
        return *found;
    }
    if (kept.size() >= kLaidOutKept) {
        kept.clear();  // a census of many different texts: begin again with what is in view
    }
    LaidOutText laid;
    laid.shown = QStaticText(text);
    laid.shown.setTextFormat(Qt::PlainText);
    laid.shown.setPerformanceHint(QStaticText::AggressiveCaching);
    laid.shown.prepare(QTransform(), GridFont());
    laid.width = qCeil(laid.shown.size().width());
    return *kept.insert(text, laid);
}

QImage CDepotGrid::Snapshot() {
    QImage image(viewport()->size(), QImage::Format_RGB32);
    QPainter p(&image);
    PaintGrid(p, image.rect());
    return image;
}

void CDepotGrid::PaintGrid(QPainter& p, const QRect& client) {
    const int n = RowCount();
    visible_ = (client.height() - 3 * layout_.h - 18) / (layout_.h + 4);
    if (pendingCurrent_ >= 0) {
        current_ = first_ = pendingCurrent_;
        pendingCurrent_ = -1;
    }
    ClampVertical();
    UpdateScrollBars(client.width());
    p.fillRect(client, Qt::white);
    GridView view;
    view.first = first_;
    view.count = std::max(0, std::min(visible_, n - first_));
    view.current = current_;
    view.dx = -xPos_;
    view.width = client.width();
    DrawGrid(p, layout_, list_.Rows(), view, laidOut_);
    list_.Select(current_ >= first_ && current_ < first_ + view.count ? std::optional<std::size_t>(current_)
                                                                      : std::nullopt);
}

namespace {

// The texts bound for a printer, gathered into one glyph run for each font and drawn at once: a text
// object of its own for every cell would make most of a printed file.
class GlyphBatch {
  public:
    explicit GlyphBatch(QPainter& p) : p_(p) {}
    ~GlyphBatch() { Flush(); }
    GlyphBatch(const GlyphBatch&) = delete;
    GlyphBatch& operator=(const GlyphBatch&) = delete;

    void Add(const QList<QGlyphRun>& runs, const QPointF& at) {
        for (const QGlyphRun& run : runs) {
            auto same = std::find_if(gathered_.begin(), gathered_.end(),
                                     [&](const Gathered& g) { return g.font == run.rawFont(); });
            if (same == gathered_.end()) {
                same = gathered_.insert(gathered_.end(), Gathered{run.rawFont(), {}, {}});
            }
            same->indexes += run.glyphIndexes();
            for (const QPointF& position : run.positions()) {
                same->positions.push_back(position + at);
            }
        }
    }
    void Flush() {
        for (const Gathered& g : gathered_) {
            QGlyphRun run;
            run.setRawFont(g.font);
            run.setGlyphIndexes(g.indexes);
            run.setPositions(g.positions);
            p_.drawGlyphRun(QPointF(), run);
        }
        gathered_.clear();
    }

  private:
    struct Gathered {
        QRawFont font;
        QList<quint32> indexes;
        QList<QPointF> positions;
    };
    QPainter& p_;
    std::vector<Gathered> gathered_;
};

}  // namespace

void DrawGrid(QPainter& p, const GridLayout& L, const reg::CDepotRowList& rows, const GridView& view,
              LaidOutTexts& laidOut) {
    const int h = L.h;
    p.setFont(view.font);
    GlyphBatch batch(p);
    // A new colour for what follows: the texts gathered so far are drawn in theirs first.
    const auto pen = [&](const QColor& colour) {
        if (p.pen().color() != colour) {
            batch.Flush();
            p.setPen(colour);
        }
    };
    const int dx = view.dx;
    const int right = L.T + 5 + dx;
    const auto text = [&](const QRect& cell, int align, const QString& s) {
        if (cell.right() < 0 || cell.left() > view.width || s.isEmpty() || s == QLatin1String(" ")) {
            return;  // off screen, or nothing to see
        }
        LaidOutText& laid = LaidOut(laidOut, s);
        const int width = laid.width;
        if (view.glyphs && !laid.hasGlyphs) {
            QTextLayout layout(s, view.font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            laid.glyphs = layout.glyphRuns();
            laid.hasGlyphs = true;
        }
        const auto draw = [&](int x) {
            if (!view.glyphs) {
                p.drawStaticText(x, cell.top(), laid.shown);
                return;
            }
            for (const QGlyphRun& run : std::as_const(laid.glyphs)) {
                p.drawGlyphRun(QPointF(x, cell.top()), run);
            }
        };
        int x = cell.left();
        if (align & Qt::AlignRight) {
            x = cell.right() + 1 - width;
        } else if (align & Qt::AlignHCenter) {
            x = cell.left() + (cell.width() - width) / 2;
        }
        if (width <= cell.width()) {
            if (view.glyphs) {
                batch.Add(laid.glyphs, QPointF(x, cell.top()));
            } else {
                draw(x);
            }
            return;
        }
        p.save();  // cut at the cell's edges
        p.setClipRect(cell, Qt::IntersectClip);
        draw(x);
        p.restore();
    };
    const auto band = [&](int top, int bottom, int left, int rightEdge, const QColor& colour) {
        p.fillRect(QRect(QPoint(left + dx, top), QPoint(rightEdge + dx - 1, bottom - 1)), colour);
        pen(kRule);
        p.drawLine(left + dx, top, rightEdge + dx, top);
        pen(Qt::white);
    };
    const auto centred = [&](int left, int width, int top, const char* title) {
        text(QRect(left + dx, top, width, h), Qt::AlignHCenter, It(title));
    };

    // Band 1: the three services over the bus counts.
    band(0, h + 6, L.XF - 5, L.XF - 5 + 3 * L.G, kBand1);
    for (int g = 0; g < 3; ++g) {
        centred(L.XF - 5 + g * L.G, L.G, 4, kGroups[g]);
    }
    // Band 2: the blocks and the length classes.
    band(h + 6, 2 * h + 12, L.XL - 5, L.XL - 5 + L.WL + L.WA + L.WS + L.WC + 3 * L.G, kBand2);
    centred(L.XL - 5, L.WL, h + 10, kBlocks[0]);
    centred(L.XA - 5, L.WA, h + 10, kBlocks[1]);
    centred(L.XS - 5, L.WS, h + 10, kBlocks[2]);
    centred(L.XC - 5, L.WC, h + 10, kBlocks[3]);
    for (int g = 0; g < 3; ++g) {
        for (int k = 0; k < 6; ++k) {
            centred(L.XF - 5 + g * L.G + k * L.B, L.B, h + 10, kClasses[k]);
        }
    }
    // Band 3: the column headings.
    band(2 * h + 12, 3 * h + 18, 0, L.T + 5, kBand3);
    const std::vector<GridLayout::Column> columns = L.Columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        text(QRect(columns[i].left + dx, 2 * h + 16, columns[i].width, h), Qt::AlignLeft,
             CDepotGrid::ColumnTitle(static_cast<int>(i)));
    }
    // Heading rules.
    pen(kRule);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int x = (i == 0 ? L.wN + 5 : columns[i].left + columns[i].width + 5) + dx;
        p.drawLine(x, columns[i].closesBlock ? h + 6 : 2 * h + 12, x, 3 * h + 18);
    }
    for (int g = 0; g <= 3; ++g) {
        const int x = L.XF - 5 + g * L.G + dx;
        p.drawLine(x, 0, x, 3 * h + 18);
    }
    p.drawLine(0, 3 * h + 18, right, 3 * h + 18);

    // Rows: only those in view.
    QList<QLine> rules;
    const int rowsTop = 3 * h + 18;
    int rowsBottom = rowsTop;
    const int n = static_cast<int>(rows.size());
    for (int i = 0; i < view.count && view.first + i < n; ++i) {
        const int index = view.first + i;
        const reg::CDepotRow& row = rows[static_cast<std::size_t>(index)];
        const int y = 3 * h + 18 + i * (h + 4);
        const QColor ink = row.deleted ? kDeleted : row.changed ? kChanged : QColor(Qt::black);
        if (index == view.current) {
            p.fillRect(QRect(QPoint(dx, y + 1), QPoint(right - 1, y + h + 4)), kCurrent);
        }
        pen(ink);
        for (int c = 0; c < kGridColumns; ++c) {
            const auto& column = columns[static_cast<std::size_t>(c)];
            const QRect cell =
                c == 0 ? QRect(5 + dx, y + 2, L.wN, h) : QRect(column.left + dx, y + 2, column.width, h);
            if (cell.right() >= 0 && cell.left() <= view.width) {  // the text only of what is in view
                text(cell, CDepotGrid::CellAlignment(c), GridCellText(rows, index, c));
            }
        }
        rules.emplace_back(dx, y + h + 4, right, y + h + 4);
        rowsBottom = y + h + 4;
    }
    // The rules of the rows: under each row, and each column's separator down all of them at once.
    if (rowsBottom > rowsTop) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const int x = (c == 0 ? L.wN + 5 : columns[c].left + columns[c].width + 5) + dx;
            rules.emplace_back(x, rowsTop, x, rowsBottom);
        }
    }
    pen(kRule);
    p.drawLines(rules);
}

void CDepotGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        return;
    }
    setFocus();
    SelectAt(static_cast<int>(event->position().y()));
    if (event->button() == Qt::RightButton) {
        ShowContextMenu(event->globalPosition().toPoint());
    }
}

void CDepotGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    SelectAt(static_cast<int>(event->position().y()));
    if (onCommand) {
        onCommand(kModify);
    }
}

void CDepotGrid::wheelEvent(QWheelEvent* event) {
    // One row per wheel message, whatever the amount.
    ScrollRows(event->angleDelta().y() < 0 ? 1 : -1);
    event->accept();
}

void CDepotGrid::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Mouse) {
        return;  // the right button has opened it already
    }
    // From the keyboard: at the current row.
    const int row = std::max(current_ - first_, 0);
    const QPoint at(20, 3 * layout_.h + 18 + row * (layout_.h + 4) + layout_.h / 2);
    ShowContextMenu(viewport()->mapToGlobal(at));
}

void CDepotGrid::MakeCurrent(int row) {
    current_ = std::clamp(row, 0, std::max(RowCount() - 1, 0));
    if (current_ < first_) {
        first_ = current_;
    } else if (current_ >= first_ + visible_) {
        first_ = current_ - visible_ + 1;
    }
    ClampVertical();
    viewport()->repaint();
}

void CDepotGrid::AnnounceCurrent() {
    if (!QAccessible::isActive()) {
        return;  // no assistive technology listens: nothing to make on a painting's path
    }
    auto* table = dynamic_cast<CGridAccessible*>(QAccessible::queryAccessibleInterface(this));
    if (!table) {
        return;
    }
    if (RowCount() != announcedRows_) {
        announcedRows_ = RowCount();
        announced_ = -1;
        table->ForgetCells();
        QAccessibleTableModelChangeEvent reset(this, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&reset);
    }
    if (current_ == announced_ || current_ < 0 || current_ >= RowCount()) {
        return;
    }
    announced_ = current_;
    QAccessibleInterface* cell = table->Cell(current_, CGridAccessible::kFollowedColumn);
    QAccessibleEvent selection(cell, QAccessible::Selection);
    QAccessible::updateAccessibility(&selection);
    if (hasFocus()) {
        QAccessibleEvent focus(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void CDepotGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    announced_ = -1;  // the followed cell is told again
    AnnounceCurrent();
}

void CDepotGrid::keyPressEvent(QKeyEvent* event) {
    const int n = RowCount();
    const auto moveTo = [this](int row) { MakeCurrent(row); };
    switch (event->key()) {
        case Qt::Key_Up:
            moveTo(current_ - 1);
            break;
        case Qt::Key_Down:
            moveTo(current_ + 1);
            break;
        case Qt::Key_PageUp:
            first_ -= visible_;
            moveTo(current_ - visible_);
            break;
        case Qt::Key_PageDown:
            first_ += visible_;
            moveTo(current_ + visible_);
            break;
        case Qt::Key_Home:
            moveTo(0);
            break;
        case Qt::Key_End:
            moveTo(n - 1);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (onCommand) {
                onCommand(kModify);
            }
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

void CDepotGrid::ShowContextMenu(const QPoint& globalPosition) {
    QMenu menu(this);
    const bool rowCommands = list_.CanChangeSelected();
    const auto add = [&](const char* label, int command, bool enabled) {
        QAction* action = menu.addAction(It(label));
        action->setData(command);
        action->setEnabled(enabled);
    };
    add("&Inserisci una Nuova Struttura", kNew, true);
    add("&Modifica la Struttura Selezionata", kModify, rowCommands);
    add("&Elimina la Struttura Selezionata", kDelete, rowCommands);
    menu.addSeparator();
    add("&Aggiorna la Vista delle Strutture", kRefresh, true);
    add("&Ripristina (invalida le variazioni sospese)", kRevert, true);
    QAction* chosen = menu.exec(globalPosition);
    if (chosen && onCommand) {
        onCommand(chosen->data().toInt());
    }
}

}  // namespace desktop
