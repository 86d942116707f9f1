// The census on paper: the structure list as the grid shows it, on landscape pages. The rows go down
// the pages, never cut by a page's end, under the grid's heading bands repeated on every page; the
// columns that do not fit across a page are carried to the following pages a block of the grid at a
// time (the location, the activities, each area, each service), each row named again by its
// identifier. Every page has the company and the date at its head and "pagina N di M" at its foot.
#pragma once

#include <QPagedPaintDevice>
#include <QString>
#include <functional>
#include <vector>

#include "desktop/DepotGrid.h"

namespace desktop {

class CCensusPrint {
  public:
    CCensusPrint(const reg::CDepotRowList& rows, QString company, QString date);

    // How the rows and the columns fall on pages of `area` (the printable size, in the grid's
    // pixels, 96 to the inch).
    struct Plan {
        int rowsPerPage = 0;
        // The blocks of columns of each page across: [first, last] columns.
        std::vector<std::pair<int, int>> slices;
        int rowPages = 0;
        int Pages() const { return rowPages * static_cast<int>(slices.size()); }
    };
    Plan PlanPages(const QSize& area) const;

    // Prints every page on `device`, calling `keepResponsive` between pages. False when the device
    // could not be painted on.
    bool Print(QPagedPaintDevice& device, const std::function<void()>& keepResponsive = {}) const;

  private:
    void PrintPage(QPainter& p, const Plan& plan, int rowPage, int slice, const QSize& area,
                   qreal scale) const;
    // Where a column block begins and ends across the grid (before any scrolling).
    std::pair<int, int> Extent(int firstColumn, int lastColumn) const;

    const reg::CDepotRowList& rows_;
    QString company_;
    QString date_;
    GridLayout layout_;
    mutable LaidOutTexts laidOut_;
};

// Prints the census to a PDF file whole or not at all: written beside it, then put in its place.
// False (and the file untouched) when it could not be written.
bool PrintCensusToPdf(const CCensusPrint& print, const QString& path, const QPageLayout& page,
                      const std::function<void()>& keepResponsive = {});

}  // namespace desktop
