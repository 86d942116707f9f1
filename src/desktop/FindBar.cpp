#include "desktop/FindBar.h"

#include <QKeyEvent>
#include <QShortcut>
#include <algorithm>

#include "desktop/DepotGrid.h"
#include "desktop/QtText.h"
#include "register/StructureFind.h"

namespace desktop {

namespace {
// A text that finds nothing: the field's background.
const char* const kNothingFound = "QLineEdit { background: #ffc8c8; }";
}  // namespace

CFindBar::CFindBar(reg::StructureList& list, CDepotGrid* grid, QWidget* parent)
    : QWidget(parent),
      list_(list),
      grid_(grid),
      label_(new QLabel(FromUtf8("&Trova:"), this)),
      field_(new QLineEdit(this)),
      next_(new QPushButton(FromUtf8("&Successiva"), this)),
      previous_(new QPushButton(FromUtf8("&Precedente"), this)),
      count_(new QLabel(this)) {
    setAccessibleName(FromUtf8("Trova"));
    label_->setBuddy(field_);
    field_->setAccessibleName(FromUtf8("Trova"));
    next_->setAutoDefault(false);
    previous_->setAutoDefault(false);
    connect(field_, &QLineEdit::textEdited, this, [this] { Typed(); });
    connect(field_, &QLineEdit::returnPressed, this, [this] { Step(1); });
    connect(next_, &QPushButton::clicked, this, [this] { Step(1); });
    connect(previous_, &QPushButton::clicked, this, [this] { Step(-1); });
    auto* forward =
        new QShortcut(QKeySequence(Qt::Key_F3), parent, [this] { isVisible() ? Step(1) : Open(); });
    auto* back = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), parent,
                               [this] { isVisible() ? Step(-1) : Open(); });
    forward->setContext(Qt::WindowShortcut);
    back->setContext(Qt::WindowShortcut);
    hide();
}

void CFindBar::Open() {
    const bool wasShown = isVisible();
    show();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
    if (!wasShown && onShownOrHidden) {
        onShownOrHidden();
    }
}

void CFindBar::Close() {
    hide();
    grid_->setFocus(Qt::OtherFocusReason);
    if (onShownOrHidden) {
        onShownOrHidden();
    }
}

void CFindBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Close();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CFindBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // On one line: the label, the text, the two buttons, the count.
    const int h = field_->sizeHint().height();
    int x = 0;
    const auto place = [&](QWidget* w, int width) {
        w->setGeometry(x, (height() - h) / 2, width, h);
        x += width + 6;
    };
    place(label_, label_->sizeHint().width());
    place(field_, 260);
    place(next_, next_->sizeHint().width());
    place(previous_, previous_->sizeHint().width());
    place(count_, std::max(width() - x, 0));
}

std::vector<std::size_t> CFindBar::Found() const {
    return reg::FindRows(list_.Rows(), reg::StructureQuery(ToCpLossy(field_->text())));
}

void CFindBar::Show(const std::vector<std::size_t>& found, std::size_t index) {
    if (found.empty()) {
        const bool typed = !field_->text().trimmed().isEmpty();
        field_->setStyleSheet(typed ? QString::fromLatin1(kNothingFound) : QString());
        count_->setText(typed ? FromUtf8("nessuna struttura") : QString());
        field_->setAccessibleDescription(count_->text());
        return;
    }
    field_->setStyleSheet(QString());
    const std::size_t row = found[index];
    grid_->MakeCurrent(static_cast<int>(row));
    QString said = FromUtf8("%1 di %2").arg(index + 1).arg(found.size());
    if (list_.Rows()[row].deleted) {
        said += FromUtf8(", eliminata");
    }
    count_->setText(said);
    // Told to a screen reader through the field, which keeps the keyboard: the structure and the count.
    field_->setAccessibleDescription(FromUtf8("Struttura ") + grid_->CellText(static_cast<int>(row), 0) +
                                     ", " + grid_->CellText(static_cast<int>(row), CDepotGrid::kFirstColumn) +
                                     ", " + said);
}

void CFindBar::Typed() {
    const std::vector<std::size_t> found = Found();
    const auto current = static_cast<std::size_t>(std::max(grid_->CurrentRow(), 0));
    // The current row when it is found, else the next one found.
    const auto at = std::lower_bound(found.begin(), found.end(), current);
    Show(found, at == found.end() ? 0 : static_cast<std::size_t>(at - found.begin()));
}

void CFindBar::Step(int step) {
    const std::vector<std::size_t> found = Found();
    if (found.empty()) {
        Show(found, 0);
        return;
    }
    const auto current = static_cast<std::size_t>(std::max(grid_->CurrentRow(), 0));
    std::size_t index = 0;
    if (step > 0) {
        const auto after = std::upper_bound(found.begin(), found.end(), current);
        index = after == found.end() ? 0 : static_cast<std::size_t>(after - found.begin());
    } else {
        const auto at = std::lower_bound(found.begin(), found.end(), current);
        index = at == found.begin() ? found.size() - 1 : static_cast<std::size_t>(at - found.begin()) - 1;
    }
    Show(found, index);
}

}  // namespace desktop
