#include "ui/LmMessages.h"

#include <QMessageBox>

namespace {

TLmMessageHandler& Handler() {
    static TLmMessageHandler handler;
    return handler;
}

} // namespace

void SetLmMessageHandler(TLmMessageHandler NewHandler) {
    Handler() = std::move(NewHandler);
}

bool LmMessage(QWidget* Parent, const QString& Caption, const QString& Text, TLmMessageKind Kind) {
    if (Handler()) return Handler()(Parent, Caption, Text, Kind);
    const QString shown =
        QString(Text).replace(QLatin1String("\r\n"), QLatin1String("\n")).replace('\r', '\n');
    switch (Kind) {
    case TLmMessageKind::Question:
    case TLmMessageKind::RiskyQuestion:
        return QMessageBox::question(Parent, Caption, shown, QMessageBox::Yes | QMessageBox::No,
                                     Kind == TLmMessageKind::Question ? QMessageBox::Yes : QMessageBox::No) ==
               QMessageBox::Yes;
    case TLmMessageKind::Error:
        QMessageBox::critical(Parent, Caption, shown);
        return false;
    case TLmMessageKind::Warning:
        QMessageBox::warning(Parent, Caption, shown);
        return false;
    }
    return false;
}
