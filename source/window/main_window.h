#pragma once

#include "desktop/user_settings.h"
#include "library/download_store.h"

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QActionGroup;
class QDialog;
class QLabel;
class QMenu;
class QTimer;

namespace veltrin {

class Downloads;
class DownloadsWindow;
struct DownloadInfo;
struct LinkMatch;
class ClipboardText;
class GoFetcher;
struct GoFetched;
struct PageStream;
class Picture;
class LinkEdit;
class LinkListDialog;
class PageQueue;
class NonReentrantTimer;
class WebBrowser;
class DesktopIntegration;

// The program's only window.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // What the window works with; the program uses the defaults, tests point them elsewhere.
    struct Settings {
        std::string advertisementPage;
        std::filesystem::path programFolder;  // empty: the folder of the executable
        std::filesystem::path fallbackFolder; // empty: the user's data folder for the program
        std::filesystem::path downloadList;   // empty: DownloadStore::DefaultPath()
    };
    static Settings DefaultSettings();

    explicit MainWindow(Settings settings = DefaultSettings(), QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs the start-up steps and shows the window, centred; hidden, it goes behind its icon at
    // once (or, without a notification area, is minimised until one comes).
    void Start(bool hidden = false);

    // The Go command: its fetches run in the background, and a new Go replaces the one under way.
    // A blank link does nothing, and a link of a scheme other than http and https fails at once.
    void Go();
    bool GoRunning() const;

    // A text of two or more watch links, typed, copied or dropped: the list's dialog, which a
    // second list joins while its "Download all" has not been pressed.
    void OpenLinkList(const std::vector<std::string>& links);
    LinkListDialog* ListDialog() const;

    // A link handed to the program from outside: the window comes back if hidden and runs it as a
    // Yes to the clipboard question does, at once.
    void HandOver(const QString& link);
    // Brings the window back from behind its icon or from minimised, to the front.
    void RestoreFromTray();

    // The menu of the icon and of the window's bare areas.
    QMenu* Menu() const { return m_menu; }
    void ShowDownloads();
    // Closes the window as its close button does: asks first while downloads run.
    void Quit();
    void ShowPreferences();

    // What the user chose; applying writes it to the settings file and takes effect at once.
    const UserSettings& Preferences() const { return m_prefs; }
    void ApplySettings(const UserSettings& settings);
    // The proxy's password from the secret store for the proxy chosen; where no store runs, asked
    // for, and kept until the program ends.
    void FindProxyPassword();

    // Saves a stream that the results page offers, asking where; the downloads window lists it.
    void DownloadLink(const QUrl& link);
    Downloads* DownloadList() const { return m_downloads; }
    DownloadsWindow* DownloadsView() const { return m_downloadsWindow.get(); }

    // What the save dialog gives: the file, empty when cancelled, and the type chosen.
    struct SaveChoice {
        SaveChoice(QString file, KeepForm form = KeepForm::Video) : path(std::move(file)), keep(form) {}
        QString path;
        KeepForm keep;
    };
    // Seams for tests: where to save (given the proposed file of the video) and how to tell the
    // user of what happens while they look elsewhere. A save dialog, and the notification icon's
    // message or the desktop's notification, unless set otherwise.
    void SetSaveChooser(std::function<SaveChoice(const QString& proposed)> chooser) {
        m_chooseSaveFile = std::move(chooser);
    }
    void SetNotifier(std::function<void(const QString& title, const QString& text)> notify) {
        m_notify = std::move(notify);
    }

    // The text of the last question the clipboard watcher asked.
    const QString& LastClipText() const { return m_lastClipText; }
    // Whether the clipboard watcher still ticks: it stops once a tick finds nothing new to act on.
    bool WatchingClipboard() const;
    // The notification-area icon and the desktop's notifications.
    DesktopIntegration* Desktop() const { return m_desktop; }

    // Where the last results file was written.
    const QString& ResultsFile() const { return m_resultsFile; }

    // Control access for tests and the tray layer.
    LinkEdit* LinkBox() const { return m_linkBox; }
    Picture* GoButton() const { return m_goButton; }
    Picture* HeaderPicture() const { return m_headerPicture; }
    Picture* FooterPicture() const { return m_footerPicture; }
    QLabel* LinkLabel() const { return m_linkLabel; }
    WebBrowser* ResultsView() const { return m_resultsView; }

Q_SIGNALS:
    // The user closed the window: the program ends.
    void Closed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A link or a list dropped from a browser or a file manager; what holds no link is refused.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The connections, the speed limit and the proxy of settings, in force for what comes next
    // and for the downloads under way.
    void ApplyNetwork(const UserSettings& settings);
    // Escape in the link box stops the Go under way.
    void StopGo();
    // The clipboard watcher, at every tick of its timer.
    void CheckClipboard();
    // The question's text for a copied text; a long text is shown cut short.
    static QString ClipboardPrompt(const QString& text, int videos);
    // The automatic way with a copied list: each link its own job, a few pages at a time.
    void DownloadEach(const std::vector<std::string>& links);
    void MinimizeToTray();
    // Converts a length in pixels at 96 dots an inch into pixels at this screen's density.
    int Scaled(int pixels) const;
    void OnFetched(const GoFetched& fetched);
    // The automatic way: a copied link's page, fetched, has its preferred stream downloaded. The
    // page's stream entries are scanned once, by the caller that has them already, else here.
    // once: a link of a copied list, which never downloads a stream that is kept or under way.
    void DownloadFetched(const QString& link, const GoFetched& fetched, const std::vector<LinkMatch>* scanned = nullptr,
                         bool once = false);
    void OnClipboardChanged();
    void RememberAnswered(const QString& text);
    // Tells the user where they look: the icon's message while hidden, else the desktop's
    // notification while no window of the program is the active one.
    void Notify(const QString& title, const QString& text);
    DownloadsWindow* EnsureDownloadsWindow();
    // Moves a window of the program to beside this one, on the same screen.
    void PlaceBeside(QWidget* other) const;
    void BuildMenu();
    void ShowGoFailure(const QString& why);
    QString ShownLink() const;
    void ApplyTabOrder();
    void WatchNotificationArea();
    void OnDownloadChanged(const DownloadInfo& info);
    bool AskToStopDownloads();
    void OpenDownloadList();
    // Asks before the same stream is downloaded again while an earlier copy is there.
    bool AskToDownloadAgain(const PageStream& source);
    void ReportFailure(const QString& what, const QString& reason);
    bool AskYesNo(const QString& prompt);

    Settings m_settings;
    QString m_resultsFile;
    QString m_lastClipText;
    DesktopIntegration* m_desktop = nullptr;
    bool m_waitingForArea = false; // started hidden where no notification area was there yet

    UserSettings m_prefs;
    QMenu* m_menu = nullptr;
    QDialog* m_preferences = nullptr; // while open
    QActionGroup* m_ways = nullptr;
    bool m_closing = false; // the question on closing is open
    // The clipboard's text is not acted on until the desktop reports a change: one answered in an
    // earlier run (its hash), or one copied while the clipboard was not watched.
    QByteArray m_answeredBeforeStart;
    bool m_ignoreUntilChange = false;
    bool m_autoGo = false; // the Go under way came from the automatic way

    GoFetcher* m_fetcher = nullptr;
    QString m_goLink; // the link of the Go under way
    // The clipboard text that the Go under way was answered Yes for, and the text remembered
    // before it, which comes back if that Go fails.
    std::optional<std::pair<QString, QString>> m_clipGo;

    // What the last results page offers, for naming its downloads.
    std::string m_lastTitle;
    std::string m_lastVideoId;
    std::string m_lastPage; // the watch page the results show
    std::vector<LinkMatch> m_lastMatches;
    Downloads* m_downloads = nullptr;
    std::unique_ptr<DownloadsWindow> m_downloadsWindow;
    std::function<SaveChoice(const QString&)> m_chooseSaveFile;
    std::function<void(const QString&, const QString&)> m_notify;
    ClipboardText* m_clipboard = nullptr;
    QPointer<LinkListDialog> m_listDialog;
    PageQueue* m_autoPages = nullptr;
    std::map<int, QString> m_autoLinks; // the link of each page the automatic way waits for
    bool m_dropTaken = false;           // the drag over the window holds a link

    NonReentrantTimer* m_clipboardTimer = nullptr;
    WebBrowser* m_resultsView = nullptr;
    Picture* m_goButton = nullptr;
    Picture* m_footerPicture = nullptr;
    Picture* m_headerPicture = nullptr;
    LinkEdit* m_linkBox = nullptr;
    QLabel* m_linkLabel = nullptr;
};

} // namespace veltrin
