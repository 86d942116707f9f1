// Pages written as a PDF file by the program itself, for printings of many pages: drawn with a
// QPainter like any other device, the texts of each line of a page go into one run of one byte per
// glyph, each font is embedded once with only the glyphs drawn, and each page is compressed and
// written as soon as it ends, so the file grows page after page without being held whole.
//
// It draws what the census's pages are made of: solid rectangles, solid lines, texts, rectangular
// clips, under scalings and moves. Anything else (a pattern, a curve, a picture, a rotation, a font
// without TrueType outlines) leaves the pages Unsupported(): the printing is then done again through
// Qt's own PDF writer.
#pragma once

#include <QList>
#include <QPageLayout>
#include <QPaintDevice>
#include <QPointF>
#include <QString>
#include <memory>

class QIODevice;
class QPainter;
class QRawFont;

namespace desktop {

class CPdfEngine;

class CPdfPages : public QPaintDevice {
  public:
    // Pages of `layout` written to `out` (open for writing), as the document `title`.
    CPdfPages(QIODevice& out, const QPageLayout& layout, const QString& title);
    ~CPdfPages() override;
    CPdfPages(const CPdfPages&) = delete;
    CPdfPages& operator=(const CPdfPages&) = delete;

    // As a printer's: before painting begins.
    bool setPageOrientation(QPageLayout::Orientation orientation);
    // Ends the page being drawn and begins another; false when the file could not be written.
    bool newPage();
    // Ends the file once the painting has ended: false when anything could not be written or drawn.
    bool Finish();
    // Whether something was drawn that these pages cannot hold.
    bool Unsupported() const;

    QPaintEngine* paintEngine() const override;

  protected:
    int metric(PaintDeviceMetric metric) const override;

  private:
    std::unique_ptr<CPdfEngine> engine_;
};

// Draws glyphs of `font` at `positions` moved by `at` when the painter paints on CPdfPages, straight
// into its page; false (nothing drawn) on any other device.
bool DrawGlyphsOnPdfPages(QPainter& p, const QRawFont& font, const QList<quint32>& glyphs,
                          const QList<QPointF>& positions, QPointF at = {});

}  // namespace desktop
