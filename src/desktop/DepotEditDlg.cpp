#include "desktop/DepotEditDlg.h"

#include <QAccessibleWidget>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/DialogUnits.h"
#include "desktop/QtText.h"
#include "text/Text.h"

namespace desktop {

namespace {

// The page area was laid out in pixels for a font whose dialog unit is 1.5 pixels across and 1.625
// down (a base of 6 by 13). It grows with the dialog units, so that the pages, laid out in dialog
// units, fit it with any font.
QRect TabArea(const DialogUnits& du) {
    const auto x = [&du](int pixels) { return static_cast<int>(du.X(4 * pixels) / 6.0 + 0.5); };
    const auto y = [&du](int pixels) { return static_cast<int>(du.Y(8 * pixels) / 13.0 + 0.5); };
    return QRect(QPoint(x(10), y(40)), QPoint(x(500) - 1, y(360) - 1));
}

constexpr const char* kPageArea = "pageArea";

// A page's area is told to screen readers as the page of its tab, so that moving into it, as a page
// change does, says the page's name before its field's.
QAccessibleInterface* PageAreas(const QString& className, QObject* object) {
    if (className == QLatin1String("QWidget") && object && object->isWidgetType() &&
        object->property(kPageArea).toBool()) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::PageTab);
    }
    return nullptr;
}

}  // namespace

CDepotEditDlg::CDepotEditDlg(ui::StructureEditorRequest& request, QWidget* parent)
    : QDialog(parent), request_(request), values_(request.values), tabs_(new QTabWidget(this)) {
    // The window is read once it is shown, not while its controls are made and filled.
    const CAccessibilityHold hold;
    static const bool pageAreasTold = (QAccessible::installFactory(&PageAreas), true);
    (void)pageAreasTold;
    setWindowTitle(FromUtf8("Definizione della Struttura"));
    // A screen reader tells which structure is being defined as the window opens.
    if (values_.id != -1) {
        setAccessibleName(windowTitle() + FromUtf8(", Identificativo ") +
                          FromCp(text::FormatInt(values_.id)));
    }
    const DialogUnits du(*this);
    setFixedSize(du.X(350), du.Y(250));
    auto* idLabel = new QLabel(FromUtf8("Identificativo"), this);
    idLabel->setGeometry(du.Rect(7, 10, 43, 8).adjusted(0, -2, 0, 2));
    auto* id = new QLineEdit(this);
    id->setObjectName("1024");
    id->setGeometry(du.Rect(51, 7, 30, 14));
    id->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    id->setReadOnly(true);
    id->setEnabled(false);
    id->setText(values_.id == -1 ? QString() : FromCp(text::FormatInt(values_.id)));

    tabs_->setObjectName("6003");
    tabs_->setGeometry(TabArea(du));
    const auto add = [this](int index, CDepotPage* page, QWidget* area, const char* caption) {
        // Each page keeps its own size, centred in the tab's area.
        auto* layout = new QGridLayout(area);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(page, 0, 0, Qt::AlignCenter);
        // Named as its tab, so that a screen reader tells the page its fields are on.
        area->setAccessibleName(FromUtf8(caption));
        tabs_->addTab(area, FromUtf8(caption));
        pages_[static_cast<std::size_t>(index)] = page;
    };
    // Marked before anything asks how it is told.
    const auto newArea = [this] {
        auto* area = new QWidget;
        area->setProperty(kPageArea, true);
        area->setParent(tabs_);
        return area;
    };
    QWidget* area = newArea();
    add(0, new CLocationPage(request_.municipalityEntries, area), area, "Ubicazione");
    area = newArea();
    add(1, new COwnershipPage(area), area, "Proprietà");
    area = newArea();
    add(2, new CFleetPage(area), area, "Dotazione Mezzi");
    for (CDepotPage* page : pages_) {
        page->ShowPage(values_);
    }
    tabs_->setCurrentIndex(0);
    connect(tabs_, &QTabWidget::currentChanged, this, &CDepotEditDlg::ChangePage);
    FocusFirstField();

    auto* ok = new QPushButton(FromUtf8("OK"), this);
    ok->setObjectName("1");
    ok->setDefault(true);
    ok->setGeometry(du.Rect(125, 230, 50, 14));
    auto* cancel = new QPushButton(FromUtf8("Annulla"), this);
    cancel->setObjectName("2");
    cancel->setGeometry(du.Rect(180, 230, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CDepotEditDlg::ChangePage(int index) {
    if (index < 0 || index == current_) {
        return;
    }
    pages_[static_cast<std::size_t>(current_)]->SavePage(values_);
    current_ = index;
    {
        const CAccessibilityHold hold;
        pages_[static_cast<std::size_t>(current_)]->ShowPage(values_);
    }
    FocusFirstField();
}

void CDepotEditDlg::FocusFirstField() {
    // What is typed goes to the page's first field, not to the tab bar.
    for (QWidget* w : pages_[static_cast<std::size_t>(current_)]->findChildren<QWidget*>()) {
        if (w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void CDepotEditDlg::accept() {
    pages_[static_cast<std::size_t>(current_)]->SavePage(values_);
    // The check may complete the values (empty owners become a blank); they are kept only when it
    // accepts them, so a refusal leaves the editor with the values as entered.
    census::Structure checked = values_;
    if (!request_.accept || request_.accept(checked)) {
        values_ = checked;
        request_.values = checked;
        QDialog::accept();
    }
}

}  // namespace desktop
