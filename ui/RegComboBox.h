// An editable combo box that keeps the history of the texts entered in it in the registry and
// completes what is typed from that history. Under RegKey each history entry is one string
// value named by its place ("1", "2", ...) that holds the entry's text, newest first, so that
// entries differing only in case stay two; a history whose values' names are the entries
// (with empty data) reads as well.
//
// The owner sets the Reg... properties and then calls Loaded(), as a form does once its
// controls are made; AddToHistory() before it closes.
#pragma once

#include "platform/RegistryStore.h"

#include <QComboBox>
#include <QString>
#include <string>

class TRegistry;

class QTimer;

class TRegComboBox : public QComboBox {
    Q_OBJECT
    // So that forms made in Designer can set them (as dynamic properties of a promoted box).
    Q_PROPERTY(bool RegEnabled READ RegEnabled WRITE SetRegEnabled)
    Q_PROPERTY(QString RegKey READ RegKey WRITE SetRegKey)
    Q_PROPERTY(int RegMaxCount READ RegMaxCount WRITE SetRegMaxCount)
    Q_PROPERTY(bool RegSaveOnExit READ RegSaveOnExit WRITE SetRegSaveOnExit)
    Q_PROPERTY(bool RegAutoFindValue READ RegAutoFindValue WRITE SetRegAutoFindValue)
    Q_PROPERTY(int RegAutoFindDelay READ RegAutoFindDelay WRITE SetRegAutoFindDelay)
    Q_PROPERTY(bool RegAutoFindCaseSensitive READ RegAutoFindCaseSensitive WRITE SetRegAutoFindCaseSensitive)

public:
    enum TRegLocation { CurrentUser, LocalMachine };

    explicit TRegComboBox(QWidget* Parent = nullptr);

    bool RegEnabled() const { return FRegEnabled; }
    void SetRegEnabled(bool Value) { FRegEnabled = Value; }
    const QString& RegKey() const { return FRegKey; }
    // A trailing backslash is removed; an empty key is ignored.
    void SetRegKey(const QString& Value);
    TRegLocation RegLocation() const { return FRegLocation; }
    // After loading, a change of root moves the history: the key is deleted under both roots
    // and the items are saved under the new one.
    void SetRegLocation(TRegLocation Value);
    int RegMaxCount() const { return FRegMaxCount; }
    void SetRegMaxCount(int Value) { FRegMaxCount = Value; }
    bool RegSaveOnExit() const { return FRegSaveOnExit; }
    void SetRegSaveOnExit(bool Value) { FRegSaveOnExit = Value; }
    bool RegAutoFindValue() const { return FRegAutoFindValue; }
    void SetRegAutoFindValue(bool Value) { FRegAutoFindValue = Value; }
    int RegAutoFindDelay() const { return FRegAutoFindDelay; }
    void SetRegAutoFindDelay(int Milliseconds);
    bool RegAutoFindCaseSensitive() const { return FRegAutoFindCaseSensitive; }
    void SetRegAutoFindCaseSensitive(bool Value) { FRegAutoFindCaseSensitive = Value; }

    // Makes the items the history stored under RegKey; a missing key leaves them as they are.
    void Loaded();
    // Puts the current text at the top of the items (once; empty items go) and saves them.
    void AddToHistory();
    // Replaces the stored history with the first RegMaxCount items that are not blank.
    void SaveToRegistry();
    // Completes the text from the shortest item that begins with it and selects the added part.
    void AutoFind();
    // True while a delayed completion is waiting.
    bool AutoFindPending() const;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;

private:
    void TextEdited();
    TRegRoot Root() const;

    bool FRegEnabled = true;
    QString FRegKey = QStringLiteral("\\Software\\Default");
    TRegLocation FRegLocation = CurrentUser;
    int FRegMaxCount = 20;
    bool FRegSaveOnExit = false;
    bool FRegAutoFindValue = true;
    int FRegAutoFindDelay = 500;
    bool FRegAutoFindCaseSensitive = false;

    QTimer* FTimer;
    bool FLoaded = false;
    bool FErasing = false; // the last key typed erased text
};

// A history entry of the open key's value Name: the value's text (the name, in histories
// written when the entries were the values' names).
std::string HistoryEntry(const TRegistry& Reg, const std::string& Name);
