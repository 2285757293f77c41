#include "app/common/Prompter.h"

#include "app/common/HelpPages.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

struct TButtonInfo {
    TMsgDlgBtn Button;
    int Result;
    QMessageBox::StandardButton Standard;
};

constexpr std::array<TButtonInfo, 10> ButtonTable = {{
    {mbYes, mrYes, QMessageBox::Yes},
    {mbNo, mrNo, QMessageBox::No},
    {mbOK, mrOk, QMessageBox::Ok},
    {mbCancel, mrCancel, QMessageBox::Cancel},
    {mbAbort, mrAbort, QMessageBox::Abort},
    {mbRetry, mrRetry, QMessageBox::Retry},
    {mbIgnore, mrIgnore, QMessageBox::Ignore},
    {mbAll, mrAll, QMessageBox::NoButton}, // a button of its own: Qt has no "All"
    {mbNoToAll, mrNoToAll, QMessageBox::NoToAll},
    {mbYesToAll, mrYesToAll, QMessageBox::YesToAll},
}};

QString CaptionOf(const TPrompt& Prompt) {
    return Prompt.Caption.isEmpty() ? QApplication::applicationName() : Prompt.Caption;
}

// A QMessageBox, modal over the active window.
class TMessageBoxPrompter : public TPrompter {
public:
    int Ask(const TPrompt& Prompt) override {
        static constexpr QMessageBox::Icon Icons[] = {QMessageBox::Warning, QMessageBox::Critical,
                                                      QMessageBox::Information, QMessageBox::Question,
                                                      QMessageBox::NoIcon};
        QMessageBox box(Icons[Prompt.Type], CaptionOf(Prompt), Prompt.ScreenText(), QMessageBox::NoButton,
                        QApplication::activeWindow());
        const int defaultAnswer = Prompt.DefaultAnswer();
        std::vector<std::pair<QAbstractButton*, int>> results;
        for (const TButtonInfo& info : ButtonTable) {
            if (!(Prompt.Buttons & info.Button)) continue;
            QAbstractButton* button = info.Standard == QMessageBox::NoButton
                                          ? box.addButton(QObject::tr("&All"), QMessageBox::AcceptRole)
                                          : box.addButton(info.Standard);
            results.emplace_back(button, info.Result);
            if (info.Result == defaultAnswer) box.setDefaultButton(qobject_cast<QPushButton*>(button));
            if (info.Result == mrCancel) box.setEscapeButton(button);
        }
        QAbstractButton* help = Prompt.HelpTopic.isEmpty() ? nullptr : box.addButton(QMessageBox::Help);
        for (;;) {
            box.exec();
            // Help shows its page; the question is asked again.
            if (help && box.clickedButton() == help) {
                ShowHelpPage(Prompt.HelpTopic);
                continue;
            }
            for (const auto& [button, result] : results) {
                if (box.clickedButton() == button) return result;
            }
            return mrCancel; // closed without a button
        }
    }

    bool InputQuery(const QString& Caption, const QString& Prompt, QString& Value) override {
        bool ok = false;
        const QString answer = QInputDialog::getText(QApplication::activeWindow(), Caption, Prompt,
                                                     QLineEdit::Normal, Value, &ok);
        if (ok) Value = answer;
        return ok;
    }
};

// Takes every default answer at once and tells standard error what it answered.
class TAutoPrompter : public TPrompter {
public:
    int Ask(const TPrompt& Prompt) override {
        const int answer = Prompt.DefaultAnswer();
        std::fprintf(stderr, "%s: %s\n", CaptionOf(Prompt).toUtf8().constData(),
                     Prompt.ScreenText().toUtf8().constData());
        return answer;
    }

    // A line of text has no default answer but cancel.
    bool InputQuery(const QString& Caption, const QString& Prompt, QString&) override {
        std::fprintf(stderr, "%s: %s\n", Caption.toUtf8().constData(), Prompt.toUtf8().constData());
        return false;
    }
};

std::unique_ptr<TPrompter>& Installed() {
    static std::unique_ptr<TPrompter> prompter;
    return prompter;
}

} // namespace

int ModalResultOf(TMsgDlgBtn Button) {
    for (const TButtonInfo& info : ButtonTable) {
        if (info.Button == Button) return info.Result;
    }
    return mrNone;
}

int TPrompt::DefaultAnswer() const {
    if (DefaultResult != mrNone) return DefaultResult;
    for (const TButtonInfo& info : ButtonTable) {
        if (this->Buttons & info.Button) return info.Result;
    }
    return mrNone;
}

QString TPrompt::ScreenText() const {
    // The texts break lines with CR LF or with a CR alone; both are one line break on screen.
    QString text = Text;
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

TPrompter& TPrompter::Current() {
    if (!Installed()) Installed() = MakeDefaultPrompter();
    return *Installed();
}

std::unique_ptr<TPrompter> TPrompter::Install(std::unique_ptr<TPrompter> Prompter) {
    return std::exchange(Installed(), Prompter ? std::move(Prompter) : MakeDefaultPrompter());
}

std::unique_ptr<TPrompter> MakeDefaultPrompter() {
    const char* mode = std::getenv("QUILLAR_PROMPTER");
    if (mode && std::strcmp(mode, "auto") == 0) return std::make_unique<TAutoPrompter>();
    return std::make_unique<TMessageBoxPrompter>();
}

int MessageDlg(const QString& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, int DefaultResult,
               const QString& Caption, const QString& HelpTopic) {
    return TPrompter::Current().Ask(TPrompt{Caption, Text, Type, Buttons, DefaultResult, HelpTopic});
}

bool InputQuery(const QString& Caption, const QString& Prompt, QString& Value) {
    return TPrompter::Current().InputQuery(Caption, Prompt, Value);
}
