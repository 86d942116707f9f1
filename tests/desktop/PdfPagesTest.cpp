// The program's own PDF pages beside Qt's PDF writer: the same texts at the same places, a file whose
// table of objects is true, a drawing they cannot hold written by Qt's writer instead, and a failed
// write told.
#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "GuiTestMain.h"
#include "desktop/CensusPrint.h"
#include "desktop/PdfPages.h"

namespace {

const QPageLayout kA4(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                      QPageLayout::Millimeter);

// More letters than one font resource holds: the printable ASCII ones, the accented ones and Latin
// Extended-A.
QString ManyLetters() {
    QString s;
    for (char16_t c = 0x21; c < 0x7F; ++c) {
        s += QChar(c);
    }
    for (char16_t c = 0xC0; c < 0x180; ++c) {
        s += QChar(c);
    }
    return s;
}

// Three pages of what a census's pages hold: texts in two fonts and colours, rules, bands, a text cut
// by a clip under a scaling, and a line of many letters; each line of letters drawn in pieces of 40.
template <class Pages>
bool DrawSample(Pages& pages, const desktop::PrintSteps& steps) {
    if (steps.starting && !steps.starting(3)) {
        return false;
    }
    QPainter p;
    if (!desktop::BeginPages(p, pages)) {
        return false;
    }
    const QString letters = ManyLetters();
    for (int page = 1; page <= 3; ++page) {
        if (page > 1 && !pages.newPage()) {
            return false;
        }
        desktop::DrawPageFrame(p, desktop::AreaOf(pages), "Azienda 12 PROVA", "08/12/2026", page, 3);
        p.fillRect(QRect(0, 40, 600, 20), QColor(0, 0, 192));
        p.setPen(Qt::white);
        p.setFont(desktop::PageFont(true));
        p.drawText(QRect(4, 40, 300, 20), Qt::AlignLeft | Qt::AlignVCenter, "N.ro Ubicazione");
        p.setPen(QColor(192, 192, 192));
        p.drawLine(0, 80, 600, 80);
        p.setPen(Qt::black);
        p.save();
        p.scale(0.5, 0.5);
        p.setClipRect(QRect(0, 180, 400, 30));
        p.drawText(QPoint(10, 200), QString("Ponte a Egola %1").arg(page));
        p.restore();
        for (qsizetype at = 0; at < letters.size(); at += 40) {
            p.drawText(QPoint(10 + int(at) * 3, 140 + int(at / 40) * 14), letters.mid(at, 40));
        }
    }
    return p.end();
}

desktop::PrintJob Both() {
    return {[](QPagedPaintDevice& d, const desktop::PrintSteps& s) { return DrawSample(d, s); },
            [](desktop::CPdfPages& d, const desktop::PrintSteps& s) { return DrawSample(d, s); }};
}

desktop::PrintJob QtsOnly() {
    return {[](QPagedPaintDevice& d, const desktop::PrintSteps& s) { return DrawSample(d, s); }, {}};
}

QByteArray Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return "failed: " + process.readAllStandardError();
    }
    return process.readAllStandardOutput();
}

// The words of a file with their boxes, as pdftotext reads them.
struct Word {
    QString text;
    double box[4];
};

QList<Word> Words(const QString& pdf) {
    const QString html = QString::fromUtf8(Run("pdftotext", {"-bbox", pdf, "-"}));
    const QString number = QStringLiteral("\"([\\d.]+)\"");
    const QRegularExpression word(
        QStringLiteral("<word xMin=%1 yMin=%1 xMax=%1 yMax=%1>([^<]*)</word>").arg(number));
    QList<Word> words;
    for (const QRegularExpressionMatch& m : word.globalMatch(html)) {
        words.append({m.captured(5),
                      {m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                       m.captured(4).toDouble()}});
    }
    return words;
}

// A device whose writes fail once `room` bytes are taken.
class FullDisk : public QBuffer {
  public:
    explicit FullDisk(qint64 room) : room_(room) {}

  protected:
    qint64 writeData(const char* data, qint64 length) override {
        if (size() + length > room_) {
            return -1;
        }
        return QBuffer::writeData(data, length);
    }

  private:
    qint64 room_;
};

}  // namespace

class PdfPagesTest : public QObject {
    Q_OBJECT

  private slots:
    // Every word at the place Qt's PDF writer puts it (within a twentieth of a point: a word's end
    // takes the width of its last glyph as laid out, not as designed), read back as it was drawn,
    // the letters beyond the first resource's codes too; the same pages and page size.
    void theWordsStandWhereQtsWriterPutsThem() {
        QTemporaryDir dir;
        const QString own = dir.filePath("own.pdf");
        const QString qts = dir.filePath("qt.pdf");
        QVERIFY(desktop::PrintToPdf(Both(), own, kA4));
        QVERIFY(desktop::PrintToPdf(QtsOnly(), qts, kA4));
        QFile file(own);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("/Producer (Velumbra)"));  // not Qt's writer
#ifdef Q_OS_WIN
        QSKIP(
            "the PDF files are read back with Debian's poppler tools, which a Windows program cannot start");
#endif
        const QByteArray info = Run("pdfinfo", {own});
        QVERIFY2(info.contains("Pages:           3\n"), info.constData());
        QVERIFY2(info.contains("Page size:       842 x 595 pts (A4)"), info.constData());
        const QList<Word> ours = Words(own);
        const QList<Word> theirs = Words(qts);
        QVERIFY(ours.size() > 20);
        QCOMPARE(ours.size(), theirs.size());
        for (qsizetype i = 0; i < ours.size(); ++i) {
            QCOMPARE(ours[i].text, theirs[i].text);
            for (int k = 0; k < 4; ++k) {
                QVERIFY2(std::abs(ours[i].box[k] - theirs[i].box[k]) < 0.05,
                         qPrintable(QString("%1: %2 against %3")
                                        .arg(ours[i].text)
                                        .arg(ours[i].box[k])
                                        .arg(theirs[i].box[k])));
            }
        }
        const QString text = QString::fromUtf8(Run("pdftotext", {"-raw", own, "-"}));
        const QString letters = ManyLetters();
        for (qsizetype at = 0; at < letters.size(); at += 40) {
            QVERIFY2(text.contains(letters.mid(at, 40)), qPrintable(letters.mid(at, 40)));
        }
        QCOMPARE(text.count("Ponte a Egola"), 3);
        QVERIFY(text.contains("pagina 3 di 3"));
    }

    // Each object stands where the file's table says, and the table where the file's end says.
    void theTableOfObjectsIsTrue() {
        QBuffer out;
        QVERIFY(out.open(QIODevice::WriteOnly));
        desktop::CPdfPages pages(out, kA4, "prova");
        QVERIFY(pages.setPageOrientation(QPageLayout::Landscape));
        QVERIFY(DrawSample(pages, {}));
        QVERIFY(pages.Finish());
        QVERIFY(!pages.Finish());  // once
        const QByteArray pdf = out.data();
        QVERIFY(pdf.startsWith("%PDF-1.4\n"));
        QVERIFY(pdf.endsWith("%%EOF\n"));
        const qsizetype start = pdf.lastIndexOf("startxref\n");
        const qsizetype table = pdf.mid(start + 10).split('\n').value(0).toLongLong();
        QVERIFY(pdf.mid(table).startsWith("xref\n0 "));
        const QList<QByteArray> lines = pdf.mid(table).split('\n');
        const int objects = lines[1].split(' ').value(1).toInt();
        QVERIFY(objects > 10);
        for (int n = 1; n < objects; ++n) {
            const QByteArray& entry = lines[2 + n];
            QCOMPARE(entry.size(), 19);  // and its line's end: twenty bytes
            QVERIFY2(pdf.mid(entry.left(10).toLongLong()).startsWith(QByteArray::number(n) + " 0 obj\n"),
                     entry.constData());
        }
        QVERIFY(pdf.contains("/Count 3 "));
    }

    // A pattern the pages cannot hold: the file is written by Qt's writer, the pages counted once.
    void aDrawingThePagesCannotHoldGoesThroughQtsWriter() {
        QTemporaryDir dir;
        const QString pdf = dir.filePath("motivo.pdf");
        const auto hatched = [](auto& device, const desktop::PrintSteps& steps) {
            if (!steps.starting(1)) {
                return false;
            }
            QPainter p;
            if (!desktop::BeginPages(p, device)) {
                return false;
            }
            p.fillRect(QRect(10, 10, 200, 100), QBrush(Qt::black, Qt::BDiagPattern));
            return p.end();
        };
        int asked = 0;
        desktop::PrintSteps steps;
        steps.starting = [&asked](int pages) {
            ++asked;
            return pages == 1;
        };
        QVERIFY(desktop::PrintToPdf(
            {[&](QPagedPaintDevice& d, const desktop::PrintSteps& s) { return hatched(d, s); },
             [&](desktop::CPdfPages& d, const desktop::PrintSteps& s) { return hatched(d, s); }},
            pdf, kA4, steps));
        QCOMPARE(asked, 1);
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("%PDF-"));
        QVERIFY(!bytes.contains("/Producer (Velumbra)"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"motivo.pdf"}));
    }

    // A disk that fills up: the pages say so, at their end if not before.
    void aFailedWriteIsTold() {
        for (const qint64 room : {qint64(0), qint64(20), qint64(5000)}) {
            FullDisk out(room);
            QVERIFY(out.open(QIODevice::WriteOnly));
            desktop::CPdfPages pages(out, kA4, "prova");
            const bool drawn = DrawSample(pages, {});
            QVERIFY2(!(drawn && pages.Finish()), qPrintable(QString::number(room)));
            QVERIFY(!pages.Unsupported());
        }
    }
};

VELUMBRA_GUI_TEST_MAIN(PdfPagesTest)
#include "PdfPagesTest.moc"
