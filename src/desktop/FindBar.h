// "Trova" in the structure list: a bar under the grid with the text looked for, "Successiva" and
// "Precedente", and how many structures it finds. Enter and F3 go to the next structure found after
// the current row, Shift+F3 to the one before (both wrapping round); the structure found becomes the
// current row and is told to screen readers. Esc closes the bar and gives the grid the keyboard back.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <vector>

#include "register/StructureList.h"

namespace desktop {

class CDepotGrid;

class CFindBar : public QWidget {
    Q_OBJECT
  public:
    CFindBar(reg::StructureList& list, CDepotGrid* grid, QWidget* parent);

    // Shows the bar with the keyboard in its text, all of it selected.
    void Open();
    // Hides it; the grid takes the keyboard.
    void Close();
    // The next structure found (step 1) or the one before (-1), from the current row.
    void Step(int step);

    QSize sizeHint() const override { return {400, field_->sizeHint().height() + 4}; }
    QLineEdit* Field() const { return field_; }
    QLabel* Count() const { return count_; }
    // Called when the bar is shown or hidden: the window makes room for it.
    std::function<void()> onShownOrHidden;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // The rows the text finds now (the list may have changed since the last look).
    std::vector<std::size_t> Found() const;
    // Makes a found row the current one and says where it stands among those found.
    void Show(const std::vector<std::size_t>& found, std::size_t index);
    // The text typed: from the current row on.
    void Typed();

    reg::StructureList& list_;
    CDepotGrid* grid_;
    QLabel* label_;
    QLineEdit* field_;
    QPushButton* next_;
    QPushButton* previous_;
    QLabel* count_;
};

}  // namespace desktop
