// What the dialogs with file-name boxes share: browse buttons beside the boxes, boxes that
// fill themselves when entered, extensions, and whether two names are one file.
#pragma once

#include <QString>
#include <functional>

class QAbstractButton;
class QLineEdit;
class QWidget;

enum class TBrowseKind { OpenFile, SaveFile, Folder };

// Clicking Button lets the user choose a file or folder (Qt's own dialog) and puts it in Edit.
void ConnectBrowse(QAbstractButton* Button, QLineEdit* Edit, TBrowseKind Kind, const QString& Title,
                   const QString& Filter = {});
// Action runs each time Widget gets the focus.
void OnFocusIn(QWidget* Widget, std::function<void()> Action);
// Name with the extension of its last part replaced by Ext (".zip"), or added when it has none.
QString WithExtension(const QString& Name, const QString& Ext);
// True for a path on the removable drives A: or B:, which is no folder to remember.
bool OnFloppy(const QString& Path);
// True when both names lead to one file: the same file when both exist, else the same path.
bool SameFile(const QString& A, const QString& B);
