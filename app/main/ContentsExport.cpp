#include "app/main/ContentsExport.h"

#include "app/main/ArchiveModel.h"
#include "engine/core/krvProduct.h"
#include "platform/FileReplace.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

const QString ContentsRule =
    QStringLiteral("------------------------------- ----------------- ----------- ----------- -----");
const QString ContentsHeading =
    QStringLiteral("File Name                                    Date    Unpacked      Packed Ratio");

namespace {

const QString FontTag = QStringLiteral("<font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\">");

// The fields of one row, each with the blank that follows it in the listing.
struct TRowFields {
    QString Name, Date, Unpacked, Packed, Ratio;
};

TRowFields RowFields(const TArchiveModel& Model, int Row) {
    return {FixedWidthName(Model.CellText(Row, colFileName)),
            Model.CellText(Row, colDate).rightJustified(17) + QLatin1Char(' '),
            Model.CellText(Row, colUnpacked).rightJustified(11) + QLatin1Char(' '),
            Model.CellText(Row, colPacked).rightJustified(11) + QLatin1Char(' '),
            Model.CellText(Row, colRatio).rightJustified(5)};
}

// Text for an HTML page declared as ISO-8859-1: markup characters and everything beyond
// ASCII become character references, so any name shows as it is.
QString HtmlText(const QString& Text) {
    QString out;
    out.reserve(Text.size());
    for (const char32_t c : Text.toUcs4()) {
        switch (c) {
        case U'<':
            out += QStringLiteral("&lt;");
            break;
        case U'>':
            out += QStringLiteral("&gt;");
            break;
        case U'&':
            out += QStringLiteral("&amp;");
            break;
        case U'"':
            out += QStringLiteral("&quot;");
            break;
        default:
            if (c < 0x80)
                out += QChar(static_cast<char16_t>(c));
            else
                out += QStringLiteral("&#%1;").arg(static_cast<uint>(c));
        }
    }
    return out;
}

// A CSV field: in double quotes, a quote inside doubled.
QString CsvField(QString Text) {
    Text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + Text + QLatin1Char('"');
}

} // namespace

QString FixedWidthName(const QString& Caption) {
    QString name = Caption;
    if (name.size() >= 32) {
        qsizetype keep = 28;
        if (name.at(keep - 1).isHighSurrogate()) --keep; // never half a character
        name = name.left(keep) + QStringLiteral("...");
    }
    return name.leftJustified(31) + QLatin1Char(' ');
}

QString FixedWidthRow(const TArchiveModel& Model, int Row) {
    const TRowFields f = RowFields(Model, Row);
    return f.Name + f.Date + f.Unpacked + f.Packed + f.Ratio;
}

QStringList ContentsTextLines(const TArchiveModel& Model, const TContentsHeader& Header) {
    QStringList lines;
    lines.reserve(Model.rowCount() + 7);
    lines << QStringLiteral("Archive File : ") + Header.ArchivePath
          << QStringLiteral("File Date    : ") + Header.FileDate << QString() << ContentsRule
          << ContentsHeading << ContentsRule;
    for (int row = 0; row < Model.rowCount(); ++row)
        lines << FixedWidthRow(Model, row);
    lines << ContentsRule;
    return lines;
}

QStringList ContentsCsvLines(const TArchiveModel& Model, const std::vector<TArchiveColumn>& Columns) {
    QStringList lines;
    lines.reserve(Model.rowCount() + 1);
    QStringList fields;
    for (const TArchiveColumn column : Columns)
        fields << CsvField(ArchiveColumnCaption(column));
    lines << fields.join(QLatin1Char(','));
    for (int row = 0; row < Model.rowCount(); ++row) {
        fields.clear();
        for (const TArchiveColumn column : Columns)
            fields << CsvField(Model.CellText(row, column));
        lines << fields.join(QLatin1Char(','));
    }
    return lines;
}

QStringList ContentsHtmlLines(const TArchiveModel& Model, const TContentsHeader& Header) {
    const QString headFont = QStringLiteral("<b>") + FontTag;
    QStringList lines;
    lines.reserve(Model.rowCount() * 7 + 20);
    lines << QStringLiteral("<html><head><title>") + HtmlText(QFileInfo(Header.ArchivePath).fileName()) +
                 QStringLiteral("</title>")
          << QStringLiteral(
                 "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\"></head>")
          << QStringLiteral("<body bgcolor=\"#FFFFFF\" text=\"#000000\">")
          << QStringLiteral("<p><b>") + FontTag
          << QStringLiteral("Archive File : <font color=\"#666666\">") + HtmlText(Header.ArchivePath) +
                 QStringLiteral("</font><br>")
          << QStringLiteral("File Date : <font color=\"#666666\">") + HtmlText(Header.FileDate) +
                 QStringLiteral("</font></font></b></p>")
          << QString()
          << QStringLiteral("<table width=\"100%\" border=\"1\" cellspacing=\"1\" cellpadding=\"2\"><tr "
                            "bgcolor=\"#EEEEEE\"> ")
          << QStringLiteral("<td>") + headFont + QStringLiteral("File Name</font></b></td><td>")
          << QStringLiteral("<div align=\"left\">") + headFont +
                 QStringLiteral("Date</font></b></div></td><td>")
          << QStringLiteral("<div align=\"right\">") + headFont +
                 QStringLiteral("Unpacked</font></b></div></td><td>")
          << QStringLiteral("<div align=\"right\">") + headFont +
                 QStringLiteral("Packed</font></b></div></td><td>")
          << QStringLiteral("<div align=\"right\">") + headFont +
                 QStringLiteral("Ratio</font></b></div></td></tr>")
          << QString();
    const QString end = QStringLiteral("</font></div></td>");
    const QString right = QStringLiteral("<td><div align=\"right\">") + FontTag;
    for (int row = 0; row < Model.rowCount(); ++row) {
        const TRowFields f = RowFields(Model, row);
        lines << QStringLiteral("<tr>")
              << QStringLiteral("<td>") + FontTag + HtmlText(f.Name) + QStringLiteral("</font></td>")
              << QStringLiteral("<td><div align=\"left\">") + FontTag + HtmlText(f.Date) + end
              << right + HtmlText(f.Unpacked) + end << right + HtmlText(f.Packed) + end
              << right + HtmlText(f.Ratio) + end << QStringLiteral("</tr>");
    }
    lines << QStringLiteral("</table><p>") + FontTag + QStringLiteral("Created by <a href=\"") +
                 QString::fromLatin1(ProductAddress) + QStringLiteral("/\">")
          << QStringLiteral("<font color=\"#666666\">Quillar</font></a></font></p></body></html>");
    return lines;
}

QString ArchiveFileDateText(const QString& ArchivePath) {
    const QDateTime modified = QFileInfo(ArchivePath).lastModified();
    if (!modified.isValid()) return {};
    return QLocale::system().toString(modified.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           modified.time().toString(QStringLiteral("HH:mm:ss"));
}

bool SaveContentsLines(const QString& FileName, const QStringList& Lines, QString& Error) {
    QByteArray text;
    for (const QString& line : Lines) {
        text += line.toUtf8();
        text += '\n';
    }
    const std::string name = FileName.toStdString();
    // A file that is replaced keeps its permissions; a new one gets those the umask allows.
    mode_t mode = 0;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (ReplaceFile(name, text.toStdString(), mode)) return true;
    const int error = errno;
    Error = QStringLiteral("Cannot create file \"%1\". %2")
                .arg(FileName, QString::fromLocal8Bit(std::strerror(error)));
    return false;
}
