// The check for a newer version: one HTTP GET of "/version.txt" on the program's web server,
// whose first line is the latest version and the rest its release notes, shown beside the
// running version. The request runs while the dialog's own event loop goes on; a failure or a
// server that does not answer in time closes the dialog as Close does.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
namespace Ui {
class TfmCheckVersion;
}

// The server asked for the latest version: QUILLAR_UPDATE_URL when it is set, else the site.
QString UpdateServerUrl();

// Modal results of the dialog.
inline constexpr int mrDownloadNow = 1;
inline constexpr int mrCloseVersion = 2;

class TfmCheckVersion : public QDialog {
    Q_OBJECT
public:
    explicit TfmCheckVersion(QWidget* Parent = nullptr);
    ~TfmCheckVersion() override;

    // The running program's version, set before the dialog shows.
    QString CurrentVersion;
    // The server's base address, without a trailing '/'.
    QString ServerUrl;
    // How long the server may take to answer in full.
    int TimeoutMs = 20000;
    // Where the latest version is downloaded from.
    QString DownloadLocation() const;

    std::unique_ptr<Ui::TfmCheckVersion> ui;

protected:
    void showEvent(QShowEvent* Event) override;

public slots:
    void done(int Result) override;

private:
    void tiGetVersionTimer();
    void RequestFinished();
    void RequestFailed();
    void StopRequest();

    QNetworkAccessManager* IdHTTP;
    QTimer* tiGetVersion;
    QTimer* FTimeout;
    QPointer<QNetworkReply> FReply;
};
