// "Riepilogo Censimento" as a person meets it: its tables and their headings as screen readers hear
// them, the chart told in words, the keyboard, and its page.
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QPageLayout>
#include <QPageSize>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "GuiTestMain.h"
#include "desktop/GridRenderer.h"
#include "desktop/SummaryDlg.h"
#include "exchange/Spreadsheet.h"
#include "ui/ScriptedPort.h"

namespace {

exchange::CensusSummary TwoStructures() {
    census::Structure depot;
    depot.flags[0] = depot.flags[2] = true;
    depot.scoSup = 1200;
    depot.scoTit = "A";
    depot.copSup = 300;
    depot.copTit = "C";
    depot.counts[census::CountIndex(2, 3, false)] = 40;  // urban, normal, in service
    depot.counts[census::CountIndex(2, 3, true)] = 5;
    census::Structure office;
    office.flags[6] = true;
    office.scoSup = 80;
    office.counts[census::CountIndex(0, 1, false)] = 2;  // extraurban, articulated
    exchange::CensusSummary summary;
    summary.Add(depot);
    summary.Add(office);
    return summary;
}

QString Cell(QTableWidget* table, int row, int column) {
    QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
}

}  // namespace

class SummaryTest : public QObject {
    Q_OBJECT
  private slots:
    void tablesHoldTheFiguresUnderTheirHeadings() {
        ui::ScriptedPort port;
        desktop::CSummaryDlg dialog(nullptr, port, TwoStructures(), "Azienda 12 AUTOLINEE", "09/12/2026");
        const auto& tables = dialog.Tables();
        QCOMPARE(tables.size(), std::size_t{4});
        const auto cells = [&tables](std::size_t table, const QList<std::pair<int, int>>& at) {
            QStringList figures;
            for (const auto& [row, column] : at) {
                figures << Cell(tables[table], row, column);
            }
            return figures.join(' ');
        };
        QCOMPARE(tables[0]->verticalHeaderItem(3)->text(), QString("Manutenzione"));
        QCOMPARE(cells(0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {7, 0}}), QString("2 1 0 1 1"));
        QCOMPARE(tables[1]->verticalHeaderItem(3)->text(), QString("Nessun titolo"));
        QCOMPARE(cells(1, {{0, 0}, {2, 1}, {3, 0}, {4, 0}, {4, 1}}), QString("1200 300 80 1280 300"));
        // Urbani by Normali, the rows' and the columns' totals.
        QCOMPARE(cells(2, {{2, 3}, {0, 6}, {3, 3}, {3, 6}}), QString("40 2 40 42"));
        QCOMPARE(cells(3, {{2, 3}, {3, 6}}), QString("5 5"));
        QTableWidget* inService = tables[2];

        // Screen readers hear each table by what it holds, and each cell under its headings.
        QAccessible::setActive(true);
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(inService);
        QVERIFY(table && table->tableInterface());
        QCOMPARE(table->text(QAccessible::Name),
                 QString("Mezzi in servizio per servizio e classe di lunghezza"));
        QCOMPARE(table->tableInterface()->cellAt(2, 3)->text(QAccessible::Name), QString("40"));
        QCOMPARE(table->tableInterface()->columnDescription(3), QString("Normali"));
        QCOMPARE(table->tableInterface()->rowDescription(2), QString("Urbani"));
        QAccessibleInterface* chart = QAccessible::queryAccessibleInterface(dialog.Chart());
        QCOMPARE(chart->text(QAccessible::Name),
                 QString("Grafico dei mezzi per servizio e classe di lunghezza"));
        QVERIFY2(chart->text(QAccessible::Description).contains("Urbani: 40 in servizio, 5 in riserva."),
                 qPrintable(chart->text(QAccessible::Description)));
        QAccessible::setActive(false);
    }

    // Tab goes round the tables, the chart and the buttons; Esc closes.
    void theKeyboardReachesEverything() {
        ui::ScriptedPort port;
        desktop::CSummaryDlg dialog(nullptr, port, TwoStructures(), "Azienda 12", "09/12/2026");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        QWidget* start = QApplication::focusWidget();
        QVERIFY(start);
        QList<QWidget*> visited;
        for (int i = 0; i < 12; ++i) {
            visited << QApplication::focusWidget();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (QTableWidget* t : dialog.Tables()) {
            QVERIFY(visited.contains(t));
        }
        QVERIFY(visited.contains(dialog.Chart()));
        QStringList buttons;
        for (QWidget* w : visited) {
            if (auto* b = qobject_cast<QPushButton*>(w)) {
                buttons << b->text();
            }
        }
        QVERIFY(buttons.contains("&Stampa") && buttons.contains("&Chiudi"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    // The spreadsheet's headings are the grid's titles, with the bands where the grid's accessible
    // headings name them too.
    void spreadsheetHeadingsAreTheGridsTitles() {
        const auto& headings = exchange::SpreadsheetHeadings();
        QCOMPARE(int(headings.size()), desktop::kGridColumns);
        for (int c = 0; c < desktop::kGridColumns; ++c) {
            const QString heading = QString::fromStdString(headings[static_cast<std::size_t>(c)]);
            const QString title = desktop::GridColumnTitle(c);
            if (c >= desktop::kFirstCountColumn) {
                QCOMPARE(heading, (desktop::GridColumnBands(c) + QStringList{title}).join(' '));
            } else if (title == "MQ") {
                QCOMPARE(heading, desktop::GridColumnBands(c).join(' ') + " Superficie (MQ)");
            } else {
                QVERIFY2(heading.endsWith(title), qPrintable(heading + " / " + title));
            }
        }
    }

    void printsOnOneLandscapePage() {
        QTemporaryDir dir;
        const exchange::CensusSummary summary = TwoStructures();
        const desktop::CSummaryPrint print(summary, "Azienda 12 AUTOLINEE", "09/12/2026");
        int counted = 0;
        desktop::PrintSteps steps;
        steps.starting = [&counted](int pages) {
            counted = pages;
            return true;
        };
        const QString file = dir.filePath("riepilogo.pdf");
        const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                             QPageLayout::Millimeter);
        QVERIFY(desktop::PrintToPdf(print.Job(), file, a4, steps));
        QCOMPARE(counted, 1);
        QFile pdf(file);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r"), qsizetype{1});
    }
};

VELUMBRA_GUI_TEST_MAIN(SummaryTest)
#include "SummaryTest.moc"
