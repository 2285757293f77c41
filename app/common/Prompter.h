// Every message box and question of the program goes through one prompter: a QMessageBox in
// the product, a scripted one in tests. With QUILLAR_PROMPTER=auto in the environment every
// question takes its default answer at once and its caption and text go to standard error,
// so whole-process runs never wait for a person.
#pragma once

#include "engine/core/EngineHost.h"

#include <QString>
#include <memory>

// Modal results beyond those the engine host names (mrOk, mrCancel, mrRetry, mrYes, mrNo).
inline constexpr int mrAbort = 3;
inline constexpr int mrIgnore = 5;
inline constexpr int mrAll = 8;
inline constexpr int mrNoToAll = 9;
inline constexpr int mrYesToAll = 10;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons, combined with |; their order here is the order on screen.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
};
using TMsgDlgButtons = unsigned;

// The modal result of one button.
int ModalResultOf(TMsgDlgBtn Button);

struct TPrompt {
    QString Caption; // empty: the application's name
    QString Text;    // "\r\n" is a line break
    TMsgDlgType Type = mtInformation;
    TMsgDlgButtons Buttons = mbOK;
    int DefaultResult = mrNone; // mrNone: the result of the first button
    QString HelpTopic;          // "Hlp_...": a Help button shows that page and the question stays
    // The answer taken without asking: DefaultResult, or the first button's result.
    int DefaultAnswer() const;
    // Text with its "\r\n" line breaks as "\n".
    QString ScreenText() const;
};

class TPrompter {
public:
    virtual ~TPrompter() = default;
    // Shows the prompt and returns the modal result of the answer.
    virtual int Ask(const TPrompt& Prompt) = 0;
    // Asks for one line of text, pre-filled with Value; true with the answer in Value on OK,
    // false (Value untouched) on cancel.
    virtual bool InputQuery(const QString& Caption, const QString& Prompt, QString& Value) = 0;

    // The installed prompter; the first call makes the product's one (MakeDefaultPrompter).
    static TPrompter& Current();
    // Installs a prompter (nullptr: the product's one again); returns the previous one.
    static std::unique_ptr<TPrompter> Install(std::unique_ptr<TPrompter> Prompter);
};

// The product's prompter: message boxes, or the automatic one when QUILLAR_PROMPTER=auto.
std::unique_ptr<TPrompter> MakeDefaultPrompter();

// A message box through the current prompter.
int MessageDlg(const QString& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, int DefaultResult = mrNone,
               const QString& Caption = {}, const QString& HelpTopic = {});
// A line of text through the current prompter.
bool InputQuery(const QString& Caption, const QString& Prompt, QString& Value);
