#include "desktop/CompanyDlg.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/DialogUnits.h"
#include "desktop/QtText.h"

namespace desktop {

namespace {
constexpr int kTypedLimit = 4;
}

CCompanyDlg::CCompanyDlg(ui::CompanyDialogRequest& request, QWidget* parent)
    : QDialog(parent), request_(request), combo_(new QComboBox(this)) {
    setWindowTitle(FromUtf8("Intestazione Azienda e Periodo"));
    const DialogUnits du(*this);
    setFixedSize(du.X(325), du.Y(52));
    auto* label = new QLabel(FromUtf8("Codice Regionale Azienda"), this);
    label->setGeometry(du.Rect(7, 10, 84, 8).adjusted(0, -2, 0, 2));
    combo_->setObjectName("1000");
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->setGeometry(du.X(93), du.Y(7), du.X(220), combo_->sizeHint().height());
    combo_->setMaxVisibleItems(12);
    NameControl(label, combo_);
    for (const std::string& entry : request_.entries) {
        combo_->addItem(FromCp(entry));  // in the order read: alphabetical by name
    }
    combo_->setCurrentIndex(request_.text.empty() ? -1 : combo_->findText(FromCp(request_.text)));
    combo_->setEditText(FromCp(request_.text));
    // Typing is limited to four characters; an entry chosen from the list is shown whole.
    connect(combo_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& typed) {
        if (typed.size() > kTypedLimit && combo_->findText(typed) < 0) {
            const int cursor = combo_->lineEdit()->cursorPosition();
            combo_->lineEdit()->setText(typed.left(kTypedLimit));
            combo_->lineEdit()->setCursorPosition(std::min(cursor, kTypedLimit));
        }
    });
    auto* ok = new QPushButton(FromUtf8("OK"), this);
    ok->setObjectName("1");
    ok->setDefault(true);
    ok->setGeometry(du.Rect(95, 27, 50, 14));
    auto* cancel = new QPushButton(FromUtf8("Annulla"), this);
    cancel->setObjectName("2");
    cancel->setGeometry(du.Rect(154, 27, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    combo_->setFocus();
    // One Return confirms what is shown, completion included (the combo would otherwise spend the
    // first Return on taking the completion).
    // The keys reach the combo, which hands them to its edit directly: both are watched.
    combo_->installEventFilter(this);
    combo_->lineEdit()->installEventFilter(this);
}

bool CCompanyDlg::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == combo_ || watched == combo_->lineEdit()) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CCompanyDlg::accept() {
    // A text Windows-1252 cannot hold is no company code either: the check refuses it.
    const std::string typed = ToCp(combo_->currentText()).value_or("?");
    if (request_.accept && request_.accept(typed)) {
        request_.text = typed;
        QDialog::accept();
    }
}

}  // namespace desktop
