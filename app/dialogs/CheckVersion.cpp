#include "app/dialogs/CheckVersion.h"

#include "engine/core/krvProduct.h"

#include "app/dialogs/DialogSupport.h"
#include "app/common/Prompter.h"
#include "ui_CheckVersion.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {

// A version file is a few lines; a server that sends more is not the one we want.
constexpr qint64 MaxBodyBytes = 1 << 20;

} // namespace

QString UpdateServerUrl() {
    QString url = qEnvironmentVariable("QUILLAR_UPDATE_URL", QString::fromLatin1(ProductAddress));
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

TfmCheckVersion::TfmCheckVersion(QWidget* Parent)
    : QDialog(Parent), ServerUrl(UpdateServerUrl()), ui(std::make_unique<Ui::TfmCheckVersion>()),
      IdHTTP(new QNetworkAccessManager(this)), tiGetVersion(new QTimer(this)), FTimeout(new QTimer(this)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    IdHTTP->setObjectName(QStringLiteral("IdHTTP"));
    tiGetVersion->setObjectName(QStringLiteral("tiGetVersion"));
    tiGetVersion->setInterval(50);
    tiGetVersion->setSingleShot(true);
    FTimeout->setSingleShot(true);
    connect(tiGetVersion, &QTimer::timeout, this, &TfmCheckVersion::tiGetVersionTimer);
    connect(FTimeout, &QTimer::timeout, this, [this] {
        if (FReply) FReply->abort(); // finishes the reply with an error
    });
    CloseWith(ui->buClose, this, mrCloseVersion);
    CloseWith(ui->buDownload, this, mrDownloadNow);
}

TfmCheckVersion::~TfmCheckVersion() {
    StopRequest();
}

QString TfmCheckVersion::DownloadLocation() const {
    return ServerUrl + QStringLiteral("/download.html");
}

void TfmCheckVersion::showEvent(QShowEvent* Event) {
    ui->edLatest->setText(QStringLiteral("Please wait ..."));
    ui->edCurrent->setText(CurrentVersion);
    ui->buClose->setFocus();
    // The request starts once the window has painted.
    tiGetVersion->start();
    QDialog::showEvent(Event);
}

void TfmCheckVersion::done(int Result) {
    tiGetVersion->stop();
    StopRequest();
    QDialog::done(Result);
}

void TfmCheckVersion::StopRequest() {
    FTimeout->stop();
    if (!FReply) return;
    QNetworkReply* reply = FReply;
    FReply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    unsetCursor();
}

void TfmCheckVersion::tiGetVersionTimer() {
    tiGetVersion->stop();
    QNetworkRequest request(QUrl(ServerUrl + QStringLiteral("/version.txt")));
    request.setRawHeader("Accept", "text/html, */*");
    request.setRawHeader("User-Agent", "Quillar");
    // The window stays usable while the server answers; the cursor only says it is busy.
    setCursor(Qt::BusyCursor);
    FReply = IdHTTP->get(request);
    connect(FReply, &QNetworkReply::finished, this, &TfmCheckVersion::RequestFinished);
    connect(FReply, &QNetworkReply::downloadProgress, this, [this](qint64 Received, qint64) {
        if (Received > MaxBodyBytes && FReply) FReply->abort();
    });
    FTimeout->start(TimeoutMs);
}

void TfmCheckVersion::RequestFinished() {
    QNetworkReply* reply = FReply;
    if (!reply) return;
    FReply = nullptr;
    FTimeout->stop();
    reply->deleteLater();
    unsetCursor();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool ok = reply->error() == QNetworkReply::NoError && status.isValid() && status.toInt() >= 200 &&
                    status.toInt() < 300;
    const QByteArray body = ok ? reply->read(MaxBodyBytes + 1) : QByteArray();
    if (!ok || body.size() > MaxBodyBytes) {
        RequestFailed();
        return;
    }
    QStringList lines = QString::fromUtf8(body).split(QLatin1Char('\n'));
    if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast(); // the last line's own end
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    ui->edLatest->setText(lines.takeFirst());
    ui->meNew->setPlainText(lines.join(QLatin1Char('\n')));
}

void TfmCheckVersion::RequestFailed() {
    MessageDlg(
        QStringLiteral("Error connecting to Quillar server. Please check \r\nthat you are connected to the "
                       "Internet."),
        mtError, mbOK);
    done(mrCloseVersion);
}
