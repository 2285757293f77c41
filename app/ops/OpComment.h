// Editing a zip archive's comment as an operation: the comments read from the archive, changed
// by the caller's editor, written back. Every failure (the archive unreadable, read-only and
// not to be written, the disk full) comes back with its cause and the engine's code, and the
// archive stays as it was.
#pragma once

#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"

#include <QString>
#include <memory>
#include <string>

class TOpRun;
class TZip;

class TCommentEdit {
public:
    explicit TCommentEdit(TOpObserver& Observer);
    // Zip: the writer to work with (a stand-in of the tests).
    TCommentEdit(TOpObserver& Observer, std::unique_ptr<TZip> Zip);
    ~TCommentEdit();
    TCommentEdit(const TCommentEdit&) = delete;
    TCommentEdit& operator=(const TCommentEdit&) = delete;

    // Reads the comments of Archive; false when it is no zip archive or could not be read
    // (Result says why).
    bool Open(const std::string& Archive);
    // The archive comment read: UTF-8 when it reads as such (what this program writes), else the
    // DOS code page.
    QString Text() const;
    // The writer whose comments the editor changes.
    TZip& Zip() { return *FZip; }
    // Writes the changed comments back; with nothing changed there is nothing to do.
    const TOpResult& Save();
    // What the last Open or Save did.
    const TOpResult& Result() const { return FResult; }

private:
    TOpResult FResult;
    std::unique_ptr<TZip> FZip;
    std::unique_ptr<TOpRun> FRun;
};

// The message of a comment that could not be read (Saving false) or written.
QString CommentFailureText(const TOpFailure& Failure, bool Saving);
