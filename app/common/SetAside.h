// A file that is to be replaced steps aside under a free sibling name until its replacement
// has been written; then it is deleted, or on failure renamed back.
#pragma once

#include <QString>

// Renames File to a free sibling name (File + ".quillar-old", then numbered) and returns that
// name; empty when it could not.
QString SetFileAside(const QString& File);

// The old file of a target that a new file replaces: moved aside by Move, put back when the
// guard goes unless Commit deleted it.
class TSetAside {
public:
    explicit TSetAside(QString Target) : FTarget(std::move(Target)) {}
    ~TSetAside();
    TSetAside(const TSetAside&) = delete;
    TSetAside& operator=(const TSetAside&) = delete;

    // False when the target is there and cannot be moved.
    bool Move();
    // The replacement is written: the old file goes, to the trash when ToTrash.
    void Commit(bool ToTrash);

private:
    QString FTarget, FAside;
};
