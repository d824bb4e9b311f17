#include "window/webview/engine_view.h"

#include "window/webview/download_panel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace veltrin {

ResultsPage::ResultsPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    QWebEngineSettings* s = settings();
    // The results page has no script of its own; with scripting off a "javascript:" link in it,
    // which the navigation hook is never asked about, runs nothing.
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    // The advertisement frame is a remote page inside a local one.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // Needed for the dl.jpg picture beside the page; the page runs no script that could read more.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
}

bool ResultsPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        // A stream link of the results page is saved, whatever the server says it is; shown in
        // the view, a stream would play there, or fail to, in place of the links.
        if (isMainFrame && type == NavigationTypeLinkClicked && !m_resultsFile.isEmpty() &&
            this->url().adjusted(QUrl::RemoveFragment) == m_resultsFile) {
            m_requestedDownloads.insert(url);
            download(url);
            return false;
        }
        return true;
    }
    if (url == QUrl(QStringLiteral("about:blank"))) {
        return true;
    }
    return isMainFrame && url.isLocalFile() && url.adjusted(QUrl::RemoveFragment) == m_resultsFile;
}

QWebEnginePage* ResultsPage::createWindow(WebWindowType) { return nullptr; }

EngineView::EngineView(QWidget* parent, Events events)
    : QWebEngineView(parent), m_events(std::move(events)), m_profile(new QWebEngineProfile(this)),
      m_page(new ResultsPage(m_profile, this)) {
    setPage(m_page);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this, &EngineView::OnDownloadRequested);
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (m_events.loadFinished) {
            m_events.loadFinished(ok);
        }
    });
}

void EngineView::Load(const QUrl& url) {
    if (url.isLocalFile()) {
        m_page->SetResultsFile(url);
    }
    load(url);
}

void EngineView::OnDownloadRequested(QWebEngineDownloadRequest* download) {
    // Only a stream link that the user followed is saved; a frame that serves a file by itself,
    // as an advertisement might, asks nothing and saves nothing.
    if (!m_page->TakeRequestedDownload(download->url())) {
        download->cancel();
        return;
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    }
    // As a browser does: the dialog would start elsewhere in a folder that is not there yet.
    QDir().mkpath(folder);
    const QString proposed = folder + QLatin1Char('/') + download->suggestedFileName();
    const QString chosen = m_chooseFile ? m_chooseFile(proposed)
                                        : QFileDialog::getSaveFileName(window(), tr("Save the video as"), proposed);
    if (chosen.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(chosen);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download] {
        if (m_events.downloadFinished) {
            m_events.downloadFinished(download->downloadDirectory() + QLatin1Char('/') + download->downloadFileName(),
                                      download->state() == QWebEngineDownloadRequest::DownloadCompleted);
        }
    });
    auto* panel = new DownloadPanel(download, window());
    panel->show();
    download->accept();
}

ResultsView* EngineViewFactory::Create(QWidget* parent, ResultsView::Events events) {
    return new EngineView(parent, std::move(events));
}

} // namespace veltrin
