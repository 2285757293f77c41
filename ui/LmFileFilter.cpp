#include "ui/LmFileFilter.h"

#include <QFileSystemModel>

QStringList QtNameFilters(const QString& Filter) {
    QStringList result;
    const QStringList parts = Filter.split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            if (trimmed.isEmpty()) continue;
            patterns << (trimmed == "*.*" ? QStringLiteral("*") : trimmed);
        }
        if (patterns.isEmpty()) patterns << "*";
        result << parts[i].trimmed() + " (" + patterns.join(' ') + ")";
    }
    return result;
}

TLmFilterProxy::TLmFilterProxy(const TLmFileFilter& Filter, QObject* Parent,
                               std::function<void(const QString&, bool&)> Include)
    : QSortFilterProxyModel(Parent), FFilter(Filter), FInclude(std::move(Include)) {}

bool TLmFilterProxy::filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const {
    const auto* model = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!model || !FFilter.Enabled) return true;
    const QModelIndex index = model->index(SourceRow, 0, SourceParent);
    // Only what is listed is filtered; the folders above it stay so the dialog can reach it.
    if (model->isDir(index)) {
        const QString path = model->filePath(index);
        const QString root = model->rootPath();
        return FFilter.ShowFolders || root == path || root.startsWith(path.endsWith('/') ? path : path + '/');
    }
    bool include = true;
    if (FInclude)
        FInclude(model->filePath(index), include);
    else if (FFilter.OnIncludeFile)
        FFilter.OnIncludeFile(model->filePath(index), include);
    return include;
}
