#include "window/main_window.h"

#include "core/file_name.h"
#include "core/go_pipeline.h"
#include "core/link.h"
#include "core/watch_links.h"
#include "desktop/clipboard.h"
#include "desktop/desktop_integration.h"
#include "desktop/desktop_proxy.h"
#include "desktop/secret_store.h"
#include "library/downloads.h"
#include "net/http_request.h"
#include "net/page_fetch.h"
#include "net/proxy.h"
#include "window/constants.h"
#include "window/controls.h"
#include "window/downloads_window.h"
#include "window/dropped_links.h"
#include "window/go_fetcher.h"
#include "window/link_list_dialog.h"
#include "window/page_queue.h"
#include "window/preferences_dialog.h"
#include "window/web_browser.h"

#include "advertisement.h"
#include "version.h"

#include <QAccessibleWidget>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QNetworkProxy>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <array>
#include <functional>

namespace veltrin {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// Positions and sizes in pixels at 96 dots an inch, in the order the controls are created.
struct Place {
    int left, top, width, height;
};
constexpr Place kBrowser{8, 232, 785, 321};
constexpr Place kGo{560, 160, 200, 64};
constexpr Place kFooter{0, 560, 800, 40};
constexpr Place kHeader{0, -24, 900, 173};
constexpr Place kLink{64, 192, 465, 26};
constexpr Place kLabel{64, 168, 273, 25};
constexpr int kClientWidth = 798;
constexpr int kClientHeight = 600;

// Tahoma 12 pt in the given weight, and the text in the given colour.
void SetTahoma(QWidget* widget, QFont::Weight weight, QPalette::ColorRole textRole, const QColor& colour) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(12);
    font.setWeight(weight);
    widget->setFont(font);
    QPalette palette = widget->palette();
    palette.setColor(textRole, colour);
    widget->setPalette(palette);
}

// Qt's own interface makes a plain widget a filler, even one that is a window: a screen reader
// looks for a frame.
QAccessibleInterface* WindowFactory(const QString& className, QObject* object) {
    return className == QLatin1String(MainWindow::staticMetaObject.className())
               ? new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window)
               : nullptr;
}

constexpr qsizetype kMostPromptCharacters = 1000;
constexpr qsizetype kMostUnbrokenRun = 80;

} // namespace

MainWindow::Settings MainWindow::DefaultSettings() {
    // Tests of the whole program point the advertisement page at a server of their own, so that
    // no name is ever looked up.
    const QByteArray advertisementPage = qgetenv("VELTRIN_TEST_ADVERTISEMENT_PAGE");
    return {advertisementPage.isEmpty() ? std::string(VELTRIN_ADVERTISEMENT_PAGE) : advertisementPage.toStdString(),
            {},
            {},
            {}};
}

MainWindow::MainWindow(Settings settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_settings(std::move(settings)) {
    static const bool accessible = (QAccessible::installFactory(WindowFactory), true);
    static_cast<void>(accessible);
    setWindowTitle(QString::fromLatin1(constants::kCaption));
    setWindowIcon(QIcon(QStringLiteral(":/veltrin/veltrin.ico")));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setFixedSize(Scaled(kClientWidth), Scaled(kClientHeight));
    // The controls have fixed places; only dialogs follow a right-to-left language.
    setLayoutDirection(Qt::LeftToRight);

    const auto place = [this](QWidget* w, const Place& p, bool sized) {
        w->move(Scaled(p.left), Scaled(p.top));
        if (sized) {
            w->setFixedSize(Scaled(p.width), Scaled(p.height));
        }
    };

    m_desktop = new DesktopIntegration(windowIcon(), QStringLiteral("Lumbrel"), this);
    connect(m_desktop, &DesktopIntegration::AreaChanged, this, &MainWindow::WatchNotificationArea);
    connect(m_desktop, &DesktopIntegration::ActivationRequested, this, &MainWindow::RestoreFromTray);
    connect(m_desktop, &DesktopIntegration::MenuRequested, this, [this](QPoint at) {
        if (!m_menu->isVisible()) {
            m_menu->popup(at);
        }
    });

    m_fetcher = new GoFetcher(this);
    connect(m_fetcher, &GoFetcher::Fetched, this, &MainWindow::OnFetched);
    connect(m_fetcher, &GoFetcher::FetchedApart, this,
            [this](const QString& link, const GoFetched& fetched) { DownloadFetched(link, fetched); });

    m_clipboardTimer = new NonReentrantTimer(200, this);
    m_clipboardTimer->setObjectName(QStringLiteral("clipboardTimer"));
    m_clipboard = new ClipboardText(this);

    m_resultsView = new WebBrowser(this);
    m_resultsView->setObjectName(QStringLiteral("resultsView"));
    m_resultsView->setAccessibleName(tr("Download links"));
    m_resultsView->setAccessibleDescription(tr("The video's download links, or why there are none"));
    place(m_resultsView, kBrowser, true);

    // Pictures keep their pixel size; only their places follow the screen's density.
    m_goButton = new Picture(QStringLiteral(":/veltrin/button.jpg"), this, true);
    m_goButton->setObjectName(QStringLiteral("goButton"));
    m_goButton->setAccessibleName(tr("Download"));
    m_goButton->setAccessibleDescription(tr("Shows the download links of the video in the link box"));
    m_goButton->setCursor(Qt::PointingHandCursor);
    m_goButton->setContextMenuPolicy(Qt::PreventContextMenu);
    place(m_goButton, kGo, false);

    m_footerPicture = new Picture(QStringLiteral(":/veltrin/footer.jpg"), this);
    m_footerPicture->setObjectName(QStringLiteral("footerPicture"));
    m_footerPicture->setAccessibleName(
        tr("Veltrin %1 - links straight to the video").arg(QStringLiteral(VELTRIN_VERSION)));
    place(m_footerPicture, kFooter, false);

    m_headerPicture = new Picture(QStringLiteral(":/veltrin/header.jpg"), this);
    m_headerPicture->setObjectName(QStringLiteral("headerPicture"));
    m_headerPicture->setAccessibleName(tr("Download Clipvane Free: direct links to every quality of a video"));
    place(m_headerPicture, kHeader, false);

    m_linkBox = new LinkEdit(this);
    m_linkBox->setObjectName(QStringLiteral("linkBox"));
    SetTahoma(m_linkBox, QFont::Normal, QPalette::Text, QColor(64, 64, 64));
    m_linkBox->setText(QString::fromLatin1(constants::kExampleLink));
    m_linkBox->setCursorPosition(0);
    place(m_linkBox, kLink, true);

    m_linkLabel = new QLabel(tr("Clipvane Link:"), this);
    m_linkLabel->setObjectName(QStringLiteral("linkLabel"));
    SetTahoma(m_linkLabel, QFont::Bold, QPalette::WindowText, QColor(0, 0, 128));
    m_linkLabel->setFocusPolicy(Qt::NoFocus);
    m_linkLabel->setBuddy(m_linkBox); // names the link box
    place(m_linkLabel, kLabel, true);

    // The header lies under everything else; the link box covers the label's lowest row.
    m_headerPicture->lower();
    m_linkLabel->stackUnder(m_linkBox);

    ApplyTabOrder();
    // The web view makes its inner view widget only when it first shows a page, and that widget
    // joins the focus chain wherever it lands.
    m_resultsView->installEventFilter(this);
    // Enter runs the Go and Escape stops it; the box still handles either key afterwards.
    m_linkBox->installEventFilter(this);
    // A drop anywhere on the window is the window's: a link dropped on the box is not typed into it.
    setAcceptDrops(true);
    m_linkBox->setAcceptDrops(false);

    m_prefs = ReadUserSettings(*OpenSettingsStore());
    m_answeredBeforeStart = m_prefs.lastAnswered;
    BuildMenu();

    m_downloads = new Downloads(this);
    m_downloads->SetMostAtOnce(m_prefs.atOnce);
    ApplyNetwork(m_prefs);
    if (m_prefs.proxy.mode == ProxyMode::Manual && !m_prefs.proxy.user.empty()) {
        // Once the window is up: a question may have to be asked.
        QTimer::singleShot(0, this, &MainWindow::FindProxyPassword);
    }
    connect(m_downloads, &Downloads::Changed, this, &MainWindow::OnDownloadChanged);
    connect(m_resultsView, &WebBrowser::linkFollowed, this, &MainWindow::DownloadLink);

    connect(m_goButton, &Picture::Click, this, &MainWindow::Go);
    connect(m_clipboardTimer, &NonReentrantTimer::Tick, this, &MainWindow::CheckClipboard);
    // The watcher ticks only while there may be something new to ask about: from start-up, and
    // from each change the desktop reports, until a tick finds nothing new.
    connect(m_clipboard, &ClipboardText::Changed, this, &MainWindow::OnClipboardChanged);
}

void MainWindow::BuildMenu() {
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("menu"));
    m_menu->addAction(tr("Show Veltrin"), this, &MainWindow::RestoreFromTray);
    m_menu->addAction(tr("Downloads"), this, &MainWindow::ShowDownloads);
    m_menu->addSeparator();
    m_ways = new QActionGroup(this);
    const std::pair<ClipboardWay, QString> ways[] = {
        {ClipboardWay::Ask, tr("Ask before downloading")},
        {ClipboardWay::Automatic, tr("Download automatically")},
        {ClipboardWay::Off, tr("Don't watch the clipboard")},
    };
    for (const auto& [way, text] : ways) {
        QAction* action = m_menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(way == m_prefs.clipboard);
        action->setData(static_cast<int>(way));
        m_ways->addAction(action);
    }
    connect(m_ways, &QActionGroup::triggered, this, [this](QAction* action) {
        UserSettings settings = m_prefs;
        settings.clipboard = static_cast<ClipboardWay>(action->data().toInt());
        ApplySettings(settings);
    });
    m_menu->addSeparator();
    m_menu->addAction(tr("Preferences\u2026"), this, &MainWindow::ShowPreferences);
    m_menu->addAction(tr("Quit"), this, &MainWindow::Quit);
}

void MainWindow::ApplyNetwork(const UserSettings& settings) {
    m_downloads->SetConnections(settings.connections);
    m_downloads->SetSpeedLimit(settings.speedLimit);
    const ProxyChoice& proxy = settings.proxy;
    if (proxy.mode == ProxyMode::System) {
        AdoptDesktopProxy();
    }
    SetProxy(proxy);
    // The web view's own fetches (the advertisement frame) follow the same choice.
    QNetworkProxyFactory::setUseSystemConfiguration(proxy.mode == ProxyMode::System);
    if (proxy.mode != ProxyMode::System) {
        const bool socks = proxy.scheme == ProxyScheme::Socks5 || proxy.scheme == ProxyScheme::Socks5h;
        QNetworkProxy::setApplicationProxy(
            proxy.mode == ProxyMode::Direct
                ? QNetworkProxy(QNetworkProxy::NoProxy)
                : QNetworkProxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy,
                                QString::fromStdString(proxy.host), static_cast<quint16>(proxy.port),
                                QString::fromStdString(proxy.user), QString::fromStdString(proxy.password)));
    }
}

void MainWindow::ApplySettings(const UserSettings& settings) {
    const UserSettings before = std::exchange(m_prefs, settings);
    WriteUserSettings(*OpenSettingsStore(), before, m_prefs);
    m_downloads->SetMostAtOnce(m_prefs.atOnce);
    ApplyNetwork(m_prefs);
    for (QAction* action : m_ways->actions()) {
        action->setChecked(action->data().toInt() == static_cast<int>(m_prefs.clipboard));
    }
    if (m_prefs.clipboard == ClipboardWay::Off) {
        m_clipboardTimer->Stop();
    } else if (before.clipboard == ClipboardWay::Off) {
        // What was copied while nobody watched is not acted on now.
        m_ignoreUntilChange = true;
    }
}

void MainWindow::FindProxyPassword() {
    UserSettings settings = m_prefs;
    ProxyChoice& proxy = settings.proxy;
    if (proxy.mode != ProxyMode::Manual || proxy.user.empty() || !proxy.password.empty()) {
        return;
    }
    const StoredSecret stored = ReadProxyPassword(proxy);
    if (stored.state == StoredSecret::State::NoStore) {
        bool given = false;
        const QString password = QInputDialog::getText(
            this, QString::fromLatin1(constants::kMessageTitle),
            tr("The password of %1 at the proxy %2 (no secret store runs to keep it: it is kept until Veltrin ends):")
                .arg(QString::fromStdString(proxy.user), QString::fromStdString(ProxyAddress(proxy))),
            QLineEdit::Password, {}, &given);
        proxy.password = given ? password.toStdString() : std::string();
    } else {
        proxy.password = stored.password;
    }
    m_prefs = settings; // nothing of it goes to the file
    ApplyNetwork(m_prefs);
}

void MainWindow::ShowPreferences() {
    if (m_preferences) { // chosen again while open
        m_preferences->raise();
        m_preferences->activateWindow();
        return;
    }
    PreferencesDialog dialog(m_prefs, this);
    m_preferences = &dialog;
    const bool accepted = dialog.exec() == QDialog::Accepted;
    m_preferences = nullptr;
    if (accepted) {
        UserSettings chosen = dialog.Chosen();
        chosen.lastAnswered = m_prefs.lastAnswered; // answered meanwhile
        const ProxyChoice& proxy = chosen.proxy;
        const bool passwordChanged = proxy.user != m_prefs.proxy.user || proxy.password != m_prefs.proxy.password ||
                                     ProxyAddress(proxy) != ProxyAddress(m_prefs.proxy);
        ApplySettings(chosen);
        if (proxy.mode == ProxyMode::Manual && !proxy.user.empty() && passwordChanged &&
            !KeepProxyPassword(proxy, proxy.password)) {
            QMessageBox::information(this, QString::fromLatin1(constants::kMessageTitle),
                                     tr("No secret store is running on this desktop: the proxy's password is kept "
                                        "only until Veltrin ends, and asked for at its next start."));
        }
    }
}

void MainWindow::OnClipboardChanged() {
    // A copy after start is a new copy, even of the text answered before.
    m_answeredBeforeStart.clear();
    m_ignoreUntilChange = false;
    if (m_prefs.clipboard != ClipboardWay::Off) {
        m_clipboardTimer->Start();
    }
}

void MainWindow::RememberAnswered(const QString& text) {
    UserSettings settings = m_prefs;
    settings.lastAnswered = text.isEmpty() ? QByteArray() : AnsweredHash(text);
    ApplySettings(settings);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    // The X11 desktop reports the Menu key itself, and the picture with the focus does too.
    if (!m_menu->isVisible()) {
        m_menu->popup(event->globalPos());
    }
    event->accept();
}

void MainWindow::ShowDownloads() {
    DownloadsWindow* downloads = EnsureDownloadsWindow();
    if (!downloads->isVisible()) {
        PlaceBeside(downloads);
    }
    // Minimised, it comes back as it was.
    downloads->setWindowState(downloads->windowState() & ~Qt::WindowMinimized);
    downloads->show();
    downloads->raise();
    downloads->activateWindow();
}

DownloadsWindow* MainWindow::EnsureDownloadsWindow() {
    if (!m_downloadsWindow) {
        m_downloadsWindow = std::make_unique<DownloadsWindow>(m_downloads);
        m_downloadsWindow->setWindowIcon(windowIcon());
    }
    return m_downloadsWindow.get();
}

void MainWindow::PlaceBeside(QWidget* other) const {
    // At the side of this window with the more room, as far as the screen lets it.
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) {
        return;
    }
    const QRect area = s->availableGeometry();
    const QRect frame = frameGeometry();
    // The window manager's frame around the other window is as wide as this one's.
    const QSize size = other->size() + (frame.size() - this->size());
    const int roomRight = area.right() - frame.right();
    int left = roomRight >= size.width() || roomRight >= frame.left() - area.left() ? frame.right() + 1
                                                                                    : frame.left() - size.width();
    left = std::clamp(left, area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    const int top = std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    other->move(left, top);
}

void MainWindow::Quit() {
    if (!m_closing) { // a second Quit while the question is open is the same Quit
        close();
    }
}

MainWindow::~MainWindow() = default;

void MainWindow::ApplyTabOrder() {
    setTabOrder(m_linkBox, m_headerPicture);
    setTabOrder(m_headerPicture, m_footerPicture);
    setTabOrder(m_footerPicture, m_goButton);
    setTabOrder(m_goButton, m_resultsView);
    setTabOrder(m_resultsView, m_linkBox);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_resultsView && event->type() == QEvent::ChildPolished) {
        QTimer::singleShot(0, this, &MainWindow::ApplyTabOrder);
        // A link dropped on the results is the window's to check, never a page the view opens.
        for (QWidget* child : m_resultsView->findChildren<QWidget*>()) {
            child->setAcceptDrops(false);
        }
    } else if (watched == m_linkBox && event->type() == QEvent::KeyPress) {
        const int key = static_cast<const QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Go();
        } else if (key == Qt::Key_Escape) {
            StopGo();
        }
    }
    return QWidget::eventFilter(watched, event);
}

int MainWindow::Scaled(int pixels) const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return static_cast<int>(std::lround(pixels * (s ? s->logicalDotsPerInchX() : 96.0) / 96.0));
}

void MainWindow::Start(bool hidden) {
    m_resultsView->Navigate(QStringLiteral("about:blank"));
    try {
        m_fetcher->SetRequest(CreateConfiguredRequest());
    } catch (const HttpRequestError& e) {
        m_fetcher->SetRequest(nullptr, e.what());
        ReportFailure(tr("The HTTP request object cannot be created."), QString::fromUtf8(e.what()));
    }
    m_clipboardTimer->Start();
    if (const QScreen* s = screen()) {
        move(s->availableGeometry().center() - rect().center());
    }
    m_linkBox->setFocus(Qt::OtherFocusReason);
    if (!hidden) {
        show();
    } else if (DesktopIntegration::NotificationAreaAvailable()) {
        MinimizeToTray();
    } else {
        // At login the panel may come after the program: the window waits minimised till then.
        m_waitingForArea = true;
        showMinimized();
        m_desktop->SetWatchingArea(true);
    }
    // Once the window shows: a long list never delays it.
    QTimer::singleShot(0, this, &MainWindow::OpenDownloadList);
}

void MainWindow::StopGo() {
    if (m_fetcher->Running()) {
        m_autoGo = false;
        m_fetcher->Stop();
        unsetCursor();
        ShowGoFailure(tr("Stopped: %1 was not fetched.").arg(ShownLink()));
    }
}

bool MainWindow::GoRunning() const { return m_fetcher->Running(); }

LinkListDialog* MainWindow::ListDialog() const { return m_listDialog.data(); }

bool MainWindow::WatchingClipboard() const { return m_clipboardTimer->IsActive(); }

void MainWindow::Go() {
    std::string text = m_linkBox->text().toStdString();
    const auto links = FindWatchLinks(text);
    if (links.size() > 1) {
        OpenLinkList(links);
        return;
    }
    // One video's link given more than once, or among other words: the Go is that link's, never
    // one on the whole text.
    constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (links.size() == 1 && first != std::string::npos &&
        text.find_first_of(kWhiteSpace, first) < text.find_last_not_of(kWhiteSpace)) {
        text = links.front();
    }
    const LinkToFetch link = CheckLink(text);
    if (link.kind == LinkToFetch::Kind::Blank) {
        return;
    }
    // A Go of the automatic way goes on to its download: only the view follows the new Go.
    if (std::exchange(m_autoGo, false)) {
        m_fetcher->Detach();
    }
    m_clipGo.reset();
    if (link.kind == LinkToFetch::Kind::Refused) {
        m_fetcher->Stop();
        unsetCursor();
        m_goLink = m_linkBox->text();
        ShowGoFailure(tr("Cannot fetch %1: %2").arg(ShownLink(), tr("only http and https links can be fetched")));
        return;
    }
    if (link.address != m_linkBox->text().toStdString()) {
        m_linkBox->setText(FromUtf8(link.address));
    }
    m_goLink = m_linkBox->text();
    m_fetcher->Start(link.address, m_settings.advertisementPage);
    setCursor(Qt::BusyCursor);
}

void MainWindow::OnFetched(const GoFetched& fetched) {
    unsetCursor();
    const bool autoGo = std::exchange(m_autoGo, false);
    const GoFolders folders{
        m_settings.programFolder.empty() ? std::filesystem::path(QCoreApplication::applicationDirPath().toStdString())
                                         : m_settings.programFolder,
        m_settings.fallbackFolder.empty()
            ? std::filesystem::path(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString())
            : m_settings.fallbackFolder};
    const GoOutcome outcome = WriteGo(fetched, folders);
    if (autoGo) {
        DownloadFetched(m_goLink, fetched, outcome.kind == GoOutcome::Kind::Written ? &outcome.matches : nullptr);
    }
    auto clipGo = std::exchange(m_clipGo, std::nullopt);
    switch (outcome.kind) {
    case GoOutcome::Kind::NotFetched:
        ShowGoFailure(tr("Cannot fetch %1: %2").arg(ShownLink(), FromUtf8(outcome.pageFailure)));
        return;
    case GoOutcome::Kind::NoParameters:
        ShowGoFailure(tr("The page at %1 has no player parameters.").arg(ShownLink()));
        return;
    case GoOutcome::Kind::WriteFailed: {
        // The copied text is asked about again, as it would be had the question not been answered.
        if (clipGo && m_lastClipText == clipGo->first) {
            m_lastClipText = clipGo->second;
            RememberAnswered(m_lastClipText);
            m_clipboardTimer->Start();
        }
        QString reason = FromUtf8(outcome.failure.reason);
        if (outcome.programFolderFailure) {
            reason += QLatin1Char('\n') + tr("The program folder could not be written either: %1 (%2).")
                                              .arg(FromUtf8(outcome.programFolderFailure->path),
                                                   FromUtf8(outcome.programFolderFailure->reason));
        }
        const QString what = outcome.programFolderFailure
                                 ? tr("The results file cannot be written to %1.").arg(FromUtf8(outcome.failure.path))
                                 : tr("The results file %1 cannot be written.").arg(FromUtf8(outcome.failure.path));
        ShowGoFailure(what + QLatin1Char('\n') + reason);
        ReportFailure(what, reason);
        return;
    }
    case GoOutcome::Kind::Written: break;
    }
    m_lastTitle = outcome.title;
    m_lastVideoId = outcome.videoId;
    m_lastPage = m_goLink.toStdString();
    m_lastMatches = outcome.matches;
    m_resultsFile = FromUtf8(outcome.resultsFile.string());
    m_resultsView->Navigate(m_resultsFile);
}

QString MainWindow::ShownLink() const {
    // A copied text may be megabytes long: a message shows its start, as the command line does.
    return FromUtf8(Shown(m_goLink.toStdString()));
}

void MainWindow::ShowGoFailure(const QString& why) {
    // The links of an earlier video must not stay beside a link they do not belong to.
    m_lastMatches.clear();
    m_resultsView->ShowMessage(why);
}

void MainWindow::CheckClipboard() {
    if (m_prefs.clipboard == ClipboardWay::Off || m_ignoreUntilChange || m_clipboard->Ours()) {
        m_clipboardTimer->Stop();
        return;
    }
    const QString text = m_clipboard->Text();
    if (!m_answeredBeforeStart.isEmpty() && AnsweredHash(text) == m_answeredBeforeStart) {
        m_clipboardTimer->Stop();
        return;
    }
    const bool watchedHost = text.contains(QLatin1String(constants::kWatchedHostName), Qt::CaseSensitive);
    const bool notAskedYet = text != m_lastClipText;
    if (!watchedHost || !notAskedYet) {
        m_clipboardTimer->Stop();
        return;
    }
    if (const auto links = FindWatchLinks(text.toStdString()); links.size() > 1) {
        const bool automatic = m_prefs.clipboard == ClipboardWay::Automatic;
        const bool yes = !automatic && AskYesNo(ClipboardPrompt(text, static_cast<int>(links.size())));
        m_lastClipText = text;
        RememberAnswered(text);
        if (automatic) {
            DownloadEach(links);
        } else if (yes) {
            OpenLinkList(links);
        }
        return;
    }
    if (m_prefs.clipboard == ClipboardWay::Automatic) {
        m_lastClipText = text;
        RememberAnswered(text);
        m_linkBox->setText(text);
        Go();
        m_autoGo = true;
        return;
    }
    if (!AskYesNo(ClipboardPrompt(text, 1))) {
        m_lastClipText = text;
        RememberAnswered(text);
        return;
    }
    m_linkBox->setText(text);
    Go();
    m_clipGo.emplace(text, m_lastClipText);
    m_lastClipText = text;
    RememberAnswered(text);
}

void MainWindow::DownloadFetched(const QString& link, const GoFetched& fetched, const std::vector<LinkMatch>* scanned,
                                 bool once) {
    const QString shown = FromUtf8(Shown(link.toStdString()));
    if (fetched.kind == GoFetched::Kind::NotFetched) {
        Notify(tr("Nothing downloaded"), tr("Cannot fetch %1: %2").arg(shown, FromUtf8(fetched.failure)));
        return;
    }
    if (fetched.kind == GoFetched::Kind::NoParameters) {
        Notify(tr("Nothing downloaded"), tr("The page at %1 has no player parameters.").arg(shown));
        return;
    }
    const std::vector<LinkMatch> matches = scanned ? *scanned : ScanStreamEntries(fetched.block);
    // For the sound alone, the stream with the best sound on the page, whatever the quality preferred.
    const auto chosen = ChooseKept(matches, m_prefs.keep, m_prefs.preferredQuality);
    if (!chosen) {
        Notify(tr("Nothing downloaded"), tr("The page at %1 offers no video of a known quality.").arg(shown));
        return;
    }
    const QString folder = DownloadFolder(m_prefs);
    if (const auto problem = FolderProblem(folder)) {
        Notify(tr("Nothing downloaded"), tr("Downloads cannot go to %1: %2").arg(folder, *problem));
        return;
    }
    // Each copied link is its own job: its row carries its own video's title and id.
    const PageStream source{link.toStdString(), fetched.title, fetched.videoId, matches[*chosen]};
    if (once) {
        if (const auto done = m_downloads->DownloadedBefore(source); !done.empty()) {
            const QFileInfo file(QString::fromStdString(done.front().target));
            const QString date =
                QLocale().toString(QDateTime::fromSecsSinceEpoch(done.front().ended).date(), QLocale::ShortFormat);
            Notify(tr("Nothing downloaded"),
                   tr("%1 was downloaded on %2 to %3.")
                       .arg(file.fileName(), date, QDir::toNativeSeparators(file.absolutePath())));
            return;
        }
        if (m_downloads->UnderWay(source)) {
            Notify(tr("Nothing downloaded"), tr("%1 is being downloaded already.").arg(FromUtf8(fetched.title)));
            return;
        }
    }
    const DownloadTarget target = KeptTarget(source, folder.toStdString(), m_prefs.keep);
    const QString name = FromUtf8(target.stem + (target.extension ? "." + *target.extension : ""));
    const int id = m_downloads->Start(source, target, m_prefs.keep);
    EnsureDownloadsWindow()->Track(id);
    Notify(tr("Downloading %1").arg(name), tr("into %1").arg(folder));
}

QString MainWindow::ClipboardPrompt(const QString& text, int videos) {
    QString shown;
    const qsizetype cut = text.size() <= kMostPromptCharacters                   ? text.size()
                          : text.at(kMostPromptCharacters - 1).isHighSurrogate() ? kMostPromptCharacters - 1
                                                                                 : kMostPromptCharacters;
    // A box is as wide as its longest line: in a text cut short, a run without spaces gets places
    // where it may wrap. A text shown whole is shown as it is.
    qsizetype run = 0;
    for (qsizetype i = 0; i < cut; ++i) {
        const QChar c = text.at(i);
        run = c.isSpace() ? 0 : run + 1;
        if (cut < text.size() && run > kMostUnbrokenRun && !c.isLowSurrogate()) {
            shown += QChar(0x200B); // zero-width space
            run = 1;
        }
        shown += c;
    }
    if (cut < text.size()) {
        shown += QStringLiteral("\u2026 ") + tr("(%n more characters)", nullptr, static_cast<int>(text.size() - cut));
    }
    if (videos > 1) {
        return tr("You copied links to Clipvane videos: ") + shown + QStringLiteral("\r\n\r\n") +
               tr("Do you want to download these %n videos?", nullptr, videos);
    }
    return tr("You copied this link to a Clipvane video: ") + shown + QStringLiteral("\r\n\r\n") +
           tr("Do you want to download this video?");
}

void MainWindow::DownloadEach(const std::vector<std::string>& links) {
    if (!m_autoPages) {
        m_autoPages = new PageQueue(LinkListDialog::kPagesAtOnce, this);
        connect(m_autoPages, &PageQueue::Fetched, this, [this](int ticket, const GoFetched& fetched) {
            if (auto link = m_autoLinks.extract(ticket)) {
                DownloadFetched(link.mapped(), fetched, nullptr, true);
            }
        });
    }
    for (const std::string& link : links) {
        m_autoLinks.emplace(m_autoPages->Add(link), FromUtf8(link));
    }
}

void MainWindow::OpenLinkList(const std::vector<std::string>& links) {
    // A list whose downloads were asked for already is done with: the next one is a list of its own.
    if (!m_listDialog || !m_listDialog->Joinable()) {
        m_listDialog = new LinkListDialog(m_prefs, m_downloads, this);
        m_listDialog->setAttribute(Qt::WA_DeleteOnClose);
        m_listDialog->setWindowIcon(windowIcon());
        connect(m_listDialog, &LinkListDialog::Started, this, [this](int id) {
            EnsureDownloadsWindow()->Track(id);
            if (!m_downloadsWindow->isVisible()) {
                PlaceBeside(m_downloadsWindow.get());
                m_downloadsWindow->show();
            }
        });
    }
    m_listDialog->AddLinks(links);
    m_listDialog->show();
    m_listDialog->raise();
    m_listDialog->activateWindow();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Read once as the drag comes in: a link file is not read again at each move.
    m_dropTaken = !DroppedLinks(*event->mimeData()).empty();
    if (m_dropTaken) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (m_dropTaken) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    m_dropTaken = false;
    const std::vector<std::string> links = DroppedLinks(*event->mimeData());
    if (links.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (links.size() > 1) {
        OpenLinkList(links);
        return;
    }
    m_linkBox->setText(FromUtf8(links.front()));
    Go();
}

bool MainWindow::AskYesNo(const QString& prompt) {
    // Owned by the window: closing it while the window is hidden must not end the program.
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(constants::kMessageTitle), prompt,
                    QMessageBox::Yes | QMessageBox::No, this);
    // Blocks only this window, not the notification icon, which must still bring it back.
    box.setWindowModality(Qt::WindowModal);
    box.setDefaultButton(QMessageBox::Yes);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::MinimizeToTray() {
    // Without a notification area there would be no way back to a hidden window: it stays an
    // ordinary minimised window.
    if (m_desktop->IconShown() || !DesktopIntegration::NotificationAreaAvailable()) {
        return;
    }
    hide();
    m_waitingForArea = false;
    m_desktop->SetWatchingArea(true);
    m_desktop->ShowIcon();
}

void MainWindow::RestoreFromTray() {
    m_waitingForArea = false;
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    show();
    raise();
    activateWindow();
    // A question that was open when the window went comes back with it, still to be answered.
    if (QWidget* question = QApplication::activeModalWidget(); question && question->parentWidget() == this) {
        question->showNormal();
        question->raise();
        question->activateWindow();
    }
    m_desktop->SetWatchingArea(false);
    m_desktop->HideIcon();
}

void MainWindow::WatchNotificationArea() {
    // The panel quit or restarts: the icon went with it, and the window would be out of reach.
    const bool available = DesktopIntegration::NotificationAreaAvailable();
    if (m_desktop->IconShown() && !available) {
        RestoreFromTray();
    } else if (m_waitingForArea && available && isMinimized()) {
        MinimizeToTray();
    }
}

void MainWindow::HandOver(const QString& link) {
    RestoreFromTray();
    if (link.isEmpty()) {
        return;
    }
    m_linkBox->setText(link);
    Go();
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        MinimizeToTray();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->ignore();
        return;
    }
    m_closing = true;
    const bool stop = m_downloads->Running() == 0 || AskToStopDownloads();
    m_closing = false;
    if (!stop) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        if (m_downloadsWindow) {
            m_downloadsWindow->close();
        }
        Q_EMIT Closed();
    }
}

bool MainWindow::AskToStopDownloads() {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(constants::kMessageTitle), QString(),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    const auto count = [&] {
        const int n = m_downloads->Running();
        // Without a translation loaded, Qt gives the source text: English has its two forms here.
        box.setText(n == 1 ? tr("%n download is still running. Quit now? It goes on where it stopped the next time "
                                "Veltrin starts.",
                                nullptr, n)
                           : tr("%n downloads are still running. Quit now? They go on where they stopped the next "
                                "time Veltrin starts.",
                                nullptr, n));
    };
    count();
    const auto connection = connect(m_downloads, &Downloads::Changed, &box, count);
    box.button(QMessageBox::Ok)->setText(tr("Quit"));
    box.setDefaultButton(QMessageBox::Cancel);
    const bool quit = box.exec() == QMessageBox::Ok;
    disconnect(connection);
    return quit; // what runs keeps its part; its row says it ran, and the next start continues it
}

void MainWindow::OpenDownloadList() {
    const QString path = m_settings.downloadList.empty() ? DownloadStore::DefaultPath()
                                                         : QString::fromStdString(m_settings.downloadList.string());
    if (const QString problem = m_downloads->OpenList(path); !problem.isEmpty()) {
        auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(constants::kMessageTitle), problem,
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    for (const int id : m_downloads->ContinueLeft()) {
        EnsureDownloadsWindow()->Track(id);
    }
}

void MainWindow::DownloadLink(const QUrl& link) {
    // The row whose address the followed link asks for; a link the page does not list is a video
    // of no known quality.
    PageStream source{
        m_lastPage, m_lastTitle, m_lastVideoId, {link.toString(QUrl::FullyEncoded).toStdString(), nullptr}};
    for (const LinkMatch& candidate : m_lastMatches) {
        if (QUrl(QString::fromStdString(RequestAddress(candidate.entry))) == link) {
            source.stream = candidate;
            break;
        }
    }
    const DownloadTarget plan = PlanStreamDownload(source, {}).target;
    // Where the format code names no container, the server's type will: until it answers the
    // dialog proposes the name without an extension, rather than one that may prove wrong.
    const QString proposedName = QString::fromStdString(plan.stem + (plan.extension ? "." + *plan.extension : ""));
    if (!AskToDownloadAgain(source)) {
        return;
    }
    // The types, one pattern each, and the name each proposes: the sound's has no quality, and
    // the extension it keeps as it is follows the stream's sound.
    const QString videoSuffix = FromUtf8(plan.extension.value_or(std::string()));
    const QString soundSuffix = source.stream.quality && source.stream.quality->sound == SoundCodec::Mp3
                                    ? QStringLiteral("mp3")
                                    : QStringLiteral("m4a");
    const QString soundStem = FromUtf8(DownloadStem(source.title, ""));
    struct Type {
        KeepForm keep;
        QString filter;
        QString name;
        QString suffix;
    };
    const std::array<Type, 3> types{
        Type{KeepForm::Video,
             tr("Video (%1)").arg(videoSuffix.isEmpty() ? QStringLiteral("*") : QStringLiteral("*.") + videoSuffix),
             proposedName, videoSuffix},
        Type{KeepForm::Sound, tr("Sound only, as it is (*.%1)").arg(soundSuffix),
             soundStem + QLatin1Char('.') + soundSuffix, soundSuffix},
        Type{KeepForm::Mp3, tr("Sound only, MP3 (*.mp3)"), soundStem + QStringLiteral(".mp3"), QStringLiteral("mp3")}};

    const std::unique_ptr<QSettings> settings = OpenSettingsStore();
    const QString folder = SaveDialogFolder(*settings);
    const QString proposed = folder + QLatin1Char('/') + proposedName;
    // The dialog asks before a file of the name is replaced; the download replaces it only once whole.
    SaveChoice chosen{QString()};
    if (m_chooseSaveFile) {
        chosen = m_chooseSaveFile(proposed);
    } else {
        QFileDialog dialog(this, tr("Save the video as"), proposed);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        QStringList filters;
        for (const Type& t : types) {
            filters << t.filter;
        }
        dialog.setNameFilters(filters);
        dialog.setDefaultSuffix(videoSuffix);
        QString shown = proposedName; // the name last proposed: one the user typed is left alone
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
            const Type& t = types[static_cast<std::size_t>(std::max<qsizetype>(filters.indexOf(filter), 0))];
            dialog.setDefaultSuffix(t.suffix);
            // A sound never replaces a file (it becomes "... (2)"): no question that says it would.
            dialog.setOption(QFileDialog::DontConfirmOverwrite, t.keep != KeepForm::Video);
            // By the name without its extension, which Qt's own dialog may have changed already.
            const auto stem = [](const QString& name) { return QFileInfo(name).completeBaseName(); };
            const QString now = stem(QFileInfo(dialog.selectedFiles().value(0)).fileName());
            if (now.isEmpty() || now == stem(shown) ||
                std::ranges::any_of(types, [&](const Type& o) { return stem(o.name) == now; })) {
                shown = t.name;
                dialog.selectFile(t.name);
            }
        });
        if (dialog.exec() == QDialog::Accepted) {
            chosen = {
                dialog.selectedFiles().value(0),
                types[static_cast<std::size_t>(std::max<qsizetype>(filters.indexOf(dialog.selectedNameFilter()), 0))]
                    .keep};
        }
    }
    if (chosen.path.isEmpty()) {
        return;
    }
    const Type& type = types[static_cast<std::size_t>(chosen.keep)];
    // The type's own extension: Qt's dialog changes only the first pattern's suffix, and one of
    // another type's is the user's change of mind.
    QFileInfo target(chosen.path);
    const bool otherType = std::ranges::any_of(types, [&](const Type& t) {
        return !t.suffix.isEmpty() && t.suffix != type.suffix &&
               target.suffix().compare(t.suffix, Qt::CaseInsensitive) == 0;
    });
    if (!type.suffix.isEmpty() && (target.suffix().isEmpty() || otherType)) {
        target.setFile(target.dir(),
                       (otherType ? target.completeBaseName() : target.fileName()) + QLatin1Char('.') + type.suffix);
    }
    RememberSaveFolder(*settings, target.absolutePath());
    // The dialog asked before a file of the name is replaced: that name it is, when the download is whole.
    DownloadTarget where{target.absolutePath().toStdString(), target.completeBaseName().toStdString(),
                         target.suffix().toStdString(), true};
    if (chosen.keep == KeepForm::Video && !plan.extension &&
        (target.fileName() == proposedName || target.suffix().isEmpty())) {
        where.stem = target.fileName().toStdString();
        where.extension.reset(); // named by the server's type, which the dialog could not ask about
        where.replace = false;
    }
    const int id = m_downloads->Start(source, where, chosen.keep);
    EnsureDownloadsWindow()->Track(id);
    if (!m_downloadsWindow->isVisible()) {
        PlaceBeside(m_downloadsWindow.get());
    }
    m_downloadsWindow->show();
    m_downloadsWindow->raise();
}

bool MainWindow::AskToDownloadAgain(const PageStream& source) {
    const auto done = m_downloads->DownloadedBefore(source);
    if (done.empty()) {
        return true;
    }
    // Each way it was kept, by its file's name, and when.
    QStringList ways;
    for (const StoredDownload& d : done) {
        const QFileInfo file(QString::fromStdString(d.target));
        const QString date = QLocale().toString(QDateTime::fromSecsSinceEpoch(d.ended).date(), QLocale::ShortFormat);
        ways << tr("%1 was downloaded on %2 to %3.")
                    .arg(file.fileName(), date, QDir::toNativeSeparators(file.absolutePath()));
    }
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(constants::kMessageTitle),
                    ways.join(QLatin1Char('\n')) + (done.size() == 1 ? QLatin1Char(' ') : QLatin1Char('\n')) +
                        tr("Download it again?"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.button(QMessageBox::Ok)->setText(tr("Download again"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void MainWindow::OnDownloadChanged(const DownloadInfo& info) {
    if (info.state != DownloadState::Finished && info.state != DownloadState::Failed) {
        return;
    }
    const QString folder = QString::fromStdString(info.file.parent_path().string());
    if (info.state == DownloadState::Failed && !info.file.empty() && FolderProblem(folder)) {
        ForgetSaveFolder(*OpenSettingsStore(), folder);
    }
    const QString name = QString::fromStdString(info.file.filename().string());
    const QString title = info.state == DownloadState::Finished ? tr("Download finished") : tr("Download failed");
    const QString text = info.state == DownloadState::Finished
                             ? name
                             : (name.isEmpty() ? QString::fromStdString(info.url) : name) + QStringLiteral(": ") +
                                   QString::fromStdString(info.reason);
    Notify(title, text);
}

void MainWindow::Notify(const QString& title, const QString& text) {
    if (!m_desktop->IconShown() && QApplication::activeWindow()) {
        return; // the user sees it happen in a window of the program
    }
    if (m_notify) {
        m_notify(title, text);
    } else {
        m_desktop->Notify(title, text);
    }
}

void MainWindow::ReportFailure(const QString& what, const QString& reason) {
    QMessageBox::critical(this, QString::fromLatin1(constants::kMessageTitle), what + QLatin1Char('\n') + reason);
}

} // namespace veltrin
