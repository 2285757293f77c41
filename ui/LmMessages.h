// How the interface components show their messages and questions. The application installs its
// own way (its prompter), so that these are answered like every other message of the program;
// with none installed they are message boxes.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// A risky question is a question whose default answer is No.
enum class TLmMessageKind { Warning, Error, Question, RiskyQuestion };

// Shows Text under Caption; for a question, true when the answer is Yes. Text may break its
// lines with "\r", "\n" or "\r\n".
using TLmMessageHandler =
    std::function<bool(QWidget* Parent, const QString& Caption, const QString& Text, TLmMessageKind Kind)>;

// Installs Handler (an empty one: message boxes again).
void SetLmMessageHandler(TLmMessageHandler Handler);
bool LmMessage(QWidget* Parent, const QString& Caption, const QString& Text, TLmMessageKind Kind);
