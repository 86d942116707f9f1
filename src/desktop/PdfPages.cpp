#include "desktop/PdfPages.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QIODevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace desktop {

namespace {

// The pages are drawn in pixels of 96 to the inch, as Qt's PDF writer at that resolution draws them.
constexpr int kResolution = 96;
// The file is written in pieces of this size at least, and at its end.
constexpr std::size_t kWrittenAt = 1 << 16;
// How hard the pages and the fonts are compressed (zlib's levels): the pages of a census are mostly
// the same few words and digits: the fastest level makes the largest census's file 11% larger than
// the default level does, and takes half a second less.
constexpr int kCompression = 1;

// Big-endian reading and writing of a font's tables.
std::uint32_t U16(const QByteArray& b, qsizetype at) {
    if (at < 0 || at + 2 > b.size()) {
        return 0;
    }
    return std::uint32_t(std::uint8_t(b[at])) << 8 | std::uint8_t(b[at + 1]);
}

std::int32_t S16(const QByteArray& b, qsizetype at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(U16(b, at)));
}

std::uint32_t U32(const QByteArray& b, qsizetype at) {
    return U16(b, at) << 16 | U16(b, at + 2);
}

void Put16(QByteArray& b, std::uint32_t v) {
    b.append(char(v >> 8 & 0xFF));
    b.append(char(v & 0xFF));
}

void Put32(QByteArray& b, std::uint32_t v) {
    Put16(b, v >> 16);
    Put16(b, v & 0xFFFF);
}

void Set16(QByteArray& b, qsizetype at, std::uint32_t v) {
    b[at] = char(v >> 8 & 0xFF);
    b[at + 1] = char(v & 0xFF);
}

// The sum a TrueType directory gives of a table: its 32-bit words added, the last one padded.
std::uint32_t TableSum(const QByteArray& table) {
    std::uint32_t sum = 0;
    for (qsizetype i = 0; i < table.size(); i += 4) {
        std::uint32_t word = 0;
        for (qsizetype k = 0; k < 4; ++k) {
            word = word << 8 | (i + k < table.size() ? std::uint8_t(table[i + k]) : 0u);
        }
        sum += word;
    }
    return sum;
}

// A number as the page's operators take it: three decimals at most, no trailing zeros.
void Number(std::string& out, double v) {
    long long thousandths = std::llround(v * 1000.0);
    if (thousandths < 0) {
        out += '-';
        thousandths = -thousandths;
    }
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, thousandths / 1000).ptr;
    out.append(digits, end);
    if (int fraction = static_cast<int>(thousandths % 1000); fraction != 0) {
        out += '.';
        out += char('0' + fraction / 100);
        fraction %= 100;
        if (fraction != 0) {
            out += char('0' + fraction / 10);
            if (fraction % 10 != 0) {
                out += char('0' + fraction % 10);
            }
        }
    }
}

// Numbers one after the other, each followed by a space.
void Numbers(std::string& out, std::initializer_list<double> values) {
    for (const double v : values) {
        Number(out, v);
        out += ' ';
    }
}

void Integer(std::string& out, long long v) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
}

// A colour's components as the colour operators take them.
void Colour(std::string& out, const QColor& c, const char* op) {
    Numbers(out, {c.redF(), c.greenF(), c.blueF()});
    out += op;
}

// `v` as `digits` hexadecimal digits.
void Hex(std::string& out, std::uint32_t v, int digits) {
    static const char hex[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        out += hex[v >> shift & 0xF];
    }
}

// A text string of the document's information: UTF-16 with its byte order mark, in hexadecimal.
std::string TextString(const QString& text) {
    std::string out = "<FEFF";
    for (const QChar c : text) {
        Hex(out, c.unicode(), 4);
    }
    return out + '>';
}

// The order in which a font's codes are given to its glyphs: the printable ones first, which a
// string holds as they are, then the others; the three a string must escape come last.
const std::array<std::uint8_t, 256>& CodeOrder() {
    static const std::array<std::uint8_t, 256> order = [] {
        std::array<std::uint8_t, 256> o{};
        std::size_t n = 0;
        const auto escaped = [](int c) { return c == '(' || c == ')' || c == '\\'; };
        for (int c = 0x20; c < 0x7F; ++c) {
            if (!escaped(c)) {
                o[n++] = static_cast<std::uint8_t>(c);
            }
        }
        for (int c = 0x80; c < 0x100; ++c) {
            o[n++] = static_cast<std::uint8_t>(c);
        }
        for (int c = 0; c < 0x20; ++c) {
            o[n++] = static_cast<std::uint8_t>(c);
        }
        o[n++] = 0x7F;
        for (const int c : {'(', ')', '\\'}) {
            o[n++] = static_cast<std::uint8_t>(c);
        }
        return o;
    }();
    return order;
}

// A typeface embedded in the file: its TrueType tables as the system's font gives them, and the
// glyphs the pages draw of it.
struct Face {
    QRawFont font;  // one of its sizes, to read the tables and the characters from
    QByteArray head, hhea, maxp, loca, glyf, hmtx, cvt, fpgm, prep;
    int glyphs = 0;
    bool longOffsets = false;
    std::vector<bool> used;
    std::string name;  // its PostScript name, with the subset's tag
    int descriptor = 0;

    // The glyph's outline in glyf, or an empty range.
    std::pair<std::uint32_t, std::uint32_t> Outline(std::uint32_t glyph) const {
        if (glyph + 1 > static_cast<std::uint32_t>(glyphs)) {
            return {0, 0};
        }
        const auto offset = [&](std::uint32_t g) {
            return longOffsets ? U32(loca, qsizetype(g) * 4) : U16(loca, qsizetype(g) * 2) * 2;
        };
        const std::uint32_t from = offset(glyph);
        const std::uint32_t to = offset(glyph + 1);
        if (to <= from || to > static_cast<std::uint32_t>(glyf.size())) {
            return {0, 0};
        }
        return {from, to};
    }
};

// A size of a face, as a font resource of the pages: up to 256 of its glyphs, each a code of one
// byte. A face drawn with more glyphs at one size has more of these.
struct SizedFont {
    Face* face = nullptr;
    QRawFont font;
    int resource = 0;  // named /F<resource>, the object of its font dictionary
    int object = 0;
    std::vector<std::int16_t> codeOf;  // by glyph; -1 where none
    std::array<std::uint32_t, 256> glyphOf{};
    std::array<double, 256> width{};  // in thousandths of the font's size, as written
    int codes = 0;
    SizedFont* next = nullptr;  // where its glyphs go on once its codes are taken
};

// Compresses a page's content on a thread of its own while the next page is drawn.
class PageCompression {
  public:
    PageCompression() : worker_([this] { Run(); }) {}
    ~PageCompression() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
    PageCompression(const PageCompression&) = delete;
    PageCompression& operator=(const PageCompression&) = delete;

    // Hands a content over; what was handed before has been taken.
    void Give(std::string content) {
        {
            const std::lock_guard lock(mutex_);
            input_ = std::move(content);
            given_ = true;
        }
        changed_.notify_all();
    }
    // What was handed last, compressed, once it is.
    QByteArray Take() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return done_; });
        done_ = false;
        return std::move(output_);
    }

  private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || given_; });
            if (!given_) {
                return;
            }
            const std::string content = std::move(input_);
            given_ = false;
            lock.unlock();
            QByteArray packed = qCompress(reinterpret_cast<const uchar*>(content.data()),
                                          static_cast<qsizetype>(content.size()), kCompression);
            lock.lock();
            output_ = std::move(packed);
            done_ = true;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string input_;
    QByteArray output_;
    bool given_ = false;
    bool done_ = false;
    bool stop_ = false;
    std::thread worker_;  // last: it begins once the rest is made
};

}  // namespace

// The pages' painting and the file's writing.
class CPdfEngine : public QPaintEngine {
  public:
    CPdfEngine(QIODevice& out, const QPageLayout& layout, const QString& title)
        : QPaintEngine(QPaintEngine::AllFeatures), out_(out), layout_(layout), title_(title) {
        Write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
        objects_.resize(kFirstFree);
    }

    bool SetOrientation(QPageLayout::Orientation orientation) {
        if (isActive()) {
            return false;
        }
        layout_.setOrientation(orientation);
        return true;
    }
    const QPageLayout& Layout() const { return layout_; }
    bool Unsupported() const { return unsupported_; }

    bool begin(QPaintDevice*) override {
        if (finished_) {
            return false;
        }
        if (!pageOpen_) {
            BeginPage();
        }
        return !failed_;
    }
    bool end() override { return !failed_; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override {
        const DirtyFlags flags = state.state();
        if (flags & DirtyTransform) {
            matrix_ = state.transform();
        }
        if (flags & DirtyPen) {
            pen_ = state.pen();
        }
        if (flags & DirtyBrush) {
            brush_ = state.brush();
        }
        if (flags & DirtyClipPath) {
            Clip(state.clipPath().boundingRect(), Rectangular(state.clipPath()), state.clipOperation());
        } else if (flags & DirtyClipRegion) {
            Clip(state.clipRegion().boundingRect(), state.clipRegion().rectCount() <= 1,
                 state.clipOperation());
        } else if (flags & DirtyClipEnabled) {
            clipEnabled_ = state.isClipEnabled();
        }
        if (flags & (DirtyBackground | DirtyOpacity | DirtyCompositionMode)) {
            if ((flags & DirtyOpacity && state.opacity() < 1.0) ||
                (flags & DirtyCompositionMode &&
                 state.compositionMode() != QPainter::CompositionMode_SourceOver) ||
                (flags & DirtyBackground && state.backgroundMode() == Qt::OpaqueMode)) {
                unsupported_ = true;
            }
        }
    }

    void drawRects(const QRectF* rects, int count) override {
        const bool fill = brush_.style() != Qt::NoBrush;
        const bool stroke = pen_.style() != Qt::NoPen;
        if ((fill && (brush_.style() != Qt::SolidPattern || brush_.color().alpha() != 255)) ||
            (stroke && !StrokeSupported()) || !Simple()) {
            unsupported_ = true;
            return;
        }
        bool any = false;
        for (int i = 0; i < count; ++i) {
            const QRectF r = matrix_.mapRect(rects[i]);
            if (r.isEmpty() && !(stroke && r.isValid())) {
                continue;  // nothing to see (and the painter's state brought up to date)
            }
            if (!any) {
                Prepare();
                if (fill) {
                    SetFill(brush_.color());
                }
                if (stroke) {
                    SetStroke();
                }
                any = true;
            }
            Numbers(page_, {r.x(), r.y(), r.width(), r.height()});
            page_ += fill && stroke ? "re B\n" : fill ? "re f\n" : "re S\n";
        }
    }
    void drawRects(const QRect* rects, int count) override {
        for (int i = 0; i < count; ++i) {
            const QRectF r(rects[i]);
            drawRects(&r, 1);
        }
    }

    void drawLines(const QLineF* lines, int count) override { Stroke(lines, count); }
    void drawLines(const QLine* lines, int count) override { Stroke(lines, count); }

    void drawTextItem(const QPointF& at, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty() || item.renderFlags() & (QTextItem::Overline | QTextItem::Underline |
                                                    QTextItem::StrikeOut | QTextItem::RightToLeft)) {
            unsupported_ = true;  // glyphs that come without their characters, or drawn lines
            return;
        }
        // The same texts come back on every page (the company, the date): each is laid out once.
        const QString key = text + QChar(0) + item.font().key();
        auto laid = itemsLaidOut_.find(key);
        if (laid == itemsLaidOut_.end()) {
            if (itemsLaidOut_.size() >= kItemsLaidOutKept) {
                itemsLaidOut_.clear();
            }
            QTextLayout layout(text, item.font(), paintDevice());
            layout.beginLayout();
            const QTextLine line = layout.createLine();
            layout.endLayout();
            laid = itemsLaidOut_.insert(key, {layout.glyphRuns(), line.ascent()});
        }
        for (const QGlyphRun& run : std::as_const(laid->runs)) {
            Glyphs(run.rawFont(), run.glyphIndexes(), run.positions(), at - QPointF(0, laid->ascent));
        }
    }

    // Unsupported: pictures, curves, shapes other than rectangles.
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { unsupported_ = true; }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
        unsupported_ = true;
    }
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override { unsupported_ = true; }
    void drawPath(const QPainterPath&) override { unsupported_ = true; }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { unsupported_ = true; }
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override { unsupported_ = true; }
    void drawEllipse(const QRectF&) override { unsupported_ = true; }
    void drawEllipse(const QRect&) override { unsupported_ = true; }
    void drawPoints(const QPointF*, int) override { unsupported_ = true; }
    void drawPoints(const QPoint*, int) override { unsupported_ = true; }

    // Glyphs of `font` at `positions` moved by `at`, under the painter's state as this engine has it.
    void Glyphs(const QRawFont& font, const QList<quint32>& glyphs, const QList<QPointF>& positions,
                QPointF at) {
        if (glyphs.isEmpty()) {
            return;
        }
        if (!Simple() || glyphs.size() != positions.size() || pen_.style() == Qt::NoPen ||
            pen_.brush().style() != Qt::SolidPattern || pen_.color().alpha() != 255) {
            unsupported_ = true;
            return;
        }
        SizedFont* sized = SizedFor(font);
        if (!sized) {
            unsupported_ = true;
            return;
        }
        Prepare();
        SetFill(pen_.color());
        const double size = font.pixelSize() * matrix_.m11();
        page_ += "BT\n";
        const SizedFont* shown = nullptr;
        bool array = false;   // within a [ … ] TJ
        bool string = false;  // within its ( … )
        double lineY = 0;
        double pen = 0;  // where the next glyph stands, as a reader of the file works it out
        const auto closeString = [&] {
            if (string) {
                page_ += ')';
                string = false;
            }
        };
        const auto closeArray = [&] {
            closeString();
            if (array) {
                page_ += "] TJ\n";
                array = false;
            }
        };
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            const auto [in, code] = Code(*sized, glyphs[i]);
            const QPointF p = matrix_.map(positions[i] + at);
            if (in != shown) {
                closeArray();
                page_ += "/F";
                Integer(page_, in->resource);
                page_ += ' ';
                Number(page_, size);
                page_ += " Tf\n";
                shown = in;
            }
            if (i == 0 || std::abs(p.y() - lineY) > 0.0005) {
                closeArray();
                page_ += "1 0 0 -1 ";
                Numbers(page_, {p.x(), p.y()});
                page_ += "Tm\n";
                lineY = p.y();
                pen = std::llround(p.x() * 1000.0) / 1000.0;
            }
            if (!array) {
                page_ += '[';
                array = true;
            }
            // A glyph that does not stand where the one before it ended is moved there.
            const long long move = std::llround((pen - p.x()) * 1000.0 / size);
            if (move != 0) {
                closeString();
                Integer(page_, move);
                pen -= static_cast<double>(move) * size / 1000.0;
            }
            if (!string) {
                page_ += '(';
                string = true;
            }
            switch (code) {
                case '(':
                case ')':
                case '\\':
                    page_ += '\\';
                    page_ += char(code);
                    break;
                case '\n':
                    page_ += "\\n";
                    break;
                case '\r':
                    page_ += "\\r";
                    break;
                default:
                    page_ += char(code);
            }
            pen += in->width[code] * size / 1000.0;
        }
        closeArray();
        page_ += "ET\n";
    }

    bool NewPage() {
        if (finished_) {
            return false;
        }
        if (pageOpen_) {
            EndPage();
        }
        BeginPage();
        return !failed_;
    }

    bool Finish() {
        if (finished_) {
            return false;
        }
        if (!pageOpen_) {
            BeginPage();  // a file has a page at least
        }
        EndPage();
        WriteEndedPage();
        finished_ = true;
        WriteFonts();
        // The resources every page shares: the fonts.
        std::string fonts = "<< /Font <<";
        for (const auto& sized : sized_) {
            fonts += " /F" + std::to_string(sized->resource) + ' ' + Ref(sized->object);
        }
        Object(kResources, fonts + " >> /ProcSet [/PDF /Text] >>");
        std::string kids;
        for (const int page : pages_) {
            kids += Ref(page) + ' ';
        }
        Object(kPages,
               "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages_.size()) + " >>");
        Object(kCatalog, "<< /Type /Catalog /Pages " + Ref(kPages) + " >>");
        const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
        Object(kInfo, "<< /Title " + TextString(title_) +
                          " /Creator (Velumbra) /Producer (Velumbra) /CreationDate (D:" +
                          stamp.toStdString() + "Z) >>");
        const long long xref = written_;
        std::string table = "xref\n0 " + std::to_string(objects_.size()) + "\n0000000000 65535 f \n";
        for (std::size_t i = 1; i < objects_.size(); ++i) {
            const std::string offset = std::to_string(objects_[i]);
            table += std::string(offset.size() < 10 ? 10 - offset.size() : 0, '0') + offset + " 00000 n \n";
        }
        const QByteArray id =
            QCryptographicHash::hash((title_ + stamp).toUtf8() + QByteArray::number(written_),
                                     QCryptographicHash::Md5)
                .toHex()
                .toUpper();
        table += "trailer\n<< /Size " + std::to_string(objects_.size()) + " /Root " + Ref(kCatalog) +
                 " /Info " + Ref(kInfo) + " /ID [<" + id.toStdString() + "> <" + id.toStdString() +
                 ">] >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        Write(table);
        Drain();
        return !failed_ && !unsupported_;
    }

  private:
    static constexpr int kCatalog = 1, kPages = 2, kResources = 3, kInfo = 4, kFirstFree = 5;

    // Whether the painter's transformation is one these pages draw: a scaling, the same both ways,
    // and a move.
    bool Simple() const {
        return matrix_.type() <= QTransform::TxScale && matrix_.m11() > 0 &&
               std::abs(matrix_.m11() - matrix_.m22()) < 1e-9;
    }
    bool StrokeSupported() const {
        return pen_.style() == Qt::SolidLine && pen_.brush().style() == Qt::SolidPattern &&
               pen_.color().alpha() == 255;
    }

    // Whether a path is a rectangle: each of its points on two of its edges.
    static bool Rectangular(const QPainterPath& path) {
        const QRectF box = path.boundingRect();
        if (path.elementCount() > 5) {
            return false;
        }
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if ((e.x != box.left() && e.x != box.right()) || (e.y != box.top() && e.y != box.bottom())) {
                return false;
            }
        }
        return true;
    }
    // Solid lines, in one path stroked at once.
    template <class Line>
    void Stroke(const Line* lines, int count) {
        if (pen_.style() == Qt::NoPen || count <= 0) {
            return;
        }
        if (!StrokeSupported() || !Simple()) {
            unsupported_ = true;
            return;
        }
        Prepare();
        SetStroke();
        for (int i = 0; i < count; ++i) {
            const QPointF a = matrix_.map(QPointF(lines[i].p1()));
            const QPointF b = matrix_.map(QPointF(lines[i].p2()));
            Numbers(page_, {a.x(), a.y()});
            page_ += "m ";
            Numbers(page_, {b.x(), b.y()});
            page_ += "l\n";
        }
        page_ += "S\n";
    }

    void Clip(const QRectF& rect, bool rectangular, Qt::ClipOperation operation) {
        if (operation == Qt::NoClip) {
            clipEnabled_ = false;
            clip_.reset();
            return;
        }
        if (!rectangular) {
            unsupported_ = true;
            return;
        }
        const QRectF mapped = matrix_.mapRect(rect);
        clipEnabled_ = true;
        clip_ = operation == Qt::IntersectClip && clip_ ? clip_->intersected(mapped) : mapped;
    }

    // The clip of what is drawn next put in the page, when it is not the one there.
    void Prepare() {
        const std::optional<QRectF> wanted = clipEnabled_ ? clip_ : std::nullopt;
        if (wanted == shownClip_) {
            return;
        }
        if (shownClip_) {
            page_ += "Q\n";  // the state before the clip comes back: the colours and widths with it
            fill_.reset();
            stroke_.reset();
            lineWidth_.reset();
            cap_.reset();
        }
        if (wanted) {
            page_ += "q ";
            Numbers(page_, {wanted->x(), wanted->y(), std::max(0.0, wanted->width()),
                            std::max(0.0, wanted->height())});
            page_ += "re W n\n";
        }
        shownClip_ = wanted;
    }

    void SetFill(const QColor& colour) {
        if (fill_ != colour.rgb()) {
            Colour(page_, colour, "rg\n");
            fill_ = colour.rgb();
        }
    }
    void SetStroke() {
        const QColor colour = pen_.color();
        if (stroke_ != colour.rgb()) {
            Colour(page_, colour, "RG\n");
            stroke_ = colour.rgb();
        }
        const double width = pen_.isCosmetic() ? pen_.widthF() : pen_.widthF() * matrix_.m11();
        if (lineWidth_ != width) {
            Number(page_, width);
            page_ += " w\n";
            lineWidth_ = width;
        }
        const int cap = pen_.capStyle() == Qt::FlatCap ? 0 : pen_.capStyle() == Qt::RoundCap ? 1 : 2;
        if (cap_ != cap) {
            Integer(page_, cap);
            page_ += " J\n";
            cap_ = cap;
        }
    }

    void BeginPage() {
        page_.clear();
        pageOpen_ = true;
        shownClip_.reset();
        fill_.reset();
        stroke_.reset();
        lineWidth_.reset();
        cap_.reset();
        // Qt's PDF writer's own placing of the drawing on the page: pixels of 96 to the inch from the
        // page's top left, moved to the printable area.
        const QRect paint = layout_.paintRectPixels(kResolution);
        QTransform page(72.0 / kResolution, 0, 0, -72.0 / kResolution, 0, layout_.fullRectPoints().height());
        page.translate(paint.left(), paint.top());
        Numbers(page_, {page.m11(), page.m12(), page.m21(), page.m22(), page.dx(), page.dy()});
        page_ += "cm\n2 j\n";
    }

    // The page's content goes to be compressed while the next one is drawn; the one before it is
    // written meanwhile.
    void EndPage() {
        if (shownClip_) {
            page_ += "Q\n";
        }
        WriteEndedPage();
        ended_ = {NewObject(), NewObject()};
        compression_.Give(std::move(page_));
        page_ = std::string();
        pageOpen_ = false;
    }
    void WriteEndedPage() {
        if (!ended_) {
            return;
        }
        const auto [contents, page] = *ended_;
        ended_.reset();
        Packed(contents, "", compression_.Take());
        const QRect full = layout_.fullRectPoints();
        Object(page, "<< /Type /Page /Parent " + Ref(kPages) + " /MediaBox [0 0 " +
                         std::to_string(full.width()) + ' ' + std::to_string(full.height()) +
                         "] /Resources " + Ref(kResources) + " /Contents " + Ref(contents) + " >>");
        pages_.push_back(page);
    }

    int NewObject() {
        objects_.push_back(0);
        return static_cast<int>(objects_.size()) - 1;
    }
    static std::string Ref(int object) { return std::to_string(object) + " 0 R"; }
    void Object(int object, const std::string& body) {
        objects_[static_cast<std::size_t>(object)] = written_;
        Write(std::to_string(object) + " 0 obj\n" + body + "\nendobj\n");
    }
    // A stream compressed, with the entries of its dictionary beyond its length and filter.
    void Stream(int object, const std::string& entries, const QByteArray& data) {
        Packed(object, entries, qCompress(data, kCompression));
    }
    // A stream as qCompress compressed it.
    void Packed(int object, const std::string& entries, const QByteArray& packed) {
        const qsizetype length = std::max<qsizetype>(packed.size() - 4, 0);  // after Qt's own length
        objects_[static_cast<std::size_t>(object)] = written_;
        Write(std::to_string(object) + " 0 obj\n<< /Length " + std::to_string(length) +
              " /Filter /FlateDecode" + entries + " >>\nstream\n");
        Write(std::string_view(packed.constData() + 4, static_cast<std::size_t>(length)));
        Write("\nendstream\nendobj\n");
    }

    void Write(std::string_view bytes) {
        buffer_.append(bytes.data(), bytes.size());
        written_ += static_cast<long long>(bytes.size());
        if (buffer_.size() >= kWrittenAt) {
            Drain();
        }
    }
    void Drain() {
        if (!failed_ && !buffer_.empty() &&
            out_.write(buffer_.data(), static_cast<qint64>(buffer_.size())) !=
                static_cast<qint64>(buffer_.size())) {
            failed_ = true;
        }
        buffer_.clear();
    }

    // The font resource of this size of a face, made the first time it is drawn; nothing when the
    // font has no TrueType outlines.
    SizedFont* SizedFor(const QRawFont& font) {
        if (lastSized_ && lastSized_->font == font) {
            return lastSized_;
        }
        // The first of a size's resources is the one its glyphs are looked for from.
        for (const auto& sized : sized_) {
            if (sized->font == font) {
                return lastSized_ = sized.get();
            }
        }
        Face* face = FaceOf(font);
        if (!face) {
            return nullptr;
        }
        return lastSized_ = NewSized(*face, font);
    }
    SizedFont* NewSized(Face& face, const QRawFont& font) {
        auto sized = std::make_unique<SizedFont>();
        sized->face = &face;
        sized->font = font;
        sized->resource = static_cast<int>(sized_.size()) + 1;
        sized->object = NewObject();
        sized->codeOf.assign(static_cast<std::size_t>(face.glyphs), -1);
        sized_.push_back(std::move(sized));
        return sized_.back().get();
    }
    Face* FaceOf(const QRawFont& font) {
        const QByteArray head = font.fontTable("head");
        for (const auto& face : faces_) {
            if (face->head == head && face->font.familyName() == font.familyName() &&
                face->font.styleName() == font.styleName()) {
                return face.get();
            }
        }
        auto face = std::make_unique<Face>();
        face->font = font;
        face->head = head;
        face->hhea = font.fontTable("hhea");
        face->maxp = font.fontTable("maxp");
        face->loca = font.fontTable("loca");
        face->glyf = font.fontTable("glyf");
        face->hmtx = font.fontTable("hmtx");
        face->cvt = font.fontTable("cvt ");
        face->fpgm = font.fontTable("fpgm");
        face->prep = font.fontTable("prep");
        face->glyphs = static_cast<int>(U16(face->maxp, 4));
        face->longOffsets = S16(face->head, 50) == 1;
        if (face->head.size() < 54 || face->hhea.size() < 36 || face->glyf.isEmpty() || face->glyphs == 0 ||
            face->loca.size() < (face->glyphs + 1) * (face->longOffsets ? 4 : 2) || face->hmtx.isEmpty() ||
            U16(face->head, 18) == 0) {
            return nullptr;
        }
        face->used.assign(static_cast<std::size_t>(face->glyphs), false);
        face->used[0] = true;  // the missing glyph's outline is always there
        const char tag[] = {
            'V', 'L', 'M', 'B', char('A' + faces_.size() / 26 % 26), char('A' + faces_.size() % 26), 0};
        face->name = std::string(tag) + '+' + PostScriptName(*face);
        faces_.push_back(std::move(face));
        return faces_.back().get();
    }

    // The code of a glyph in a size's resources, given the next free code the first time it is drawn.
    std::pair<SizedFont*, int> Code(SizedFont& sized, quint32 glyph) {
        SizedFont* in = &sized;
        for (;; in = in->next) {
            if (glyph < in->codeOf.size() && in->codeOf[glyph] >= 0) {
                return {in, in->codeOf[glyph]};
            }
            if (!in->next) {
                break;
            }
        }
        if (glyph >= in->codeOf.size()) {
            glyph = 0;  // a glyph the font does not have: its missing glyph
            if (in->codeOf[0] >= 0) {
                return {in, in->codeOf[0]};
            }
        }
        if (in->codes == 256) {
            in->next = NewSized(*in->face, in->font);
            in = in->next;
        }
        const int code = CodeOrder()[static_cast<std::size_t>(in->codes++)];
        in->codeOf[glyph] = static_cast<std::int16_t>(code);
        in->glyphOf[static_cast<std::size_t>(code)] = glyph;
        QPointF advance;
        const quint32 index = glyph;
        in->font.advancesForGlyphIndexes(&index, &advance, 1);
        const double pixels = std::max(in->font.pixelSize(), 1e-6);
        in->width[static_cast<std::size_t>(code)] =
            std::llround(advance.x() * 1000.0 / pixels * 1000.0) / 1000.0;
        in->face->used[glyph] = true;
        return {in, code};
    }

    static std::string PostScriptName(const Face& face) {
        std::string name;
        const QByteArray table = face.font.fontTable("name");
        const std::uint32_t count = U16(table, 2);
        const std::uint32_t strings = U16(table, 4);
        for (std::uint32_t i = 0; i < count && name.empty(); ++i) {
            const qsizetype record = 6 + qsizetype(i) * 12;
            const std::uint32_t platform = U16(table, record);
            if (U16(table, record + 6) != 6 || (platform != 1 && platform != 3)) {
                continue;
            }
            const std::uint32_t length = U16(table, record + 8);
            const qsizetype at = qsizetype(strings) + U16(table, record + 10);
            for (qsizetype k = 0; k < qsizetype(length) && at + k < table.size();
                 k += platform == 3 ? 2 : 1) {
                const std::uint32_t c = platform == 3 ? U16(table, at + k) : std::uint8_t(table[at + k]);
                name += char(c);
            }
        }
        if (name.empty()) {
            name = (face.font.familyName() + QLatin1Char('-') + face.font.styleName()).toStdString();
        }
        std::string clean;
        for (const char c : name) {
            if (c > 0x20 && c < 0x7F && std::string_view("()<>[]{}/%#").find(c) == std::string_view::npos) {
                clean += c;
            }
        }
        return clean.empty() ? std::string("Font") : clean;
    }

    // The face with only the glyphs drawn: the others keep their numbers with no outline.
    static QByteArray Subset(Face& face) {
        // A composite glyph draws others: they go in with it.
        for (int g = 0; g < face.glyphs; ++g) {
            std::vector<std::uint32_t> pending;
            if (face.used[static_cast<std::size_t>(g)]) {
                pending.push_back(static_cast<std::uint32_t>(g));
            }
            while (!pending.empty()) {
                const std::uint32_t glyph = pending.back();
                pending.pop_back();
                const auto [from, to] = face.Outline(glyph);
                if (to - from < 10 || S16(face.glyf, from) >= 0) {
                    continue;
                }
                qsizetype at = from + 10;
                for (std::uint32_t flags = 0x20; flags & 0x20 && at + 4 <= qsizetype(to);) {
                    flags = U16(face.glyf, at);
                    const std::uint32_t part = U16(face.glyf, at + 2);
                    at += 4 + ((flags & 1) ? 4 : 2) +
                          ((flags & 8)      ? 2
                           : (flags & 0x40) ? 4
                           : (flags & 0x80) ? 8
                                            : 0);
                    if (part < face.used.size() && !face.used[part]) {
                        face.used[part] = true;
                        if (part < static_cast<std::uint32_t>(g)) {
                            pending.push_back(part);
                        }
                    }
                }
            }
        }
        QByteArray glyf;
        QByteArray loca;
        for (int g = 0; g < face.glyphs; ++g) {
            Put32(loca, static_cast<std::uint32_t>(glyf.size()));
            if (face.used[static_cast<std::size_t>(g)]) {
                const auto [from, to] = face.Outline(static_cast<std::uint32_t>(g));
                glyf.append(face.glyf.constData() + from, qsizetype(to - from));
                while (glyf.size() % 4) {
                    glyf.append('\0');
                }
            }
        }
        Put32(loca, static_cast<std::uint32_t>(glyf.size()));
        QByteArray head = face.head;
        Set16(head, 8, 0);  // the whole font's sum, worked out below
        Set16(head, 10, 0);
        Set16(head, 50, 1);  // long offsets
        std::vector<std::pair<const char*, QByteArray>> tables{
            {"cvt ", face.cvt}, {"fpgm", face.fpgm}, {"glyf", glyf},
            {"head", head},     {"hhea", face.hhea}, {"hmtx", face.hmtx},
            {"loca", loca},     {"maxp", face.maxp}, {"prep", face.prep}};
        std::erase_if(tables, [](const auto& t) { return t.second.isEmpty(); });
        const auto n = static_cast<std::uint32_t>(tables.size());
        std::uint32_t power = 1;
        std::uint32_t log = 0;
        while (power * 2 <= n) {
            power *= 2;
            ++log;
        }
        QByteArray font;
        Put32(font, 0x00010000);
        Put16(font, n);
        Put16(font, power * 16);
        Put16(font, log);
        Put16(font, n * 16 - power * 16);
        std::uint32_t offset = 12 + n * 16;
        qsizetype headAt = 0;
        for (const auto& [tag, data] : tables) {
            font.append(tag, 4);
            Put32(font, TableSum(data));
            Put32(font, offset);
            Put32(font, static_cast<std::uint32_t>(data.size()));
            if (std::string_view(tag) == "head") {
                headAt = offset;
            }
            offset += (static_cast<std::uint32_t>(data.size()) + 3) & ~3u;
        }
        for (const auto& [tag, data] : tables) {
            font += data;
            while (font.size() % 4) {
                font.append('\0');
            }
        }
        const std::uint32_t adjustment = 0xB1B0AFBAu - TableSum(font);
        Set16(font, headAt + 8, adjustment >> 16);
        Set16(font, headAt + 10, adjustment & 0xFFFF);
        return font;
    }

    // The characters each glyph of a face stands for, for the readers of the file that take its
    // text: those of the Windows code page, the Latin letters and the punctuation, and the ligatures.
    static std::vector<QString> Characters(const Face& face) {
        std::vector<QString> of(static_cast<std::size_t>(face.glyphs));
        const auto add = [&](const QString& characters, char32_t c) {
            const QString one = QString::fromUcs4(&c, 1);
            quint32 glyph = 0;
            int count = 1;
            if (!face.font.glyphIndexesForChars(one.constData(), static_cast<int>(one.size()), &glyph,
                                                &count) ||
                count != 1 || glyph == 0 || glyph >= of.size() || !of[glyph].isEmpty()) {
                return;
            }
            of[glyph] = characters;
        };
        for (char32_t c = 0x20; c < 0x250; ++c) {
            if (c < 0x7F || c >= 0xA0) {
                add(QString::fromUcs4(&c, 1), c);
            }
        }
        for (char32_t c = 0x2000; c < 0x2070; ++c) {
            add(QString::fromUcs4(&c, 1), c);
        }
        for (const char32_t c : {0x02C6, 0x02DC, 0x20AC, 0x2122}) {
            add(QString::fromUcs4(&c, 1), c);
        }
        const char* const ligatures[] = {"ff", "fi", "fl", "ffi", "ffl"};
        for (char32_t c = 0xFB00; c <= 0xFB04; ++c) {
            add(QString::fromLatin1(ligatures[c - 0xFB00]), c);
        }
        return of;
    }

    void WriteFonts() {
        // The one encoding every resource has: each code is the glyph of its own number in the
        // resource's table of glyphs.
        int encoding = 0;
        if (!sized_.empty()) {
            encoding = NewObject();
            const std::string cmap =
                "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n/CIDSystemInfo << /Registry "
                "(Adobe) /Ordering (Identity) /Supplement 0 >> def\n/CMapName /Velumbra-Bytes def\n/CMapType "
                "1 "
                "def\n1 begincodespacerange\n<00> <FF>\nendcodespacerange\n1 begincidrange\n<00> <FF> 0\n"
                "endcidrange\nendcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
            Stream(encoding,
                   " /Type /CMap /CMapName /Velumbra-Bytes /CIDSystemInfo << /Registry (Adobe) /Ordering "
                   "(Identity) "
                   "/Supplement 0 >>",
                   QByteArray::fromStdString(cmap));
        }
        std::vector<std::vector<QString>> characters;
        for (const auto& face : faces_) {
            const QByteArray font = Subset(*face);
            const int file = NewObject();
            Stream(file, " /Length1 " + std::to_string(font.size()), font);
            const double units = 1000.0 / U16(face->head, 18);
            std::string box;
            Numbers(box, {S16(face->head, 36) * units, S16(face->head, 38) * units,
                          S16(face->head, 40) * units, S16(face->head, 42) * units});
            std::string descriptor = "<< /Type /FontDescriptor /FontName /" + face->name +
                                     " /Flags 4 /FontBBox [" + box + "] /ItalicAngle 0 /Ascent ";
            Number(descriptor, S16(face->hhea, 4) * units);
            descriptor += " /Descent ";
            Number(descriptor, S16(face->hhea, 6) * units);
            descriptor += " /CapHeight ";
            Number(descriptor, S16(face->hhea, 4) * units);
            descriptor += " /StemV 80 /FontFile2 " + Ref(file) + " >>";
            face->descriptor = NewObject();
            Object(face->descriptor, descriptor);
            characters.push_back(Characters(*face));
        }
        for (const auto& sized : sized_) {
            const Face& face = *sized->face;
            const std::vector<QString>& of = characters[static_cast<std::size_t>(
                std::find_if(faces_.begin(), faces_.end(), [&](const auto& f) { return f.get() == &face; }) -
                faces_.begin())];
            QByteArray map;
            std::string widths = "[0 [";
            std::string unicode;
            int mapped = 0;
            std::string entries;
            for (int code = 0; code < 256; ++code) {
                const bool used = sized->codeOf[sized->glyphOf[static_cast<std::size_t>(code)]] == code;
                const std::uint32_t glyph = used ? sized->glyphOf[static_cast<std::size_t>(code)] : 0;
                Put16(map, glyph);
                Number(widths, used ? sized->width[static_cast<std::size_t>(code)] : 0.0);
                widths += ' ';
                if (used && glyph < of.size() && !of[glyph].isEmpty()) {
                    entries += '<';
                    Hex(entries, static_cast<std::uint32_t>(code), 2);
                    entries += "> <";
                    for (const QChar c : of[glyph]) {
                        Hex(entries, c.unicode(), 4);
                    }
                    entries += ">\n";
                    if (++mapped % 100 == 0) {
                        unicode += "100 beginbfchar\n" + entries + "endbfchar\n";
                        entries.clear();
                    }
                }
            }
            if (mapped % 100) {
                unicode += std::to_string(mapped % 100) + " beginbfchar\n" + entries + "endbfchar\n";
            }
            widths += "]]";
            const int toGlyph = NewObject();
            Stream(toGlyph, "", map);
            const int toUnicode = NewObject();
            Stream(toUnicode, "",
                   QByteArray::fromStdString(
                       "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n/CIDSystemInfo << "
                       "/Registry "
                       "(Adobe) /Ordering (UCS) /Supplement 0 >> def\n/CMapName /Adobe-Identity-UCS "
                       "def\n/CMapType 2 "
                       "def\n1 begincodespacerange\n<00> <FF>\nendcodespacerange\n" +
                       unicode + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n"));
            const int descendant = NewObject();
            Object(descendant,
                   "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + face.name +
                       " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
                       "/FontDescriptor " +
                       Ref(face.descriptor) + " /DW 0 /W " + widths + " /CIDToGIDMap " + Ref(toGlyph) +
                       " >>");
            Object(sized->object, "<< /Type /Font /Subtype /Type0 /BaseFont /" + face.name + " /Encoding " +
                                      Ref(encoding) + " /DescendantFonts [" + Ref(descendant) +
                                      "] /ToUnicode " + Ref(toUnicode) + " >>");
        }
    }

    QIODevice& out_;
    QPageLayout layout_;
    QString title_;
    std::string buffer_;
    long long written_ = 0;
    bool failed_ = false;
    bool unsupported_ = false;
    bool finished_ = false;
    std::vector<long long> objects_;  // where each object begins in the file, by number
    std::vector<int> pages_;

    std::string page_;
    bool pageOpen_ = false;
    std::optional<std::pair<int, int>> ended_;  // the objects of the page being compressed: contents, page
    PageCompression compression_;
    QTransform matrix_;
    QPen pen_;
    QBrush brush_;
    bool clipEnabled_ = false;
    std::optional<QRectF> clip_;
    std::optional<QRectF> shownClip_;
    std::optional<QRgb> fill_, stroke_;
    std::optional<double> lineWidth_;
    std::optional<int> cap_;

    // The page texts drawn through the painter, laid out once: by text and font.
    struct LaidOutItem {
        QList<QGlyphRun> runs;
        qreal ascent = 0;
    };
    static constexpr qsizetype kItemsLaidOutKept = 1000;
    QHash<QString, LaidOutItem> itemsLaidOut_;

    std::vector<std::unique_ptr<Face>> faces_;
    std::vector<std::unique_ptr<SizedFont>> sized_;
    SizedFont* lastSized_ = nullptr;
};

CPdfPages::CPdfPages(QIODevice& out, const QPageLayout& layout, const QString& title)
    : engine_(std::make_unique<CPdfEngine>(out, layout, title)) {}

CPdfPages::~CPdfPages() = default;

bool CPdfPages::setPageOrientation(QPageLayout::Orientation orientation) {
    return engine_->SetOrientation(orientation);
}

bool CPdfPages::newPage() {
    return engine_->NewPage();
}

bool CPdfPages::Finish() {
    return engine_->Finish();
}

bool CPdfPages::Unsupported() const {
    return engine_->Unsupported();
}

QPaintEngine* CPdfPages::paintEngine() const {
    return engine_.get();
}

int CPdfPages::metric(PaintDeviceMetric metric) const {
    const QPageLayout& layout = engine_->Layout();
    switch (metric) {
        case PdmWidth:
            return layout.paintRectPixels(kResolution).width();
        case PdmHeight:
            return layout.paintRectPixels(kResolution).height();
        case PdmWidthMM:
            return qRound(layout.paintRect(QPageLayout::Millimeter).width());
        case PdmHeightMM:
            return qRound(layout.paintRect(QPageLayout::Millimeter).height());
        case PdmNumColors:
            return std::numeric_limits<int>::max();
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return kResolution;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(metric);
    }
}

bool DrawGlyphsOnPdfPages(QPainter& p, const QRawFont& font, const QList<quint32>& glyphs,
                          const QList<QPointF>& positions, QPointF at) {
    auto* engine = dynamic_cast<CPdfEngine*>(p.paintEngine());
    if (!engine) {
        return false;
    }
    // The painter tells its engine of a new pen, clip or transformation only as it draws: an empty
    // rectangle brings the engine up to date and draws nothing.
    const QRectF none;
    p.drawRects(&none, 1);
    engine->Glyphs(font, glyphs, positions, at);
    return true;
}

}  // namespace desktop
