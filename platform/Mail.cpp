#include "platform/Mail.h"

#include "platform/Process.h"

int SendDesktopMail(const TMailMessage& Message, const std::function<void()>& Pump) {
    std::vector<std::string> argv = {"xdg-email"};
    if (!Message.Subject.empty()) argv.insert(argv.end(), {"--subject", Message.Subject});
    if (!Message.Body.empty()) argv.insert(argv.end(), {"--body", Message.Body});
    if (!Message.AttachmentPath.empty()) argv.insert(argv.end(), {"--attach", Message.AttachmentPath});
    // xdg-email takes addresses only; as a mailto: URI an address can never pass for an option.
    if (!Message.RecipientAddress.empty()) argv.push_back("mailto:" + Message.RecipientAddress);
    pid_t pid = 0;
    if (!SpawnProcess(argv, {}, pid)) return -1;
    return WaitForProcess(pid, 50, Pump);
}
