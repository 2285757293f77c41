// Texts and checks that the engine's questions in the main window share.
#pragma once

#include "engine/core/krvDates.h"

#include <QString>

// A date of the overwrite and replace questions: month-day-year and the time ("MM-dd-yy hh:mm").
QString QuestionDateText(TDateTime Date);
// A name given for a file must stay a plain name in its folder: not empty, no separator, not
// "." or "..".
bool IsPlainFileName(const QString& Name);
