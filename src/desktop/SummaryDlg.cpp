#include "desktop/SummaryDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/QtText.h"

namespace desktop {

namespace {

using census::kLengthClassCount;
using census::kServiceCount;

const QColor kInService(64, 64, 64);
const QColor kInReserve(255, 255, 255);
const QColor kScale(192, 192, 192);

// The step of the scale: 1, 2 or 5 times a power of ten, some five steps up to the highest bar.
std::int64_t ScaleStep(std::int64_t highest) {
    std::int64_t power = 1;
    while (power * 10 <= highest / 5) {
        power *= 10;
    }
    for (const std::int64_t m : {1, 2, 5, 10}) {
        if (highest / (m * power) <= 5) {
            return m * power;
        }
    }
    return 10 * power;
}

// A bar's part: solid dark for the buses in service, hatched on white for those in reserve.
void FillPart(QPainter& p, const QRectF& part, bool reserve) {
    if (part.height() <= 0) {
        return;
    }
    p.fillRect(part, reserve ? kInReserve : kInService);
    if (reserve) {
        p.fillRect(part, QBrush(Qt::black, Qt::BDiagPattern));
    }
    p.setPen(Qt::black);
    p.drawRect(part);
}

// The chart told in words: what it shows, and where its figures are.
QString ChartDescription(const exchange::CensusSummary& summary) {
    QString d = QStringLiteral(
        "Grafico a barre dei mezzi per servizio e classe di lunghezza: per ogni classe dei mezzi "
        "extraurbani, suburbani e urbani una barra, in basso i mezzi in servizio (grigio scuro pieno), "
        "sopra quelli in riserva (tratteggio). ");
    for (std::size_t s = 0; s < kServiceCount; ++s) {
        d += FromCp(exchange::ServiceName(s)) + QStringLiteral(": %1 in servizio, %2 in riserva. ")
                                                    .arg(summary.ServiceBuses(s, false))
                                                    .arg(summary.ServiceBuses(s, true));
    }
    return d +
           QStringLiteral("I valori di ogni barra sono nelle tabelle dei mezzi in servizio e in riserva.");
}

// One of the summary's tables: a heading over each column, the label of each row as its heading, the
// figures aligned to the right; read-only, and Tab leaves it for the next control.
QTableWidget* MakeTable(const exchange::SummaryTable& t, QWidget* parent) {
    const int columns = static_cast<int>(t.headings.size()) - 1;
    auto* table = new QTableWidget(static_cast<int>(t.rows.size()), columns, parent);
    table->setAccessibleName(FromCp(t.accessibleName));
    table->setAccessibleDescription(FromCp(t.title));
    QStringList headings;
    for (std::size_t c = 1; c < t.headings.size(); ++c) {
        headings << FromCp(t.headings[c]);
    }
    table->setHorizontalHeaderLabels(headings);
    QStringList labels;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const auto& row = t.rows[r];
        labels << FromCp(row.front());
        for (std::size_t c = 1; c < row.size(); ++c) {
            auto* item = new QTableWidgetItem(FromCp(row[c]));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            table->setItem(static_cast<int>(r), static_cast<int>(c) - 1, item);
        }
    }
    table->setVerticalHeaderLabels(labels);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setTabKeyNavigation(false);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    table->resizeColumnsToContents();
    table->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return table;
}

}  // namespace

void PaintBusChart(QPainter& p, const QRect& area, const exchange::CensusSummary& summary) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QFontMetrics m(p.font());
    const int line = m.height();
    // The legend at the top.
    int x = area.left() + 4;
    const int legendTop = area.top() + 2;
    for (const bool reserve : {false, true}) {
        FillPart(p, QRectF(x, legendTop + 2, line - 4, line - 4), reserve);
        x += line + 2;
        const QString label = reserve ? QStringLiteral("In riserva") : QStringLiteral("In servizio");
        p.setPen(Qt::black);
        p.drawText(QPoint(x, legendTop + m.ascent()), label);
        x += m.horizontalAdvance(label) + 3 * line;
    }
    std::int64_t highest = 0;
    for (std::size_t s = 0; s < kServiceCount; ++s) {
        for (std::size_t c = 0; c < kLengthClassCount; ++c) {
            highest = std::max(highest, summary.Buses(s, c, false) + summary.Buses(s, c, true));
        }
    }
    const std::int64_t step = ScaleStep(std::max<std::int64_t>(highest, 1));
    const std::int64_t top = std::max<std::int64_t>(step, (highest + step - 1) / step * step);
    const int scaleWidth = m.horizontalAdvance(QString::number(top)) + 8;
    // The plot: under the legend and a line for the totals, over the classes' and services' names.
    const QRect plot(area.left() + scaleWidth, area.top() + 2 * line + 4, area.width() - scaleWidth - 4,
                     area.height() - 5 * line - 8);
    if (plot.width() <= 0 || plot.height() <= 0) {
        p.restore();
        return;
    }
    const auto yOf = [&](std::int64_t value) {
        return plot.bottom() - static_cast<double>(value) * plot.height() / static_cast<double>(top);
    };
    for (std::int64_t v = 0; v <= top; v += step) {
        const int y = qRound(yOf(v));
        p.setPen(kScale);
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(Qt::black);
        p.drawText(QRect(area.left(), y - line / 2, scaleWidth - 4, line), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v));
    }
    const double group = static_cast<double>(plot.width()) / kServiceCount;
    const double slot = group / (kLengthClassCount + 1);  // half a slot of room either side of a group
    for (std::size_t s = 0; s < kServiceCount; ++s) {
        const double groupLeft = plot.left() + static_cast<double>(s) * group + slot / 2;
        for (std::size_t c = 0; c < kLengthClassCount; ++c) {
            const double left = groupLeft + static_cast<double>(c) * slot + slot * 0.15;
            const double width = slot * 0.7;
            const std::int64_t inService = summary.Buses(s, c, false);
            const std::int64_t inReserve = summary.Buses(s, c, true);
            const double serviceTop = yOf(inService);
            const double reserveTop = yOf(inService + inReserve);
            FillPart(p, QRectF(left, serviceTop, width, plot.bottom() - serviceTop), false);
            FillPart(p, QRectF(left, reserveTop, width, serviceTop - reserveTop), true);
            p.setPen(Qt::black);
            const QRectF slotRect(groupLeft + static_cast<double>(c) * slot, 0, slot, line);
            if (inService + inReserve > 0) {
                p.drawText(slotRect.translated(0, reserveTop - line - 1), Qt::AlignCenter,
                           QString::number(inService + inReserve));
            }
            // The class under its bar: whole where it fits, else its first three letters.
            QString name = FromCp(exchange::LengthClassName(c));
            if (m.horizontalAdvance(name) > slot) {
                name = name.left(3);
            }
            p.drawText(slotRect.translated(0, plot.bottom() + 3), Qt::AlignCenter, name);
        }
        const QFont normal = p.font();
        QFont bold = normal;
        bold.setBold(true);
        p.setFont(bold);
        p.drawText(
            QRectF(plot.left() + static_cast<double>(s) * group, plot.bottom() + line + 6, group, line),
            Qt::AlignCenter, QStringLiteral("Mezzi ") + FromCp(exchange::ServiceName(s)).toLower());
        p.setFont(normal);
        if (s > 0) {
            p.setPen(kScale);
            const int xs = qRound(plot.left() + static_cast<double>(s) * group);
            p.drawLine(xs, plot.top(), xs, plot.bottom() + 2 * line + 6);
        }
    }
    p.setPen(Qt::black);
    p.drawLine(plot.left(), plot.bottom(), plot.right(), plot.bottom());
    p.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());
    p.restore();
}

CBusChart::CBusChart(const exchange::CensusSummary& summary, QWidget* parent)
    : QWidget(parent), summary_(summary) {
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QStringLiteral("Grafico dei mezzi per servizio e classe di lunghezza"));
    setAccessibleDescription(ChartDescription(summary));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

void CBusChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintBusChart(p, rect().adjusted(4, 4, -4, -4), summary_);
    if (hasFocus()) {  // a dashed frame, which leaves the chart's shades as they are
        p.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

CSummaryPrint::CSummaryPrint(const exchange::CensusSummary& summary, QString company, QString date)
    : summary_(summary), company_(std::move(company)), date_(std::move(date)) {}

bool CSummaryPrint::Print(QPagedPaintDevice& device, const PrintSteps& steps) const {
    device.setPageOrientation(QPageLayout::Landscape);
    if (steps.starting && !steps.starting(1)) {
        return false;
    }
    QPainter p;
    if (!BeginPages(p, device)) {
        return false;
    }
    const QSize area = AreaOf(device);
    const int dpi = p.device()->logicalDpiY();
    DrawPageFrame(p, area, company_, date_, 1, 1);
    p.setFont(OnDevice(PageFont(true), 12, dpi));
    int y = kHeadHeight;
    p.drawText(QRect(0, y, area.width(), 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Riepilogo Censimento"));
    y += 30;
    // The tables down the left half, the chart on the right.
    const int half = area.width() / 2 - 10;
    const int lineHeight = 16;
    for (const exchange::SummaryTable& t : exchange::SummaryTables(summary_)) {
        p.setFont(OnDevice(PageFont(true), 9, dpi));
        p.drawText(QRect(0, y, half, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, FromCp(t.title));
        y += lineHeight + 2;
        const int columns = static_cast<int>(t.headings.size());
        const int labelWidth = half * (columns > 3 ? 2 : 3) / 10;  // the bus tables have seven figures
        const int figureWidth = (half - labelWidth) / std::max(columns - 1, 1);
        const auto row = [&](const std::vector<std::string>& cells, bool heading) {
            p.setFont(OnDevice(PageFont(heading), 8, dpi));
            for (int c = 0; c < columns && c < static_cast<int>(cells.size()); ++c) {
                const QRect cell =
                    c == 0 ? QRect(2, y, labelWidth - 4, lineHeight)
                           : QRect(labelWidth + (c - 1) * figureWidth, y, figureWidth - 4, lineHeight);
                const QString s = FromCp(cells[static_cast<std::size_t>(c)]);
                p.drawText(cell, (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                           p.fontMetrics().elidedText(s, Qt::ElideRight, cell.width()));
            }
            y += lineHeight;
            p.setPen(kScale);
            p.drawLine(0, y, half, y);
            p.setPen(Qt::black);
        };
        row(t.headings, true);
        for (const auto& r : t.rows) {
            row(r, r.front() == "Totale");
        }
        y += 12;
    }
    p.setFont(OnDevice(PageFont(false), 8, dpi));
    PaintBusChart(p,
                  QRect(half + 20, kHeadHeight + 30, area.width() - half - 20,
                        std::min(area.height() - kHeadHeight - kFootHeight - 40, area.width() / 3)),
                  summary_);
    if (steps.keepResponsive) {
        steps.keepResponsive();
    }
    return p.end();
}

CSummaryDlg::CSummaryDlg(QWidget* parent, ui::Port& port, const exchange::CensusSummary& summary,
                         QString company, QString date)
    : QDialog(parent), port_(port), summary_(summary), print_(summary_, company, date) {
    setWindowTitle(QStringLiteral("Riepilogo Censimento"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(company + QStringLiteral(" \u2014 ") + date, this);
    layout->addWidget(heading);

    auto* body = new QHBoxLayout;
    // The tables down the left, each as wide and as high as its figures; the chart takes the rest.
    auto* column = new QVBoxLayout;
    for (const exchange::SummaryTable& t : exchange::SummaryTables(summary_)) {
        auto* title = new QLabel(FromCp(t.title), this);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        QTableWidget* table = MakeTable(t, this);
        title->setBuddy(table);
        column->addWidget(title);
        column->addWidget(table);
        tables_.push_back(table);
    }
    column->addStretch(1);
    body->addLayout(column, 0);
    chart_ = new CBusChart(summary_, this);
    body->addWidget(chart_, 1);
    layout->addLayout(body, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* print = buttons->addButton(QStringLiteral("&Stampa"), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QStringLiteral("&Chiudi"), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(print, &QPushButton::clicked, this, &CSummaryDlg::Print);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(1100, 760);
}

void CSummaryDlg::Print() {
    const PrintRequest request{QStringLiteral("Stampa Riepilogo Censimento"), QStringLiteral("il riepilogo"),
                               QStringLiteral("RiepilogoCensimento.pdf"), print_.Job()};
    (void)PrintThroughDialog(this, port_, request);  // a failure is said by the printing itself
}

}  // namespace desktop
