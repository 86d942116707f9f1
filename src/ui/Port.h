// The interaction port: everything a command may ask of the person using the program. The desktop
// implements it with real windows, the command-line tool without a person, the tests with a script.
// Texts are Windows-1252 bytes, like every text of the core; paths are file-system paths and may hold
// any letter.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "census/Structure.h"

namespace ui {

// The caption of message boxes that name none of their own.
inline constexpr std::string_view kProgramCaption = "Velumbra";

enum class Icon { Stop, Exclamation, Question, Information };

// What a file the person is asked for is for: each front end answers by it (the desktop with a file
// dialog, the command-line tool from its options).
enum class FileKind {
    Report,                // where the census check's report of errors is written
    Communication,         // where an export writes the communication file
    Acquisition,           // the observatory's file an import reads
    NewDatabase,           // where a new census is created
    DatabaseToRepair,      // the census a repair checks
    DuplicateSource,       // the census a duplication copies
    DuplicateDestination,  // where the copy goes
    DatabaseToConnect,     // the census the main window is to work on
    PrintedCopy,           // the PDF file a printing is saved into
    Spreadsheet,           // where the census is written for a spreadsheet
};

struct FileDialogRequest {
    std::string title;
    std::string proposedName;
    std::string defaultExtension;  // without the dot, such as "TXT"
    // Pairs of description and pattern separated by '|' and ended by "||", such as
    // "File di testo (*.txt)|*.txt|Tutti i file (*.*)|*.*||".
    std::string filter;
    bool overwritePrompt = false;  // ask before replacing an existing file
    bool fileMustExist = false;
    bool pathMustExist = false;
    bool createPrompt = false;  // ask before accepting a file that does not exist yet
    bool hideReadOnly = false;
    // A file beside which the dialog opens (the census the command works on) while the person has
    // chosen no file of this kind yet; empty for the front end's own choice.
    std::filesystem::path besideFile;
};

// A file to ask for: what it is for, whether it is to be written (saved) or read (opened), and the
// dialog that asks for it.
struct FileQuestion {
    FileKind kind;
    bool save = false;
    FileDialogRequest dialog;
};

// The two kinds of file dialog the commands use: "open" asks for an existing file in an existing
// folder; "save" for a file in an existing folder, confirming both an existing name (it would be
// replaced) and a name that does not exist yet. Neither shows a read-only check box.
inline FileQuestion MakeFileQuestion(FileKind kind, bool save, std::string title, std::string proposedName,
                                     std::string defaultExtension, std::string filter) {
    FileQuestion question{kind, save, {}};
    FileDialogRequest& request = question.dialog;
    request.title = std::move(title);
    request.proposedName = std::move(proposedName);
    request.defaultExtension = std::move(defaultExtension);
    request.filter = std::move(filter);
    request.pathMustExist = true;
    request.hideReadOnly = true;
    request.overwritePrompt = save;
    request.createPrompt = save;
    request.fileMustExist = !save;
    return question;
}

// What a yes-or-no question asks the person to confirm: each front end answers by it.
enum class ConfirmationKind {
    ReplaceCensus,        // an import replacing every structure with the file's
    CreateMissingFile,    // a file chosen to be written does not exist yet
    Disconnect,           // the main window leaving its census
    Exit,                 // the program ending
    CreateFirstDatabase,  // no census is associated: create one
    UseFoundDatabase,     // the census to be created is there already: use it
    SaveAsPdf,            // no printer: save the printout as a PDF file
    PrintManyPages,       // a printing of many pages: print them all
    RestoreCopy,          // a kept copy put back in the place of the census
};

// A question answered OK or Cancel, shown with the question icon; the caption is kProgramCaption when
// it names none. `details`, when not empty, is a longer text the person may unfold under it.
struct Confirmation {
    ConfirmationKind kind;
    std::string text;
    std::string caption;
    std::string details;
};

// The company choice: a list of entries "%04d - name" and an editable text. `accept` is the OK check:
// it is given the text and tells whether the dialog may close (it shows its own messages).
struct CompanyDialogRequest {
    std::vector<std::string> entries;
    std::string text;
    std::function<bool(const std::string& text)> accept;
};

// The generation date of an export: the company is shown (read-only), the date text is edited.
// `accept` checks the text on OK and may replace it with its normalised form.
struct GenerationDateRequest {
    std::vector<std::string> companyEntries;
    int company = 0;
    std::string date;
    std::function<bool(std::string& date)> accept;
};

// The structure editor: `accept` is the OK check (it shows its own message, and may complete the
// values); the municipalities are the entries "%04d - name" of the municipality list.
struct StructureEditorRequest {
    census::Structure values;  // the working values of the structure
    std::vector<std::string> municipalityEntries;
    std::function<bool(census::Structure& values)> accept;
};

// One failure of the census check: the structure (its identifier and ubicazione) and the message.
struct CensusError {
    int id = 0;
    std::string ubicaz;
    std::string message;
};

// The window listing the census check's failures in report order; `current` is the entry shown current
// when it opens.
struct CensusErrorsRequest {
    std::vector<CensusError> errors;
    std::size_t current = 0;
    std::string heading;  // the working company as the main window's title names it, for the printed list
};

// One copy kept beside the census, as the list of copies shows it: when it was made
// ("GG/MM/AAAA HH:MM:SS"), how many structures it holds and its working company.
struct KeptCopyEntry {
    std::string made;
    std::string structures;
    std::string company;
};

// The copies kept beside the census, newest first, to choose the one to put back.
struct KeptCopiesRequest {
    std::vector<KeptCopyEntry> copies;
};

class Port {
  public:
    virtual ~Port() = default;

    // A modal message box with OK alone: what the person is told. The caption is kProgramCaption when
    // the message names none. `details`, when not empty, is a longer text the person may unfold under
    // the message (its first line a summary).
    virtual void ShowMessage(std::string_view text, std::string_view caption, Icon icon,
                             std::string_view details = {}) = 0;
    // A question the person confirms (true) or not.
    virtual bool Confirm(const Confirmation& question) = 0;
    // The file the person chooses, or nothing when they cancel.
    virtual std::optional<std::filesystem::path> ChooseFile(const FileQuestion& question) = 0;
    // The wait cursor, and the busy clock when asked, for as long as a command works: through a
    // BusyScope, which ends it. Scopes nest; the program is busy while one is open, and a question put
    // to the person meanwhile shows the normal cursor until it is answered.
    virtual void BeginBusy(bool withClock) = 0;
    virtual void EndBusy() = 0;
    // Called often by long loops: lets the busy indicator repaint (at most every 100 ms).
    virtual void KeepResponsive() = 0;
    // Runs `work`, which may take seconds and must ask the port nothing (an engine call on files, say),
    // returning when it is done. The desktop runs it on a thread of its own while its windows keep
    // painting and the busy clock ticks, taking no input from the person meanwhile; here it runs on
    // the caller's thread.
    virtual void RunAside(const std::function<void()>& work) { work(); }
    // Modal dialogs; true when closed with OK (the request then holds the accepted text).
    virtual bool ChooseCompany(CompanyDialogRequest& request) = 0;
    virtual bool AskGenerationDate(GenerationDateRequest& request) = 0;
    virtual bool EditStructure(StructureEditorRequest& request) = 0;
    // The census check's failures, in a window: the entry whose structure the person chose to mend
    // (double click or Enter), or nothing when the window was closed.
    virtual std::optional<std::size_t> ShowCensusErrors(const CensusErrorsRequest& request) = 0;
    // The list of the copies kept beside the census: the entry chosen (OK, Enter or a double click), or
    // nothing when the dialog was cancelled.
    virtual std::optional<std::size_t> ChooseKeptCopy(const KeptCopiesRequest& request) = 0;
};

// The busy state of a command, or of one part of it: begun when made, ended when it goes (the command
// returned, or the work it covers is done).
class [[nodiscard]] BusyScope {
  public:
    BusyScope(Port& port, bool withClock) : port_(port) { port_.BeginBusy(withClock); }
    ~BusyScope() { port_.EndBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    Port& port_;
};

}  // namespace ui
