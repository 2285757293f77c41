#include "app/dialogs/ProcessUtils.h"

#include "platform/Mail.h"
#include "platform/Process.h"

#include <QCoreApplication>

namespace {

void ProcessEvents() {
    QCoreApplication::processEvents();
}

} // namespace

int SendMail(const std::string& Subject, const std::string& Body, const std::string& AttachmentPath,
             const std::string& RecipientAddress, const std::string& /*RecipientName*/,
             const std::string& /*SenderAddress*/, const std::string& /*SenderName*/) {
    return SendDesktopMail(TMailMessage{Subject, Body, AttachmentPath, RecipientAddress}, ProcessEvents);
}

bool RunAndWait(const std::string& ExeName, const std::string& Params, int /*ShowCmd*/) {
    std::vector<std::string> argv = {ExeName};
    for (std::string& arg : SplitCommandLine(Params))
        argv.push_back(std::move(arg));
    const std::size_t slash = ExeName.rfind('/');
    pid_t pid = 0;
    if (!SpawnProcess(argv, slash == std::string::npos ? std::string() : ExeName.substr(0, slash + 1), pid)) {
        return false;
    }
    WaitForProcess(pid, 50, ProcessEvents);
    return true;
}
