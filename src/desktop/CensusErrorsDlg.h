// The window of "Verifica Censimento": one row per failure of the census check (structure ID,
// ubicazione, message) in report order, the count in the title. A double click or Enter on a row
// chooses its structure, to be mended in the structure list.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QPushButton>
#include <QTableView>
#include <functional>
#include <optional>

#include "desktop/CensusPrint.h"
#include "ui/Port.h"

namespace desktop {

// The failures as the table shows them; the rows are read from the request, which outlives the model.
class CensusErrorsModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit CensusErrorsModel(const std::vector<ui::CensusError>& errors, QObject* parent)
        : QAbstractTableModel(parent), errors_(errors) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const std::vector<ui::CensusError>& errors_;
};

class CCensusErrorsDlg : public QDialog {
    Q_OBJECT
  public:
    // `port` tells of a printing that fails.
    CCensusErrorsDlg(const ui::CensusErrorsRequest& request, ui::Port& port, QWidget* parent);

    QTableView* Table() const { return table_; }
    // The entry chosen, once the window closed by choosing one.
    std::optional<std::size_t> Chosen() const { return chosen_; }

    // "Stampa": the list on paper or in a PDF file, through the print dialog.
    void PrintList();
    // "Salva PDF…": the list straight to a PDF file.
    void SaveListAsPdf();
    // The list as it prints.
    CTablePrint Printed() const;

  private:
    void Print(bool toPdfFile);
    void Choose(const QModelIndex& index);

    const ui::CensusErrorsRequest& request_;
    ui::Port& port_;
    QTableView* table_;
    std::optional<std::size_t> chosen_;
};

// "Verifica Censimento - 1 errore riscontrato", "Verifica Censimento - 7 errori riscontrati".
QString CensusErrorsTitle(std::size_t count);

}  // namespace desktop
