// The upkeep of the shell's bindings of the 18 archive extensions, kept in line with the
// settings' flags: applying them, the start-up check with its question, the first run's
// question, and the removal of the program's registration (-SYS -REMOVEREG). The window and
// the command line each hold one; it needs no window.
#pragma once

#include <memory>

class QWidget;
class TRegArchive;

class TAssociationUpkeep {
public:
    // Parent: the owner of its questions (none: top level).
    explicit TAssociationUpkeep(QWidget* Parent = nullptr);
    ~TAssociationUpkeep();
    TAssociationUpkeep(const TAssociationUpkeep&) = delete;
    TAssociationUpkeep& operator=(const TAssociationUpkeep&) = delete;

    // Brings the shell's bindings in line with the record's flags (administrators only).
    void Apply();
    // Associates every flagged extension again.
    void Restore();
    // The registrar's list: every flagged extension, dotted.
    void UpdateRegArchiveExt();
    // The association question; true for Yes.
    bool AskAssociation();
    // The start-up check: when the registrar finds the flagged types not the program's and the
    // user agrees, they are associated again.
    void Check();
    // The first run's question: Yes associates every type, No resets the bookkeeping.
    void AskFirst();
    // Previous bindings back, shell extensions and the program's keys removed; false (the keys
    // kept) when a binding could not be given back.
    bool RemoveRegistration();

    TRegArchive& RegArchive() { return *FRegArchive; }

private:
    QWidget* FParent;
    std::unique_ptr<TRegArchive> FRegArchive;
};
