#include "desktop/DepotGrid.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

#include "desktop/GridAccessible.h"
#include "desktop/QtText.h"

namespace desktop {

namespace {

// Commands of the list window reached from the grid.
constexpr int kNew = 1056;
constexpr int kDelete = 1057;
constexpr int kRefresh = 1058;
constexpr int kModify = 1059;
constexpr int kRevert = 1066;
constexpr int kFind = 1067;
// How many rows high the back buffer is.
constexpr int kBackRows = 16;

}  // namespace

CDepotGrid::CDepotGrid(reg::StructureList& list, QWidget* parent) : QAbstractScrollArea(parent), list_(list) {
    CGridAccessible::Install();  // before anything asks how the grid is told
    setObjectName("6004");
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Strutture"));
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    MeasureGrid();
}

void CDepotGrid::MeasureGrid() {
    renderer_.Measure(list_.Rows());
}

void CDepotGrid::ClampVertical() {
    const int n = RowCount();
    if (first_ + visible_ > n) {
        first_ = n - visible_;
    }
    if (first_ < 0) {
        first_ = 0;
    }
    if (current_ < first_) {
        current_ = first_;
    }
    if (current_ >= n) {
        current_ = n - 1;
    }
    if (current_ >= first_ + visible_) {
        current_ = first_ + visible_ - 1;
    }
}

void CDepotGrid::SelectAt(int y) {
    const int previous = current_;
    current_ = (y - Layout().HeadingsHeight()) / Layout().RowPitch() + first_;
    if (current_ < first_) {
        current_ = first_;
    }
    if (current_ >= RowCount()) {
        current_ = RowCount() - 1;
    }
    if (current_ >= first_ + visible_) {
        current_ = first_ + visible_ - 1;
    }
    ShowMoved(first_, previous, true);
}

void CDepotGrid::ScrollRows(int delta) {
    ScrollTo(first_ + delta);
}

void CDepotGrid::ScrollTo(int first) {
    const int oldFirst = first_;
    const int oldCurrent = current_;
    first_ = first;
    ClampVertical();
    ShowMoved(oldFirst, oldCurrent, false);
}

void CDepotGrid::scrollContentsBy(int, int) {
    if (updatingBars_) {
        return;
    }
    const int oldFirst = first_;
    const int oldCurrent = current_;
    first_ = verticalScrollBar()->value();
    ClampVertical();
    const int oldPosition = xPos_;
    xPos_ = horizontalScrollBar()->value();
    TellShowing(oldPosition);
    if (xPos_ != oldPosition) {
        viewport()->update();
    } else {
        ShowMoved(oldFirst, oldCurrent, false);
    }
}

void CDepotGrid::ShowMoved(int oldFirst, int oldCurrent, bool now) {
    QWidget* port = viewport();
    const int delta = first_ - oldFirst;
    if (visible_ <= 0 || std::abs(delta) >= visible_ || !port->isVisible()) {
        now ? port->repaint() : port->update();
        return;
    }
    const GridLayout& L = Layout();
    const int width = port->width();
    const int pitch = L.RowPitch();
    // The rows' lines, below the rule under the headings.
    const QRect rows(0, L.HeadingsHeight() + 1, width, visible_ * pitch);
    QRegion changed;
    if (delta != 0) {
        port->scroll(0, -delta * pitch, rows);
        const int brought = std::abs(delta) * pitch;
        changed += delta > 0 ? QRect(0, rows.bottom() + 1 - brought, width, brought)
                             : QRect(0, rows.top(), width, brought);
    }
    // The current row's colour and the current cell's mark, where they are now and where the rows
    // took them; the mark's top side stands on the rule above its row, which is the rule under the
    // headings for the first row and does not move with the rows.
    const QRect marks(0, L.HeadingsHeight(), width, visible_ * pitch + 1);
    changed += QRect(0, L.HeadingsHeight(), width, 1);
    for (const int row : {oldCurrent, current_}) {
        changed += QRect(0, L.RowTop(row - first_), width, pitch + 1).intersected(marks);
    }
    now ? port->repaint(changed) : port->update(changed);
}

void CDepotGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    // The scroll bars are set for the new size before the grid paints: set as it paints, they would be
    // painted once more after it, and what lies under them with them.
    PrepareView(viewport()->rect());
    viewport()->update();
}

void CDepotGrid::UpdateScrollBars(int clientWidth) {
    updatingBars_ = true;
    QScrollBar* horizontal = horizontalScrollBar();
    const int whole = Layout().Width() + 1;  // the grid's last rule included
    if (clientWidth < whole) {
        horizontal->setEnabled(true);
        horizontal->setRange(0, whole - clientWidth);
        horizontal->setPageStep(clientWidth);
        horizontal->setSingleStep(10);
        horizontal->setValue(xPos_);
    } else {
        horizontal->setRange(0, 0);
        horizontal->setEnabled(false);
    }
    QScrollBar* vertical = verticalScrollBar();
    const int n = RowCount();
    if (visible_ < n) {
        vertical->setEnabled(true);
        vertical->setRange(0, n - visible_);
        vertical->setPageStep(std::max(visible_, 1));
        vertical->setSingleStep(1);
        vertical->setValue(first_);
    } else {
        vertical->setRange(0, 0);
        vertical->setEnabled(false);
    }
    updatingBars_ = false;
}

QString CDepotGrid::CellText(int row, int column) const {
    return GridCellText(list_.Rows(), row, column);
}

QString CDepotGrid::CellDescription(int row, int column) const {
    if (row < 0 || row >= RowCount()) {
        return {};
    }
    const reg::CDepotRow& r = list_.Rows()[static_cast<std::size_t>(row)];
    QStringList said;
    if (row == current_ && column == column_ && !notice_.isEmpty()) {
        said << notice_;
    }
    if (r.deleted) {
        said << QStringLiteral("eliminata");
    } else if (r.changed) {
        said << QStringLiteral("modificata");
    }
    return said.join(QStringLiteral(", "));
}

int CDepotGrid::ColumnLeft(int column) const {
    return column <= 0 ? 0 : Layout().columns[static_cast<std::size_t>(column - 1)].rule;
}

int CDepotGrid::ColumnRight(int column) const {
    return Layout().columns[static_cast<std::size_t>(column)].rule + 1;
}

QRect CDepotGrid::CellRect(int row, int column) const {
    if (column < 0 || column >= kGridColumns || row < -1 || row >= RowCount()) {
        return {};
    }
    if (row >= 0 && (row < first_ || row >= first_ + visible_)) {
        return {};
    }
    const QRect local = Layout().TextRect(column, row < 0 ? -1 : row - first_).translated(-xPos_, 0);
    const QRect shown = local.intersected(viewport()->rect());
    return shown.isEmpty() ? QRect() : QRect(viewport()->mapToGlobal(shown.topLeft()), shown.size());
}

void CDepotGrid::paintEvent(QPaintEvent* event) {
    const QRect client = viewport()->rect();
    const qreal ratio = devicePixelRatioF();
    const GridView view = PrepareView(client);
    // The back buffer holds a band of rows across the viewport; what is to be painted is drawn on it a
    // band at a time and copied to the window.
    const int band = kBackRows * Layout().RowPitch();
    if (back_.isNull() || back_.width() < client.width() * ratio || back_.height() < band * ratio) {
        back_ =
            QPixmap(QSize(client.width(), band).expandedTo(back_.deviceIndependentSize().toSize()) * ratio);
        back_.setDevicePixelRatio(ratio);
    }
    QPainter window(viewport());
    for (const QRect& part : event->region().intersected(client)) {
        for (int top = part.top(); top <= part.bottom(); top += band) {
            const QRect piece = part.intersected(QRect(part.left(), top, part.width(), band));
            {
                QPainter p(&back_);
                p.translate(0, -piece.top());
                PaintParts(p, view, piece);
            }
            window.drawPixmap(piece, back_,
                              QRectF(QPointF(piece.left(), 0) * ratio, QSizeF(piece.size()) * ratio));
        }
    }
    window.end();
    SelectShown(view);
    if (onPainted) {
        onPainted();
    }
    AnnounceCurrent();
}

QImage CDepotGrid::Snapshot() {
    QImage image(viewport()->size(), QImage::Format_RGB32);
    QPainter p(&image);
    const GridView view = PrepareView(image.rect());
    PaintParts(p, view, image.rect());
    SelectShown(view);
    return image;
}

GridView CDepotGrid::PrepareView(const QRect& client) {
    const int n = RowCount();
    visible_ = (client.height() - Layout().HeadingsHeight()) / Layout().RowPitch();
    if (pendingCurrent_ >= 0) {
        current_ = first_ = pendingCurrent_;
        pendingCurrent_ = -1;
    }
    ClampVertical();
    UpdateScrollBars(client.width());
    GridView view;
    view.first = first_;
    view.count = std::max(0, std::min(visible_, n - first_));
    view.current = current_;
    view.dx = -xPos_;
    view.width = client.width();
    return view;
}

void CDepotGrid::PaintParts(QPainter& p, GridView view, const QRegion& region) {
    const bool marked = hasFocus() && current_ >= first_ && current_ < first_ + view.count;
    for (const QRect& part : region) {
        p.setClipRect(part);
        p.fillRect(part, Qt::white);
        view.top = part.top();
        view.bottom = part.bottom();
        renderer_.Draw(p, list_.Rows(), view);
        if (marked) {
            // The current cell's mark, where the keyboard stands: its four rules drawn black.
            const int top = Layout().RowTop(current_ - first_);
            const int bottom = Layout().RowTop(current_ - first_ + 1);
            const int left = ColumnLeft(column_) - xPos_;
            const int right = ColumnRight(column_) - 1 - xPos_;
            p.setPen(QPen(Qt::black, 0));
            p.drawLine(left, top, right, top);
            p.drawLine(left, bottom, right, bottom);
            p.drawLine(left, top, left, bottom);
            p.drawLine(right, top, right, bottom);
        }
    }
    p.setClipping(false);
}

void CDepotGrid::SelectShown(const GridView& view) {
    list_.Select(current_ >= first_ && current_ < first_ + view.count ? std::optional<std::size_t>(current_)
                                                                      : std::nullopt);
}

void CDepotGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        return;
    }
    setFocus();
    // The cell under the pointer becomes the current one.
    const int x = static_cast<int>(event->position().x()) + xPos_;
    for (int column = 0; column < kGridColumns; ++column) {
        if (x < ColumnRight(column)) {
            column_ = column;
            break;
        }
    }
    SelectAt(static_cast<int>(event->position().y()));
    if (event->button() == Qt::RightButton) {
        ShowContextMenu(event->globalPosition().toPoint());
    }
}

void CDepotGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    SelectAt(static_cast<int>(event->position().y()));
    if (onCommand) {
        onCommand(kModify);
    }
}

void CDepotGrid::wheelEvent(QWheelEvent* event) {
    // One row per wheel message, whatever the amount.
    ScrollRows(event->angleDelta().y() < 0 ? 1 : -1);
    event->accept();
}

void CDepotGrid::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Mouse) {
        return;  // the right button has opened it already
    }
    ShowContextMenuAtCurrentRow();
}

void CDepotGrid::ShowContextMenuAtCurrentRow() {
    const int row = std::max(current_ - first_, 0);
    // At the current cell, where the keyboard stands.
    const int x = std::clamp(ColumnLeft(column_) - xPos_ + 10, 0, std::max(viewport()->width() - 1, 0));
    const QPoint at(x, Layout().RowTop(row) + Layout().h / 2);
    ShowContextMenu(viewport()->mapToGlobal(at), true);
}

void CDepotGrid::StepColumn(int step) {
    MakeCurrentColumn(column_ + step);
}

void CDepotGrid::MakeCurrentColumn(int column) {
    column_ = std::clamp(column, 0, kGridColumns - 1);
    // The whole cell in view: its left edge, where the cell is wider than the window.
    QScrollBar* bar = horizontalScrollBar();
    const int width = viewport()->width();
    const int left = ColumnLeft(column_);
    const int right = ColumnRight(column_);
    int x = xPos_;
    if (right > x + width) {
        x = right - width;
    }
    if (left < x) {
        x = left;
    }
    if (x != xPos_) {
        bar->setValue(x);
    }
    viewport()->repaint();
}

void CDepotGrid::Announce(const QString& notice) {
    notice_ = notice;
    if (!QAccessible::isActive() || current_ < 0 || current_ >= RowCount()) {
        return;
    }
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface* table = grid ? grid->tableInterface() : nullptr;
    if (QAccessibleInterface* cell = table ? table->cellAt(current_, column_) : nullptr) {
        QAccessibleEvent described(cell, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
    }
}

void CDepotGrid::TellShowing(int oldPosition) {
    if (!QAccessible::isActive() || oldPosition == xPos_ || current_ < 0 || current_ >= RowCount()) {
        return;
    }
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface* table = grid ? grid->tableInterface() : nullptr;
    if (!table) {
        return;
    }
    const int width = viewport()->width();
    const auto shown = [&](int column, int x) {
        return ColumnRight(column) > x && ColumnLeft(column) < x + width;
    };
    for (int column = 0; column < kGridColumns; ++column) {
        const bool before = shown(column, oldPosition);
        const bool now = shown(column, xPos_);
        if (before != now) {
            QAccessibleEvent showing(table->cellAt(current_, column),
                                     now ? QAccessible::ObjectShow : QAccessible::ObjectHide);
            QAccessible::updateAccessibility(&showing);
        }
    }
}

void CDepotGrid::MakeCurrent(int row) {
    MoveCurrent(row, 0);
}

void CDepotGrid::MoveCurrent(int row, int shift) {
    const int oldFirst = first_;
    const int oldCurrent = current_;
    first_ += shift;
    current_ = std::clamp(row, 0, std::max(RowCount() - 1, 0));
    if (current_ < first_) {
        first_ = current_;
    } else if (current_ >= first_ + visible_) {
        first_ = current_ - visible_ + 1;
    }
    ClampVertical();
    ShowMoved(oldFirst, oldCurrent, true);
}

void CDepotGrid::AnnounceCurrent() {
    if (!QAccessible::isActive()) {
        return;  // no assistive technology listens: nothing to make on a painting's path
    }
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface* table = grid ? grid->tableInterface() : nullptr;
    if (!table) {
        return;
    }
    if (RowCount() != announcedRows_) {
        announcedRows_ = RowCount();
        announced_ = -1;
        // Told of the reset (through its modelChange), the table lets go of the cells it handed out.
        QAccessibleTableModelChangeEvent reset(this, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&reset);
    }
    if ((current_ == announced_ && column_ == announcedColumn_) || current_ < 0 || current_ >= RowCount()) {
        return;
    }
    if (announced_ >= 0) {
        notice_.clear();  // said of the cell the keyboard has left
    }
    announced_ = current_;
    announcedColumn_ = column_;
    QAccessibleInterface* cell = table->cellAt(current_, column_);
    QAccessibleEvent selection(cell, QAccessible::Selection);
    QAccessible::updateAccessibility(&selection);
    if (hasFocus()) {
        QAccessibleEvent focus(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void CDepotGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    // The current cell is told again once Qt has told of the table's focus, which follows this event:
    // a screen reader's focus ends on the cell.
    QTimer::singleShot(0, this, [this] {
        if (hasFocus()) {
            announced_ = -1;
            announcedColumn_ = -1;
            AnnounceCurrent();
        }
    });
    viewport()->update();  // the current cell's mark
}

void CDepotGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void CDepotGrid::keyPressEvent(QKeyEvent* event) {
    const int n = RowCount();
    const auto moveTo = [this](int row) { MakeCurrent(row); };
    switch (event->key()) {
        case Qt::Key_Up:
            moveTo(current_ - 1);
            break;
        case Qt::Key_Down:
            moveTo(current_ + 1);
            break;
        case Qt::Key_PageUp:
            MoveCurrent(current_ - visible_, -visible_);
            break;
        case Qt::Key_PageDown:
            MoveCurrent(current_ + visible_, visible_);
            break;
        case Qt::Key_Home:
            if (event->modifiers() & Qt::ControlModifier) {
                moveTo(0);
            } else {
                MakeCurrentColumn(0);
            }
            break;
        case Qt::Key_End:
            if (event->modifiers() & Qt::ControlModifier) {
                moveTo(n - 1);
            } else {
                MakeCurrentColumn(kGridColumns - 1);
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (onCommand) {
                onCommand(kModify);
            }
            break;
        case Qt::Key_Right:
            StepColumn(1);
            break;
        case Qt::Key_Left:
            StepColumn(-1);
            break;
        case Qt::Key_F10:
            if (event->modifiers() != Qt::ShiftModifier) {
                QAbstractScrollArea::keyPressEvent(event);
                return;
            }
            ShowContextMenuAtCurrentRow();
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

void CDepotGrid::ShowContextMenu(const QPoint& globalPosition, bool fromKeyboard) {
    // The window's, not the grid's: assistive technologies find the grid's children among its cells.
    QMenu menu(window());
    menu.setAccessibleName(QStringLiteral("Menu della struttura"));
    const bool rowCommands = list_.CanChangeSelected();
    const auto add = [&](const char* label, int command, bool enabled) {
        QAction* action = menu.addAction(FromUtf8(label));
        action->setData(command);
        action->setEnabled(enabled);
    };
    add("&Trova…", kFind, true);
    menu.addSeparator();
    add("&Inserisci una Nuova Struttura", kNew, true);
    add("&Modifica la Struttura Selezionata", kModify, rowCommands);
    add("&Elimina la Struttura Selezionata", kDelete, rowCommands);
    menu.addSeparator();
    add("&Aggiorna la Vista delle Strutture", kRefresh, true);
    add("&Ripristina (invalida le variazioni sospese)", kRevert, true);
    if (fromKeyboard) {
        // Opened from the keyboard, its first entry is current, and a screen reader says it.
        QTimer::singleShot(0, &menu, [&menu] { menu.setActiveAction(menu.actions().value(0)); });
    }
    QAction* chosen = menu.exec(globalPosition);
    if (chosen && onCommand) {
        onCommand(chosen->data().toInt());
    }
}

}  // namespace desktop
