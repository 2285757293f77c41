// The file dialogs' filters: the program writes them as "Text|*.a;*.b|Text|..." pairs; Qt
// wants "Text (*.a *.b)" entries. "*.*" means every name, as it does in the program's filters.
// The extended filter hides folders or asks the owner about each file the dialog lists.
#pragma once

#include <QSortFilterProxyModel>
#include <QStringList>
#include <functional>

QStringList QtNameFilters(const QString& Filter);

struct TLmFileFilter {
    bool Enabled = false;
    bool ShowFolders = true;
    // AFileName is the full path; setting IncludeFile false hides the file.
    std::function<void(const QString& AFileName, bool& IncludeFile)> OnIncludeFile;
};

// The proxy the dialog lists through while the extended filter is on.
class TLmFilterProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    // Include asks about each file in place of the filter's event (the dialog's operation that
    // fires it).
    TLmFilterProxy(const TLmFileFilter& Filter, QObject* Parent,
                   std::function<void(const QString&, bool&)> Include = {});

protected:
    bool filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const override;

private:
    const TLmFileFilter& FFilter;
    std::function<void(const QString&, bool&)> FInclude;
};
