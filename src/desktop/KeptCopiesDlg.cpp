#include "desktop/KeptCopiesDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/QtText.h"

namespace desktop {

CKeptCopiesDlg::CKeptCopiesDlg(const ui::KeptCopiesRequest& request, QWidget* parent)
    : QDialog(parent), list_(new QTreeWidget(this)) {
    setWindowTitle(FromUtf8("Ripristina Copia"));
    auto* label = new QLabel(FromUtf8("&Copie conservate del censimento, dalla più recente:"), this);
    label->setBuddy(list_);
    list_->setAccessibleName(FromUtf8("Copie conservate del censimento"));
    list_->setAccessibleDescription(FromUtf8(
        "La copia scelta sostituisce il censimento attuale, che viene conservato a sua volta come copia."));
    list_->setHeaderLabels({FromUtf8("Data e ora"), FromUtf8("Strutture"), FromUtf8("Azienda")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (const ui::KeptCopyEntry& copy : request.copies) {
        auto* item =
            new QTreeWidgetItem(list_, {FromCp(copy.made), FromCp(copy.structures), FromCp(copy.company)});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    const QFontMetrics m = list_->fontMetrics();
    list_->setColumnWidth(0, m.horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 24);
    list_->setColumnWidth(1, m.horizontalAdvance(FromUtf8("Strutture")) + 24);
    list_->header()->setStretchLastSection(true);
    if (list_->topLevelItemCount() > 0) {
        list_->setCurrentItem(list_->topLevelItem(0));
    }
    // Enter in the list is left to the dialog, whose default button is OK.
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(FromUtf8("Annulla"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(list_->columnWidth(0) + list_->columnWidth(1) + m.horizontalAdvance(QString(44, QLatin1Char('M'))),
           m.height() * 16);
    list_->setFocus();
}

std::optional<std::size_t> CKeptCopiesDlg::Chosen() const {
    const int row = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
    if (result() != QDialog::Accepted || row < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(row);
}

}  // namespace desktop
