#include "app/common/RecentDocuments.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>

namespace {

const QString BookmarkNs = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString MimeNs = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
const QString ApplicationName = QStringLiteral("Quillar");

// The program as the store's readers start it again ("%u" is the file's URL).
QString ExecLine() {
    return QStringLiteral("'%1 %u'").arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

void WriteApplication(QXmlStreamWriter& Writer, const QString& Now, int Count) {
    Writer.writeEmptyElement(BookmarkNs, QStringLiteral("application"));
    Writer.writeAttribute(QStringLiteral("name"), ApplicationName);
    Writer.writeAttribute(QStringLiteral("exec"), ExecLine());
    Writer.writeAttribute(QStringLiteral("modified"), Now);
    Writer.writeAttribute(QStringLiteral("count"), QString::number(Count));
}

void WriteBookmark(QXmlStreamWriter& Writer, const QString& Href, const QString& MimeType,
                   const QString& Now) {
    Writer.writeStartElement(QStringLiteral("bookmark"));
    Writer.writeAttribute(QStringLiteral("href"), Href);
    for (const char* time : {"added", "modified", "visited"})
        Writer.writeAttribute(QString::fromLatin1(time), Now);
    Writer.writeStartElement(QStringLiteral("info"));
    Writer.writeStartElement(QStringLiteral("metadata"));
    Writer.writeAttribute(QStringLiteral("owner"), QStringLiteral("http://freedesktop.org"));
    Writer.writeEmptyElement(MimeNs, QStringLiteral("mime-type"));
    Writer.writeAttribute(QStringLiteral("type"), MimeType);
    Writer.writeStartElement(BookmarkNs, QStringLiteral("applications"));
    WriteApplication(Writer, Now, 1);
    Writer.writeEndElement(); // applications
    Writer.writeEndElement(); // metadata
    Writer.writeEndElement(); // info
    Writer.writeEndElement(); // bookmark
}

// A start element as read, its namespace declarations and attributes kept, with the
// attributes named in Renewed set to Now (added when missing).
void CopyStart(QXmlStreamReader& Reader, QXmlStreamWriter& Writer, const QStringList& Renewed,
               const QString& Now) {
    Writer.writeStartElement(Reader.namespaceUri().toString(), Reader.name().toString());
    for (const QXmlStreamNamespaceDeclaration& declaration : Reader.namespaceDeclarations())
        Writer.writeNamespace(declaration.namespaceUri().toString(), declaration.prefix().toString());
    QStringList missing = Renewed;
    for (const QXmlStreamAttribute& attribute : Reader.attributes()) {
        const QString name = attribute.qualifiedName().toString();
        if (missing.removeAll(name) > 0)
            Writer.writeAttribute(name, Now);
        else
            Writer.writeAttribute(attribute);
    }
    for (const QString& name : missing)
        Writer.writeAttribute(name, Now);
}

// The store with File's bookmark renewed or added; empty when the old store cannot be read.
QByteArray UpdatedStore(const QByteArray& Old, const QString& Href, const QString& MimeType,
                        const QString& Now) {
    QByteArray out;
    QXmlStreamWriter writer(&out);
    if (Old.trimmed().isEmpty()) {
        writer.setAutoFormatting(true);
        writer.writeStartDocument();
        writer.writeNamespace(BookmarkNs, QStringLiteral("bookmark"));
        writer.writeNamespace(MimeNs, QStringLiteral("mime"));
        writer.writeStartElement(QStringLiteral("xbel"));
        writer.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
        WriteBookmark(writer, Href, MimeType, Now);
        writer.writeEndElement();
        writer.writeEndDocument();
        return out;
    }
    // Every token is copied as it is, but for this file's bookmark.
    QXmlStreamReader reader(Old);
    bool inOurs = false, counted = false, found = false;
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.hasError()) return {};
        if (reader.isStartElement()) {
            ++depth;
            const bool bookmark =
                reader.name() == QLatin1String("bookmark") && reader.namespaceUri().isEmpty();
            if (bookmark && depth == 2 && reader.attributes().value(QLatin1String("href")) == Href) {
                inOurs = true;
                found = true;
                CopyStart(reader, writer, {QStringLiteral("modified"), QStringLiteral("visited")}, Now);
            } else if (inOurs && reader.namespaceUri() == BookmarkNs &&
                       reader.name() == QLatin1String("application") &&
                       reader.attributes().value(QLatin1String("name")) == ApplicationName) {
                counted = true;
                const int count = reader.attributes().value(QLatin1String("count")).toInt();
                writer.writeStartElement(BookmarkNs, QStringLiteral("application"));
                writer.writeAttribute(QStringLiteral("name"), ApplicationName);
                writer.writeAttribute(QStringLiteral("exec"), ExecLine());
                writer.writeAttribute(QStringLiteral("modified"), Now);
                writer.writeAttribute(QStringLiteral("count"), QString::number(std::max(count, 0) + 1));
            } else {
                writer.writeCurrentToken(reader);
            }
            continue;
        }
        if (reader.isEndElement()) {
            if (inOurs && !counted && reader.namespaceUri() == BookmarkNs &&
                reader.name() == QLatin1String("applications")) {
                WriteApplication(writer, Now, 1);
                counted = true;
            }
            if (inOurs && depth == 2) inOurs = false;
            // The root's end: a file not there yet is added as its last bookmark.
            if (depth == 1 && !found) WriteBookmark(writer, Href, MimeType, Now);
            --depth;
        }
        writer.writeCurrentToken(reader);
    }
    return reader.hasError() ? QByteArray() : out;
}

} // namespace

QString RecentDocumentsPath() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/recently-used.xbel");
}

bool AddToRecentDocuments(const QString& File) {
    const QFileInfo info(File);
    if (!info.isFile()) return false;
    const QString path = RecentDocumentsPath();
    QByteArray old;
    if (QFile existing(path); existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) return false;
        old = existing.readAll();
    }
    const QString href = QString::fromLatin1(QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded());
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    const QByteArray updated = UpdatedStore(old, href, QMimeDatabase().mimeTypeForFile(info).name(), now);
    // A store this program cannot read is left alone rather than replaced.
    if (updated.isEmpty()) return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile store(path);
    if (!store.open(QIODevice::WriteOnly)) return false;
    store.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    store.write(updated);
    return store.commit();
}
