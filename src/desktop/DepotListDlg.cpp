#include "desktop/DepotListDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <functional>

#include "desktop/DialogUnits.h"
#include "desktop/QtText.h"

namespace desktop {

namespace {

enum Id {
    kGroup = 1065,
    kIdLabel = 1063,
    kTextLabel = 1064,
    kFine = 1062,
    kNew = 1056,
    kDelete = 1057,
    kRefresh = 1058,
    kModify = 1059,
    kRevert = 1066,
    kFind = 1067,
};

}  // namespace

CDepotListDlg::CDepotListDlg(reg::StructureList& list, QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint),
      list_(list),
      mainWindow_(mainWindow),
      grid_(new CDepotGrid(list, this)),
      find_(new CFindBar(list, grid_, this)),
      id_(new QLineEdit(this)),
      text_(new QLineEdit(this)) {
    setWindowTitle(FromUtf8("Archivio Depositi"));
    const DialogUnits du(*this);
    auto* group = new QGroupBox(FromUtf8("Struttura selezionata"), this);
    group->setObjectName(QString::number(kGroup));
    group->setGeometry(du.Rect(5, 5, 393, 35));
    statics_[kGroup] = group;
    auto* idLabel = new QLabel(QStringLiteral("ID"), this);
    idLabel->setGeometry(du.Rect(15, 22, 13, 8).adjusted(0, -3, 0, 3));
    statics_[kIdLabel] = idLabel;
    auto* textLabel = new QLabel(QStringLiteral("Ubicazione"), this);
    textLabel->setGeometry(du.Rect(61, 22, 40, 8).adjusted(0, -3, 0, 3));
    statics_[kTextLabel] = textLabel;
    id_->setObjectName("1024");
    id_->setAlignment(Qt::AlignRight);
    // The template's limits (4 and 40 characters) are typing limits, and nothing is typed in these
    // two boxes: a limit here would cut what they show (five-digit identifiers, "street - locality").
    id_->setEnabled(false);
    id_->setGeometry(du.Rect(28, 19, 30, 14));
    text_->setObjectName("1061");
    text_->setEnabled(false);
    text_->setGeometry(du.Rect(100, 19, 290, 14));
    NameControl(idLabel, id_);
    NameControl(textLabel, text_);
    const auto button = [&](int id, const char* label, QRect rect) {
        auto* b = new QPushButton(FromUtf8(label), this);
        b->setObjectName(QString::number(id));
        b->setGeometry(rect);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, id] { Run(id); });
        buttons_[id] = b;
    };
    button(kFine, "Fine", du.Rect(7, 73, 50, 14));
    button(kNew, "Nuova Struttura", du.Rect(64, 73, 63, 14));
    // Made in the order they stand on the screen, which Tab follows.
    button(kModify, "Modifica Struttura", du.Rect(203, 73, 65, 14));
    button(kDelete, "Elimina Strauttura", du.Rect(135, 73, 62, 14));
    button(kRefresh, "Aggiorna Vista", du.Rect(277, 73, 54, 14));
    button(kRevert, "Ripristina", du.Rect(335, 73, 50, 14));
    grid_->onCommand = [this](int command) { Run(command); };
    find_->onShownOrHidden = [this] { Layout(); };
    auto* find = new QShortcut(QKeySequence::Find, this, [this] { find_->Open(); });
    find->setContext(Qt::WindowShortcut);
    grid_->onPainted = [this] {
        ShowSelection();
        if (!list_.IsComplete() && !reading_) {
            // The first screen is on show: the others are read part by part, between passes of the
            // event loop.
            reading_ = true;
            QTimer::singleShot(0, this, [this] { ReadPart(); });
        }
    };
    // A failure is shown, and closes the window.
    grid_->onWholeListNeeded = [this] { ReadWholeList(); };

    // Laid exactly over the main window's client area.
    QWidget* client = mainWindow_;
    if (auto* main = qobject_cast<QMainWindow*>(mainWindow_); main && main->centralWidget()) {
        client = main->centralWidget();
    }
    if (client) {
        setGeometry(QRect(client->mapToGlobal(QPoint(0, 0)), client->size() + QSize(1, 1)));
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        setGeometry(screen->availableGeometry());
    }
    Layout();  // the grid has measured its rows as it was made
    grid_->setFocus();
}

bool CDepotListDlg::ReadFirstScreen(std::optional<int> through) {
    const int fit = grid_->height() / std::max(grid_->Layout().RowPitch(), 1) + 1;
    const auto rows = static_cast<std::size_t>(std::max(fit, 1));
    // The row made current stands at the top of the grid: a screen after it as well.
    if (!list_.ReadMore(rows, through) || (through && !list_.ReadMore(rows))) {
        return false;
    }
    grid_->MeasureGrid();
    if (!list_.IsComplete()) {
        // Whatever the person does waits until every row is read: it then acts on the whole list.
        qApp->installEventFilter(this);
    }
    return true;
}

bool CDepotListDlg::ReadWholeList() {
    if (list_.IsComplete() || finishing_) {
        return list_.IsOpen();
    }
    // A message shown while reading (its keys pass here too) does not read again.
    finishing_ = true;
    const bool read = static_cast<bool>(list_.ReadRest());
    finishing_ = false;
    if (!read) {
        reject();  // shown: the window does not go on with a list read in part
        return false;
    }
    WholeListRead();
    return true;
}

void CDepotListDlg::ReadPart() {
    if (list_.IsComplete() || finishing_) {
        return;  // read meanwhile, as the person acted
    }
    // A few milliseconds a pass: the windows go on painting and the timers running meanwhile.
    constexpr qint64 kPartMs = 4;
    constexpr std::size_t kStep = 64;
    QElapsedTimer part;
    part.start();
    finishing_ = true;
    bool read = true;
    while (read && !list_.IsComplete() && part.elapsed() < kPartMs) {
        read = static_cast<bool>(list_.ReadPart(kStep));
    }
    finishing_ = false;
    if (!read) {
        reject();  // shown: the window does not go on with a list read in part
        return;
    }
    if (list_.IsComplete()) {
        WholeListRead();
    } else {
        QTimer::singleShot(0, this, [this] { ReadPart(); });
    }
}

void CDepotListDlg::WholeListRead() {
    qApp->removeEventFilter(this);
    // The widths are those of every row; the scroll bars and what assistive technologies are told
    // follow at once.
    grid_->MeasureGrid();
    grid_->viewport()->repaint();
    if (onWholeListRead) {
        onWholeListRead();
    }
}

bool CDepotListDlg::eventFilter(QObject* object, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
        case QEvent::Close:
            if (!list_.IsComplete() && !ReadWholeList()) {
                return true;  // the window closes: what was asked of it is not done
            }
            break;
        default:
            break;
    }
    return QDialog::eventFilter(object, event);
}

void CDepotListDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Layout();
}

void CDepotListDlg::Layout() {
    const int H = height();
    // The buttons along the bottom, each keeping its size.
    int x = 15;
    int top = 0;
    for (const auto& [id, gap] : std::vector<std::pair<int, int>>{
             {kFine, 0}, {kNew, 30}, {kModify, 5}, {kDelete, 5}, {kRefresh, 30}, {kRevert, 5}}) {
        QPushButton* b = buttons_.at(id);
        x += gap;
        top = H - 5 - b->height();
        b->move(x, top);
        x += b->width();
    }
    const int Y = top;
    const auto bottomAt = [](QWidget* w, int bottom) { w->move(w->x(), bottom - w->height()); };
    bottomAt(statics_.at(kIdLabel), Y - 22);
    bottomAt(statics_.at(kTextLabel), Y - 22);
    bottomAt(statics_.at(kGroup), Y - 10);
    bottomAt(id_, Y - 18);
    bottomAt(text_, Y - 18);
    // The find bar, when shown, between the grid and the selected structure.
    const int barHeight = find_->isVisible() ? find_->sizeHint().height() : 0;
    grid_->setGeometry(QRect(QPoint(10, 10), QPoint(width() - 10, H - 100 - barHeight)));
    if (find_->isVisible()) {
        find_->setGeometry(QRect(QPoint(10, H - 100 - barHeight + 2), QPoint(width() - 10, H - 100)));
    }
}

void CDepotListDlg::ShowSelection() {
    id_->setText(FromCp(list_.SelectionId()));
    text_->setText(FromCp(list_.SelectionText()));
}

void CDepotListDlg::Run(int command) {
    // What a screen reader is told of the current cell once the command is done.
    std::function<void()> announce;
    switch (command) {
        case kFine:
            accept();
            return;
        case kFind:
            find_->Open();
            return;
        case kNew:
            if (list_.CreateStructure()) {
                grid_->MeasureGrid();
            }
            break;
        case kModify:
            if (list_.ModifyStructure()) {
                grid_->MeasureGrid();
            }
            break;
        case kDelete:
            if (list_.DeleteStructure()) {
                announce = [this] { grid_->Announce(); };  // its state: "eliminata"
            }
            break;
        case kRefresh:
            list_.RefreshView().Ignore("shown by the list; the grid shows what is stored");
            break;
        case kRevert:
            if (list_.RevertChanges()) {
                announce = [this] { grid_->Announce(FromUtf8("variazioni sospese annullate")); };
            }
            break;
        default:
            return;
    }
    if (!list_.IsOpen()) {
        // The window's transaction could not begin again: its changes would be stored one by one
        // and could not be withdrawn, so the window closes (the failure has been shown).
        reject();
        return;
    }
    grid_->viewport()->repaint();
    update();
    // Whatever the command (and after the editor it opened), the keyboard goes back to the grid: the
    // arrows move the current row, and no key reaches a button by chance.
    grid_->setFocus(Qt::OtherFocusReason);
    if (announce) {
        announce();
    }
}

void OpenStructureList(app::Session& session, QWidget* mainWindow, std::optional<int> current) {
    reg::StructureList list(session);
    // The window is made before its rows are read: they are read a screen first.
    if (!list.Open(std::size_t{0})) {
        return;  // shown by the list; the window does not open
    }
    CDepotListDlg window(list, mainWindow);
    if (!window.ReadFirstScreen(current)) {
        return;  // shown; the window does not open
    }
    if (current) {
        if (const auto row = list.Rows().Find(*current)) {
            window.Grid()->MakeCurrentWhenPainted(static_cast<int>(*row));
        } else {
            session.Port().ShowMessage(
                text::Utf8ToCp1252Lossy("La struttura ID=" + std::to_string(*current) +
                                        " non compare nell'Archivio Depositi:\n"
                                        "il suo comune non è tra i comuni registrati."),
                ui::kProgramCaption, ui::Icon::Information);
        }
    }
    window.exec();
    // Commits, whatever way the window was closed; a failure is shown by the connection.
    list.Close().Ignore("shown by the connection, and the window is closed");
}

}  // namespace desktop
