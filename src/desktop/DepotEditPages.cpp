#include "desktop/DepotEditPages.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <algorithm>

#include "desktop/DialogUnits.h"
#include "desktop/QtText.h"
#include "register/StructureEditor.h"
#include "text/Text.h"

namespace desktop {

namespace {

constexpr int kRowHeight = 14;  // every edit and combo of the pages

// A static text to the left of a control whose top is at `y`, centred on the control's height.
QLabel* Label(QWidget* parent, const DialogUnits& du, const char* utf8, int x, int y, int w) {
    auto* label = new QLabel(FromUtf8(utf8), parent);
    label->setGeometry(du.Rect(x, y, w, kRowHeight));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

constexpr const char* kLimit = "typingLimit";

// Selects the whole text of an edit, or of a list's edit, whenever it gets the focus (by Tab, a click
// or a page change), so that what is typed replaces what was there.
class CSelectOnFocus : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            auto* combo = qobject_cast<QComboBox*>(watched);
            QLineEdit* edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit*>(watched);
            if (edit) {
                // Once the click that gave the focus has placed the cursor.
                QTimer::singleShot(0, edit, [edit] {
                    if (edit->hasFocus() || (edit->parentWidget() && edit->parentWidget()->hasFocus())) {
                        edit->selectAll();
                    }
                });
            }
        }
        return false;
    }
};

void SelectTextOnFocus(QWidget* control) {
    control->installEventFilter(new CSelectOnFocus(control));
}

// An edit whose typing is limited to `limit` characters. The limit is for typing only: a longer value
// (a number from an imported file, say) is shown whole, and the edit then takes no more characters
// than it holds until it is shortened. A number's edit takes digits only and is right-aligned.
QLineEdit* Edit(QWidget* parent, const DialogUnits& du, const char* name, int x, int y, int w, int limit,
                bool number = false) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(du.Rect(x, y, w, kRowHeight));
    edit->setMaxLength(limit);
    edit->setProperty(kLimit, limit);
    SelectTextOnFocus(edit);
    if (number) {
        edit->setValidator(new CDigitsValidator(edit));
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    } else {
        edit->setValidator(new CCp1252Validator(edit));
    }
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, limit](const QString& typed) {
        const int allowed = std::max(limit, static_cast<int>(typed.size()));
        if (edit->maxLength() != allowed) {  // an over-long value was shortened
            const int cursor = edit->cursorPosition();
            edit->setMaxLength(allowed);  // which sets the text again
            edit->setCursorPosition(cursor);
        }
    });
    return edit;
}

void Show(QLineEdit* edit, const QString& shown) {
    edit->setMaxLength(std::max(edit->property(kLimit).toInt(), static_cast<int>(shown.size())));
    edit->setText(shown);
}

void Show(QLineEdit* edit, const std::string& cp1252) {
    Show(edit, FromCp(cp1252));
}

// An editable list whose typed text is limited to `typedLimit` characters; an entry chosen from the
// list is shown whole. There is no completion: what is read is the first characters of the text, and
// a completed entry would change them behind the person's back.
QComboBox* Combo(QWidget* parent, const DialogUnits& du, const char* name, int x, int y, int w,
                 int typedLimit, const QStringList& entries) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setValidator(new CCp1252Validator(combo));
    SelectTextOnFocus(combo);
    combo->setGeometry(du.Rect(x, y, w, kRowHeight));
    combo->setMaxVisibleItems(12);
    combo->addItems(entries);
    combo->setCurrentIndex(-1);
    QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                     [combo, typedLimit](const QString& typed) {
                         if (typed.size() > typedLimit && combo->findText(typed) < 0) {
                             const int cursor = combo->lineEdit()->cursorPosition();
                             combo->lineEdit()->setText(typed.left(typedLimit));
                             combo->lineEdit()->setCursorPosition(std::min(cursor, typedLimit));
                         }
                     });
    return combo;
}

void Clear(QComboBox* combo) {
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
}

// Selects the first entry that begins with `prefix` (in any case); nothing changes when none does.
void SelectStartingWith(QComboBox* combo, const QString& prefix) {
    const int index = combo->findText(prefix, Qt::MatchStartsWith);
    if (index >= 0) {
        combo->setCurrentIndex(index);
        combo->setEditText(
            combo->itemText(index));  // also when the entry was current but the text typed over
    }
}

void SelectEntry(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    combo->setEditText(index >= 0 ? combo->itemText(index) : QString());
}

QStringList Entries(const std::vector<std::string>& entries) {
    QStringList list;
    for (const std::string& entry : entries) {
        list << FromCp(entry);
    }
    return list;
}

}  // namespace

QValidator::State CDigitsValidator::validate(QString& input, int&) const {
    if (std::all_of(input.cbegin(), input.cend(), [](QChar c) { return c >= '0' && c <= '9'; })) {
        return Acceptable;
    }
    QApplication::beep();
    return Invalid;
}

QValidator::State CCp1252Validator::validate(QString& input, int& pos) const {
    QString kept;
    kept.reserve(input.size());
    int removedBeforeCursor = 0;
    bool removed = false;
    for (qsizetype i = 0; i < input.size();) {
        const QChar c = input[i];
        qsizetype length = 1;
        char32_t codePoint = c.unicode();
        if (c.isHighSurrogate() && i + 1 < input.size() && input[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(c, input[i + 1]);
            length = 2;
        }
        if (text::CodePointToCp1252(codePoint)) {
            kept.append(input.mid(i, length));
        } else {
            removed = true;
            if (i < pos) {
                removedBeforeCursor += static_cast<int>(length);
            }
        }
        i += length;
    }
    if (removed) {
        input = kept;
        pos = std::clamp(pos - removedBeforeCursor, 0, static_cast<int>(input.size()));
        QApplication::beep();
    }
    return Acceptable;
}

// ---- Ubicazione

CLocationPage::CLocationPage(const std::vector<std::string>& municipalityEntries, QWidget* parent)
    : CDepotPage(parent) {
    const DialogUnits du(*this);
    setFixedSize(du.X(265), du.Y(170));
    QLabel* label = Label(this, du, "Ubicazione (Via e Civico)", 7, 7, 83);
    ubicaz_ = Edit(this, du, "1008", 91, 7, 172, 40);
    NameControl(label, ubicaz_);
    label = Label(this, du, "Località", 7, 25, 83);
    local_ = Edit(this, du, "1009", 91, 25, 172, 30);
    NameControl(label, local_);
    label = Label(this, du, "Comune", 7, 43, 83);
    comune_ = Combo(this, du, "1010", 91, 43, 172, 4, Entries(municipalityEntries));
    NameControl(label, comune_);
    label = Label(this, du, "Provincia", 7, 61, 83);
    QStringList provinces;
    for (const char* entry : reg::ProvinceEntries()) {
        provinces << FromCp(entry);
    }
    provin_ = Combo(this, du, "1011", 91, 61, 80, 2, provinces);
    NameControl(label, provin_);

    auto* activities = new QGroupBox(FromUtf8("Attività svolte"), this);
    activities->setGeometry(du.Rect(20, 85, 242, 79));
    struct Box {
        const char* name;
        const char* text;
        int x, y, w;
    };
    static constexpr std::array<Box, 7> kBoxes = {{
        {"1025", "Deposito veicoli", 33, 99, 66},
        {"1026", "Rifornimento - Pulizia veicoli", 33, 111, 103},
        {"1027", "Manutenzione Veicoli", 33, 123, 83},
        {"1028", "Autostazione", 33, 135, 99},
        {"1029", "Capolinea Attrezzato", 33, 147, 99},
        {"1030", "Agenzia", 153, 99, 99},
        {"1031", "Direzionali - Amministrative", 153, 111, 99},
    }};
    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        const Box& b = kBoxes[i];
        auto* box = new QCheckBox(FromUtf8(b.text), this);
        box->setObjectName(b.name);
        // The whole text is shown even where the font is wider than the layout's; centred on its row.
        const QSize hint = box->sizeHint();
        const int centre = du.Y(b.y) + du.Y(10) / 2;
        box->setGeometry(du.X(b.x), centre - hint.height() / 2, std::max(du.X(b.w), hint.width()),
                         hint.height());
        flags_[i] = box;
    }
    ubicaz_->setFocus();
}

void CLocationPage::ShowPage(const census::Structure& v) {
    Show(ubicaz_, v.ubicaz);
    Show(local_, v.local);
    if (v.comune < 0) {
        Clear(comune_);
    } else {
        SelectStartingWith(comune_, FromCp(text::FormatIntZeroPadded(v.comune, 4)));
    }
    if (v.provin.empty()) {
        Clear(provin_);
    } else {
        SelectStartingWith(provin_, FromCp(v.provin));
    }
    for (std::size_t i = 0; i < flags_.size(); ++i) {
        flags_[i]->setChecked(v.flags[i]);
    }
}

void CLocationPage::SavePage(census::Structure& v) const {
    v.ubicaz = reg::TextFromControl(ToCpLossy(ubicaz_->text()));
    v.local = reg::TextFromControl(ToCpLossy(local_->text()));
    v.comune = reg::ComuneFromControl(ToCpLossy(comune_->currentText()));
    v.provin = reg::ProvinceFromControl(ToCpLossy(provin_->currentText()));
    for (std::size_t i = 0; i < flags_.size(); ++i) {
        v.flags[i] = flags_[i]->isChecked();
    }
}

// ---- Proprietà

namespace {
// The labels begin a little left of where the layout first had them: "Titolo di godimento" would
// otherwise touch its list with the wider fonts of today.
constexpr int kOwnerLabelX = 21;
constexpr int kOwnerControlX = 88;
}  // namespace

COwnershipPage::COwnershipPage(QWidget* parent) : CDepotPage(parent) {
    const DialogUnits du(*this);
    setFixedSize(du.X(310), du.Y(165));
    const QStringList titles = Entries(reg::TitleEntries());
    struct Part {
        const char* group;
        const char* told;  // after each field's name
        int groupY, groupH;
        int top;  // of the first row
        const char* owner;
        int ownerW;
        const char* surface;
        const char* title;
        int titleW;
    };
    static constexpr std::array<Part, 2> kParts = {{
        {"Aree Scoperte Riservate", "aree scoperte", 7, 74, 22, "1001", 197, "1002", "1004", 97},
        {"Superfici Coperte", "aree coperte", 85, 79, 102, "1005", 203, "1006", "1007", 94},
    }};
    for (std::size_t i = 0; i < kParts.size(); ++i) {
        const Part& p = kParts[i];
        auto* group = new QGroupBox(FromUtf8(p.group), this);
        group->setGeometry(du.Rect(7, p.groupY, 301, p.groupH));
        // The two parts have fields of the same names: each is told with its part, by its own name and by
        // its label's (a screen reader may say either).
        const auto name = [&](QLabel* label, QWidget* control) {
            const QString told = label->text() + QStringLiteral(", ") + FromUtf8(p.told);
            NameControl(label, control, told);
            label->setAccessibleName(told);
        };
        QLabel* label = Label(this, du, "Proprietà", kOwnerLabelX, p.top, kOwnerControlX - kOwnerLabelX - 1);
        owner_[i] = Edit(this, du, p.owner, kOwnerControlX, p.top, p.ownerW, 40);
        name(label, owner_[i]);
        label =
            Label(this, du, "Superficie (MQ)", kOwnerLabelX, p.top + 18, kOwnerControlX - kOwnerLabelX - 1);
        surface_[i] = Edit(this, du, p.surface, kOwnerControlX, p.top + 18, 40, 6, true);
        name(label, surface_[i]);
        label = Label(this, du, "Titolo di godimento", kOwnerLabelX, p.top + 36,
                      kOwnerControlX - kOwnerLabelX - 1);
        title_[i] = Combo(this, du, p.title, kOwnerControlX, p.top + 36, p.titleW, 1, titles);
        name(label, title_[i]);
    }
}

void COwnershipPage::ShowPage(const census::Structure& v) {
    Show(owner_[0], v.scoPro);
    Show(owner_[1], v.copPro);
    Show(surface_[0], reg::NumberForControl(v.scoSup));
    Show(surface_[1], reg::NumberForControl(v.copSup));
    SelectEntry(title_[0], reg::TitleEntryFor(census::TitleChar(v.scoTit)));
    SelectEntry(title_[1], reg::TitleEntryFor(census::TitleChar(v.copTit)));
}

void COwnershipPage::SavePage(census::Structure& v) const {
    v.scoPro = reg::TextFromControl(ToCpLossy(owner_[0]->text()));
    v.copPro = reg::TextFromControl(ToCpLossy(owner_[1]->text()));
    v.scoSup = reg::NumberFromControl(ToCpLossy(surface_[0]->text()));
    v.copSup = reg::NumberFromControl(ToCpLossy(surface_[1]->text()));
    v.scoTit.assign(1, reg::TitleFromControl(ToCpLossy(title_[0]->currentText())));
    v.copTit.assign(1, reg::TitleFromControl(ToCpLossy(title_[1]->currentText())));
}

// ---- Dotazione Mezzi

namespace {

// One cell of the fleet table, from (x0, y0) to (x1, y1) in dialog units; neighbouring cells share
// their border line.
QFrame* Cell(QWidget* parent, const DialogUnits& du, int x0, int y0, int x1, int y1) {
    auto* cell = new QFrame(parent);
    cell->setFrameStyle(QFrame::Box | QFrame::Plain);
    cell->setLineWidth(1);
    QPalette palette = cell->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Dark));
    cell->setPalette(palette);
    cell->setGeometry(du.X(x0), du.Y(y0), du.X(x1) - du.X(x0) + 1, du.Y(y1) - du.Y(y0) + 1);
    return cell;
}

QLabel* CellText(QWidget* parent, const DialogUnits& du, const char* utf8, int x0, int y0, int x1, int y1,
                 Qt::Alignment alignment) {
    auto* label = new QLabel(FromUtf8(utf8), parent);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setGeometry(du.X(x0), du.Y(y0) + 1, du.X(x1) - du.X(x0), du.Y(y1) - du.Y(y0) - 1);
    return label;
}

struct Service {
    const char* heading;
    int firstId;   // of the object names, in the order of the counts
    int serviceX;  // the column of the vehicles in service; those in reserve are 40 units to the right
};
constexpr std::array<Service, census::kServiceCount> kServices = {
    {{"ExtraUrbano", 1012, 40}, {"SubUrbano", 1032, 130}, {"Urbano", 1044, 220}}};
// The counts of each service go by class in this order: double-decker, articulated, long, normal,
// medium, short.
constexpr std::array<const char*, census::kLengthClassCount> kClasses = {"Bipiano", "Articolati", "Lunghi",
                                                                         "Normali", "Medi",       "Corti"};
constexpr int kFirstRow = 27;  // top of the first row's edits
constexpr int kRowPitch = 18;  // from one row to the next
constexpr int kReserveOffset = 40;
constexpr int kCountWidth = 30;
constexpr int kCellMargin = 3;  // from an edit to the outer border of its service's cells
// The row headings: "Articolati" needs all of the room left of the first column with today's fonts.
constexpr int kLabelColumn = 1;  // left border
constexpr int kLabelX = 5;
constexpr int kHeadingTop = 2;
constexpr int kSubHeadingTop = 13;

}  // namespace

CFleetPage::CFleetPage(QWidget* parent) : CDepotPage(parent) {
    const DialogUnits du(*this);
    setFixedSize(du.X(300), du.Y(145));
    const int tableTop = kFirstRow - 2;
    const int tableBottom = tableTop + static_cast<int>(kClasses.size()) * kRowPitch;
    const int labelRight = kServices[0].serviceX - kCellMargin;
    // The frames first, so that texts and edits lie over them.
    for (std::size_t row = 0; row < kClasses.size(); ++row) {
        const int top = tableTop + static_cast<int>(row) * kRowPitch;
        Cell(this, du, kLabelColumn, top, labelRight, top + kRowPitch);
    }
    for (const Service& s : kServices) {
        const int left = s.serviceX - kCellMargin;
        const int middle = s.serviceX + (kCountWidth + kReserveOffset) / 2;
        const int right = s.serviceX + kReserveOffset + kCountWidth + kCellMargin;
        Cell(this, du, left, kHeadingTop, right, kSubHeadingTop);
        Cell(this, du, left, kSubHeadingTop, middle, tableTop);
        Cell(this, du, middle, kSubHeadingTop, right, tableTop);
        for (int top = tableTop; top < tableBottom; top += kRowPitch) {
            Cell(this, du, left, top, middle, top + kRowPitch);
            Cell(this, du, middle, top, right, top + kRowPitch);
        }
        CellText(this, du, s.heading, left, kHeadingTop, right, kSubHeadingTop, Qt::AlignHCenter);
        CellText(this, du, "Servizio", left, kSubHeadingTop, middle, tableTop, Qt::AlignHCenter);
        CellText(this, du, "Riserva", middle, kSubHeadingTop, right, tableTop, Qt::AlignHCenter);
    }
    // Row by row across the services, which is also the order of the Tab key.
    for (std::size_t row = 0; row < kClasses.size(); ++row) {
        const int top = tableTop + static_cast<int>(row) * kRowPitch;
        CellText(this, du, kClasses[row], kLabelX, top, labelRight, top + kRowPitch, Qt::AlignLeft);
        const int y = kFirstRow + static_cast<int>(row) * kRowPitch;
        for (std::size_t service = 0; service < kServices.size(); ++service) {
            const Service& s = kServices[service];
            for (std::size_t use = 0; use < census::kUseCount; ++use) {
                const bool reserve = use != 0;  // in service, then in reserve
                // The names go on from the service's first one in the order of its counts.
                const std::size_t index = census::CountIndex(service, row, reserve);
                const int offset = static_cast<int>(index - census::CountIndex(service, 0, false));
                const std::string name = text::FormatInt(s.firstId + offset);
                QLineEdit* count = Edit(this, du, name.c_str(), s.serviceX + reserve * kReserveOffset, y,
                                        kCountWidth, 4, true);
                // Told as the table reads: service, class, in service or in reserve.
                count->setAccessibleName(FromUtf8(s.heading) + QLatin1Char(' ') + FromUtf8(kClasses[row]) +
                                         QLatin1Char(' ') +
                                         (reserve ? QStringLiteral("Riserva") : QStringLiteral("Servizio")));
                counts_[index] = count;
            }
        }
    }
}

void CFleetPage::ShowPage(const census::Structure& v) {
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        Show(counts_[i], reg::NumberForControl(v.counts[i]));
    }
}

void CFleetPage::SavePage(census::Structure& v) const {
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        v.counts[i] = reg::NumberFromControl(ToCpLossy(counts_[i]->text()));
    }
}

}  // namespace desktop
