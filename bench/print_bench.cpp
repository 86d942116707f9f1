// Printing the largest census to a PDF file, as "Stampa Censimento" does once the print dialog has
// chosen a file: the rows read from the database, every page drawn, the file written whole. One
// printing per process; the process is timed whole by bench/processes.py.
//
//     print_bench DATABASE OUTPUT.pdf
//
// Prints one line: pages=… structures=…; exit status 0 when the file was written.
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <cstdio>

#include "app/Session.h"
#include "desktop/CensusPrint.h"
#include "register/StructureList.h"
#include "ui/ScriptedPort.h"

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: print_bench DATABASE OUTPUT.pdf\n");
        return 2;
    }
    ui::ScriptedPort port;
    app::Session session(port);
    session.SetPath(argv[1]);
    if (!session.OpenAssociatedDatabase()) {
        return 1;
    }
    const std::optional<reg::CDepotRowList> rows = reg::LoadRows(*session.Connection());
    if (!rows) {
        return 1;
    }
    const desktop::CCensusPrint print(*rows, QStringLiteral("Azienda 12"), QStringLiteral("08/12/2026"));
    const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                         QPageLayout::Millimeter);
    int pages = 0;
    desktop::PrintSteps steps;
    steps.starting = [&pages](int counted) {
        pages = counted;
        return true;
    };
    if (!desktop::PrintToPdf(print.Job(), QString::fromLocal8Bit(argv[2]), a4, steps)) {
        return 1;
    }
    std::printf("pages=%d structures=%zu\n", pages, rows->size());
    return 0;
}
