// "Definizione della Struttura": the editor of one structure of the census, on three pages. It works on
// a copy of the request's values; OK puts them back when the request's check accepts them.
#pragma once

#include <QDialog>
#include <QTabWidget>
#include <array>

#include "desktop/DepotEditPages.h"
#include "ui/Port.h"

namespace desktop {

class CDepotEditDlg : public QDialog {
    Q_OBJECT
  public:
    CDepotEditDlg(ui::StructureEditorRequest& request, QWidget* parent);
    QTabWidget* Tabs() const { return tabs_; }
    // The working values, as the pages last saved them.
    const census::Structure& Values() const { return values_; }

  public slots:
    // OK, and Enter inside a page: the current page is saved and the values are checked.
    void accept() override;

  private:
    void ChangePage(int index);
    void FocusFirstField();

    ui::StructureEditorRequest& request_;
    census::Structure values_;
    QTabWidget* tabs_;
    std::array<CDepotPage*, 3> pages_{};
    int current_ = 0;
};

}  // namespace desktop
