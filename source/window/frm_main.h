#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QTimer;

namespace veltrin {

class Downloads;
class DownloadsWindow;
struct DownloadInfo;
struct LinkMatch;
class ClipboardText;
class GoFetcher;
struct GoFetched;
class PictureBox;
class TextBox;
class Timer;
class WebBrowser;
namespace shell {
class NotifyIcon;
}

// The program's only window.
class frmMain : public QWidget {
    Q_OBJECT
public:
    // What the window works with; the program uses the defaults, tests point them elsewhere.
    struct Settings {
        std::string advertisementPage;
        std::filesystem::path programFolder;  // empty: the folder of the executable
        std::filesystem::path fallbackFolder; // empty: the user's data folder for the program
    };
    static Settings DefaultSettings();

    explicit frmMain(Settings settings = DefaultSettings(), QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs the start-up steps and shows the window, centred.
    void Form_Load();

    // The Go command: its fetches run in the background, and a new Go replaces the one under way.
    void cmdGo_Click();
    bool GoRunning() const;

    // A link handed to the program from outside: the window comes back if hidden and runs it as a
    // Yes to the clipboard question does, at once.
    void HandOver(const QString& link);

    // Saves a stream that the results page offers, asking where; the downloads window lists it.
    void DownloadLink(const QUrl& link);
    Downloads* DownloadList() const { return m_downloads; }
    DownloadsWindow* DownloadsView() const { return m_downloadsWindow.get(); }

    // Seams for tests: where to save (given the proposed file; empty cancels) and how to tell the
    // user of a download's end while the window is hidden. A save dialog and the notification
    // icon's message unless set otherwise.
    void SetSaveChooser(std::function<QString(const QString& proposed)> chooser) {
        m_chooseSaveFile = std::move(chooser);
    }
    void SetNotifier(std::function<void(const QString& title, const QString& text)> notify) {
        m_notify = std::move(notify);
    }

    // The text of the last question the clipboard watcher asked.
    const QString& LastClipText() const { return lastClipText; }

    // Where the last results file was written.
    const QString& ResultsFile() const { return m_resultsFile; }

    // Control access for tests and the tray layer.
    TextBox* txtURL() const { return m_txtURL; }
    PictureBox* cmdGo() const { return m_cmdGo; }
    PictureBox* picHeader() const { return m_picHeader; }
    PictureBox* picFooter() const { return m_picFooter; }
    QLabel* Label1() const { return m_label1; }
    WebBrowser* wb1() const { return m_wb1; }

Q_SIGNALS:
    // The user closed the window: the program ends.
    void Closed();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void txtURL_KeyPress(int keyAscii);
    // The clipboard watcher, at every tick of Timer1.
    void Timer1_Timer();
    // The question's text for a copied text; a long text is shown cut short.
    static QString ClipboardPrompt(const QString& text);
    // The notification-area icon.
    void Form_Resize();
    void MinimizeToTray();
    void Form_MouseMove(int button, int shift, double x, double y);
    // Converts a length in twips into pixels at this screen's density.
    int Twips(int twips) const;
    double TwipsPerPixelX() const;
    void OnFetched(const GoFetched& fetched);
    void ShowGoFailure(const QString& why);
    QString ShownLink() const;
    void ApplyTabOrder();
    void RestoreFromTray();
    void WatchNotificationArea();
    void OnDownloadChanged(const DownloadInfo& info);
    bool AskToStopDownloads();
    void ReportFailure(const QString& what, const QString& reason);
    bool AskYesNo(const QString& prompt);

    Settings m_settings;
    QString m_resultsFile;
    QString lastClipText;
    std::unique_ptr<shell::NotifyIcon> m_trayIcon;
    bool m_iconShown = false;
    QTimer* m_areaWatch = nullptr;

    GoFetcher* m_fetcher = nullptr;
    QString m_goLink; // the link of the Go under way
    // The clipboard text that the Go under way was answered Yes for, and the text remembered
    // before it, which comes back if that Go fails.
    std::optional<std::pair<QString, QString>> m_clipGo;

    // What the last results page offers, for naming its downloads.
    std::string m_lastTitle;
    std::vector<LinkMatch> m_lastMatches;
    Downloads* m_downloads = nullptr;
    std::unique_ptr<DownloadsWindow> m_downloadsWindow;
    std::function<QString(const QString&)> m_chooseSaveFile;
    std::function<void(const QString&, const QString&)> m_notify;
    ClipboardText* m_clipboard = nullptr;

    Timer* m_timer1 = nullptr;
    WebBrowser* m_wb1 = nullptr;
    PictureBox* m_cmdGo = nullptr;
    PictureBox* m_picFooter = nullptr;
    PictureBox* m_picHeader = nullptr;
    TextBox* m_txtURL = nullptr;
    QLabel* m_label1 = nullptr;
};

} // namespace veltrin
