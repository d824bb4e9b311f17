#pragma once

#include <QWidget>

class QWebEngineDownloadRequest;
class QLabel;
class QProgressBar;
class QPushButton;

namespace veltrin {

// A small window for one download: file name, received and total size, a progress bar, a cancel
// button, and in the end a clear finished or failed state.
class DownloadPanel : public QWidget {
    Q_OBJECT
public:
    DownloadPanel(QWebEngineDownloadRequest* download, QWidget* parent);

private:
    void Update();

    QWebEngineDownloadRequest* m_download;
    QLabel* m_status;
    QProgressBar* m_progress;
    QPushButton* m_button;
};

} // namespace veltrin
