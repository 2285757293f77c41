#include "ui/RegComboBox.h"

#include "platform/Registry.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>

namespace {

// Items of this length or more are never offered as a completion.
constexpr int LongestCompletion = 998;

} // namespace

TRegComboBox::TRegComboBox(QWidget* Parent) : QComboBox(Parent), FTimer(new QTimer(this)) {
    setEditable(true);
    // Completion is ours; Qt's own completer would fight it.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    FTimer->setSingleShot(true);
    FTimer->setInterval(FRegAutoFindDelay);
    connect(FTimer, &QTimer::timeout, this, &TRegComboBox::AutoFind);
    lineEdit()->installEventFilter(this);
    connect(lineEdit(), &QLineEdit::textEdited, this, &TRegComboBox::TextEdited);
}

void TRegComboBox::SetRegKey(const QString& Value) {
    QString key = Value;
    if (key.endsWith('\\')) key.chop(1);
    if (!key.isEmpty()) FRegKey = key;
}

void TRegComboBox::SetRegLocation(TRegLocation Value) {
    if (Value == FRegLocation) return;
    FRegLocation = Value;
    if (!FLoaded) return;
    for (const TRegRoot root : {TRegRoot::CurrentUser, TRegRoot::LocalMachine}) {
        TRegistry(root).DeleteKey(FRegKey.toStdString());
    }
    SaveToRegistry();
}

void TRegComboBox::SetRegAutoFindDelay(int Milliseconds) {
    FRegAutoFindDelay = Milliseconds;
    FTimer->setInterval(Milliseconds);
}

std::string HistoryEntry(const TRegistry& Reg, const std::string& Name) {
    // A history written before the entries were values' texts kept each in a value's name.
    const std::string text = Reg.GetDataType(Name) == rdString ? Reg.ReadString(Name) : std::string();
    return text.empty() ? Name : text;
}

TRegRoot TRegComboBox::Root() const {
    return FRegLocation == LocalMachine ? TRegRoot::LocalMachine : TRegRoot::CurrentUser;
}

void TRegComboBox::Loaded() {
    FLoaded = true;
    if (!FRegEnabled) return;
    TRegistry reg(Root());
    if (!reg.OpenKeyReadOnly(FRegKey.toStdString())) return;
    const QString text = currentText();
    clear();
    for (const std::string& name : reg.GetValueNames())
        addItem(QString::fromStdString(HistoryEntry(reg, name)));
    setEditText(text);
}

void TRegComboBox::AddToHistory() {
    const QString text = currentText();
    if (text.isEmpty()) return;
    for (int i = count() - 1; i >= 0; --i) {
        if (itemText(i) == text || itemText(i).isEmpty()) removeItem(i);
    }
    insertItem(0, text);
    setCurrentIndex(0);
    SaveToRegistry();
}

void TRegComboBox::SaveToRegistry() {
    if (!FRegEnabled) return;
    std::vector<TRegValue> values;
    // Each entry is the text of a value named by its place: the store's names ignore case,
    // Linux paths do not ("~/Data" and "~/data" are two entries).
    for (int i = 0; i < count() && static_cast<int>(values.size()) < FRegMaxCount; ++i) {
        if (!itemText(i).trimmed().isEmpty())
            values.push_back(
                TRegValue{std::to_string(values.size() + 1), rdString, itemText(i).toStdString(), 0});
    }
    const std::vector<std::string> path = SplitKeyPath(FRegKey.toStdString());
    if (path.empty()) return;
    // The old history goes and the new one comes in one change: never an empty history between.
    UpdateRegistryRoot(Root(), [&](TRegKeyNode& RootKey) {
        if (!std::all_of(path.begin(), path.end(),
                         [](const std::string& Part) { return IsValidKeyName(Part); })) {
            return false;
        }
        TRegKeyNode& parent = RootKey.Create({path.begin(), path.end() - 1});
        parent.RemoveSubKey(path.back());
        TRegKeyNode& key = parent.SubKey(path.back());
        for (TRegValue& value : values)
            key.SetValue(std::move(value));
        return true;
    });
}

void TRegComboBox::AutoFind() {
    const QString text = currentText();
    if (text.isEmpty() || count() == 0) return;
    const Qt::CaseSensitivity cs = FRegAutoFindCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    int best = -1;
    for (int i = 0; i < count(); ++i) {
        const QString item = itemText(i);
        if (item.size() > LongestCompletion || !item.startsWith(text, cs)) continue;
        if (best < 0 || item.size() < itemText(best).size()) best = i;
    }
    if (best < 0) return;
    const QString item = itemText(best);
    const QString completed = FRegAutoFindCaseSensitive ? item : text + item.mid(text.size());
    FTimer->stop();
    lineEdit()->setText(completed);
    lineEdit()->setSelection(text.size(), completed.size() - text.size());
}

bool TRegComboBox::AutoFindPending() const {
    return FTimer->isActive();
}

bool TRegComboBox::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == lineEdit() && Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        FErasing = key == Qt::Key_Backspace || key == Qt::Key_Delete;
    }
    return QComboBox::eventFilter(Watched, Event);
}

void TRegComboBox::TextEdited() {
    if (!FRegAutoFindValue) return;
    if (FErasing) {
        FTimer->stop();
    } else if (FRegAutoFindDelay >= 1) {
        FTimer->start();
    } else {
        AutoFind();
    }
}

void TRegComboBox::focusOutEvent(QFocusEvent* Event) {
    QComboBox::focusOutEvent(Event);
    // The box's own list taking the focus (F4, the arrow) is no leaving: the text may still be
    // half typed.
    const bool ownList = Event->reason() == Qt::PopupFocusReason || view()->isVisible();
    if (FRegSaveOnExit && !ownList) AddToHistory();
}
