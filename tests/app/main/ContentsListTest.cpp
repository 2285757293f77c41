// The contents list on paper and in files: the line printer's pages, titles and wrap checked in
// the PDF it prints (pdfinfo, pdftotext), the text, CSV and HTML exports against golden files
// (the CSV one written by Python's csv module) with names that need escaping, a full disk that
// leaves the old file as it was, and the main window's print and export commands.
#include "MainWindowFixture.h"
#include "ToolChecks.h"

#include "DialogDriver.h"
#include "SmallDisk.h"
#include "app/main/ArchiveModel.h"
#include "app/main/ContentsExport.h"
#include "ui/LmOpenSaveComm.h"
#include "ui/UCLinePrinter.h"

#include <QAction>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTreeView>
#include <regex>
#include <sys/stat.h>

using namespace testsupport;

namespace {

std::unique_ptr<QPrinter> PdfPrinter(const fs::path& File) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(Q(File));
    printer->setPageSize(QPageSize(QPageSize::A4));
    return printer;
}

int PdfPages(const fs::path& File) {
    const ToolResult info = RunTool({"pdfinfo", File.string()});
    std::smatch match;
    if (info.ExitCode != 0 || !std::regex_search(info.Out, match, std::regex(R"(Pages:\s+(\d+))"))) return -1;
    return std::stoi(match[1]);
}

QStringList PdfPageLines(const fs::path& File, int Page) {
    const std::string page = std::to_string(Page);
    const ToolResult text = RunTool({"pdftotext", "-layout", "-f", page, "-l", page, File.string(), "-"});
    EXPECT_EQ(text.ExitCode, 0) << text.Err;
    QStringList lines;
    for (const QString& line : QString::fromStdString(text.Out).split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty()) lines << line.trimmed();
    return lines;
}

QFont MonoFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    return font;
}

struct TRun {
    bool Ok = false;
    std::vector<std::pair<int, int>> Pages; // OnNextPage's PageNo and TotalPages
    bool Started = false, Ended = false;
};

TRun PrintTo(TUCLinePrinter& Printer, const fs::path& File) {
    TRun run;
    Printer.OnStartPrint = [&run](TUCLinePrinter&) { run.Started = true; };
    Printer.OnEndPrint = [&run](TUCLinePrinter&) { run.Ended = true; };
    Printer.OnNextPage = [&run](TUCLinePrinter&, int Page, int Total) {
        run.Pages.emplace_back(Page, Total);
    };
    const auto pdf = PdfPrinter(File);
    Printer.Printer = pdf.get();
    run.Ok = Printer.Print();
    Printer.Printer = nullptr;
    return run;
}

QStringList NumberedLines(int Count) {
    QStringList lines;
    for (int i = 1; i <= Count; ++i)
        lines << QStringLiteral("Line %1").arg(i, 4, 10, QLatin1Char('0'));
    return lines;
}

// The most lines the printer puts on one page, found by printing.
int LinesPerPage(TUCLinePrinter& Printer, const TempDir& Dir) {
    int low = 1, high = 400;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        Printer.Lines = NumberedLines(mid);
        if (PrintTo(Printer, Dir / "probe.pdf").Pages.size() == 1)
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

} // namespace

TEST(LinePrinterTest, PagesTitlesAndEventsFollowTheLineCount) {
    TempDir dir;
    TUCLinePrinter printer;
    printer.Font = MonoFont();
    printer.WordWrap = false;
    printer.PrintPageNumbers = true;
    printer.PrintTitle = QStringLiteral("Quillar : t.zip");
    printer.TitleOnPrintout = TPrintTitlePlacement::TopOfPage;
    const int perPage = LinesPerPage(printer, dir);
    ASSERT_GT(perPage, 20);

    struct TCase {
        TPrintTitlePlacement Placement;
        bool Numbers;
        int Lines; // beyond the lines per page of a titled page
        int Pages;
    } const cases[] = {
        {TPrintTitlePlacement::TopOfPage, true, 0, 1},
        {TPrintTitlePlacement::TopOfPage, true, 1, 2},
        {TPrintTitlePlacement::TopOfPage, true, perPage + 1, 3},
        {TPrintTitlePlacement::BottomOfPage, true, 1, 2},
        {TPrintTitlePlacement::BottomOfPage, false, perPage, 2},
        // Without a title the two title lines hold text.
        {TPrintTitlePlacement::Nowhere, true, 2, 1},
        {TPrintTitlePlacement::Nowhere, true, 3, 2},
    };
    for (const TCase& c : cases) {
        const int count = perPage + c.Lines;
        SCOPED_TRACE(testing::Message() << "placement " << int(c.Placement) << ", " << count << " lines");
        printer.TitleOnPrintout = c.Placement;
        printer.PrintPageNumbers = c.Numbers;
        printer.Lines = NumberedLines(count);
        const fs::path file = dir / "out.pdf";
        const TRun run = PrintTo(printer, file);
        ASSERT_TRUE(run.Ok) << printer.ErrorText().toStdString();
        EXPECT_TRUE(run.Started && run.Ended);
        ASSERT_EQ(PdfPages(file), c.Pages);
        ASSERT_EQ(run.Pages.size(), std::size_t(c.Pages));
        int printed = 0;
        for (int page = 1; page <= c.Pages; ++page) {
            EXPECT_EQ(run.Pages[std::size_t(page - 1)], std::make_pair(page, c.Pages));
            const QStringList lines = PdfPageLines(file, page);
            ASSERT_FALSE(lines.isEmpty());
            const QString title = c.Numbers ? QStringLiteral("Quillar : t.zip (%1/%2)").arg(page).arg(c.Pages)
                                            : QStringLiteral("Quillar : t.zip");
            switch (c.Placement) {
            case TPrintTitlePlacement::TopOfPage:
                EXPECT_EQ(lines.first(), title);
                break;
            case TPrintTitlePlacement::BottomOfPage:
                EXPECT_EQ(lines.last(), title);
                break;
            case TPrintTitlePlacement::Nowhere:
                EXPECT_FALSE(lines.join(' ').contains("Quillar"));
                break;
            }
            for (const QString& line : lines) {
                if (line.startsWith(QStringLiteral("Line "))) {
                    EXPECT_EQ(line, QStringLiteral("Line %1").arg(++printed, 4, 10, QLatin1Char('0')));
                }
            }
        }
        EXPECT_EQ(printed, count);
    }
}

TEST(LinePrinterTest, WrapBreaksAtBlanksHyphensAndStopsAndAlwaysMovesOn) {
    const QFontMetricsF metrics(MonoFont());
    const qreal glyph = metrics.horizontalAdvance(QLatin1Char('x'));
    struct TCase {
        QString Line;
        qreal Width; // in glyphs
        QStringList Pieces;
    } const cases[] = {
        {"", 10.5, {""}},
        {"short", 10.5, {"short"}},
        {"abcdefghijklmnop", 10.5, {"abcdefghij", "klmnop"}},
        {"hello world again", 10.5, {"hello ", "world ", "again"}},
        {"well-known.thing", 10.5, {"well-", "known.", "thing"}},
        {"a b c d e f g h", 10.5, {"a b c d e ", "f g h"}},
        // A glyph wider than the line still goes out, one per line.
        {"ABC", 0.5, {"A", "B", "C"}},
        {QString::fromUtf8("\xF0\x9F\x98\x80\xF0\x9F\x98\x80"),
         0.5,
         {QString::fromUtf8("\xF0\x9F\x98\x80"), QString::fromUtf8("\xF0\x9F\x98\x80")}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line.toStdString());
        EXPECT_EQ(TUCLinePrinter::WrapLine(c.Line, c.Width * glyph, metrics), c.Pieces);
    }

    // On paper: a page narrower than one glyph prints every character on its own line.
    TempDir dir;
    TUCLinePrinter printer;
    printer.Font = MonoFont();
    printer.Margins.SetLeft(104.9);
    printer.Margins.SetRight(104.9);
    printer.Lines = {QStringLiteral("ABC")};
    const TRun run = PrintTo(printer, dir / "narrow.pdf");
    ASSERT_TRUE(run.Ok) << printer.ErrorText().toStdString();
    EXPECT_EQ(PdfPageLines(dir / "narrow.pdf", 1), (QStringList{"A", "B", "C"}));
}

TEST(LinePrinterTest, MarginsKeepTwoDecimalsAndAPageWithoutRoomIsRefused) {
    TUCLinePrinterMargins margins;
    margins.SetTop(12.3456);
    EXPECT_DOUBLE_EQ(margins.Top(), 12.35);
    margins.SetMarginUnit(TUCLinePrinterUnit::Inch);
    EXPECT_DOUBLE_EQ(margins.Left(), 0.59);
    EXPECT_DOUBLE_EQ(margins.Top(), 0.49);
    margins.SetMarginUnit(TUCLinePrinterUnit::mm);
    EXPECT_DOUBLE_EQ(margins.Left(), 14.99);

    struct TCase {
        double Top, Bottom, Left, Right;
        TPrintTitlePlacement Placement;
    } const cases[] = {
        {145, 145, 15, 15, TPrintTitlePlacement::TopOfPage}, // one line high, less two for the title
        {150, 150, 15, 15, TPrintTitlePlacement::Nowhere},   // no line high at all
        {15, 15, 105, 105, TPrintTitlePlacement::Nowhere},   // no width
    };
    TempDir dir;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Top + c.Left);
        TUCLinePrinter printer;
        printer.Font = MonoFont();
        printer.TitleOnPrintout = c.Placement;
        printer.Margins.SetTop(c.Top);
        printer.Margins.SetBottom(c.Bottom);
        printer.Margins.SetLeft(c.Left);
        printer.Margins.SetRight(c.Right);
        printer.Lines = NumberedLines(3);
        const TRun run = PrintTo(printer, dir / "none.pdf");
        EXPECT_FALSE(run.Ok);
        EXPECT_FALSE(printer.ErrorText().isEmpty());
        EXPECT_FALSE(run.Started);
        EXPECT_FALSE(fs::exists(dir / "none.pdf"));
    }

    // Margins count from the paper's edge; where the printer cannot reach that far, printing
    // starts (one device pixel) inside the area it reaches.
    struct TOffsetCase {
        double Margin, Unreachable, StartMm;
    } const offsets[] = {{30, 20, 30}, {5, 20, 20}, {15, 0, 15}};
    for (const TOffsetCase& c : offsets) {
        SCOPED_TRACE(c.Margin);
        TUCLinePrinter printer;
        printer.Font = MonoFont();
        printer.Margins.SetLeft(c.Margin);
        printer.Margins.SetTop(c.Margin);
        printer.Lines = {QStringLiteral("Edge")};
        const fs::path file = dir / "edge.pdf";
        const auto pdf = PdfPrinter(file);
        pdf->setPageMargins(QMarginsF(c.Unreachable, c.Unreachable, c.Unreachable, c.Unreachable),
                            QPageLayout::Millimeter);
        printer.Printer = pdf.get();
        ASSERT_TRUE(printer.Print()) << printer.ErrorText().toStdString();
        const ToolResult box = RunTool({"pdftotext", "-bbox", file.string(), "-"});
        std::smatch match;
        ASSERT_TRUE(
            std::regex_search(box.Out, match, std::regex(R"re(xMin="([0-9.]+)" yMin="([0-9.]+)".*>Edge<)re")))
            << box.Out;
        const double points = c.StartMm / 25.4 * 72;
        EXPECT_NEAR(std::stod(match[1]), points, 1.5);
        EXPECT_NEAR(std::stod(match[2]), points, 1.5);
    }

    // Without a printer the user is told so; a machine with a real printer gets no test page.
    if (QPrinterInfo::defaultPrinter().isNull()) {
        TUCLinePrinter printer;
        printer.Lines = NumberedLines(1);
        EXPECT_FALSE(printer.Print());
        EXPECT_TRUE(printer.ErrorText().contains(QStringLiteral("printer")));
    }
}

namespace {

const TDateTime SampleDate = 46024.5; // 2026-01-02 12:00

void FillSample(TArchiveModel& Model) {
    struct TRow {
        const char* Name;
        std::int64_t Packed, Unpacked;
        int Ratio;
    } const rows[] = {
        {"plain.txt", 567, 1234, 54},
        {"abcdefghijklmnopqrstuvwxyz01234", 10, 20, 50},
        {"abcdefghijklmnopqrstuvwxyz012345", 0, 0, 0},
        {"a<b>&\"quoted\", comma.txt", 1, 2, 50},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5\xE6\x9C\xAC.txt",
         3, 4, 25},
        {"huge.bin", 4294967296LL, 5000000000LL, 14},
    };
    for (const TRow& row : rows) {
        TItemData item;
        item.Name = row.Name;
        item.Date = SampleDate;
        item.Packed = row.Packed;
        item.Unpacked = row.Unpacked;
        item.Ratio = row.Ratio;
        Model.Add(item, "", "", "Deflated");
    }
    Model.Flush();
}

// A golden file with "{date}" standing for the rows' date as Date formats it.
QStringList Golden(const std::string& Name, const QString& Date) {
    QString text = QString::fromStdString(
        ReadFile(fs::path(QUILLAR_CORPUS_DIR).parent_path() / "app/main" / "data" / Name));
    text.replace(QStringLiteral("{date}"), Date);
    QStringList lines = text.split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

QString HtmlRefs(const QString& Text) {
    QString out;
    for (const char32_t c : Text.toUcs4())
        out += c < 0x80 ? QString(QChar(char16_t(c))) : QStringLiteral("&#%1;").arg(uint(c));
    return out;
}

} // namespace

TEST(ContentsExportTest, TextCsvAndHtmlMatchTheirGoldenFiles) {
    TArchiveModel model;
    FillSample(model);
    const TContentsHeader header{QStringLiteral("/archives/my <test>.zip"),
                                 QStringLiteral("2026-01-02 03:04:05")};
    const QString date = model.CellText(0, colDate);
    EXPECT_EQ(ContentsTextLines(model, header), Golden("contents.txt", date.rightJustified(17)));
    EXPECT_EQ(ContentsHtmlLines(model, header), Golden("contents.html", HtmlRefs(date.rightJustified(17))));
    EXPECT_EQ(ContentsCsvLines(model, {colFileName, colRatio, colUnpacked, colMethod, colDate}),
              Golden("contents.csv", date));
    const QStringList nameOnly = ContentsCsvLines(model, {colFileName});
    ASSERT_EQ(nameOnly.size(), 7);
    EXPECT_EQ(nameOnly[0], QStringLiteral("\"File Name\""));
    EXPECT_EQ(nameOnly[4], QStringLiteral("\"a<b>&\"\"quoted\"\", comma.txt\""));
    // Python's csv reader takes every row as one field holding the name as it is: a quote or a
    // comma inside a name would otherwise split the row or end the field early.
    TempDir dir;
    WriteFile(dir / "names.csv", nameOnly.join(QLatin1Char('\n')).toStdString() + "\n");
    const ToolResult read = RunTool({"python3", "-c",
                                     "import csv,sys\nfor r in csv.reader(open(sys.argv[1], newline='')): "
                                     "print(len(r), r[0])",
                                     (dir / "names.csv").string()});
    ASSERT_EQ(read.ExitCode, 0) << read.Err;
    EXPECT_NE(read.Out.find("1 a<b>&\"quoted\", comma.txt\n"), std::string::npos) << read.Out;
    EXPECT_EQ(read.Out.find("\n2 "), std::string::npos) << read.Out;
}

TEST(ContentsExportTest, SavingReplacesTheFileWholeOrNotAtAll) {
    TempDir dir;
    QString error;
    const fs::path target = dir / "list.txt";
    WriteFile(target, "old");
    ::chmod(target.c_str(), 0600);
    ASSERT_TRUE(SaveContentsLines(Q(target), {"one", "t\xC3\xA9st"}, error));
    EXPECT_EQ(ReadFile(target), "one\nt\xC3\xA9st\n");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_FALSE(SaveContentsLines(Q(dir / "missing/list.txt"), {"x"}, error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing/list.txt")));

    SmallDisk disk(dir / "disk", "64k");
    ASSERT_TRUE(disk.Mounted) << "a tmpfs cannot be mounted here";
    const fs::path full = dir / "disk/list.txt";
    WriteFile(full, "old list\n");
    error.clear();
    EXPECT_FALSE(SaveContentsLines(Q(full), QStringList(4000, QString(79, QLatin1Char('x'))), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadFile(full), "old list\n");
    EXPECT_EQ(FolderNames(dir / "disk"), std::vector<std::string>{"list.txt"});
}

namespace {

class TContentsWindowTest : public MainWindowTest {
protected:
    // A zip made by Info-ZIP with two entries, listed in the window.
    fs::path ListSample() {
        WriteFile(FDir / "a&b.txt", TextBytes(5000));
        WriteFile(FDir / "second.txt", "tiny");
        EXPECT_EQ(RunTool({"zip", "-q", "t.zip", "a&b.txt", "second.txt"}, FDir.Path()).ExitCode, 0);
        Open();
        Display((FDir / "t.zip").string());
        EXPECT_EQ(Rows(), 2);
        return FDir / "t.zip";
    }
    TUCLinePrinter& LinePrinter() { return *Find<TUCLinePrinter>(*FWindow, "UCLinePrinter"); }

    TempDir FDir;
};

} // namespace

TEST_F(TContentsWindowTest, PrintAsksThenPrintsTheListWithItsTitle) {
    const fs::path archive = ListSample();
    const fs::path pdf = FDir / "print.pdf";
    const auto printer = PdfPrinter(pdf);
    LinePrinter().Printer = printer.get();

    FPrompter.Prompter().Answers = {mrNo};
    Action("acPrint").trigger();
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text, QStringLiteral("Print the archive contents list ?"));
    EXPECT_FALSE(fs::exists(pdf));

    FPrompter.Prompter().Answers = {mrYes};
    Action("acPrint").trigger();
    ASSERT_EQ(PdfPages(pdf), 1);
    const QStringList lines = PdfPageLines(pdf, 1);
    ASSERT_GE(lines.size(), 9);
    EXPECT_EQ(lines[0], QStringLiteral("Quillar : t.zip (1/1)"));
    EXPECT_EQ(lines[1], QStringLiteral("Archive File : ") + Q(archive));
    // The rules and heading, then the rows: the unpacked size before the packed one.
    EXPECT_EQ(lines[4], ContentsHeading);
    const QStringList row = lines[6].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_GE(row.size(), 4);
    EXPECT_EQ(row.first(), QStringLiteral("a&b.txt"));
    EXPECT_EQ(row[row.size() - 3], QStringLiteral("5000"));
    EXPECT_TRUE(lines[7].startsWith(QStringLiteral("second.txt")));

    // A vanished archive is closed instead of printed.
    fs::remove(archive);
    fs::remove(pdf);
    FPrompter.Prompter().Answers = {mrOk};
    Action("acPrint").trigger();
    EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "The currently open archive file no longer exist."));
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(fs::exists(pdf));
    LinePrinter().Printer = nullptr;
}

TEST_F(TContentsWindowTest, ExportCommandsWriteTheChosenFile) {
    const fs::path archive = ListSample();
    // The CSV follows the columns as the user arranged them.
    QHeaderView* header = List().header();
    header->moveSection(Column(QStringLiteral("Ratio")), 1);
    header->setSectionHidden(Column(QStringLiteral("Date")), true);
    QStringList shown;
    for (int visual = 0; visual < header->count(); ++visual)
        if (!header->isSectionHidden(header->logicalIndex(visual)))
            shown << QLatin1Char('"') +
                         List().model()->headerData(header->logicalIndex(visual), Qt::Horizontal).toString() +
                         QLatin1Char('"');

    struct TCase {
        const char* Action;
        const char* Ext;
        QString FirstLine;
    } const cases[] = {
        {"miExportText", "txt", QStringLiteral("Archive File : ") + Q(archive)},
        {"miExportCsv", "csv", shown.join(',')},
        {"miExportHtml", "html", QStringLiteral("<html><head><title>t.zip</title>")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Action);
        const fs::path target = FDir / (std::string("out/list.") + c.Ext);
        fs::create_directories(target.parent_path());
        QString proposed, title;
        AnswerFileDialog(Q(target), [&](TLmCustomOpenDialog& Dialog) {
            title = Dialog.windowTitle();
            proposed = Dialog.FileNameText();
        });
        FPrompter.Prompter().Prompts.clear();
        FPrompter.Prompter().Answers = {mrOk};
        Action(c.Action).trigger();
        EXPECT_EQ(title, QStringLiteral("Save As ..."));
        EXPECT_EQ(proposed, QStringLiteral("t.") + c.Ext);
        ASSERT_TRUE(fs::exists(target));
        const QStringList lines = QString::fromStdString(ReadFile(target)).split('\n');
        EXPECT_EQ(lines[0], c.FirstLine);
        EXPECT_TRUE(lines.join('\n').contains(QStringLiteral("second.txt")));
        ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
        EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text,
                  QStringLiteral("Archive contents list exported to:\r") + Q(target));
    }

    // An empty archive has nothing to export.
    WriteFile(FDir / "empty.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    Display((FDir / "empty.zip").string());
    ASSERT_EQ(Rows(), 0);
    FPrompter.Prompter().Prompts.clear();
    FPrompter.Prompter().Answers = {mrOk};
    Action("miExportText").trigger();
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.startsWith("Contents list cannot be exported"));
}
