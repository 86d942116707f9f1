#include "desktop/ExportDlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "desktop/DialogUnits.h"
#include "desktop/QtText.h"
#include "text/Text.h"

namespace desktop {

CExportDlg::CExportDlg(ui::GenerationDateRequest& request, QWidget* parent)
    : QDialog(parent), request_(request), company_(new QComboBox(this)), date_(new QLineEdit(this)) {
    setWindowTitle(FromUtf8("Esportazione Comunicazione Strutture Aziendali"));
    const DialogUnits du(*this);
    setFixedSize(du.X(250), du.Y(100));
    auto* group = new QGroupBox(FromUtf8("Azienda di lavoro"), this);
    group->setGeometry(du.Rect(7, 4, 236, 34));
    auto* companyLabel = new QLabel(FromUtf8("Azienda"), this);
    companyLabel->setGeometry(du.Rect(14, 18, 36, 10));
    company_->setObjectName("1067");
    company_->setGeometry(du.X(52), du.Y(16), du.X(184), company_->sizeHint().height());
    for (const std::string& entry : request_.companyEntries) {
        company_->addItem(FromCp(entry));
    }
    int selected = -1;
    if (request_.company >= 0) {
        const QString prefix = FromCp(text::FormatIntZeroPadded(request_.company, 4));
        for (int i = 0; i < company_->count() && selected < 0; ++i) {
            selected = company_->itemText(i).startsWith(prefix, Qt::CaseInsensitive) ? i : -1;
        }
    }
    company_->setCurrentIndex(selected);
    company_->setEnabled(false);  // it only shows the company
    NameControl(companyLabel, company_);
    auto* dateLabel = new QLabel(FromUtf8("Data generazione comunicazione"), this);
    dateLabel->setGeometry(du.Rect(14, 50, 120, 10));
    date_->setObjectName("1068");
    date_->setMaxLength(10);
    date_->setText(FromCp(request_.date));
    NameControl(dateLabel, date_);
    date_->setGeometry(du.X(136), du.Y(48), du.X(60), date_->sizeHint().height());
    auto* ok = new QPushButton(FromUtf8("OK"), this);
    ok->setObjectName("1");
    ok->setDefault(true);
    ok->setGeometry(du.Rect(65, 76, 50, 14));
    auto* cancel = new QPushButton(FromUtf8("Annulla"), this);
    cancel->setObjectName("2");
    cancel->setGeometry(du.Rect(135, 76, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    date_->setFocus();
    date_->selectAll();
}

void CExportDlg::accept() {
    std::string date = ToCp(date_->text()).value_or("?");
    if (request_.accept && request_.accept(date)) {
        request_.date = date;
        QDialog::accept();
    }
}

}  // namespace desktop
