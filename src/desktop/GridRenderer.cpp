#include "desktop/GridRenderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

#include "desktop/PdfPages.h"
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

// How many laid-out texts a renderer keeps: many screens of rows.
constexpr qsizetype kLaidOutKept = 20000;
// How many rows' laid-out cells: some twenty screens, a few MiB.
constexpr qsizetype kRowsLaidOutKept = 1500;

constexpr int kServices = static_cast<int>(census::kServiceCount);
constexpr int kLengthClasses = static_cast<int>(census::kLengthClassCount);
constexpr int kUses = static_cast<int>(census::kUseCount);
constexpr int kFlags = static_cast<int>(census::kFlagCount);
// The two areas: the uncovered one reserved to the company, and the covered surfaces.
constexpr int kAreas = 2;

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
static_assert(std::size(kActivities) == census::kFlagCount);
static_assert(std::size(kGroups) == census::kServiceCount);
static_assert(std::size(kClasses) == census::kLengthClassCount);
static_assert(census::kUseCount == 2);  // in service ("Servizio") and in reserve ("Riserva")

bool IsActivity(int column) {
    return column >= kFirstActivityColumn && column < kFirstActivityColumn + kFlags;
}

bool IsCount(int column) {
    return column >= kFirstCountColumn && column < kGridColumns;
}

// The service and the length class a count column counts.
int ServiceOf(int column) {
    return (column - kFirstCountColumn) / (kLengthClasses * kUses);
}

int LengthClassOf(int column) {
    return (column - kFirstCountColumn) / kUses % kLengthClasses;
}

// A text that shows nothing is told as empty.
QString Shown(const QString& text) {
    return text.trimmed().isEmpty() ? QString() : text;
}

// The letters a printed text may be drawn side by side with: those of Latin alphabets from the space
// on, and the ellipsis of a cut text, each its place in a table; -1 for any other (the controls, the
// spaces that do not break, the soft hyphen).
constexpr int kLetters = 0x251;
int LetterIndex(QChar c) {
    const char16_t u = c.unicode();
    if (u == 0x2026) {
        return kLetters - 1;
    }
    if (u < 0x20 || (u >= 0x7F && u <= 0xA0) || u == 0xAD || u >= kLetters - 1) {
        return -1;
    }
    return u;
}

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
            Gathered& same = In(run.rawFont());
            same.indexes += run.glyphIndexes();
            for (const QPointF& position : run.positions()) {
                same.positions.push_back(position + at);
            }
        }
    }
    // A text's letters side by side from `at`: letter c is glyph `glyphs[c]`, `advances[c]` wide.
    void AddLetters(const QRawFont& font, QStringView text, const std::vector<quint32>& glyphs,
                    const std::vector<qreal>& advances, QPointF at) {
        Gathered& same = In(font);
        for (const QChar c : text) {
            const auto letter = static_cast<std::size_t>(LetterIndex(c));
            same.indexes.push_back(glyphs[letter]);
            same.positions.push_back(at);
            at.rx() += advances[letter];
        }
    }
    void Flush() {
        for (const Gathered& g : gathered_) {
            if (DrawGlyphsOnPdfPages(p_, g.font, g.indexes, g.positions)) {
                continue;
            }
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
    Gathered& In(const QRawFont& font) {
        auto same = std::find_if(gathered_.begin(), gathered_.end(),
                                 [&](const Gathered& g) { return g.font == font; });
        if (same == gathered_.end()) {
            same = gathered_.insert(gathered_.end(), Gathered{font, {}, {}});
        }
        return *same;
    }
    QPainter& p_;
    std::vector<Gathered> gathered_;
};

// Where a text of `width` begins in its cell.
int Aligned(const QRect& cell, int align, int width) {
    if (align & Qt::AlignRight) {
        return cell.right() + 1 - width;
    }
    if (align & Qt::AlignHCenter) {
        return cell.left() + (cell.width() - width) / 2;
    }
    return cell.left();
}

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
    G = kLengthClasses * B;
    T = wN + WL + WA + WS + WC + kServices * G;

    columns.clear();
    columns.reserve(kGridColumns);
    const auto add = [this](int left, int width, bool closesBlock) {
        columns.push_back({left, width, left + width + 5, closesBlock});
    };
    columns.push_back({5, wN, wN + 5, true});  // the identifier's text reaches its rule
    add(XL, wU, false);
    add(XL + wU + 10, wL, false);
    add(XL + wU + wL + 20, wC, false);
    add(XL + wU + wL + wC + 30, wP, true);
    int x = XA;
    for (std::size_t i = 0; i < wA.size(); ++i) {
        add(x, wA[i], i + 1 == wA.size());
        x += wA[i] + 10;
    }
    for (const int base : {XS, XC}) {
        const bool uncovered = base == XS;
        const int wp = uncovered ? wSP : wCP;
        const int wm = uncovered ? wSM : wCM;
        const int wt = uncovered ? wST : wCT;
        add(base, wp, false);
        add(base + wp + 10, wm, false);
        add(base + wp + wm + 20, wt, true);
    }
    // The counts in their stored order: by service, by length class, in service before in reserve.
    for (int service = 0; service < kServices; ++service) {
        for (int lengthClass = 0; lengthClass < kLengthClasses; ++lengthClass) {
            const int left = XF + service * G + lengthClass * B;
            add(left, wS, false);
            add(left + wS + 10, wR, true);
        }
    }
}

QRect GridLayout::TextRect(int column, int row) const {
    const Column& c = columns[static_cast<std::size_t>(column)];
    return QRect(c.left, row < 0 ? 2 * BandHeight() + 4 : RowTop(row) + 2, c.width, h);
}

void CGridRenderer::Measure(const reg::CDepotRowList& rows) {
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
    layout_ = std::move(l);
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

QString GridColumnTitle(int column) {
    static const std::vector<QString> titles = [] {
        std::vector<QString> t = {"N.ro", "Ubicazione", FromUtf8("Località"), "Comune", "Prov"};
        for (const char* a : kActivities) {
            t.push_back(FromUtf8(a));
        }
        for (int area = 0; area < kAreas; ++area) {
            t.insert(t.end(), {FromUtf8("Proprietà"), "MQ", "Titolo"});
        }
        for (int pair = 0; pair < kServices * kLengthClasses; ++pair) {
            t.insert(t.end(), {"Servizio", "Riserva"});  // the uses, in the order of the counts
        }
        return t;
    }();
    return column >= 0 && column < kGridColumns ? titles[static_cast<std::size_t>(column)] : QString();
}

QStringList GridColumnBands(int column) {
    const auto words = [](const char* drawn) { return ReadableTitle(FromUtf8(drawn)); };
    if (column >= 1 && column <= 4) {
        return {words(kBlocks[0])};
    }
    if (IsActivity(column)) {
        return {words(kBlocks[1])};
    }
    if (column >= 12 && column <= 17) {
        return {words(kBlocks[column <= 14 ? 2 : 3])};
    }
    if (IsCount(column)) {
        return {words(kGroups[ServiceOf(column)]), words(kClasses[LengthClassOf(column)])};
    }
    return {};
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
    if (IsActivity(column)) {
        return row.Flag(static_cast<std::size_t>(column - kFirstActivityColumn)) ? QStringLiteral("SI")
                                                                                 : QString();
    }
    if (IsCount(column)) {
        const std::int16_t count = row.counts[static_cast<std::size_t>(column - kFirstCountColumn)];
        return count ? QString::number(count) : QString();  // an empty count is shown blank
    }
    return {};
}

int GridCellAlignment(int column) {
    if (IsActivity(column)) {
        return Qt::AlignHCenter;
    }
    return column == 0 || column == 13 || column == 16 || IsCount(column) ? Qt::AlignRight : Qt::AlignLeft;
}

CGridRenderer::CGridRenderer() : rowsLaidOut_(kRowsLaidOutKept) {}

const CGridRenderer::LaidOutRow& CGridRenderer::RowLaidOut(const reg::CDepotRowList& rows, int index) {
    const reg::CDepotRow& row = rows[static_cast<std::size_t>(index)];
    if (const LaidOutRow* kept = rowsLaidOut_.object(index);
        kept && kept->list == rows.Generation() && kept->texts == row.texts) {
        return *kept;
    }
    auto made = std::make_unique<LaidOutRow>();
    made->list = rows.Generation();
    made->texts = row.texts;
    for (int c = 0; c < kGridColumns; ++c) {
        const QString s = GridCellText(rows, index, c);
        if (!s.isEmpty() && s != QLatin1String(" ")) {
            const LaidOutText& laid = LaidOut(s);
            made->shown[static_cast<std::size_t>(c)] = laid.shown;
            made->widths[static_cast<std::size_t>(c)] = laid.width;
        }
    }
    LaidOutRow* kept = made.release();
    rowsLaidOut_.insert(index, kept);  // taken by the cache, which deletes it when it makes room
    return *kept;
}

CGridRenderer::LaidOutText& CGridRenderer::LaidOut(const QString& text) {
    auto found = laidOut_.find(text);
    if (found != laidOut_.end()) {
        return *found;
    }
    if (laidOut_.size() >= kLaidOutKept) {
        laidOut_.clear();  // a census of many different texts: begin again with what is in view
    }
    LaidOutText laid;
    laid.shown = QStaticText(text);
    laid.shown.setTextFormat(Qt::PlainText);
    laid.shown.setPerformanceHint(QStaticText::AggressiveCaching);
    laid.shown.prepare(QTransform(), GridFont());
    laid.width = qCeil(laid.shown.size().width());
    return *laidOut_.insert(text, laid);
}

CGridRenderer::PrintedText CGridRenderer::LayOut(const QString& text, const QFont& font) {
    // One line as wide as the text: its extent is the one a static text of it has.
    const auto lineOf = [&text](const QFont& in, QTextLayout& layout) {
        layout.setText(text);
        layout.setFont(in);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        return qCeil(layout.boundingRect().width());
    };
    PrintedText printed;
    QTextLayout layout;
    printed.width = lineOf(font, layout);
    printed.glyphs = layout.glyphRuns();
    if (font != GridFont()) {
        QTextLayout inGridFont;
        printed.width = lineOf(GridFont(), inGridFont);
    }
    return printed;
}

const CGridRenderer::PrintedText& CGridRenderer::Printed(const QString& text, const QFont& font) {
    PrintIn(font);
    auto found = printed_.find(text);
    if (found != printed_.end()) {
        return *found;
    }
    if (printed_.size() >= kLaidOutKept) {
        printed_.clear();  // begin again with the texts of the pages being drawn
    }
    return *printed_.insert(text, LayOut(text, font));
}

void CGridRenderer::PrintIn(const QFont& font) {
    if (letters_.prepared && font == printedFont_) {
        return;
    }
    printed_.clear();
    printedFont_ = font;
    letters_ = {};
    letters_.prepared = true;
    if (font != GridFont()) {
        return;
    }
    PrintedLetters& d = letters_;
    const PrintedText zero = LayOut(QStringLiteral("0"), font);
    if (zero.glyphs.size() != 1 || zero.glyphs[0].positions().size() != 1) {
        return;
    }
    d.font = zero.glyphs[0].rawFont();
    d.baseline = zero.glyphs[0].positions()[0].y();
    // The letters the font has, in a row, then the pairs a font may join or move: each must be a glyph
    // of its own, standing where the advances before it put it.
    QString row;
    for (char16_t u = 0x20; u < kLetters - 1; ++u) {
        if (LetterIndex(QChar(u)) >= 0 && d.font.supportsCharacter(QChar(u))) {
            row += QChar(u);
        }
    }
    if (d.font.supportsCharacter(QChar(0x2026))) {
        row += QChar(0x2026);
    }
    const qsizetype letters = row.size();
    row += QStringLiteral("01234567890246813579086420975318 ff fi fl ffi ffl AV To Wa Yo LT P.");
    const PrintedText laid = LayOut(row, font);
    if (laid.glyphs.size() != 1 || laid.glyphs[0].glyphIndexes().size() != row.size() ||
        laid.glyphs[0].rawFont() != d.font) {
        return;
    }
    const QList<quint32> glyphs = laid.glyphs[0].glyphIndexes();
    const QList<QPointF> positions = laid.glyphs[0].positions();
    const QList<QPointF> advances = d.font.advancesForGlyphIndexes(glyphs);
    d.glyphs.assign(kLetters, 0);
    d.advances.assign(kLetters, 0);
    d.overhangs.assign(kLetters, std::numeric_limits<qreal>::quiet_NaN());
    for (qsizetype i = 0; i < letters; ++i) {
        const auto letter = static_cast<std::size_t>(LetterIndex(row[i]));
        d.glyphs[letter] = glyphs[i];
        d.advances[letter] = advances[i].x();
    }
    qreal x = 0;
    for (qsizetype i = 0; i < row.size(); ++i) {
        const auto letter = static_cast<std::size_t>(LetterIndex(row[i]));
        if (d.glyphs[letter] == 0 || glyphs[i] != d.glyphs[letter] ||
            positions[i] != QPointF(x, d.baseline)) {
            return;
        }
        x += d.advances[letter];
    }
    d.sideBySide = qCeil(x + Overhang(LetterIndex(row.back()))) == laid.width;
}

qreal CGridRenderer::Overhang(int letter) {
    qreal& overhang = letters_.overhangs[static_cast<std::size_t>(letter)];
    if (std::isnan(overhang)) {
        // Measured the first time a text ends with it.
        const QChar c(letter == kLetters - 1 ? char16_t(0x2026) : static_cast<char16_t>(letter));
        QTextLayout alone(QString(c), printedFont_);
        alone.beginLayout();
        alone.createLine();
        alone.endLayout();
        overhang = alone.boundingRect().width() - letters_.advances[static_cast<std::size_t>(letter)];
    }
    return overhang;
}

std::optional<int> CGridRenderer::SideBySideWidth(const QString& text) {
    // A text that ends in a space is laid out: a line's extent leaves its trailing spaces out.
    if (!letters_.sideBySide || text.isEmpty() || text.back() == u' ') {
        return std::nullopt;
    }
    qreal width = 0;
    for (const QChar c : text) {
        const int letter = LetterIndex(c);
        if (letter < 0 || letters_.glyphs[static_cast<std::size_t>(letter)] == 0) {
            return std::nullopt;
        }
        width += letters_.advances[static_cast<std::size_t>(letter)];
    }
    return qCeil(width + Overhang(LetterIndex(text.back())));
}

void CGridRenderer::Draw(QPainter& p, const reg::CDepotRowList& rows, const GridView& view) {
    const GridLayout& L = layout_;
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
    const int right = L.Width() + dx;
    const QFontMetrics metrics(GridFont());
    // Texts on paper: their letters side by side, any other text's glyphs laid out once; gathered and
    // drawn a font at a time.
    if (view.glyphs) {
        PrintIn(view.font);
    }
    const auto print = [&](QRect cell, int align, QString s) {
        std::optional<int> width = SideBySideWidth(s);
        const PrintedText* laid = width ? nullptr : &Printed(s, view.font);
        if (view.cutTexts) {
            cell = cell.intersected(QRect(view.left, cell.top(), view.width - view.left, cell.height()));
            if (width.value_or(laid ? laid->width : 0) > cell.width()) {
                s = metrics.elidedText(s, Qt::ElideRight, cell.width());
                if (s.isEmpty()) {
                    return;
                }
                width = SideBySideWidth(s);
                laid = width ? nullptr : &Printed(s, view.font);
            }
        }
        if (width && *width > cell.width()) {
            laid = &Printed(s, view.font);  // drawn cut at the cell's edges
            width.reset();
        }
        const int extent = width ? *width : laid->width;
        if (view.cutTexts && (cell.isEmpty() || extent > cell.width())) {
            return;  // nothing of it fits
        }
        const QPointF at(Aligned(cell, align, extent), cell.top());
        if (width) {
            batch.AddLetters(letters_.font, s, letters_.glyphs, letters_.advances,
                             at + QPointF(0, letters_.baseline));
            return;
        }
        if (laid->width <= cell.width()) {
            batch.Add(laid->glyphs, at);
            return;
        }
        p.save();  // cut at the cell's edges
        p.setClipRect(cell, Qt::IntersectClip);
        for (const QGlyphRun& run : std::as_const(laid->glyphs)) {
            if (!DrawGlyphsOnPdfPages(p, run.rawFont(), run.glyphIndexes(), run.positions(), at)) {
                p.drawGlyphRun(at, run);
            }
        }
        p.restore();
    };
    // A text laid out for a screen, cut at its cell's edges where it is wider.
    const auto show = [&](const QRect& cell, int align, int width, const QStaticText& shown) {
        const int x = Aligned(cell, align, width);
        if (width <= cell.width()) {
            p.drawStaticText(x, cell.top(), shown);
            return;
        }
        p.save();
        p.setClipRect(cell, Qt::IntersectClip);
        p.drawStaticText(x, cell.top(), shown);
        p.restore();
    };
    const auto text = [&](const QRect& cell, int align, const QString& s) {
        if (cell.right() < view.left || cell.left() > view.width || s.isEmpty() || s == QLatin1String(" ")) {
            return;  // off screen, or nothing to see
        }
        if (view.glyphs) {
            print(cell, align, s);
            return;
        }
        const LaidOutText& laid = LaidOut(s);
        show(cell, align, laid.width, laid.shown);
    };
    const auto band = [&](int top, int bottom, int left, int rightEdge, const QColor& colour) {
        p.fillRect(QRect(QPoint(left + dx, top), QPoint(rightEdge + dx - 1, bottom - 1)), colour);
        pen(kRule);
        p.drawLine(left + dx, top, rightEdge + dx, top);
        pen(Qt::white);
    };
    const int band2 = L.BandHeight();
    const int band3 = 2 * L.BandHeight();
    const int headings = L.HeadingsHeight();
    const auto centred = [&](int left, int width, int top, const char* title) {
        text(QRect(left + dx, top + 4, width, h), Qt::AlignHCenter, FromUtf8(title));
    };

    if (view.top < headings) {
        // Band 1: the services over the bus counts.
        band(0, band2, L.XF - 5, L.XF - 5 + kServices * L.G, kBand1);
        for (int service = 0; service < kServices; ++service) {
            centred(L.XF - 5 + service * L.G, L.G, 0, kGroups[service]);
        }
        // Band 2: the blocks and the length classes.
        band(band2, band3, L.XL - 5, L.XL - 5 + L.WL + L.WA + L.WS + L.WC + kServices * L.G, kBand2);
        centred(L.XL - 5, L.WL, band2, kBlocks[0]);
        centred(L.XA - 5, L.WA, band2, kBlocks[1]);
        centred(L.XS - 5, L.WS, band2, kBlocks[2]);
        centred(L.XC - 5, L.WC, band2, kBlocks[3]);
        for (int service = 0; service < kServices; ++service) {
            for (int lengthClass = 0; lengthClass < kLengthClasses; ++lengthClass) {
                centred(L.XF - 5 + service * L.G + lengthClass * L.B, L.B, band2, kClasses[lengthClass]);
            }
        }
        // Band 3: the column headings.
        band(band3, headings, 0, L.Width(), kBand3);
        for (int c = 0; c < kGridColumns; ++c) {
            text(L.TextRect(c, -1).translated(dx, 0), Qt::AlignLeft, GridColumnTitle(c));
        }
        // Heading rules.
        pen(kRule);
        for (const GridLayout::Column& column : L.columns) {
            p.drawLine(column.rule + dx, column.closesBlock ? band2 : band3, column.rule + dx, headings);
        }
        for (int service = 0; service <= kServices; ++service) {
            const int x = L.XF - 5 + service * L.G + dx;
            p.drawLine(x, 0, x, headings);
        }
    }
    pen(kRule);
    p.drawLine(0, headings, right, headings);

    // Rows: only those in view, and of them those the band drawn crosses (row i fills the lines below
    // the rule at RowTop(i) down to the rule under it).
    QList<QLine> rules;
    const int n = static_cast<int>(rows.size());
    const int pitch = L.RowPitch();
    const int from = std::max(0, (view.top - headings - 1) / pitch);
    const int upTo =
        view.bottom <= headings ? 0 : std::min(view.count, (view.bottom - headings - 1) / pitch + 1);
    int drawn = from;
    for (; drawn < upTo && view.first + drawn < n; ++drawn) {
        const int index = view.first + drawn;
        const reg::CDepotRow& row = rows[static_cast<std::size_t>(index)];
        const int y = L.RowTop(drawn);
        const QColor ink = row.deleted ? kDeleted : row.changed ? kChanged : QColor(Qt::black);
        if (index == view.current) {
            p.fillRect(QRect(QPoint(dx, y + 1), QPoint(right - 1, L.RowTop(drawn + 1))), kCurrent);
        }
        pen(ink);
        // On a screen, the row's texts as laid out once.
        const LaidOutRow* laidRow = view.glyphs || view.cutTexts ? nullptr : &RowLaidOut(rows, index);
        for (int c = 0; c < kGridColumns; ++c) {
            const QRect cell = L.TextRect(c, drawn).translated(dx, 0);
            if (cell.right() < 0 || cell.right() < view.left || cell.left() > view.width) {
                continue;  // the text only of what is in view
            }
            if (!laidRow) {
                text(cell, GridCellAlignment(c), GridCellText(rows, index, c));
                continue;
            }
            const QStaticText& shown = laidRow->shown[static_cast<std::size_t>(c)];
            if (!shown.text().isEmpty()) {
                show(cell, GridCellAlignment(c), laidRow->widths[static_cast<std::size_t>(c)], shown);
            }
        }
        rules.emplace_back(dx, L.RowTop(drawn + 1), right, L.RowTop(drawn + 1));
    }
    // The rules of the rows: under each row, and each column's separator down all of them at once.
    if (drawn > from) {
        for (const GridLayout::Column& column : L.columns) {
            rules.emplace_back(column.rule + dx, L.RowTop(from), column.rule + dx, L.RowTop(drawn));
        }
    }
    pen(kRule);
    p.drawLines(rules);
}

}  // namespace desktop
