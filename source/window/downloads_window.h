#pragma once

#include "net/download_engine.h"

#include <QWidget>

#include <map>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace veltrin {

class Downloads;

// One download in the list: its name, a progress bar, what it is doing, and what can be done.
class DownloadRow : public QWidget {
    Q_OBJECT
public:
    DownloadRow(Downloads* downloads, int id, const QString& name, QWidget* parent);

    void Show(const DownloadInfo& info);
    const DownloadInfo& Info() const { return m_info; }
    QString StatusText() const;

    QPushButton* PauseButton() const { return m_pause; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* OpenButton() const { return m_open; }
    QPushButton* FolderButton() const { return m_folder; }

private:
    Downloads* m_downloads;
    DownloadInfo m_info;
    QLabel* m_name;
    QProgressBar* m_progress;
    QLabel* m_status;
    QPushButton* m_pause;
    QPushButton* m_cancel;
    QPushButton* m_open;
    QPushButton* m_folder;
};

// The one window that lists every download of the session. Closing it stops nothing.
class DownloadsWindow : public QWidget {
    Q_OBJECT
public:
    explicit DownloadsWindow(Downloads* downloads, QWidget* parent = nullptr);

    // Lists a download that has just been added.
    void Track(int id, const QString& name);
    DownloadRow* Row(int id) const;

private:
    void OnChanged(const DownloadInfo& info);

    Downloads* m_downloads;
    QVBoxLayout* m_rows;
    std::map<int, DownloadRow*> m_byId;
};

} // namespace veltrin
