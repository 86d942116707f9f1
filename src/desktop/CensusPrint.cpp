#include "desktop/CensusPrint.h"

#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>

namespace desktop {

namespace {

// The pages are drawn in the grid's own pixels.
constexpr int kDotsPerInch = 96;
constexpr int kHeadHeight = 34;  // the company and the date, and a rule under them
constexpr int kFootHeight = 22;  // "pagina N di M"

// The blocks of the grid's columns, in order: what a page across holds whole.
constexpr std::pair<int, int> kBlocks[] = {{0, 4}, {5, 11}, {12, 14}, {15, 17}, {18, 29}, {30, 41}, {42, 53}};

// A font of `points` on a device of `dpi` whose painter draws the grid's pixels: its size is given as
// on the grid's, the painter's scale makes it the size asked.
QFont OnDevice(QFont font, qreal points, int dpi) {
    font.setPointSizeF(points * kDotsPerInch / dpi);
    return font;
}

QFont PageFont(bool bold) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(bold);
    return font;
}

}  // namespace

CCensusPrint::CCensusPrint(const reg::CDepotRowList& rows, QString company, QString date)
    : rows_(rows), company_(std::move(company)), date_(std::move(date)), layout_(MeasureGridLayout(rows)) {}

std::pair<int, int> CCensusPrint::Extent(int firstColumn, int lastColumn) const {
    const GridLayout& L = layout_;
    const auto left = [&](int column) {
        if (column == 0) {
            return 0;
        }
        if (column <= 4) {
            return L.XL - 5;
        }
        if (column <= 11) {
            return L.XA - 5;
        }
        if (column <= 14) {
            return L.XS - 5;
        }
        if (column <= 17) {
            return L.XC - 5;
        }
        return L.XF - 5 + (column - 18) / 12 * L.G;
    };
    const int right = lastColumn + 1 < kGridColumns ? left(lastColumn + 1) : L.T + 5 + 1;
    return {left(firstColumn), right};
}

CCensusPrint::Plan CCensusPrint::PlanPages(const QSize& area) const {
    Plan plan;
    const int identifier = layout_.XL - 5;  // the identifier's column, repeated on every page across
    int width = 0;
    for (const auto& [first, last] : kBlocks) {
        const auto [x0, x1] = Extent(first, last);
        const bool fits = !plan.slices.empty() && width + (x1 - x0) <= area.width();
        if (fits) {
            plan.slices.back().second = last;
            width += x1 - x0;
        } else {
            plan.slices.emplace_back(first, last);
            width = (first == 0 ? 0 : identifier) + (x1 - x0);
        }
    }
    const int pitch = layout_.h + 4;
    const int headings = 3 * layout_.h + 18;
    plan.rowsPerPage = std::max(1, (area.height() - kHeadHeight - kFootHeight - headings - 1) / pitch);
    const int n = static_cast<int>(rows_.size());
    plan.rowPages = std::max(1, (n + plan.rowsPerPage - 1) / plan.rowsPerPage);
    return plan;
}

void CCensusPrint::PrintPage(QPainter& p, const Plan& plan, int rowPage, int slice, const QSize& area,
                             qreal scale) const {
    const int number = rowPage * static_cast<int>(plan.slices.size()) + slice + 1;
    p.setPen(Qt::black);
    const int dpi = p.device()->logicalDpiY();
    p.setFont(OnDevice(PageFont(true), 10, dpi));
    p.drawText(QRect(0, 0, area.width(), kHeadHeight - 8), Qt::AlignLeft | Qt::AlignVCenter, company_);
    p.setFont(OnDevice(PageFont(false), 10, dpi));
    p.drawText(QRect(0, 0, area.width(), kHeadHeight - 8), Qt::AlignRight | Qt::AlignVCenter, date_);
    p.drawLine(0, kHeadHeight - 6, area.width(), kHeadHeight - 6);
    p.setFont(OnDevice(PageFont(false), 9, dpi));
    p.drawText(QRect(0, area.height() - kFootHeight, area.width(), kFootHeight), Qt::AlignCenter,
               QStringLiteral("pagina %1 di %2").arg(number).arg(plan.Pages()));

    GridView view;
    view.font = OnDevice(GridFont(), GridFont().pointSizeF(), dpi);
    view.glyphs = true;
    view.first = rowPage * plan.rowsPerPage;
    view.count = std::min(plan.rowsPerPage, static_cast<int>(rows_.size()) - view.first);
    const auto [first, last] = plan.slices[static_cast<std::size_t>(slice)];
    const auto [x0, x1] = Extent(first, last);
    const int tableHeight = 3 * layout_.h + 18 + view.count * (layout_.h + 4) + 1;
    const auto draw = [&](int left, int width, int dx) {
        p.save();
        p.setClipRect(QRect(left, 0, width, tableHeight));
        view.dx = dx;
        view.width = left + width;
        DrawGrid(p, layout_, rows_, view, laidOut_);
        p.restore();
    };
    p.save();
    p.translate(0, kHeadHeight);
    p.scale(scale, scale);
    if (x0 == 0) {
        draw(0, x1, 0);
    } else {
        const int identifier = layout_.XL - 5;
        draw(0, identifier, 0);
        draw(identifier, x1 - x0, identifier - x0);
    }
    p.restore();
}

bool CCensusPrint::Print(QPagedPaintDevice& device, const std::function<void()>& keepResponsive) const {
    device.setPageOrientation(QPageLayout::Landscape);
    const QSize area(device.width() * kDotsPerInch / std::max(device.logicalDpiX(), 1),
                     device.height() * kDotsPerInch / std::max(device.logicalDpiY(), 1));
    // The widest page across at full size; a smaller paper draws the table smaller.
    Plan plan = PlanPages(area);
    int widest = 0;
    for (const auto& [first, last] : plan.slices) {
        const auto [x0, x1] = Extent(first, last);
        widest = std::max(widest, (x0 == 0 ? 0 : layout_.XL - 5) + x1 - x0);
    }
    const qreal scale = widest > area.width() ? qreal(area.width()) / widest : 1.0;
    if (scale < 1.0) {
        plan = PlanPages(QSize(qRound(area.width() / scale), qRound(area.height() / scale)));
    }
    QPainter p;
    if (!p.begin(&device)) {
        return false;
    }
    // The grid's pixels on the device's.
    p.scale(qreal(device.logicalDpiX()) / kDotsPerInch, qreal(device.logicalDpiY()) / kDotsPerInch);
    for (int rowPage = 0; rowPage < plan.rowPages; ++rowPage) {
        for (int slice = 0; slice < static_cast<int>(plan.slices.size()); ++slice) {
            if ((rowPage > 0 || slice > 0) && !device.newPage()) {
                return false;
            }
            PrintPage(p, plan, rowPage, slice, area, scale);
            if (keepResponsive) {
                keepResponsive();
            }
        }
    }
    return p.end();
}

bool PrintCensusToPdf(const CCensusPrint& print, const QString& path, const QPageLayout& page,
                      const std::function<void()>& keepResponsive) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    bool printed = false;
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(kDotsPerInch);
        pdf.setPageLayout(page);
        pdf.setCreator(QStringLiteral("Velumbra"));
        pdf.setTitle(QFileInfo(path).completeBaseName());
        printed = print.Print(pdf, keepResponsive);
    }  // the writer finishes the file here
    if (!printed || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace desktop
