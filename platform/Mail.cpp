#include "platform/Mail.h"

#include "platform/Process.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

int SendDesktopMail(const TMailMessage& Message, const std::function<void()>& Pump,
                    std::string* ErrorOutput) {
    std::vector<std::string> argv = {DesktopMailProgram};
    if (!Message.Subject.empty()) argv.insert(argv.end(), {"--subject", Message.Subject});
    if (!Message.Body.empty()) argv.insert(argv.end(), {"--body", Message.Body});
    if (!Message.AttachmentPath.empty()) argv.insert(argv.end(), {"--attach", Message.AttachmentPath});
    // xdg-email takes addresses only; as a mailto: URI an address can never pass for an option.
    if (!Message.RecipientAddress.empty()) argv.push_back("mailto:" + Message.RecipientAddress);
    // Its error output goes to a file (a pipe could fill while it waits for the mail program).
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> errors(ErrorOutput ? std::tmpfile() : nullptr,
                                                           std::fclose);
    pid_t pid = 0;
    if (!SpawnProcess(argv, {}, pid, -1, errors ? fileno(errors.get()) : -1)) {
        if (ErrorOutput) *ErrorOutput = std::strerror(errno);
        return -1;
    }
    const int status = WaitForProcess(pid, 50, Pump);
    if (errors) {
        std::rewind(errors.get());
        char buffer[4096];
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, errors.get());
        ErrorOutput->assign(buffer, n);
    }
    return status;
}
