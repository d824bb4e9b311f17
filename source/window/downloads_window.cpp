#include "window/downloads_window.h"

#include "extract/progress.h"
#include "window/downloads.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

namespace veltrin {

namespace {

QString Size(std::int64_t bytes) { return QString::fromStdString(ByteSize(bytes)); }

} // namespace

DownloadRow::DownloadRow(Downloads* downloads, int id, const QString& name, QWidget* parent)
    : QWidget(parent), m_downloads(downloads), m_name(new QLabel(name, this)), m_progress(new QProgressBar(this)),
      m_status(new QLabel(this)), m_pause(new QPushButton(tr("Pause"), this)),
      m_cancel(new QPushButton(tr("Cancel"), this)), m_open(new QPushButton(tr("Open"), this)),
      m_folder(new QPushButton(tr("Show in folder"), this)) {
    m_info.id = id;
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    for (QPushButton* button : {m_pause, m_cancel, m_open, m_folder}) {
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_name);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    connect(m_pause, &QPushButton::clicked, this, [this] {
        if (m_info.state == DownloadState::Paused) {
            m_downloads->Resume(m_info.id);
        } else {
            m_downloads->Pause(m_info.id);
        }
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_downloads->Cancel(m_info.id); });
    connect(m_open, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(m_info.file.string()))); });
    connect(m_folder, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(m_info.file.parent_path().string())));
    });
    Show(m_info);
}

QString DownloadRow::StatusText() const {
    const DownloadInfo& i = m_info;
    switch (i.state) {
    case DownloadState::Queued: return tr("Queued");
    case DownloadState::Paused: return tr("Paused at %1").arg(Size(i.received));
    case DownloadState::Retrying:
        return tr("Retrying (attempt %1): %2").arg(i.attempt).arg(QString::fromStdString(i.reason));
    case DownloadState::Finished: return tr("Finished, %1").arg(Size(i.received));
    case DownloadState::Failed: return tr("Failed: %1").arg(QString::fromStdString(i.reason));
    case DownloadState::Cancelled: return tr("Cancelled");
    case DownloadState::Downloading: break;
    }
    return QString::fromStdString(ProgressText(i.received, i.total, i.bytesPerSecond));
}

void DownloadRow::Show(const DownloadInfo& info) {
    m_info = info;
    if (!info.file.empty()) {
        m_name->setText(QString::fromStdString(info.file.filename().string()));
    }
    const bool over = info.state == DownloadState::Finished || info.state == DownloadState::Failed ||
                      info.state == DownloadState::Cancelled;
    if (info.state == DownloadState::Finished) {
        m_progress->setRange(0, 1);
        m_progress->setValue(1);
    } else if (info.total > 0) {
        m_progress->setRange(0, 1000);
        m_progress->setValue(static_cast<int>(info.received * 1000 / info.total));
    } else {
        m_progress->setRange(0, info.state == DownloadState::Downloading ? 0 : 1); // busy while the size is unknown
        m_progress->setValue(0);
    }
    m_status->setText(StatusText());
    m_pause->setText(info.state == DownloadState::Paused ? tr("Resume") : tr("Pause"));
    m_pause->setVisible(!over);
    m_cancel->setVisible(!over);
    m_open->setVisible(info.state == DownloadState::Finished);
    m_folder->setVisible(info.state == DownloadState::Finished);
}

DownloadsWindow::DownloadsWindow(Downloads* downloads, QWidget* parent)
    : QWidget(parent, Qt::Window), m_downloads(downloads), m_rows(new QVBoxLayout) {
    setWindowTitle(tr("Downloads - Veltrin"));
    auto* list = new QWidget;
    auto* listLayout = new QVBoxLayout(list);
    listLayout->addLayout(m_rows);
    listLayout->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(list);
    scroll->setWidgetResizable(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    resize(560, 320);
    connect(m_downloads, &Downloads::Changed, this, &DownloadsWindow::OnChanged);
}

void DownloadsWindow::Track(int id, const QString& name) {
    auto* row = new DownloadRow(m_downloads, id, name, this);
    m_rows->addWidget(row);
    m_byId[id] = row;
}

DownloadRow* DownloadsWindow::Row(int id) const {
    const auto found = m_byId.find(id);
    return found == m_byId.end() ? nullptr : found->second;
}

void DownloadsWindow::OnChanged(const DownloadInfo& info) {
    if (DownloadRow* row = Row(info.id)) {
        row->Show(info);
    }
}

} // namespace veltrin
