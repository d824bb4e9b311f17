#include "window/web_browser.h"

#include "window/results_view.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPluginLoader>
#include <QVBoxLayout>

#include <unistd.h>

namespace veltrin {

namespace {

QString& ModulePath() {
    static QString path;
    return path;
}

// The engine's sandbox refuses the root user, and the engine then ends the whole program; the
// user can turn the sandbox off, as the engine's own switches allow.
bool SandboxRefusesThisUser() {
    return geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") &&
           !qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox"));
}

} // namespace

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    // Takes the focus as the web view would, which it hands on once it exists.
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void WebBrowser::SetModulePath(const QString& path) { ModulePath() = path; }

QWidget* WebBrowser::View() const { return m_view ? m_view->Widget() : nullptr; }

QUrl WebBrowser::Url() const { return m_view ? m_view->Url() : m_url; }

void WebBrowser::ShowMessage(const QString& text) {
    if (m_message == nullptr) {
        m_message = new QLabel(this);
        m_message->setObjectName(QStringLiteral("message"));
        m_message->setWordWrap(true);
        m_message->setTextFormat(Qt::PlainText);
        m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_message->setMargin(8);
        QFont font(QStringLiteral("Tahoma")); // as the link box shows text
        font.setPointSize(12);
        m_message->setFont(font);
        m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout()->addWidget(m_message);
    }
    m_message->setText(text);
    if (m_view) {
        setFocusProxy(nullptr);
        m_view->Widget()->hide();
    }
    m_message->show();
}

QString WebBrowser::Message() const { return m_message && !m_message->isHidden() ? m_message->text() : QString(); }

void WebBrowser::Navigate(const QString& address) {
    if (m_message) {
        m_message->hide();
        if (m_view) {
            m_view->Widget()->show();
            setFocusProxy(m_view->Widget());
        }
    }
    const QUrl url = address == QLatin1String("about:blank") ? QUrl(address) : QUrl::fromLocalFile(address);
    if (m_view) {
        m_view->Load(url);
        return;
    }
    if (url.isLocalFile() && StartEngine()) {
        m_view->Load(url);
        return;
    }
    // A blank page is what this area already shows.
    m_url = url;
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT loadFinished(true); }, Qt::QueuedConnection);
}

bool WebBrowser::StartEngine() {
    if (SandboxRefusesThisUser()) {
        QMessageBox::critical(window(), QStringLiteral("Veltrin"),
                              tr("The results cannot be shown: the web view does not run as the root user unless "
                                 "QTWEBENGINE_DISABLE_SANDBOX=1 is set."));
        return false;
    }
    const QString path = ModulePath().isEmpty()
                             ? QCoreApplication::applicationDirPath() + QStringLiteral("/modules/veltrin-webview.so")
                             : ModulePath();
    QPluginLoader loader(path);
    auto* factory = qobject_cast<ResultsViewFactory*>(loader.instance());
    if (factory == nullptr) {
        QMessageBox::critical(window(), QStringLiteral("Veltrin"),
                              tr("The results cannot be shown: the web view module cannot be loaded.") +
                                  QLatin1Char('\n') + loader.errorString());
        return false;
    }
    ResultsView::Events events;
    events.loadFinished = [this](bool ok) { Q_EMIT loadFinished(ok); };
    events.linkFollowed = [this](const QUrl& link) { Q_EMIT linkFollowed(link); };
    m_view = factory->Create(this, std::move(events));
    QWidget* view = m_view->Widget();
    layout()->addWidget(view);
    setFocusProxy(view);
    const bool hadFocus = hasFocus();
    view->show();
    if (hadFocus) {
        view->setFocus(Qt::OtherFocusReason);
    }
    return true;
}

} // namespace veltrin
