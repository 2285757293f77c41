// The program's help pages: one HTML page per topic in the help folder of the program's data.
#pragma once

#include <QString>

// Opens the help page of Topic ("Hlp_...") with the desktop's browser; a missing browser is named.
void ShowHelpPage(const QString& Topic);
// The help page of Topic: <prefix>/share/quillar/help/<Topic>.html beside the program's
// <prefix>/bin.
QString HelpPagePath(const QString& Topic);
