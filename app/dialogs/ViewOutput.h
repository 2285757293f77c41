// The window with the output of the last operation: the lines of the most recent error, or the
// log of a test, repair or convert run. Made once at start-up and shown on request. Lines are
// gathered and put into the text at most every few milliseconds while the window shows, and at
// once when it is shown or its text is read: a run of many entries does not lay out a line each.
// While it is hidden, lines beyond a few thousand wait in a temporary file, so a test of a million
// entries (a line each) keeps memory flat until someone looks.
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

class QTemporaryFile;
class QTimer;
namespace Ui {
class TfmViewOutput;
}

class TfmViewOutput : public QDialog {
    Q_OBJECT
public:
    explicit TfmViewOutput(QWidget* Parent = nullptr);
    ~TfmViewOutput() override;

    void AppendLine(const QString& Line);
    void Clear();
    QString Text(); // every line, those still waiting included

    std::unique_ptr<Ui::TfmViewOutput> ui;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void CopyClick();
    void Flush();

    QStringList FPending;
    std::unique_ptr<QTemporaryFile> FSpilled; // older waiting lines, written out
    QTimer* FFlush;
};
