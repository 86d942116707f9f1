#include "desktop/CensusPrint.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <optional>

#include "desktop/PdfPages.h"
#include "desktop/QtText.h"

namespace desktop {

namespace {

// The pages are drawn in the grid's own pixels.
constexpr int kDotsPerInch = 96;
// A printing of more pages than these is asked first.
constexpr int kPagesWithoutQuestion = 100;

// The last column of what a page across never parts, from its first one: a count in service and the
// one in reserve stand under one title; every other column stands alone.
int UnitEnd(int column) {
    return column >= kFirstCountColumn ? column + 1 - (column - kFirstCountColumn) % 2 : column;
}

}  // namespace

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

// The head of a page (the company on the left, the date on the right, a rule under them) and its foot
// ("pagina N di M").
void DrawPageFrame(QPainter& p, const QSize& area, const QString& company, const QString& date, int number,
                   int pages) {
    const int dpi = p.device()->logicalDpiY();
    p.setPen(Qt::black);
    p.setFont(OnDevice(PageFont(true), 10, dpi));
    p.drawText(QRect(0, 0, area.width(), kHeadHeight - 8), Qt::AlignLeft | Qt::AlignVCenter, company);
    p.setFont(OnDevice(PageFont(false), 10, dpi));
    p.drawText(QRect(0, 0, area.width(), kHeadHeight - 8), Qt::AlignRight | Qt::AlignVCenter, date);
    p.drawLine(0, kHeadHeight - 6, area.width(), kHeadHeight - 6);
    p.setFont(OnDevice(PageFont(false), 9, dpi));
    p.drawText(QRect(0, area.height() - kFootHeight, area.width(), kFootHeight), Qt::AlignCenter,
               QStringLiteral("pagina %1 di %2").arg(number).arg(pages));
}

// The printable size of a device in the grid's pixels, and a painter drawing in them.
QSize AreaOf(const QPaintDevice& device) {
    return {device.width() * kDotsPerInch / std::max(device.logicalDpiX(), 1),
            device.height() * kDotsPerInch / std::max(device.logicalDpiY(), 1)};
}

bool BeginPages(QPainter& p, QPaintDevice& device) {
    if (!p.begin(&device)) {
        return false;
    }
    p.scale(qreal(device.logicalDpiX()) / kDotsPerInch, qreal(device.logicalDpiY()) / kDotsPerInch);
    return true;
}

CCensusPrint::CCensusPrint(const reg::CDepotRowList& rows, QString company, QString date)
    : rows_(rows), company_(std::move(company)), date_(std::move(date)) {
    renderer_.Measure(rows_);
}

std::pair<int, int> CCensusPrint::Extent(int firstColumn, int lastColumn) const {
    // From the rule closing the column before the first one to the rule closing the last one; the
    // grid's last rule is taken in.
    const auto rule = [&](int column) {
        return renderer_.Layout().columns[static_cast<std::size_t>(column)].rule;
    };
    const int left = firstColumn == 0 ? 0 : rule(firstColumn - 1);
    return {left, rule(lastColumn) + (lastColumn + 1 == kGridColumns ? 1 : 0)};
}

CCensusPrint::Plan CCensusPrint::PlanPages(const QSize& area) const {
    Plan plan;
    const int identifier = Extent(0, 0).second;  // the identifier's column, repeated on every page across
    // Each page across as full as it can be: the columns go on while they fit, a block of the grid
    // going on to the next page where the page ends.
    plan.slices.emplace_back(0, 0);
    int width = identifier;
    for (int first = 1; first < kGridColumns;) {
        const int last = UnitEnd(first);
        const auto [x0, x1] = Extent(first, last);
        if (width + (x1 - x0) <= area.width() || plan.slices.back().second == 0) {
            plan.slices.back().second = last;
            width += x1 - x0;
        } else {
            plan.slices.emplace_back(first, last);
            width = identifier + (x1 - x0);
        }
        first = last + 1;
    }
    const int pitch = renderer_.Layout().RowPitch();
    const int headings = renderer_.Layout().HeadingsHeight();
    plan.rowsPerPage = std::max(1, (area.height() - kHeadHeight - kFootHeight - headings - 1) / pitch);
    const int n = static_cast<int>(rows_.size());
    plan.rowPages = std::max(1, (n + plan.rowsPerPage - 1) / plan.rowsPerPage);
    return plan;
}

void CCensusPrint::PrintPage(QPainter& p, const Plan& plan, int rowPage, int slice, const QSize& area,
                             qreal scale) const {
    const int number = rowPage * static_cast<int>(plan.slices.size()) + slice + 1;
    DrawPageFrame(p, area, company_, date_, number, plan.Pages());
    const int dpi = p.device()->logicalDpiY();
    GridView view;
    view.font = OnDevice(GridFont(), GridFont().pointSizeF(), dpi);
    view.glyphs = true;
    view.cutTexts = true;  // the file holds only what the page shows
    view.first = rowPage * plan.rowsPerPage;
    view.count = std::min(plan.rowsPerPage, static_cast<int>(rows_.size()) - view.first);
    const auto [first, last] = plan.slices[static_cast<std::size_t>(slice)];
    const auto [x0, x1] = Extent(first, last);
    const int tableHeight = renderer_.Layout().RowTop(view.count) + 1;
    const auto draw = [&](int left, int width, int dx) {
        p.save();
        p.setClipRect(QRect(left, 0, width, tableHeight));
        view.dx = dx;
        view.left = left;
        view.width = left + width;
        renderer_.Draw(p, rows_, view);
        p.restore();
    };
    p.save();
    p.translate(0, kHeadHeight);
    p.scale(scale, scale);
    if (x0 == 0) {
        draw(0, x1, 0);
    } else {
        const int identifier = Extent(0, 0).second;
        draw(0, identifier, 0);
        draw(identifier, x1 - x0, identifier - x0);
    }
    p.restore();
}

bool CCensusPrint::Print(QPagedPaintDevice& device, const PrintSteps& steps) const {
    return PrintOn(device, steps);
}

bool CCensusPrint::Print(CPdfPages& pages, const PrintSteps& steps) const {
    return PrintOn(pages, steps);
}

template <class Pages>
bool CCensusPrint::PrintOn(Pages& device, const PrintSteps& steps) const {
    device.setPageOrientation(QPageLayout::Landscape);
    const QSize area = AreaOf(device);
    // The widest page across at full size; a smaller paper draws the table smaller.
    Plan plan = PlanPages(area);
    int widest = 0;
    for (const auto& [first, last] : plan.slices) {
        const auto [x0, x1] = Extent(first, last);
        widest = std::max(widest, (x0 == 0 ? 0 : Extent(0, 0).second) + x1 - x0);
    }
    const qreal scale = widest > area.width() ? qreal(area.width()) / widest : 1.0;
    if (scale < 1.0) {
        plan = PlanPages(QSize(qRound(area.width() / scale), qRound(area.height() / scale)));
    }
    if (steps.starting && !steps.starting(plan.Pages())) {
        return false;
    }
    QPainter p;
    if (!BeginPages(p, device)) {
        return false;
    }
    for (int rowPage = 0; rowPage < plan.rowPages; ++rowPage) {
        for (int slice = 0; slice < static_cast<int>(plan.slices.size()); ++slice) {
            if ((rowPage > 0 || slice > 0) && !device.newPage()) {
                return false;
            }
            PrintPage(p, plan, rowPage, slice, area, scale);
            if (steps.keepResponsive) {
                steps.keepResponsive();
            }
        }
    }
    return p.end();
}

CTablePrint::CTablePrint(QStringList headings, std::vector<qreal> widths, std::vector<QStringList> rows,
                         QString company, QString date)
    : headings_(std::move(headings)),
      widths_(std::move(widths)),
      rows_(std::move(rows)),
      company_(std::move(company)),
      date_(std::move(date)) {}

namespace {
constexpr int kTableLine = 18;  // the pitch of the table's lines, headings included
}

int CTablePrint::RowsPerPage(const QSize& area) const {
    return std::max(1, (area.height() - kHeadHeight - kFootHeight) / kTableLine - 1);
}

int CTablePrint::Pages(const QSize& area) const {
    const int perPage = RowsPerPage(area);
    return std::max(1, (static_cast<int>(rows_.size()) + perPage - 1) / perPage);
}

bool CTablePrint::Print(QPagedPaintDevice& device, const PrintSteps& steps) const {
    device.setPageOrientation(QPageLayout::Landscape);
    const QSize area = AreaOf(device);
    const int perPage = RowsPerPage(area);
    const int pages = Pages(area);
    if (steps.starting && !steps.starting(pages)) {
        return false;
    }
    QPainter p;
    if (!BeginPages(p, device)) {
        return false;
    }
    const int dpi = p.device()->logicalDpiY();
    std::vector<int> lefts{0};
    for (const qreal w : widths_) {
        lefts.push_back(lefts.back() + qRound(w * area.width()));
    }
    const auto line = [&](int y, const QStringList& cells) {
        for (int c = 0; c < cells.size() && c + 1 < static_cast<int>(lefts.size()); ++c) {
            const QRect cell(lefts[c] + 4, y, lefts[c + 1] - lefts[c] - 8, kTableLine);
            const int align = c == 0 ? Qt::AlignRight : Qt::AlignLeft;
            p.drawText(cell, align | Qt::AlignVCenter,
                       p.fontMetrics().elidedText(cells[c], Qt::ElideRight, cell.width()));
        }
    };
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage()) {
            return false;
        }
        DrawPageFrame(p, area, company_, date_, page + 1, pages);
        int y = kHeadHeight;
        p.fillRect(QRect(0, y, lefts.back(), kTableLine), QColor(0, 0, 192));
        p.setPen(Qt::white);
        p.setFont(OnDevice(PageFont(true), 9, dpi));
        line(y, headings_);
        p.setFont(OnDevice(PageFont(false), 9, dpi));
        p.setPen(Qt::black);
        const int first = page * perPage;
        const int last = std::min(first + perPage, static_cast<int>(rows_.size()));
        for (int r = first; r < last; ++r) {
            y += kTableLine;
            line(y, rows_[static_cast<std::size_t>(r)]);
            p.setPen(QColor(192, 192, 192));
            p.drawLine(0, y + kTableLine, lefts.back(), y + kTableLine);
            p.setPen(Qt::black);
        }
        if (steps.keepResponsive) {
            steps.keepResponsive();
        }
    }
    return p.end();
}

bool PrintToPdf(const PrintJob& job, const QString& path, const QPageLayout& page, const PrintSteps& steps) {
    const QString title = QFileInfo(path).completeBaseName();
    // The steps are told of the pages once, however many times they are drawn.
    std::optional<bool> started;
    PrintSteps once = steps;
    once.starting = [&](int pages) {
        if (!started) {
            started = !steps.starting || steps.starting(pages);
        }
        return *started;
    };
    if (job.onPdfPages) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
        CPdfPages pdf(file, page, title);
        const bool printed = job.onPdfPages(pdf, once) && pdf.Finish();
        if (!pdf.Unsupported()) {
            if (!printed || file.error() != QFileDevice::NoError) {
                file.cancelWriting();
                return false;
            }
            return file.commit();
        }
        file.cancelWriting();  // drawn again below, as Qt's writer draws it
    }
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
        pdf.setTitle(title);
        printed = job.onDevice(pdf, once);
    }  // the writer finishes the file here
    if (!printed || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

namespace {

bool SystemHasPrinter() {
    return !QPrinterInfo::availablePrinters().isEmpty();
}

PrinterCheck printerCheck = SystemHasPrinter;

// A message of the printing, in the core's Windows-1252, captioned with the printing's title.
void Say(ui::Port& port, const PrintRequest& request, const QString& message, ui::Icon icon) {
    port.ShowMessage(text::Utf8ToCp1252Lossy(message.toStdString()), ToCp(request.title).value_or(""), icon);
}

// "Non è stato possibile stampare il censimento" and where: " sulla stampante 'X'." or in the file.
void SayNotPrinted(ui::Port& port, const PrintRequest& request, const QString& where) {
    Say(port, request, QStringLiteral("Non \u00E8 stato possibile stampare ") + request.what + where,
        ui::Icon::Exclamation);
}

// " nel file 'X'." and why a file may not have been written.
QString InTheFile(const QString& path) {
    return QStringLiteral(" nel file '") + QDir::toNativeSeparators(path) +
           QStringLiteral(
               "'.\n\nIl file non \u00E8 stato scritto: la cartella non esiste, \u00E8 piena o "
               "non si hanno i permessi di scrittura.");
}

// Whether a printing of `pages` may go on: a long one is asked first, "Il censimento occupa 4555
// pagine.", captioned with the printing's title.
bool ManyPagesAllowed(ui::Port& port, const PrintRequest& request, int pages) {
    if (pages <= kPagesWithoutQuestion) {
        return true;
    }
    QString what = request.what;
    if (!what.isEmpty()) {
        what[0] = what[0].toUpper();
    }
    const QString question = what + QStringLiteral(" occupa %1 pagine.\n\nVuoi stamparle tutte ?").arg(pages);
    return port.Confirm({ui::ConfirmationKind::PrintManyPages,
                         text::Utf8ToCp1252Lossy(question.toStdString()),
                         ToCp(request.title).value_or(""),
                         {}});
}

// How a printing ended: done, not begun because the person said no, or failed.
enum class Printed { Done, Declined, Failed };

// Runs `print` with the steps of a printing through the port: once its pages are counted, the question
// when they are many, then the busy clock until it ends.
Printed RunPrinting(ui::Port& port, const PrintRequest& request,
                    const std::function<bool(const PrintSteps&)>& print) {
    bool declined = false;
    std::optional<ui::BusyScope> busy;
    PrintSteps steps;
    steps.starting = [&](int pages) {
        declined = !ManyPagesAllowed(port, request, pages);
        if (!declined) {
            busy.emplace(port, true);
        }
        return !declined;
    };
    steps.keepResponsive = [&port] { port.KeepResponsive(); };
    const bool printed = print(steps);
    busy.reset();
    return printed ? Printed::Done : declined ? Printed::Declined : Printed::Failed;
}

}  // namespace

bool PrinterInstalled() {
    return printerCheck();
}

PrinterCheck SetPrinterCheck(PrinterCheck check) {
    const PrinterCheck replaced = printerCheck;
    printerCheck = check ? check : SystemHasPrinter;
    return replaced;
}

bool PrintThroughDialog(QWidget* parent, ui::Port& port, const PrintRequest& request) {
    if (!PrinterInstalled()) {
        const QString question =
            QStringLiteral("Nessuna stampante \u00E8 installata su questo computer.\n\nVuoi salvare ") +
            request.what + QStringLiteral(" come file PDF?");
        return port.Confirm({ui::ConfirmationKind::SaveAsPdf,
                             text::Utf8ToCp1252Lossy(question.toStdString()),
                             ToCp(request.title).value_or(""),
                             {}}) &&
               PrintToPdfFile(port, request);
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(request.title);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(request.title);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const QString file = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    const Printed printed = RunPrinting(port, request, [&](const PrintSteps& steps) {
        if (!file.isEmpty()) {
            return PrintToPdf(request.job, file, printer.pageLayout(), steps);
        }
        printer.setResolution(kDotsPerInch);
        return request.job.onDevice(printer, steps);
    });
    if (printed == Printed::Failed) {
        SayNotPrinted(port, request,
                      file.isEmpty() ? QStringLiteral(" sulla stampante '") + printer.printerName() + "'."
                                     : InTheFile(file));
    }
    return printed == Printed::Done;
}

bool PrintToPdfFile(ui::Port& port, const PrintRequest& request) {
    const auto chosen = port.ChooseFile(ui::MakeFileQuestion(
        ui::FileKind::PrintedCopy, true, ToCp(request.title).value_or(""), ToCp(request.pdfName).value_or(""),
        "PDF", "File PDF (*.pdf)|*.pdf|Tutti i file (*.*)|*.*||"));
    if (!chosen) {
        return false;
    }
    const QString path = FromPath(*chosen);
    const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                         QPageLayout::Millimeter);
    const Printed written = RunPrinting(
        port, request, [&](const PrintSteps& steps) { return PrintToPdf(request.job, path, a4, steps); });
    if (written != Printed::Done) {
        if (written == Printed::Failed) {
            SayNotPrinted(port, request, InTheFile(path));
        }
        return false;
    }
    const QString shown = QDir::toNativeSeparators(path);
    Say(port, request, QStringLiteral("Il file '") + shown + QStringLiteral("' \u00E8 stato scritto."),
        ui::Icon::Information);
    return true;
}

QString PageHeading(const std::string& windowTitle) {
    QString heading = FromCp(windowTitle);
    heading.remove(QRegularExpression(QStringLiteral("^VELUMBRA - ")));
    return heading;
}

QString PageDate() {
    return QLocale(QLocale::Italian).toString(QDate::currentDate(), QStringLiteral("dd/MM/yyyy"));
}

}  // namespace desktop
