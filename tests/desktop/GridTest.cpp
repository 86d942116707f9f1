#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include "ModalScript.h"
#include "db/DbSelect.h"
#include "desktop/DepotGrid.h"
#include "desktop/DepotListDlg.h"
#include "exchange/Import.h"
#include "schema/Creation.h"
#include "ui/ScriptedPort.h"

namespace {

exchange::CStructureRecord Record(int i) {
    exchange::CStructureRecord r;
    r.ubicaz = "VIA ROMA " + std::to_string(i);
    r.local = "CENTRO";
    r.comune = 1 + i % 50;
    r.provin = "FI";
    r.flags[0] = true;
    r.scoPro = "COMUNE";
    r.scoSup = i == 0 ? 0 : 100 + i;
    r.scoTit = "A";
    r.copPro = " ";
    r.copSup = 0;
    r.copTit = " ";
    r.counts[0] = i % 3;  // zero for every third
    return r;
}

bool HasColour(const QImage& image, const QRect& area, const QColor& colour) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y) == colour) {
                return true;
            }
        }
    }
    return false;
}

bool AllColour(const QImage& image, const QRect& area, const QColor& colour) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y) != colour) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

class GridTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    ui::ScriptedPort port;
    std::unique_ptr<schema::Session> session;

  private slots:
    void init() {
        const std::string path = dir.filePath(QString("census%1.mdb").arg(++count_)).toStdString();
        QVERIFY(schema::CreateCensusDatabase(port, path, ""));
        session = std::make_unique<schema::Session>(port);
        session->SetPath(path);
        QVERIFY(session->OpenAssociatedDatabase());
    }
    void cleanup() { session.reset(); }

    void Store(int rows) {
        exchange::CStructureRecordList list{12, "06/12/2026", {}};
        for (int i = 0; i < rows; ++i) {
            list.records.push_back(Record(i));
        }
        int counter = 0;
        db::CDbTransaction transaction(*session->Connection());
        QVERIFY(transaction.IsActive());
        QVERIFY(exchange::StoreStructures(*session->Connection(), list, counter));
        QVERIFY(transaction.Commit());
    }

    void theLayoutFollowsTheWidths() {
        desktop::GridLayout l;
        l.wN = 30, l.wU = 100, l.wL = 80, l.wC = 90, l.wP = 25;
        l.wA = {40, 50, 60, 70, 45, 35, 55};
        l.wSP = 60, l.wSM = 30, l.wST = 40, l.wCP = 61, l.wCM = 31, l.wCT = 41, l.wS = 44, l.wR = 40;
        l.Derive();
        QCOMPARE(l.XL, 40);
        QCOMPARE(l.WL, 100 + 80 + 90 + 25 + 40);
        QCOMPARE(l.XA, 40 + 335);
        QCOMPARE(l.WA, 355 + 70);
        QCOMPARE(l.XS, l.XA + l.WA);
        QCOMPARE(l.WS, 160);
        QCOMPARE(l.XC, l.XS + 160);
        QCOMPARE(l.XF, l.XC + 163);
        QCOMPARE(l.B, 104);
        QCOMPARE(l.G, 624);
        QCOMPARE(l.T, 30 + 335 + 425 + 160 + 163 + 3 * 624);
        const auto columns = l.Columns();
        QCOMPARE(columns.size(), std::size_t(5 + 7 + 6 + 36));
        QCOMPARE(columns[2].left, l.XL + 110);   // locality
        QCOMPARE(columns[3].left, l.XL + 200);   // municipality
        QCOMPARE(columns[4].left, l.XL + 300);   // province
        QCOMPARE(columns[6].left, l.XA + 50);    // second activity
        QCOMPARE(columns[13].left, l.XS + 70);   // uncovered surface
        QCOMPARE(columns[19].left, l.XF + 54);   // extra-urban double-decker reserve
        QCOMPARE(columns[20].left, l.XF + 104);  // next class
        QCOMPARE(columns.back().left + columns.back().width + 5, l.XF + 3 * l.G - 5);
    }

    void paintingShowsBandsRowsAndMarks() {
        Store(6);
        reg::StructureList list(*session);
        QVERIFY(list.Open());
        desktop::CDepotGrid grid(list, nullptr);
        grid.resize(6000, 400);
        grid.show();
        QCoreApplication::processEvents();
        const desktop::GridLayout& l = grid.Layout();
        const int h = l.h;
        QImage image = grid.Snapshot();
        QCOMPARE(image.pixelColor(l.XF + 2, 2), QColor(0, 0, 255));
        QCOMPARE(image.pixelColor(l.XL + 1, h + 8), QColor(0, 0, 224));
        QCOMPARE(image.pixelColor(2, 2 * h + 14), QColor(0, 0, 192));
        QCOMPARE(image.pixelColor(2, 2), QColor(Qt::white));  // no band over the identifier
        // The current row (0) is yellow, from the left edge to the end of the content.
        const int row0 = 3 * h + 18;
        QCOMPARE(image.pixelColor(l.T - 2, row0 + 3), QColor(255, 255, 0));
        QCOMPARE(image.pixelColor(l.T - 2, row0 + (h + 4) + 3), QColor(Qt::white));
        const auto columns = l.Columns();
        const auto cell = [&](int row, std::size_t c) {
            return QRect(columns[c].left, row0 + row * (h + 4) + 2, columns[c].width, h);
        };
        // Row 0: zero surface shows "0" (ink), a zero count an empty cell; row 1's count 1 has ink.
        QVERIFY(HasColour(image, cell(0, 13), Qt::black));
        QVERIFY(AllColour(image, cell(0, 18), QColor(255, 255, 0)));
        QVERIFY(HasColour(image, cell(1, 18), Qt::black));
        QVERIFY(AllColour(image, cell(3, 18), Qt::white));
        QVERIFY(list.Selected() == std::optional<std::size_t>(0));

        // A deleted row in grey, a changed one in dark red.
        list.Select(2);
        QVERIFY(list.DeleteStructure());
        ui::StructureValues v = *list.ReadStructure(3);
        v.ubicaz = "VIA CAMBIATA";
        port.AnswerNextEditor(v);
        list.Select(3);
        QVERIFY(list.ModifyStructure());
        grid.MeasureGrid();
        image = grid.Snapshot();
        QVERIFY(HasColour(image, cell(2, 1), QColor(192, 192, 192)));
        QVERIFY(!HasColour(image, cell(2, 1), Qt::black));
        QVERIFY(HasColour(image, cell(3, 1), QColor(192, 0, 0)));
        QVERIFY(!HasColour(image, cell(3, 1), Qt::black));
    }

    void clicksWheelAndKeysMoveTheCurrentRow() {
        Store(40);
        reg::StructureList list(*session);
        QVERIFY(list.Open());
        desktop::CDepotGrid grid(list, nullptr);
        grid.resize(800, 300);
        grid.show();
        grid.Snapshot();  // measures the visible rows
        const int h = grid.Layout().h;
        const int V = grid.VisibleRows();
        QVERIFY(V > 2 && V < 40);
        const auto rowY = [&](int i) { return 3 * h + 18 + i * (h + 4) + 3; };
        grid.SelectAt(rowY(2));
        QCOMPARE(grid.CurrentRow(), 2);
        grid.SelectAt(10);  // in the heading: the first visible row
        QCOMPARE(grid.CurrentRow(), 0);
        grid.SelectAt(rowY(V + 3));  // below the last visible row
        QCOMPARE(grid.CurrentRow(), V - 1);

        QWheelEvent down(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -360), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid.viewport(), &down);
        QCOMPARE(grid.FirstVisible(), 1);  // one row, whatever the amount
        grid.ScrollTo(1000);
        QCOMPARE(grid.FirstVisible(), 40 - V);
        QCOMPARE(grid.CurrentRow(), 40 - V);  // dragged along
        grid.SelectAt(rowY(1));
        QCOMPARE(grid.CurrentRow(), 40 - V + 1);

        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_Home);
        QCOMPARE(grid.CurrentRow(), 0);
        QCOMPARE(grid.FirstVisible(), 0);
        QTest::keyClick(&grid, Qt::Key_End);
        QCOMPARE(grid.CurrentRow(), 39);
        QCOMPARE(grid.FirstVisible(), 40 - V);
        QTest::keyClick(&grid, Qt::Key_Up);
        QCOMPARE(grid.CurrentRow(), 38);
        QTest::keyClick(&grid, Qt::Key_PageUp);
        QCOMPARE(grid.CurrentRow(), 38 - V);
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.CurrentRow(), 39 - V);
        int command = 0;
        grid.onCommand = [&](int c) { command = c; };
        QTest::keyClick(&grid, Qt::Key_Return);
        QCOMPARE(command, 1059);
    }

    void fewRowsStayAtTheTop() {
        Store(3);
        reg::StructureList list(*session);
        QVERIFY(list.Open());
        desktop::CDepotGrid grid(list, nullptr);
        grid.resize(800, 600);
        grid.show();
        grid.Snapshot();
        grid.ScrollRows(5);
        QCOMPARE(grid.FirstVisible(), 0);
        const int h = grid.Layout().h;
        grid.SelectAt(3 * h + 18 + 2 * (h + 4) + 3);
        QCOMPARE(grid.CurrentRow(), 2);
        QVERIFY(!grid.verticalScrollBar()->isEnabled());
    }

    void theContextMenuFollowsTheSelection() {
        Store(2);
        reg::StructureList list(*session);
        QVERIFY(list.Open());
        desktop::CDepotGrid grid(list, nullptr);
        grid.resize(800, 400);
        grid.show();
        grid.Snapshot();
        const auto states = [&] {
            std::vector<bool> enabled;
            QTimer::singleShot(50, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    for (QAction* a : menu->actions()) {
                        if (!a->isSeparator()) {
                            enabled.push_back(a->isEnabled());
                        }
                    }
                    menu->close();
                }
            });
            grid.ShowContextMenu(QPoint(100, 100));
            return enabled;
        };
        QCOMPARE(states(), (std::vector<bool>{true, true, true, true, true}));
        QVERIFY(list.DeleteStructure());
        QCOMPARE(states(), (std::vector<bool>{true, false, false, true, true}));
        QVERIFY(list.RevertChanges());
        list.Select(std::nullopt);
        QCOMPARE(states(), (std::vector<bool>{true, false, false, true, true}));
    }

    void closingTheWindowCommits() {
        Store(2);
        desktop::CDepotListDlg* seen = nullptr;
        ModalScript script;
        script.Then([&](QWidget* w) {
            seen = qobject_cast<desktop::CDepotListDlg*>(w);
            QVERIFY(seen);
            QCOMPARE(seen->Button(1057)->text(), QString("Elimina Strauttura"));
            seen->Grid()->SelectAt(3 * seen->Grid()->Layout().h + 18 + 3);
            seen->Grid()->Snapshot();  // painted: the current row is the selected one
            seen->Run(1057);           // delete the first
            QTest::keyClick(seen, Qt::Key_Escape);
        });
        desktop::OpenStructureList(*session, nullptr);
        QVERIFY(script.Done());
        db::CDbSelect s(session->Connection());
        s.SetColumns("count(*) AS n");
        s.SetFrom("depositi");
        QCOMPARE(s.Execute(), 1);
        std::int32_t n = 0;
        QCOMPARE(s.GetLong(0, n), 1);
        QCOMPARE(n, 1);
        QCOMPARE(session->Connection()->Database()->TransactionDepth(), 0);
    }

  private:
    int count_ = 0;
};

QTEST_MAIN(GridTest)
#include "GridTest.moc"
