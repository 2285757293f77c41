// The desktop's list of recent documents: the freedesktop recent-files store
// $XDG_DATA_HOME/recently-used.xbel, which GTK and KDE file dialogs and file managers read.
#pragma once

#include <QString>

// The store's path ($XDG_DATA_HOME, else ~/.local/share, + "/recently-used.xbel").
QString RecentDocumentsPath();

// Adds File (an existing file) to the store as used now by this program: a new bookmark with
// the file's MIME type, or the bookmark already there with its times renewed and this
// program's use counted. Everything else in the store stays as it was; the store is replaced
// whole, never left half written. False when it could not be read or written.
bool AddToRecentDocuments(const QString& File);
