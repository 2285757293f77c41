// Texts and checks that the engine's questions in the main window share.
#pragma once

#include "engine/core/krvDates.h"

#include <QString>
#include <cstdint>

// A date of the overwrite and replace questions: month-day-year and the time ("MM-dd-yy hh:mm").
QString QuestionDateText(TDateTime Date);
// The replace question: the existing file FileName with its size and date, then the incoming
// one.
QString ReplaceQuestionText(const QString& FileName, std::int64_t FileSize, TDateTime Date,
                            const QString& NewFileName, std::int64_t NewFileSize, TDateTime NewDate);
// The incoming file's line of the overwrite question: its name, size and, when the reader knows
// it, its date.
QString IncomingFileText(const QString& Name, std::int64_t Size, TDateTime Date);
// A name given for a file must stay a plain name in its folder: not empty, no separator, not
// "." or "..".
bool IsPlainFileName(const QString& Name);
