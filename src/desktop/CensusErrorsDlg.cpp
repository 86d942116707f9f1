#include "desktop/CensusErrorsDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/QtText.h"

namespace desktop {

int CensusErrorsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(errors_.size());
}

int CensusErrorsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant CensusErrorsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= errors_.size()) {
        return {};
    }
    const ui::CensusError& e = errors_[static_cast<std::size_t>(index.row())];
    if (role == Qt::TextAlignmentRole && index.column() == 0) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case 0:
            return e.id;
        case 1:
            return FromCp(e.ubicaz);
        default:
            return FromCp(e.message);
    }
}

QVariant CensusErrorsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const kHeadings[] = {"ID", "Ubicazione", "Errore"};
    return section >= 0 && section < 3 ? FromUtf8(kHeadings[section]) : QVariant();
}

QString CensusErrorsTitle(std::size_t count) {
    return FromUtf8("Verifica Censimento - ") + QString::number(count) +
           (count == 1 ? FromUtf8(" errore riscontrato") : FromUtf8(" errori riscontrati"));
}

namespace {

// Enter on a row chooses it, as a double click does; Home and End go to the first and the last error;
// every other key is the table's own.
class ErrorsTable : public QTableView {
  public:
    using QTableView::QTableView;
    std::function<void(const QModelIndex&)> onChoose;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
            onChoose(currentIndex());
            event->accept();
            return;
        }
        if ((event->key() == Qt::Key_Home || event->key() == Qt::Key_End) && model()->rowCount() > 0) {
            const int row = event->key() == Qt::Key_Home ? 0 : model()->rowCount() - 1;
            setCurrentIndex(model()->index(row, std::max(currentIndex().column(), 0)));
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }

    // A screen reader is told the focus is on the current error, not only on the table, so that the
    // error is read as the window opens (and as the table gets the focus back): once the table's own
    // focus has been told.
    void focusInEvent(QFocusEvent* event) override {
        QTableView::focusInEvent(event);
        QTimer::singleShot(0, this, [this] {
            if (hasFocus() && currentIndex().isValid()) {
                currentChanged(currentIndex(), currentIndex());
            }
        });
    }
};

}  // namespace

CCensusErrorsDlg::CCensusErrorsDlg(const ui::CensusErrorsRequest& request, ui::Port& port, QWidget* parent)
    : QDialog(parent), request_(request), port_(port) {
    setWindowTitle(CensusErrorsTitle(request.errors.size()));
    auto* table = new ErrorsTable(this);
    table_ = table;
    table_->setModel(new CensusErrorsModel(request.errors, table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The arrows go from error to error; Tab goes on to the buttons, as in every dialog.
    table_->setTabKeyNavigation(false);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics m = table_->fontMetrics();
    table_->setColumnWidth(0, m.horizontalAdvance(QStringLiteral("000000")) + 12);
    table_->setColumnWidth(1, m.horizontalAdvance(QString(40, QLatin1Char('M'))) * 3 / 4);
    table->onChoose = [this](const QModelIndex& index) { Choose(index); };
    connect(table_, &QTableView::doubleClicked, this, &CCensusErrorsDlg::Choose);

    auto* hint = new QLabel(FromUtf8("Doppio clic o Invio su una riga per aprire la struttura nell'Archivio "
                                     "Depositi e correggerla."),
                            this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* open = buttons->addButton(FromUtf8("Apri Struttura"), QDialogButtonBox::AcceptRole);
    QPushButton* print = buttons->addButton(FromUtf8("Stampa"), QDialogButtonBox::ActionRole);
    QPushButton* pdf = buttons->addButton(FromUtf8("Salva PDF…"), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(FromUtf8("Chiudi"), QDialogButtonBox::RejectRole);
    open->setAutoDefault(false);
    print->setAutoDefault(false);
    pdf->setAutoDefault(false);
    close->setAutoDefault(false);
    connect(print, &QPushButton::clicked, this, &CCensusErrorsDlg::PrintList);
    connect(pdf, &QPushButton::clicked, this, &CCensusErrorsDlg::SaveListAsPdf);
    connect(open, &QPushButton::clicked, this, [this] { Choose(table_->currentIndex()); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(
        table_->columnWidth(0) + table_->columnWidth(1) + m.horizontalAdvance(QString(48, QLatin1Char('m'))),
        m.height() * 30);

    if (!request.errors.empty()) {
        const int current = static_cast<int>(std::min(request.current, request.errors.size() - 1));
        table_->setCurrentIndex(table_->model()->index(current, 0));
        table_->scrollTo(table_->currentIndex(), QAbstractItemView::PositionAtCenter);
    }
    table_->setFocus();
}

CTablePrint CCensusErrorsDlg::Printed() const {
    std::vector<QStringList> rows;
    rows.reserve(request_.errors.size());
    for (const ui::CensusError& e : request_.errors) {
        rows.push_back({QString::number(e.id), FromCp(e.ubicaz), FromCp(e.message)});
    }
    return CTablePrint({FromUtf8("ID"), FromUtf8("Ubicazione"), FromUtf8("Errore")}, {0.07, 0.33, 0.60},
                       std::move(rows), PageHeading(request_.heading) + QStringLiteral(" - ") + windowTitle(),
                       PageDate());
}

void CCensusErrorsDlg::PrintList() {
    Print(false);
}

void CCensusErrorsDlg::SaveListAsPdf() {
    Print(true);
}

void CCensusErrorsDlg::Print(bool toPdfFile) {
    const CTablePrint printed = Printed();
    const PrintRequest request{FromUtf8("Stampa Verifica Censimento"), FromUtf8("la verifica del censimento"),
                               FromUtf8("VerificaCensimento.pdf"), printed.Job()};
    // A failure is said by the printing itself; the window stays as it is either way.
    (void)(toPdfFile ? PrintToPdfFile(port_, request) : PrintThroughDialog(this, port_, request));
    table_->setFocus();
}

void CCensusErrorsDlg::Choose(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    chosen_ = static_cast<std::size_t>(index.row());
    accept();
}

}  // namespace desktop
