// The census grid as a screen reader finds it: a table of the rows and columns the grid draws, each
// cell's text as painted, the column headings with the titles of their bands, the current row
// selected and its location cell focused. It reads all it tells from the grid's public state; the grid
// sends the events (the table reset when the rows are loaded anew, the current row's cell selected and
// focused as it moves).
#pragma once

#include <QAccessibleWidget>
#include <QHash>

namespace desktop {

class CDepotGrid;

class CGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
  public:
    explicit CGridAccessible(CDepotGrid* grid);
    ~CGridAccessible() override;

    // Makes the grids of the program answer with this interface; called once by the first grid.
    static void Install();

    // QAccessibleInterface
    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int row) const override;
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    // The rows were loaded anew: the cells handed out are forgotten.
    void modelChange(QAccessibleTableModelChangeEvent*) override { ForgetCells(); }

  private:
    // The header cell of a column (row -1) or a cell of the rows.
    QAccessibleInterface* Cell(int row, int column) const;
    CDepotGrid* Grid() const;
    void ForgetCells();

    mutable QHash<qint64, QAccessible::Id> cells_;
    int rows_ = -1;  // the row count the cells were handed out for
};

}  // namespace desktop
