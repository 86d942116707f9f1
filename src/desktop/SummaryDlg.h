// "Riepilogo Censimento": the census at a glance in a window. The structures and their activities, the
// surfaces by title of possession and the buses in service and in reserve as tables (which screen
// readers read cell by cell, each under its row's and column's headings), and the buses as a bar chart
// of the services and length classes, each bar in service below and in reserve above, told apart by
// shade and hatching as much as by the legend. "Stampa" prints it all on one landscape page.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <vector>

#include "desktop/CensusPrint.h"
#include "exchange/Summary.h"
#include "ui/Port.h"

class QTableWidget;

namespace desktop {

// Draws the chart of the buses in `area`: a group of six bars for each service, each bar stacked with
// the buses in service (dark, solid) under those in reserve (light, hatched), its total above it; the
// scale on the left, the classes and the services under the bars, the legend at the top.
void PaintBusChart(QPainter& p, const QRect& area, const exchange::CensusSummary& summary);

class CBusChart : public QWidget {
    Q_OBJECT
  public:
    CBusChart(const exchange::CensusSummary& summary, QWidget* parent);
    QSize sizeHint() const override { return {520, 360}; }
    QSize minimumSizeHint() const override { return {360, 260}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const exchange::CensusSummary& summary_;
};

// The summary on one landscape page: the company and the date at its head, the tables on the left, the
// chart on the right.
class CSummaryPrint {
  public:
    CSummaryPrint(const exchange::CensusSummary& summary, QString company, QString date);
    bool Print(QPagedPaintDevice& device, const PrintSteps& steps = {}) const;
    PrintJob Job() const {
        return {[this](QPagedPaintDevice& device, const PrintSteps& steps) { return Print(device, steps); },
                {}};
    }

  private:
    const exchange::CensusSummary& summary_;
    QString company_;
    QString date_;
};

class CSummaryDlg : public QDialog {
    Q_OBJECT
  public:
    CSummaryDlg(QWidget* parent, ui::Port& port, const exchange::CensusSummary& summary, QString company,
                QString date);

    // The tables in their order (structures, surfaces, buses in service, in reserve), and the chart.
    const std::vector<QTableWidget*>& Tables() const { return tables_; }
    CBusChart* Chart() const { return chart_; }

    // "Stampa": the print dialog, then the page.
    void Print();

  private:
    ui::Port& port_;
    exchange::CensusSummary summary_;
    CSummaryPrint print_;
    std::vector<QTableWidget*> tables_;
    CBusChart* chart_ = nullptr;
};

}  // namespace desktop
