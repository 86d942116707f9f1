// "Esportazione Comunicazione Strutture Aziendali": the generation date of the communication.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>

#include "ui/Port.h"

namespace desktop {

class CExportDlg : public QDialog {
    Q_OBJECT
  public:
    CExportDlg(ui::GenerationDateRequest& request, QWidget* parent);
    QComboBox* Company() const { return company_; }
    QLineEdit* Date() const { return date_; }

  public slots:
    void accept() override;

  private:
    ui::GenerationDateRequest& request_;
    QComboBox* company_;
    QLineEdit* date_;
};

}  // namespace desktop
