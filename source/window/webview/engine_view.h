#pragma once

#include "window/results_view.h"

#include <QObject>
#include <QSet>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

class QWebEngineDownloadRequest;
class QWebEngineProfile;

namespace veltrin {

// The page that shows the results file: it follows web links and the results file itself, nothing
// else, runs no script and opens no windows.
class ResultsPage : public QWebEnginePage {
    Q_OBJECT
public:
    ResultsPage(QWebEngineProfile* profile, QObject* parent);

    void SetResultsFile(const QUrl& file) { m_resultsFile = file; }
    // Whether url is a download that a followed stream link asked for; forgets it.
    bool TakeRequestedDownload(const QUrl& url) { return m_requestedDownloads.remove(url); }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    QUrl m_resultsFile;
    QSet<QUrl> m_requestedDownloads;
};

// The web view of the results. Following a stream link downloads it, as a browser would.
class EngineView : public QWebEngineView, public ResultsView {
    Q_OBJECT
public:
    EngineView(QWidget* parent, Events events);

    QWidget* Widget() override { return this; }
    void Load(const QUrl& url) override;
    QUrl Url() const override { return url(); }
    void SetFileChooser(std::function<QString(const QString&)> chooser) override { m_chooseFile = std::move(chooser); }

private:
    void OnDownloadRequested(QWebEngineDownloadRequest* download);

    Events m_events;
    std::function<QString(const QString&)> m_chooseFile;
    QWebEngineProfile* m_profile = nullptr;
    ResultsPage* m_page = nullptr;
};

class EngineViewFactory : public QObject, public ResultsViewFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VELTRIN_RESULTS_VIEW_FACTORY_IID)
    Q_INTERFACES(veltrin::ResultsViewFactory)
public:
    ResultsView* Create(QWidget* parent, ResultsView::Events events) override;
};

} // namespace veltrin
