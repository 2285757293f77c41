#include "app/ops/OpVirusScan.h"

#include "app/common/AppSettings.h"
#include "app/common/FileUtils.h"
#include "app/common/QtStrings.h"
#include "app/ops/RunFolder.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <cstdio>
#include <memory>

namespace {

constexpr int ScanClean = 0;
constexpr int ScanVirusFound = 1;

} // namespace

std::vector<std::string> ScannerArguments(const std::string& Scanner, const std::string& Parameters,
                                          const QString& Folder) {
    std::vector<std::string> argv = {Scanner};
    if (!Parameters.empty()) {
        // "*.*" names the files to scan: the folder (no shell expands a wildcard here).
        for (const std::string& part : SplitCommandLine(Parameters))
            argv.push_back(
                Str(part).replace(QStringLiteral("*.*"), Folder, Qt::CaseInsensitive).toStdString());
    } else {
        ListFolderFiles(Folder.toStdString(), argv);
    }
    return argv;
}

bool VirusScannerConfigured() {
    const TAppSettings& settings = AppSettings();
    return settings.AVProduct != 0 && !settings.VirusScanner.empty();
}

TScanVerdict ScanFolder(const QString& Folder, TOpObserver& Observer, int& Status) {
    const TAppSettings& settings = AppSettings();
    const std::vector<std::string> argv =
        ScannerArguments(settings.VirusScanner, settings.Parameters, Folder);
    // The scanner's report goes to the log.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> report(std::tmpfile(), std::fclose);
    pid_t pid = 0;
    if (settings.VirusScanner.empty() ||
        !SpawnProcess(argv, Folder.toStdString(), pid, report ? fileno(report.get()) : -1))
        return TScanVerdict::NotStarted;
    Status = WaitForProcess(pid, 50, [] { QCoreApplication::processEvents(); });
    if (report) {
        std::rewind(report.get());
        QByteArray text;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, report.get())) > 0;)
            text.append(buffer, static_cast<qsizetype>(n));
        for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            Observer.Log(line);
    }
    if (Status == ScanClean) return TScanVerdict::Clean;
    return Status == ScanVirusFound ? TScanVerdict::VirusFound : TScanVerdict::ScannerError;
}

TScanResult VirusScan(const QString& Archive, TOpObserver& Observer) {
    TScanResult result;
    if (!VirusScannerConfigured()) return result;
    TRunFolder temp;
    if (temp.Path.empty()) {
        result.Verdict = TScanVerdict::NoTempFolder;
        return result;
    }
    TExtractOptions options;
    options.Archive = Archive;
    options.Folder = Str(temp.Path);
    options.ConfirmOverwrites = false;
    options.RestoreFileAttr = false;
    result.Extraction = Extract(options, Observer);
    if (!result.Extraction.Started) {
        result.Verdict = TScanVerdict::Unsupported;
        return result;
    }
    if (result.Extraction.Cancelled) {
        result.Verdict = TScanVerdict::Cancelled;
        return result;
    }
    Observer.Status(QStringLiteral("Scanning for virus ..."), {});
    result.Verdict = ScanFolder(Str(temp.Path), Observer, result.Status);
    Observer.Status(QStringLiteral("Finished scanning"), {});
    // Entries that could not be extracted were not scanned.
    if (result.Verdict == TScanVerdict::Clean && !result.Extraction.Succeeded())
        result.Verdict = TScanVerdict::Incomplete;
    return result;
}

QString ScanVerdictText(TScanVerdict Verdict, int Status) {
    switch (Verdict) {
    case TScanVerdict::NotConfigured:
        return QStringLiteral("You need to configure a virus scanner before you can\r\nuse this feature. To "
                              "configure a virus scanner, look\r\nunder the following menu item:\r\n\r\n"
                              "Options > Configuration > Program Locations");
    case TScanVerdict::NoTempFolder:
        return QStringLiteral("Unable to create the temporary directory. \r\nVirus scan aborted.");
    case TScanVerdict::Unsupported:
        return RefusalText(TExtractRefusal::Unsupported);
    case TScanVerdict::Cancelled:
        return QStringLiteral("Virus scan cancelled.");
    case TScanVerdict::Clean:
        return QStringLiteral("Virus scan completed.");
    case TScanVerdict::Incomplete:
        return QStringLiteral("Some files of this archive could not be extracted and were not scanned; "
                              "the output log names them.");
    case TScanVerdict::VirusFound:
        return QStringLiteral("The virus scanner found a virus in the scanned files.\r\nThe output window "
                              "shows its report.");
    case TScanVerdict::ScannerError:
        return QStringLiteral("The virus scanner ended with an error (exit status %1).\r\nThe files were not "
                              "scanned.")
            .arg(Status);
    case TScanVerdict::NotStarted:
        return QStringLiteral("The virus scanner could not be started:\r\n") +
               Str(AppSettings().VirusScanner) + QStringLiteral("\r\nThe files were not scanned.");
    }
    return {};
}
