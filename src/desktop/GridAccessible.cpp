#include "desktop/GridAccessible.h"

#include <QPointer>
#include <QWindow>

#include "desktop/DepotGrid.h"

namespace desktop {

namespace {

// One cell of the grid, or a column's heading (row -1). It asks the grid for all it says, so that
// it always tells what is painted.
class CGridCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
  public:
    CGridCell(CDepotGrid* grid, int row, int column) : grid_(grid), row_(row), column_(column) {}

    bool isValid() const override { return grid_ && row_ >= -1 && row_ < grid_->RowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(grid_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override { return grid_ ? grid_->CellRect(row_, column_) : QRect(); }
    QAccessible::Role role() const override {
        return row_ < 0 ? QAccessible::ColumnHeader : QAccessible::Cell;
    }

    QString text(QAccessible::Text t) const override {
        if (!grid_) {
            return {};
        }
        if (row_ >= 0) {
            return t == QAccessible::Name          ? grid_->CellText(row_, column_)
                   : t == QAccessible::Description ? grid_->CellDescription(row_, column_)
                                                   : QString();
        }
        const QStringList bands = GridColumnBands(column_);
        if (t == QAccessible::Description) {
            return bands.join(QStringLiteral(", "));
        }
        if (t != QAccessible::Name) {
            return {};
        }
        // Told with its band ("Superfici Coperte, Superficie (MQ)"); "Servizio" and "Riserva" with the
        // service and the class they count.
        const QString title = GridColumnTitle(column_);
        if (bands.isEmpty()) {
            return title;
        }
        return column_ >= kFirstCountColumn ? (bands + QStringList{title}).join(QLatin1Char(' '))
                                            : bands.join(QStringLiteral(", ")) + QStringLiteral(", ") + title;
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!grid_ || row_ < 0) {
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = isSelected();
        s.focused = isSelected() && column_ == grid_->CurrentColumn() && grid_->hasFocus();
        s.invisible = rect().isEmpty();
        s.offscreen = s.invisible;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this)
                                                    : nullptr;
    }

    bool isSelected() const override { return grid_ && row_ >= 0 && row_ == grid_->CurrentRow(); }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        QAccessibleInterface* grid = row_ < 0 ? nullptr : table();
        if (!grid) {
            return {};
        }
        return {grid->child(column_)};  // the headings are the table's first children
    }
    // The identifier names the row.
    QList<QAccessibleInterface*> rowHeaderCells() const override {
        QAccessibleInterface* grid = row_ < 0 || column_ == 0 ? nullptr : table();
        QAccessibleTableInterface* cells = grid ? grid->tableInterface() : nullptr;
        return cells ? QList<QAccessibleInterface*>{cells->cellAt(row_, 0)} : QList<QAccessibleInterface*>{};
    }
    int columnIndex() const override { return column_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    int Row() const { return row_; }
    int Column() const { return column_; }

  private:
    QPointer<CDepotGrid> grid_;
    int row_;
    int column_;
};

QAccessibleInterface* GridFactory(const QString&, QObject* object) {
    if (auto* grid = qobject_cast<CDepotGrid*>(object)) {
        return new CGridAccessible(grid);
    }
    return nullptr;
}

}  // namespace

CGridAccessible::CGridAccessible(CDepotGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}

CGridAccessible::~CGridAccessible() {
    ForgetCells();
}

void CGridAccessible::Install() {
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(GridFactory);
        installed = true;
    }
}

CDepotGrid* CGridAccessible::Grid() const {
    return static_cast<CDepotGrid*>(widget());
}

void CGridAccessible::ForgetCells() {
    for (QAccessible::Id id : std::as_const(cells_)) {
        QAccessible::deleteAccessibleInterface(id);
    }
    cells_.clear();
}

void* CGridAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface) {
        return static_cast<QAccessibleTableInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QAccessibleInterface* CGridAccessible::Cell(int row, int column) const {
    if (column < 0 || column >= kGridColumns || row < -1 || row >= Grid()->RowCount()) {
        return nullptr;
    }
    const qint64 key = static_cast<qint64>(row + 1) * kGridColumns + column;
    if (const auto found = cells_.constFind(key); found != cells_.constEnd()) {
        return QAccessible::accessibleInterface(*found);
    }
    auto* cell = new CGridCell(Grid(), row, column);
    cells_.insert(key, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

// The headings first, then the cells row by row.
int CGridAccessible::childCount() const {
    Grid()->NeedWholeList();
    return kGridColumns * (Grid()->RowCount() + 1);
}

QAccessibleInterface* CGridAccessible::child(int index) const {
    return index < 0 ? nullptr : Cell(index / kGridColumns - 1, index % kGridColumns);
}

int CGridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    // Qt hands any interface here; only a cell of the grid has a place among the children.
    const auto* cell = dynamic_cast<const CGridCell*>(child);
    return cell ? (cell->Row() + 1) * kGridColumns + cell->Column() : -1;
}

QAccessibleInterface* CGridAccessible::childAt(int x, int y) const {
    const QPoint at(x, y);
    const CDepotGrid* grid = Grid();
    const int last = std::min(grid->FirstVisible() + grid->VisibleRows(), grid->RowCount());
    for (int row = -1; row < last; row = row < 0 ? grid->FirstVisible() : row + 1) {
        for (int column = 0; column < kGridColumns; ++column) {
            if (grid->CellRect(row, column).contains(at)) {
                return Cell(row, column);
            }
        }
    }
    return nullptr;
}

QAccessibleInterface* CGridAccessible::focusChild() const {
    const CDepotGrid* grid = Grid();
    return grid->hasFocus() ? Cell(grid->CurrentRow(), grid->CurrentColumn()) : nullptr;
}

QAccessibleInterface* CGridAccessible::cellAt(int row, int column) const {
    return row >= 0 ? Cell(row, column) : nullptr;
}

int CGridAccessible::selectedCellCount() const {
    return selectedRowCount() * kGridColumns;
}

QList<QAccessibleInterface*> CGridAccessible::selectedCells() const {
    QList<QAccessibleInterface*> cells;
    for (int row : selectedRows()) {
        for (int column = 0; column < kGridColumns; ++column) {
            cells << Cell(row, column);
        }
    }
    return cells;
}

QString CGridAccessible::columnDescription(int column) const {
    QAccessibleInterface* heading = Cell(-1, column);
    return heading ? heading->text(QAccessible::Name) : QString();
}

QString CGridAccessible::rowDescription(int row) const {
    return row >= 0 && row < Grid()->RowCount() ? Grid()->CellText(row, 0) : QString();
}

int CGridAccessible::selectedRowCount() const {
    return static_cast<int>(selectedRows().size());
}

int CGridAccessible::columnCount() const {
    return kGridColumns;
}

int CGridAccessible::rowCount() const {
    Grid()->NeedWholeList();
    return Grid()->RowCount();
}

QList<int> CGridAccessible::selectedRows() const {
    const int current = Grid()->CurrentRow();
    return current >= 0 && current < Grid()->RowCount() ? QList<int>{current} : QList<int>{};
}

bool CGridAccessible::isRowSelected(int row) const {
    return row >= 0 && row == Grid()->CurrentRow();
}

bool CGridAccessible::selectRow(int row) {
    if (row < 0 || row >= Grid()->RowCount()) {
        return false;
    }
    Grid()->MakeCurrent(row);
    return true;
}

}  // namespace desktop
