#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;

namespace veltrin {

class ResultsView;

// The embedded browser. Until it first shows a results file it is what "about:blank" shows, a
// white area, and the web engine is not started; the first results file loads the engine's
// module and puts its view in place. Navigate takes "about:blank" or a plain file path and
// returns at once; the page loads in the background. Following a stream link in the page hands
// the link on, and downloads nothing.
class WebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget* parent = nullptr);

    void Navigate(const QString& address);
    QUrl Url() const;

    // Shows a plain text in place of the page, until the next Navigate; the engine is not started
    // for it.
    void ShowMessage(const QString& text);
    // The text shown in place of the page; empty while the page is shown.
    QString Message() const;

    // Whether the web engine has been started, and its view once it has.
    bool EngineStarted() const { return m_view != nullptr; }
    QWidget* View() const;

    // Where the engine's module is; beside the executable unless set otherwise, as tests do.
    static void SetModulePath(const QString& path);

Q_SIGNALS:
    void loadFinished(bool ok);
    // A stream link of the results page was followed.
    void linkFollowed(const QUrl& link);

private:
    bool StartEngine();

    ResultsView* m_view = nullptr;
    QLabel* m_message = nullptr;
    QUrl m_url{QStringLiteral("about:blank")};
};

} // namespace veltrin
