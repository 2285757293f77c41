// The start-up work of every run, the window's and the command line's: the first run (default
// settings, shell extensions, the association question, menu and desktop links), the
// association bookkeeping, the settings loaded and the association check; the tray program
// kept in line with its setting; and the configuration dialog with what its OK applies.
#pragma once

class QFont;
class QColor;
class QWidget;
class TAssociationUpkeep;

// ListFont, ListColor: the archive list's font, the one a first run stores.
void StartProgram(TAssociationUpkeep& Associations, const QFont& ListFont, const QColor& ListColor);
// The tray program starts (once) when the setting asks for it; otherwise none runs.
void UpdateTrayProgram();
// The configuration dialog on page Page (any other number than 0..7: the first); on OK the
// settings are saved and the associations applied when their page was shown. True on OK.
bool RunConfiguration(QWidget* Parent, int Page, TAssociationUpkeep& Associations);
