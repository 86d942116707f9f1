#include "cli/Arguments.h"

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

namespace cli {
namespace {

enum Option : unsigned { kReport = 1, kOutput = 2, kDate = 4, kYes = 8, kFind = 16, kCsv = 32 };

struct CommandShape {
    std::string_view name;
    Command command;
    std::size_t minOperands;
    std::size_t maxOperands;
    unsigned options;
};

constexpr std::array<CommandShape, 12> kCommands = {{
    {"create", Command::Create, 1, 1, 0},
    {"company", Command::Company, 1, 2, 0},
    {"validate", Command::Validate, 1, 1, kReport},
    {"export", Command::Export, 1, 1, kReport | kOutput | kDate},
    {"import", Command::Import, 2, 2, kYes},
    {"compare", Command::Compare, 2, 2, 0},
    {"list", Command::List, 1, 1, kFind},
    {"repair", Command::Repair, 1, 1, 0},
    {"duplicate", Command::Duplicate, 2, 2, 0},
    {"summary", Command::Summary, 1, 1, kCsv},
    {"export-csv", Command::ExportCsv, 1, 1, kOutput},
    {"restore", Command::Restore, 1, 2, kYes},
}};

struct OptionShape {
    std::string_view name;
    Option option;
    bool takesValue;
};

constexpr std::array<OptionShape, 6> kOptions = {{
    {"--report", kReport, true},
    {"--output", kOutput, true},
    {"--date", kDate, true},
    {"--yes", kYes, false},
    {"--find", kFind, true},
    {"--csv", kCsv, false},
}};

// Builds the refusals: the tool's own words converted for the terminal, the user's words as typed.
class Refusal {
  public:
    explicit Refusal(Encoding encoding) : encoding_(encoding) {}
    Refusal& Say(std::string_view utf8) {
        text_ += OwnTextToTerminal(utf8, encoding_);
        return *this;
    }
    Refusal& Quote(std::string_view typed) {
        text_ += OwnTextToTerminal("\u00AB", encoding_);
        text_ += typed;
        text_ += OwnTextToTerminal("\u00BB", encoding_);
        return *this;
    }
    ParsedArguments Result() const { return {std::nullopt, text_}; }

  private:
    Encoding encoding_;
    std::string text_;
};

// Whether one of `options` stands before "--".
bool Asks(const std::vector<std::string>& arguments, std::initializer_list<std::string_view> options) {
    for (const std::string& argument : arguments) {
        if (argument == "--") {
            return false;
        }
        for (const std::string_view option : options) {
            if (argument == option) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments, Encoding encoding) {
    Refusal refusal(encoding);
    if (Asks(arguments, {"--help", "-h"})) {
        return {Invocation{}, ""};
    }
    if (Asks(arguments, {"--version"})) {
        Invocation version;
        version.command = Command::Version;
        return {version, ""};
    }
    if (arguments.empty()) {
        return refusal.Say("manca il comando").Result();
    }
    const CommandShape* shape = nullptr;
    for (const CommandShape& candidate : kCommands) {
        if (candidate.name == arguments[0]) {
            shape = &candidate;
        }
    }
    if (!shape) {
        return refusal.Say("comando sconosciuto ").Quote(arguments[0]).Result();
    }

    Invocation invocation;
    invocation.command = shape->command;
    std::vector<std::string> operands;
    unsigned given = 0;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const OptionShape* option = nullptr;
        for (const OptionShape& candidate : kOptions) {
            if (candidate.name == name) {
                option = &candidate;
            }
        }
        if (!option) {
            return refusal.Say("opzione sconosciuta ").Quote(name).Result();
        }
        if ((shape->options & option->option) == 0) {
            return refusal.Say("il comando " + std::string(shape->name) + " non prevede l'opzione " + name)
                .Result();
        }
        if ((given & option->option) != 0) {
            return refusal.Say("l'opzione " + name + " è ripetuta").Result();
        }
        given |= option->option;
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                return refusal.Say("l'opzione " + name + " non prende valori").Result();
            }
            (option->option == kYes ? invocation.yes : invocation.csv) = true;
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return refusal.Say("manca il valore dell'opzione " + name).Result();
        }
        if (option->option != kDate && option->option != kFind) {
            if (value.empty()) {
                return refusal.Say("l'opzione " + name + " richiede un percorso non vuoto").Result();
            }
            (option->option == kReport ? invocation.report : invocation.output) = PathOfArgument(value);
            continue;
        }
        const auto converted = FromTerminal(value, encoding);
        if (!converted) {
            return refusal.Say("il valore ")
                .Quote(value)
                .Say(" dell'opzione " + name + " contiene caratteri non rappresentabili in Windows-1252")
                .Result();
        }
        (option->option == kDate ? invocation.date : invocation.find) = *converted;
    }

    const std::string command(shape->name);
    if (operands.size() < shape->minOperands) {
        return refusal.Say("argomenti mancanti per il comando " + command).Result();
    }
    if (operands.size() > shape->maxOperands) {
        return refusal.Say("troppi argomenti per il comando " + command + ": ")
            .Quote(operands.back())
            .Result();
    }
    if ((shape->command == Command::Export || shape->command == Command::ExportCsv) && !invocation.output) {
        return refusal.Say("il comando " + std::string(shape->name) + " richiede --output FILE").Result();
    }
    for (std::size_t i = 0; i < operands.size(); ++i) {
        // Every operand is a path, but the company code, a census text which the company dialog
        // checks itself.
        if (shape->command == Command::Company && i == 1) {
            const auto converted = FromTerminal(operands[i], encoding);
            if (!converted) {
                return refusal.Say("l'argomento ")
                    .Quote(operands[i])
                    .Say(" contiene caratteri non rappresentabili in Windows-1252")
                    .Result();
            }
            invocation.company = *converted;
            continue;
        }
        // The copy to restore, by its number in the list.
        if (shape->command == Command::Restore && i == 1) {
            const std::string& number = operands[i];
            if (number.empty() || number.size() > 6 ||
                number.find_first_not_of("0123456789") != std::string::npos || std::stoul(number) == 0) {
                return refusal.Say("il numero della copia ").Quote(number).Say(" non è valido").Result();
            }
            invocation.copy = std::stoul(number);
            continue;
        }
        if (operands[i].empty()) {
            return refusal.Say("il percorso di un file non può essere vuoto").Result();
        }
        invocation.files.push_back(PathOfArgument(operands[i]));
    }
    return {std::move(invocation), ""};
}

const std::string& UsageText() {
    // Within 80 columns, as a console is wide.
    static const std::string usage =
        "Uso:\n"
        "  velumbra-cli create DB\n"
        "  velumbra-cli company DB [CODICE]\n"
        "  velumbra-cli validate DB [--report FILE]\n"
        "  velumbra-cli export DB --output FILE [--date GG/MM/AAAA] [--report FILE]\n"
        "  velumbra-cli import DB FILE [--yes]\n"
        "  velumbra-cli compare DB FILE\n"
        "  velumbra-cli list DB [--find TESTO]\n"
        "  velumbra-cli repair DB\n"
        "  velumbra-cli duplicate ORIGINE DESTINAZIONE\n"
        "  velumbra-cli summary DB [--csv]\n"
        "  velumbra-cli export-csv DB --output FILE\n"
        "  velumbra-cli restore DB [N] [--yes]\n"
        "  velumbra-cli --help\n"
        "  velumbra-cli --version\n"
        "\n"
        "Comandi:\n"
        "  create     crea un nuovo database del censimento nel file DB (che non deve\n"
        "             esistere)\n"
        "  company    senza CODICE mostra l'azienda di lavoro; con CODICE imposta\n"
        "             l'azienda con quel codice regionale\n"
        "  validate   verifica la situazione delle strutture e scrive sullo standard\n"
        "             error quante contengono errori; con --report scrive nel FILE il\n"
        "             report degli errori\n"
        "  export     genera nel FILE la comunicazione delle strutture aziendali per\n"
        "             l'Osservatorio Trasporti Regionale, con la data di generazione\n"
        "             indicata (in mancanza, oggi); se il censimento contiene errori,\n"
        "             --report ne scrive il report\n"
        "  import     acquisisce dal FILE l'ultima situazione ricevuta\n"
        "             dall'Osservatorio, sostituendo tutte le strutture del database,\n"
        "             dopo averne conservato una copia accanto al database\n"
        "             (NOME.prima-importazione-AAAAMMGG-HHMMSS.EST, le ultime cinque);\n"
        "             prima di procedere scrive il riepilogo del confronto; senza --yes\n"
        "             il file viene soltanto verificato e il database non cambia\n"
        "  compare    confronta le strutture del database con quelle del FILE\n"
        "             dell'Osservatorio, senza modificare nulla: una riga per ogni\n"
        "             struttura modificata (campi, valori attuali e del file), nuova o\n"
        "             eliminata, poi il riepilogo\n"
        "  list       elenca le strutture, una per riga: l'ID, un TAB e i 53 campi del\n"
        "             tracciato; con --find soltanto quelle che il TESTO trova: l'ID,\n"
        "             se è un numero, o una parte di ubicazione, località, comune o\n"
        "             provincia, senza badare a maiuscole e accenti\n"
        "  repair     verifica il database e lo ripara se danneggiato\n"
        "  duplicate  copia il database ORIGINE nel nuovo file DESTINAZIONE,\n"
        "             compattandolo\n"
        "  summary    scrive il riepilogo del censimento: le strutture e le attività\n"
        "             svolte, le superfici per titolo di possesso, i mezzi in servizio\n"
        "             e in riserva per servizio e classe di lunghezza; con --csv in\n"
        "             formato CSV (separatore ;)\n"
        "  export-csv scrive nel FILE il censimento per un foglio di calcolo: una riga\n"
        "             per struttura, in formato CSV (UTF-8, separatore ;)\n"
        "  restore    senza N elenca le copie conservate accanto al database, dalla\n"
        "             più recente: numero, data e ora, strutture e azienda; con N\n"
        "             rimette al posto del database la copia numero N, dopo averne\n"
        "             conservato una copia (NOME.prima-ripristino-AAAAMMGG-HHMMSS.EST,\n"
        "             le ultime cinque); senza --yes la copia viene soltanto verificata\n"
        "             e il database non cambia\n"
        "\n"
        "I messaggi del programma sono scritti sullo standard error; le conferme\n"
        "ricevono risposta affermativa soltanto con --yes. Gli elenchi su standard\n"
        "output sono in UTF-8.\n"
        "\n"
        "Stato di uscita: 0 eseguito, 1 rifiutato o non riuscito, 2 uso errato.\n";
    return usage;
}

const std::string& VersionText() {
    static const std::string version = std::string("velumbra-cli ") + VELUMBRA_VERSION + "\n";
    return version;
}

}  // namespace cli
