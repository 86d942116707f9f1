// The census on paper: the structure list as the grid shows it, on landscape pages. The rows go down
// the pages, never cut by a page's end, under the grid's heading bands repeated on every page; the
// columns that do not fit across a page are carried to the following pages, each page across as full
// as its columns make it (a count in service and in reserve kept together), each row named again by
// its identifier. A band's title stands over the part of its block a page holds, cut to it: the file
// holds only what the page shows. Every page has the company and the date at its head and
// "pagina N di M" at its foot.
#pragma once

#include <QPagedPaintDevice>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "desktop/GridRenderer.h"
#include "ui/Port.h"

class QWidget;

namespace desktop {

// What a printing calls as it goes; either may be empty. `starting` is told the number of pages once
// they are counted, before the first one is drawn: false prints nothing. `keepResponsive` is called
// between pages.
struct PrintSteps {
    std::function<bool(int pages)> starting;
    std::function<void()> keepResponsive;
};

class CPdfPages;

// What prints on a device, through its steps; and, where the printing has it, the same on the
// program's own PDF pages, which a PDF file is then written with.
struct PrintJob {
    std::function<bool(QPagedPaintDevice&, const PrintSteps&)> onDevice;
    std::function<bool(CPdfPages&, const PrintSteps&)> onPdfPages;
};

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

    // Prints every page on `device`, through `steps`. False when the device could not be painted on,
    // or the steps said no.
    bool Print(QPagedPaintDevice& device, const PrintSteps& steps = {}) const;
    bool Print(CPdfPages& pages, const PrintSteps& steps = {}) const;
    // The printing as a job for PrintToPdf and PrintRequest; this object must outlive it.
    PrintJob Job() const {
        return {[this](QPagedPaintDevice& device, const PrintSteps& steps) { return Print(device, steps); },
                [this](CPdfPages& pages, const PrintSteps& steps) { return Print(pages, steps); }};
    }

  private:
    template <class Pages>
    bool PrintOn(Pages& pages, const PrintSteps& steps) const;
    void PrintPage(QPainter& p, const Plan& plan, int rowPage, int slice, const QSize& area,
                   qreal scale) const;
    // Where a column block begins and ends across the grid (before any scrolling).
    std::pair<int, int> Extent(int firstColumn, int lastColumn) const;

    const reg::CDepotRowList& rows_;
    QString company_;
    QString date_;
    mutable CGridRenderer renderer_;
};

// A plain table on the same pages: the errors of the census check (identifier, location, message).
// Each row one line, never cut by a page's end, under the column headings repeated on every page.
class CTablePrint {
  public:
    // `widths`: the share of the page's width of each column (they add up to 1 or less).
    CTablePrint(QStringList headings, std::vector<qreal> widths, std::vector<QStringList> rows,
                QString company, QString date);

    int RowsPerPage(const QSize& area) const;
    int Pages(const QSize& area) const;
    bool Print(QPagedPaintDevice& device, const PrintSteps& steps = {}) const;
    PrintJob Job() const {
        return {[this](QPagedPaintDevice& device, const PrintSteps& steps) { return Print(device, steps); },
                {}};
    }

  private:
    QStringList headings_;
    std::vector<qreal> widths_;
    std::vector<QStringList> rows_;
    QString company_;
    QString date_;
};

// Prints to a PDF file whole or not at all: written beside it, then put in its place. False (and the
// file untouched) when it could not be written or the steps said no. A job with PDF pages of its own
// is written on them, and through Qt's PDF writer when they could not hold what it draws.
bool PrintToPdf(const PrintJob& job, const QString& path, const QPageLayout& page,
                const PrintSteps& steps = {});

// A printing as its commands offer it.
struct PrintRequest {
    QString title;    // the caption of its dialogs and messages: "Stampa Censimento"
    QString what;     // what is printed, as its messages say it: "il censimento"
    QString pdfName;  // the name proposed for a PDF file: "Censimento.pdf"
    PrintJob job;
};

// Whether a printer is installed on this computer: the system's list of printers, unless a check of
// its own was set. Tests set one: the offscreen platform may or may not list the machine's printers.
using PrinterCheck = bool (*)();
bool PrinterInstalled();
// Sets the check PrinterInstalled answers with (nullptr: the system's list again); returns the one
// it replaces.
PrinterCheck SetPrinterCheck(PrinterCheck check);

// Qt's print dialog, then the printing, to the printer or the PDF file chosen, with the busy clock; a
// failure is said. A printing of more than 100 pages is asked first, with their number. With no printer
// installed the dialog is not opened (on Windows it would close at once, showing nothing): the PDF file is
// offered instead. False when nothing was printed (cancelled, or failed and said).
bool PrintThroughDialog(QWidget* parent, ui::Port& port, const PrintRequest& request);

// The printing as a PDF file on A4 landscape pages: the save dialog, then (asked first when its pages
// are more than 100) the file written whole with the busy clock, and a message telling that it was written or
// that it could not be. False when nothing was written.
bool PrintToPdfFile(ui::Port& port, const PrintRequest& request);

// The pages of every printing are drawn in the grid's pixels, 96 to the inch (BeginPages scales the
// painter so), under a head of kHeadHeight and over a foot of kFootHeight.
inline constexpr int kHeadHeight = 34;  // the company and the date, and a rule under them
inline constexpr int kFootHeight = 22;  // "pagina N di M"
// A font of `points` on a device of `dpi` whose painter draws the grid's pixels.
QFont OnDevice(QFont font, qreal points, int dpi);
// "Arial", bold or not.
QFont PageFont(bool bold);
// The head of a page (the company on the left, the date on the right, a rule under them) and its foot.
void DrawPageFrame(QPainter& p, const QSize& area, const QString& company, const QString& date, int number,
                   int pages);
// The printable size of a device in the grid's pixels.
QSize AreaOf(const QPaintDevice& device);
// Begins painting on the device in the grid's pixels.
bool BeginPages(QPainter& p, QPaintDevice& device);

// The company as the window's title names it, for the head of the pages: "Azienda 12 ...".
QString PageHeading(const std::string& windowTitle);
// Today, as the head of the pages has it: "08/12/2026".
QString PageDate();

}  // namespace desktop
