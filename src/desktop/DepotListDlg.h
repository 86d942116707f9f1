// The structure list window, laid over the main window's client area: the census grid, the box of
// the selected structure, and the buttons of the register's commands.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <map>
#include <optional>

#include "desktop/DepotGrid.h"
#include "desktop/FindBar.h"
#include "register/StructureList.h"

namespace desktop {

class CDepotListDlg : public QDialog {
    Q_OBJECT
  public:
    // `list` is open (its transaction begun, its rows loaded); `mainWindow` gives the place.
    CDepotListDlg(reg::StructureList& list, QWidget* mainWindow);

    CDepotGrid* Grid() const { return grid_; }
    QPushButton* Button(int id) const { return buttons_.at(id); }
    QLineEdit* SelectedId() const { return id_; }
    QLineEdit* SelectedText() const { return text_; }
    CFindBar* FindBar() const { return find_; }
    // Runs the command of a button or context-menu entry.
    void Run(int command);

    // Reads the rows the grid shows first (and on to the structure with identifier `through`); the
    // others are read in parts once the grid has first been painted, or at once when the person acts
    // before. False when they could not be read (shown): the window does not open.
    bool ReadFirstScreen(std::optional<int> through);
    // Reads every row not yet read; false when they could not be (shown), and the window closes.
    bool ReadWholeList();
    bool AllRowsRead() const { return list_.IsComplete(); }
    // Called once every row is read, when some were read after the first painting.
    std::function<void()> onWholeListRead;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* object, QEvent* event) override;

  private:
    void Layout();
    void ShowSelection();
    void ReadPart();
    void WholeListRead();

    reg::StructureList& list_;
    QWidget* mainWindow_;
    CDepotGrid* grid_;
    CFindBar* find_;
    QLineEdit* id_;
    QLineEdit* text_;
    std::map<int, QPushButton*> buttons_;
    std::map<int, QWidget*> statics_;
    bool reading_ = false;    // the rows not yet read are being read in parts
    bool finishing_ = false;  // rows are being read (a message shown meanwhile reads none)
};

// "Archivio Depositi": opens the list in its transaction, runs the window, commits on closing. With
// `current`, the structure with that identifier is the current row; one that is not listed (its
// municipality is not among those registered) is said so, and the list opens as usual.
void OpenStructureList(app::Session& session, QWidget* mainWindow, std::optional<int> current = std::nullopt);

}  // namespace desktop
