#pragma once

#include <QString>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <string>

class QLabel;
class QTimer;

namespace veltrin {

class HttpRequest;
class PictureBox;
class TextBox;
class WebBrowser;

// The program's only window.
class frmMain : public QWidget {
    Q_OBJECT
public:
    // What the window works with; the program uses the defaults, tests point them elsewhere.
    struct Settings {
        std::string advertisementPage;
        std::filesystem::path programFolder;    // empty: the folder of the executable
        std::filesystem::path fallbackFolder;   // empty: the user's data folder for the program
    };
    static Settings DefaultSettings();

    explicit frmMain(Settings settings = DefaultSettings(), QWidget* parent = nullptr);
    ~frmMain() override;

    // Runs the start-up steps and shows the window, centred.
    void Form_Load();

    // The Go command.
    void cmdGo_Click();
    void txtURL_KeyPress(int keyAscii);

    std::unique_ptr<HttpRequest> httpURL;

    // Where the last results file was written.
    const QString& ResultsFile() const { return m_resultsFile; }

    // Control access for tests and the tray layer.
    TextBox* txtURL() const { return m_txtURL; }
    PictureBox* cmdGo() const { return m_cmdGo; }
    PictureBox* picHeader() const { return m_picHeader; }
    PictureBox* picFooter() const { return m_picFooter; }
    QLabel* Label1() const { return m_label1; }
    WebBrowser* wb1() const { return m_wb1; }
    QTimer* Timer1() const { return m_timer1; }

    // Converts a length in twips into pixels at this screen's density.
    int Twips(int twips) const;

private:
    void ShowDownloadLinks(const std::string& block);
    void ReportFailure(const QString& what, const QString& reason);

    Settings m_settings;
    QString m_resultsFile;

    QTimer* m_timer1 = nullptr;
    WebBrowser* m_wb1 = nullptr;
    PictureBox* m_cmdGo = nullptr;
    PictureBox* m_picFooter = nullptr;
    PictureBox* m_picHeader = nullptr;
    TextBox* m_txtURL = nullptr;
    QLabel* m_label1 = nullptr;
};

} // namespace veltrin
