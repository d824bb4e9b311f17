#pragma once

#include "window/results_view.h"

#include <QObject>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <functional>

class QWebEngineProfile;

namespace veltrin {

// The page that shows the results file: it follows web links and the results file itself, nothing
// else, runs no script and opens no windows.
class ResultsPage : public QWebEnginePage {
    Q_OBJECT
public:
    ResultsPage(QWebEngineProfile* profile, QObject* parent);

    void SetResultsFile(const QUrl& file) { m_resultsFile = file; }
    void ExpectOwnLoad(const QUrl& url) { m_ownLoad = url.adjusted(QUrl::RemoveFragment); }
    void OnLinkFollowed(std::function<void(const QUrl&)> handler) { m_linkFollowed = std::move(handler); }

Q_SIGNALS:
    // Going back or reloading was asked for, and refused.
    void HistoryRefused();

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    QUrl m_resultsFile;
    QUrl m_ownLoad; // the address the program itself is loading, until its navigation is seen
    std::function<void(const QUrl&)> m_linkFollowed;
};

// Local files the view may read: the results file and the picture beside it, nothing else. The
// page must reach "dl.jpg" as a local file, and the engine's switch for that opens every file.
class LocalFileGuard : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void SetResultsFile(const QUrl& file);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    QUrl m_resultsFile;
    QUrl m_picture;
};

// The web view of the results. It downloads nothing itself: a followed stream link is handed on.
class EngineView : public QWebEngineView, public ResultsView {
    Q_OBJECT
public:
    EngineView(QWidget* parent, Events events);

    QWidget* Widget() override { return this; }
    void Load(const QUrl& url) override;
    QUrl Url() const override { return url(); }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    Events m_events;
    QWebEngineProfile* m_profile = nullptr;
    LocalFileGuard* m_guard = nullptr;
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
