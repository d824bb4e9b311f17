#include "window/webview/download_panel.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>

namespace veltrin {

DownloadPanel::DownloadPanel(QWebEngineDownloadRequest* download, QWidget* parent)
    : QWidget(parent, Qt::Tool), m_download(download), m_status(new QLabel(this)),
      m_progress(new QProgressBar(this)), m_button(new QPushButton(tr("Cancel"), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Downloading %1").arg(download->downloadFileName()));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(download->downloadFileName(), this));
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(m_button);
    resize(420, 140);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_download->isFinished()) {
            close();
        } else {
            m_download->cancel();
        }
    });
    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, &DownloadPanel::Update);
    connect(download, &QWebEngineDownloadRequest::totalBytesChanged, this, &DownloadPanel::Update);
    connect(download, &QWebEngineDownloadRequest::stateChanged, this, &DownloadPanel::Update);
    Update();
}

void DownloadPanel::Update() {
    const QLocale locale;
    const qint64 received = m_download->receivedBytes();
    const qint64 total = m_download->totalBytes();
    if (total > 0) {
        m_progress->setRange(0, 1000);
        m_progress->setValue(static_cast<int>(received * 1000 / total));
    } else {
        m_progress->setRange(0, 0); // size unknown: a busy bar
    }
    const QString sizes = total > 0 ? tr("%1 of %2").arg(locale.formattedDataSize(received), locale.formattedDataSize(total))
                                    : locale.formattedDataSize(received);
    switch (m_download->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        m_progress->setRange(0, 1);
        m_progress->setValue(1);
        m_status->setText(tr("Finished: %1 saved to %2").arg(locale.formattedDataSize(received),
                                                               m_download->downloadDirectory()));
        m_button->setText(tr("Close"));
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
        m_status->setText(tr("Cancelled"));
        m_button->setText(tr("Close"));
        break;
    case QWebEngineDownloadRequest::DownloadInterrupted:
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
        m_status->setText(tr("Failed: %1").arg(m_download->interruptReasonString()));
        m_button->setText(tr("Close"));
        break;
    default:
        m_status->setText(sizes);
        break;
    }
}

} // namespace veltrin
