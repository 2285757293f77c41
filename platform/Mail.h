// Mail with one attachment through the desktop's mail program (xdg-email), which shows the
// message for editing before it is sent.
#pragma once

#include <functional>
#include <string>

struct TMailMessage {
    std::string Subject, Body, AttachmentPath, RecipientAddress; // empty: left out
};

// The program that hands the message to the mail program.
inline constexpr const char* DesktopMailProgram = "xdg-email";

// 0 when the mail program took the message; -1 when xdg-email cannot be started; otherwise
// xdg-email's exit status. Pump runs while the mail program starts. ErrorOutput, when given,
// gets what xdg-email wrote to its standard error (its first 4 KiB), or why it did not start.
int SendDesktopMail(const TMailMessage& Message, const std::function<void()>& Pump,
                    std::string* ErrorOutput = nullptr);
