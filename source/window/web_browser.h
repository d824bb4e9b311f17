#pragma once

#include <QString>

#include <functional>
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

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    QUrl m_resultsFile;
};

// The embedded browser. Navigate takes "about:blank" or a plain file path and returns at once;
// the page loads in the background. Following a stream link downloads it, as a browser would.
class WebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget* parent = nullptr);

    void Navigate(const QString& address);

    // Asks where to save a download, given the proposed file; empty cancels. A save dialog
    // unless set otherwise, as tests do.
    void SetFileChooser(std::function<QString(const QString& proposed)> chooser) { m_chooseFile = std::move(chooser); }

Q_SIGNALS:
    void downloadFinished(const QString& path, bool succeeded);

private:
    void OnDownloadRequested(QWebEngineDownloadRequest* download);

    std::function<QString(const QString&)> m_chooseFile;
    QWebEngineProfile* m_profile = nullptr;
    ResultsPage* m_page = nullptr;
};

} // namespace veltrin
