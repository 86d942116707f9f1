// "Intestazione Azienda e Periodo": the choice of the working company.
#pragma once

#include <QComboBox>
#include <QDialog>

#include "ui/Port.h"

namespace desktop {

class CCompanyDlg : public QDialog {
    Q_OBJECT
  public:
    // The request holds the entries, the entry of the current company (or an empty text) and the check.
    CCompanyDlg(ui::CompanyDialogRequest& request, QWidget* parent);
    QComboBox* Combo() const { return combo_; }

  public slots:
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    ui::CompanyDialogRequest& request_;
    QComboBox* combo_;
};

}  // namespace desktop
