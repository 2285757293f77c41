#include "ui/UCLinePrinter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRectF>
#include <cmath>

void TUCLinePrinterMargins::SetMarginUnit(TUCLinePrinterUnit Unit) {
    if (Unit == FUnit) return;
    const double factor = Unit == TUCLinePrinterUnit::Inch ? 1 / 25.4 : 25.4;
    FUnit = Unit;
    SetTop(FTop * factor);
    SetLeft(FLeft * factor);
    SetBottom(FBottom * factor);
    SetRight(FRight * factor);
}

double TUCLinePrinterMargins::TwoDecimals(double Value) {
    // Held as its "0.00" text, which is made and read the same way in every locale.
    return QString::number(Value, 'f', 2).toDouble();
}

TUCLinePrinter::TUCLinePrinter(QObject* Parent) : QObject(Parent) {}

TUCLinePrinter::~TUCLinePrinter() = default;

namespace {

bool IsBreakChar(QChar C) {
    return C == QLatin1Char('\t') || C == QLatin1Char(' ') || C == QLatin1Char('-') || C == QLatin1Char('.');
}

// The longest start of Text narrower than Width, at least one character (a surrogate pair stays
// whole), so that a glyph wider than the page still moves the wrap on.
qsizetype FittingLength(const QString& Text, qreal Width, const QFontMetricsF& Metrics) {
    qsizetype low = 0, high = Text.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (Metrics.horizontalAdvance(Text.left(mid)) < Width)
            low = mid;
        else
            high = mid - 1;
    }
    if (low > 0 && low < Text.size() && Text.at(low - 1).isHighSurrogate()) --low;
    if (low == 0) low = Text.size() > 1 && Text.at(0).isHighSurrogate() ? 2 : 1;
    return std::min(low, Text.size());
}

} // namespace

QStringList TUCLinePrinter::WrapLine(const QString& Line, qreal Width, const QFontMetricsF& Metrics) {
    QStringList pieces;
    QString rest = Line;
    for (;;) {
        if (Metrics.horizontalAdvance(rest) < Width) {
            pieces << rest;
            break;
        }
        const qsizetype fits = FittingLength(rest, Width, Metrics);
        qsizetype cut = fits;
        for (qsizetype i = fits - 1; i >= 0; --i) {
            if (IsBreakChar(rest.at(i))) {
                cut = i + 1;
                break;
            }
        }
        pieces << rest.left(cut);
        rest.remove(0, cut);
        if (rest.isEmpty()) break;
    }
    return pieces;
}

bool TUCLinePrinter::Fail(const QString& Text) {
    FErrorText = Text;
    return false;
}

bool TUCLinePrinter::Print() {
    FErrorText.clear();
    if (Lines.isEmpty()) return true;
    if (Printer) return PrintOn(*Printer);
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return Fail(QStringLiteral("There is no printer to print on. Set up a printer and try again."));
    QPrinter printer(info, QPrinter::HighResolution);
    return PrintOn(printer);
}

bool TUCLinePrinter::PrintOn(QPrinter& Target) {
    Target.setDocName(PrintTitle);
    Target.setFullPage(false); // the painter's origin is the corner of the printable area

    // The printable rectangle in the painter's coordinates: the margins measured from the
    // paper's edges, kept inside the area the printer can reach.
    const QRectF paper = Target.paperRect(QPrinter::DevicePixel);
    const QRectF page = Target.pageRect(QPrinter::DevicePixel);
    const qreal offX = page.left() - paper.left(), offY = page.top() - paper.top();
    const qreal dpiX = Target.logicalDpiX(), dpiY = Target.logicalDpiY();
    qreal left = std::floor(Margins.InInches(Margins.Left()) * dpiX);
    qreal top = std::floor(Margins.InInches(Margins.Top()) * dpiY);
    qreal right = paper.width() - std::floor(Margins.InInches(Margins.Right()) * dpiX);
    qreal bottom = paper.height() - std::floor(Margins.InInches(Margins.Bottom()) * dpiY);
    if (left <= offX) left = offX + 1;
    if (top <= offY) top = offY + 1;
    left -= offX;
    right -= offX;
    top -= offY;
    bottom -= offY;
    right = std::min(right, page.width() - 1);
    bottom = std::min(bottom, page.height() - 1);

    const QFontMetricsF metrics(Font, &Target);
    const qreal lineHeight = metrics.lineSpacing();
    const qreal width = right - left;
    const bool titled = TitleOnPrintout != TPrintTitlePlacement::Nowhere;
    const qreal fullLines = lineHeight > 0 && bottom > top ? std::floor((bottom - top) / lineHeight) : 0;
    const qint64 perPage = static_cast<qint64>(fullLines) - (titled ? 2 : 0);
    if (width <= 0 || perPage <= 0)
        return Fail(QStringLiteral("The margins leave no room on the page for a line of text in this font."));

    QStringList output;
    if (WordWrap) {
        for (const QString& line : Lines)
            output << WrapLine(line, width, metrics);
    } else {
        output = Lines;
    }
    const qint64 totalPages = (output.size() + perPage - 1) / perPage;

    QPainter painter;
    if (!painter.begin(&Target)) return Fail(QStringLiteral("The printer could not start the document."));
    painter.setFont(Font);
    painter.setPen(Qt::black);

    int pageNo = 1;
    auto title = [&] {
        QString text = PrintTitle;
        if (PrintPageNumbers) text += QStringLiteral(" (%1/%2)").arg(pageNo).arg(totalPages);
        return text;
    };
    auto drawTitle = [&](qreal Y) {
        const QString text = title();
        const qreal x = left + (width - metrics.horizontalAdvance(text)) / 2;
        painter.drawText(QPointF(std::max(x, left), Y + metrics.ascent()), text);
    };
    auto startPage = [&]() -> qreal {
        if (TitleOnPrintout == TPrintTitlePlacement::TopOfPage) {
            drawTitle(top);
            return top + 2 * lineHeight;
        }
        return top;
    };

    if (OnStartPrint) OnStartPrint(*this);
    if (OnNextPage) OnNextPage(*this, pageNo, static_cast<int>(totalPages));
    qreal y = startPage();
    qint64 onPage = 0;
    for (qsizetype i = 0; i < output.size(); ++i) {
        if (onPage == perPage) {
            if (TitleOnPrintout == TPrintTitlePlacement::BottomOfPage) drawTitle(bottom - lineHeight);
            ++pageNo;
            if (OnNextPage) OnNextPage(*this, pageNo, static_cast<int>(totalPages));
            if (!Target.newPage()) {
                painter.end();
                return Fail(QStringLiteral("The printer could not start a new page."));
            }
            y = startPage();
            onPage = 0;
        }
        painter.drawText(QPointF(left, y + metrics.ascent()), output.at(i));
        y += lineHeight;
        ++onPage;
    }
    if (TitleOnPrintout == TPrintTitlePlacement::BottomOfPage) drawTitle(bottom - lineHeight);
    if (!painter.end()) return Fail(QStringLiteral("The printer could not finish the document."));
    if (OnEndPrint) OnEndPrint(*this);
    return true;
}
