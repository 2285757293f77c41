// Mail and programs run from the dialogs and the main window; both keep the window responsive
// while they wait.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

// Sends one message with the desktop's mail program, which shows it for editing first. Empty
// arguments are left out; the sender is the mail program's own account, so SenderAddress and
// SenderName are not used, nor RecipientName. 0 on success, -1 when there is no mail program to
// start, another value when it failed; ErrorOutput, when given, gets the program's error output.
int SendMail(const std::string& Subject, const std::string& Body, const std::string& AttachmentPath,
             const std::string& RecipientAddress, const std::string& RecipientName,
             const std::string& SenderAddress, const std::string& SenderName,
             std::string* ErrorOutput = nullptr);

// Runs ExeName with the arguments of Params (split as SplitCommandLine splits them, never by a
// shell, and never cut short) in ExeName's folder, and waits for it to end while the
// application's events are processed every 50 ms. Returns its exit status; -1 when it cannot be
// started or died on a signal. ShowCmd is the window state the program was asked to start in;
// desktop programs choose their own.
int RunAndWait(const std::string& ExeName, const std::string& Params, int ShowCmd);

// Why Program cannot open Arguments, for a message; empty when it can. Program is a program on
// the search path or a path; "xdg-open" needs a desktop application for the file's type (a web
// browser for a help page), as the desktop's default-applications lists or a browser name it.
QString MissingLauncher(const QString& Program, const QStringList& Arguments);
// Starts Program with Arguments without waiting; a missing program or desktop application is
// named in a message (MissingLauncher) and gives false. A program that fails within its first
// seconds (xdg-open finding no terminal or browser) is named with its error output, later.
bool LaunchDetached(const QString& Program, const QStringList& Arguments);
