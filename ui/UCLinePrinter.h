// The line printer: a list of text lines printed in one font with margins, optional word wrap,
// an optional title line at the top or bottom of every page with optional page numbers, and
// events at the start, at each page and at the end.
#pragma once

#include <QFont>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QFontMetricsF;
class QPrinter;

enum class TUCLinePrinterUnit { mm, Inch };
enum class TPrintTitlePlacement { Nowhere, TopOfPage, BottomOfPage };

// Page margins. Each margin keeps two decimals (12.3456 reads back as 12.35); changing the unit
// converts the four margins.
class TUCLinePrinterMargins {
public:
    double Top() const { return FTop; }
    double Left() const { return FLeft; }
    double Bottom() const { return FBottom; }
    double Right() const { return FRight; }
    void SetTop(double Value) { FTop = TwoDecimals(Value); }
    void SetLeft(double Value) { FLeft = TwoDecimals(Value); }
    void SetBottom(double Value) { FBottom = TwoDecimals(Value); }
    void SetRight(double Value) { FRight = TwoDecimals(Value); }

    TUCLinePrinterUnit MarginUnit() const { return FUnit; }
    void SetMarginUnit(TUCLinePrinterUnit Unit);
    // A margin in inches, whatever the unit.
    double InInches(double Margin) const { return FUnit == TUCLinePrinterUnit::mm ? Margin / 25.4 : Margin; }

private:
    static double TwoDecimals(double Value);

    double FTop = 15.0, FLeft = 15.0, FBottom = 15.0, FRight = 15.0;
    TUCLinePrinterUnit FUnit = TUCLinePrinterUnit::mm;
};

class TUCLinePrinter : public QObject {
    Q_OBJECT
public:
    explicit TUCLinePrinter(QObject* Parent = nullptr);
    ~TUCLinePrinter() override;

    QFont Font;
    bool WordWrap = true;
    QStringList Lines;
    TUCLinePrinterMargins Margins;
    bool PrintPageNumbers = false;
    QString PrintTitle; // also the print job's title
    TPrintTitlePlacement TitleOnPrintout = TPrintTitlePlacement::Nowhere;

    std::function<void(TUCLinePrinter& Sender, int PageNo, int TotalPages)> OnNextPage;
    std::function<void(TUCLinePrinter& Sender)> OnStartPrint;
    std::function<void(TUCLinePrinter& Sender)> OnEndPrint;

    // The printer to print on (not owned); none: the system's default printer.
    QPrinter* Printer = nullptr;

    // Prints Lines; with no lines nothing happens. False when nothing could be printed (no
    // printer, a page too small for one line, a printer that fails), with the reason in
    // ErrorText().
    bool Print();
    const QString& ErrorText() const { return FErrorText; }

    // Line cut into pieces narrower than Width: each piece ends at its last tab, blank, hyphen
    // or full stop that fits, else at the width; every piece holds at least one character.
    static QStringList WrapLine(const QString& Line, qreal Width, const QFontMetricsF& Metrics);

private:
    bool PrintOn(QPrinter& Target);
    bool Fail(const QString& Text);

    QString FErrorText;
};
