// The dialog of "Ripristina Copia…": the copies kept beside the census, newest first, one row each with
// its date and time, its structures and its company. OK, Enter or a double click chooses the current one.
#pragma once

#include <QDialog>
#include <QTreeWidget>
#include <optional>

#include "ui/Port.h"

namespace desktop {

class CKeptCopiesDlg : public QDialog {
    Q_OBJECT
  public:
    CKeptCopiesDlg(const ui::KeptCopiesRequest& request, QWidget* parent);

    QTreeWidget* List() const { return list_; }
    // The entry chosen, once the dialog closed with OK.
    std::optional<std::size_t> Chosen() const;

  private:
    QTreeWidget* list_;
};

}  // namespace desktop
