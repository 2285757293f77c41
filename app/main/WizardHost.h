// What the wizard needs of whoever shows it (the window, or the command line's -SYS -WIZARD):
// the archive to offer, and the runs of the add and extract operations with the messages that
// caller ends them with.
#pragma once

#include "app/ops/OpAdd.h"
#include "app/ops/OpExtract.h"

#include <QString>
#include <QStringList>

class TWizardHost {
public:
    virtual ~TWizardHost() = default;
    // The open archive to offer for extraction, empty when none; Addable: it takes files.
    virtual QString WizardArchive(bool& Addable) const = 0;
    // The operations, as the host runs them for its own commands.
    virtual TAddResult RunAdd(const TAddOptions& Options, bool ShowResult, bool NewArchive) = 0;
    virtual TExtractResult RunExtraction(const TExtractOptions& Options, bool ShowResult) = 0;
    // Starts a program (the file manager on the extracted folder).
    virtual bool LaunchProgram(const QString& Program, const QStringList& Arguments) = 0;
};
