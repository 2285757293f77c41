#include "app/main/InputQuery.h"

#include <QInputDialog>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool InputQuery(QWidget* Parent, const QString& Caption, const QString& Prompt, QString& Value) {
    if (AutoAnswerDialogs()) {
        std::fprintf(stderr, "%s: %s [Cancel]\n", Caption.toLocal8Bit().constData(),
                     Prompt.toLocal8Bit().constData());
        return false;
    }
    QInputDialog dialog(Parent);
    dialog.setObjectName(QStringLiteral("InputQuery"));
    dialog.setWindowTitle(Caption);
    dialog.setLabelText(Prompt);
    dialog.setTextValue(Value);
    if (dialog.exec() != QDialog::Accepted) return false;
    Value = dialog.textValue();
    return true;
}
