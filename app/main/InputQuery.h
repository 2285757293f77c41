// The small modal input box of the window's commands (a caption, a prompt and one line of
// text). With QUILLAR_PROMPTER=auto it is answered with Cancel at once, as every modal dialog
// is, and its caption and prompt go to standard error.
#pragma once

#include "app/dialogs/DialogSupport.h"

#include <QString>

class QWidget;

// Shows the box with Value as its text; true on OK, with the typed text in Value.
bool InputQuery(QWidget* Parent, const QString& Caption, const QString& Prompt, QString& Value);
