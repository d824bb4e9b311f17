#include "window/frm_main.h"

#include "extract/link.h"
#include "extract/parameters.h"
#include "extract/results_page.h"
#include "extract/stream_entries.h"
#include "net/http_request.h"
#include "net/mod_net.h"
#include "window/constants.h"
#include "window/controls.h"
#include "window/web_browser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

namespace veltrin {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// Positions and sizes in twips, in the order the controls are created.
struct Place {
    int left, top, width, height;
};
constexpr Place kBrowser{120, 3480, 11775, 4815};
constexpr Place kGo{8400, 2400, 3000, 960};
constexpr Place kFooter{0, 8400, 12000, 600};
constexpr Place kHeader{0, -360, 13500, 2595};
constexpr Place kLink{960, 2880, 6975, 390};
constexpr Place kLabel{960, 2520, 4095, 375};
constexpr int kClientWidth = 11970;
constexpr int kClientHeight = 9000;

bool IsNotWritable(const std::error_code& code) {
    return code == std::errc::permission_denied || code == std::errc::read_only_file_system ||
           code == std::errc::operation_not_permitted;
}

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

} // namespace

frmMain::Settings frmMain::DefaultSettings() { return {constants::kAdvertisementPage, {}, {}}; }

frmMain::frmMain(Settings settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_settings(std::move(settings)) {
    setWindowTitle(QString::fromLatin1(constants::kCaption));
    setWindowIcon(QIcon(QStringLiteral(":/veltrin/veltrin.ico")));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setFixedSize(Twips(kClientWidth), Twips(kClientHeight));

    const auto place = [this](QWidget* w, const Place& p, bool sized) {
        w->move(Twips(p.left), Twips(p.top));
        if (sized) {
            w->setFixedSize(Twips(p.width), Twips(p.height));
        }
    };

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(200);

    m_wb1 = new WebBrowser(this);
    m_wb1->setObjectName(QStringLiteral("wb1"));
    place(m_wb1, kBrowser, true);

    // Pictures keep their pixel size; only their places follow the screen's density.
    m_cmdGo = new PictureBox(QStringLiteral(":/veltrin/button.jpg"), this);
    m_cmdGo->setObjectName(QStringLiteral("cmdGo"));
    m_cmdGo->setCursor(Qt::PointingHandCursor);
    place(m_cmdGo, kGo, false);

    m_picFooter = new PictureBox(QStringLiteral(":/veltrin/footer.jpg"), this);
    m_picFooter->setObjectName(QStringLiteral("picFooter"));
    place(m_picFooter, kFooter, false);

    m_picHeader = new PictureBox(QStringLiteral(":/veltrin/header.jpg"), this);
    m_picHeader->setObjectName(QStringLiteral("picHeader"));
    place(m_picHeader, kHeader, false);

    m_txtURL = new TextBox(this);
    m_txtURL->setObjectName(QStringLiteral("txtURL"));
    SetTahoma(m_txtURL, QFont::Normal, QPalette::Text, QColor(64, 64, 64));
    m_txtURL->setText(QString::fromLatin1(constants::kExampleLink));
    m_txtURL->setCursorPosition(0);
    place(m_txtURL, kLink, true);

    m_label1 = new QLabel(tr("Clipvane Link:"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    SetTahoma(m_label1, QFont::Bold, QPalette::WindowText, QColor(0, 0, 128));
    m_label1->setFocusPolicy(Qt::NoFocus);
    place(m_label1, kLabel, true);

    // The header lies under everything else; the link box covers the label's lowest row.
    m_picHeader->lower();
    m_label1->stackUnder(m_txtURL);

    setTabOrder(m_txtURL, m_picHeader);
    setTabOrder(m_picHeader, m_picFooter);
    setTabOrder(m_picFooter, m_cmdGo);
    setTabOrder(m_cmdGo, m_wb1);

    connect(m_cmdGo, &PictureBox::Click, this, &frmMain::cmdGo_Click);
    connect(m_txtURL, &TextBox::KeyPress, this, &frmMain::txtURL_KeyPress);
}

frmMain::~frmMain() = default;

int frmMain::Twips(int twips) const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

void frmMain::Form_Load() {
    m_wb1->Navigate(QStringLiteral("about:blank"));
    try {
        httpURL = modNet::CreateConfiguredRequest();
    } catch (const HttpRequestError& e) {
        ReportFailure(tr("The HTTP request object cannot be created."), QString::fromUtf8(e.what()));
    }
    m_timer1->start();
    if (const QScreen* s = screen()) {
        move(s->availableGeometry().center() - rect().center());
    }
    show();
    m_txtURL->setFocus(Qt::OtherFocusReason);
}

void frmMain::txtURL_KeyPress(int keyAscii) {
    if (keyAscii == 13) {
        cmdGo_Click();
    }
}

void frmMain::cmdGo_Click() {
    const std::string current = m_txtURL->text().toStdString();
    const std::string normalised = NormaliseLink(current);
    if (normalised != current) {
        m_txtURL->setText(FromUtf8(normalised));
    }
    const std::string page = modNet::GetPage(httpURL.get(), m_txtURL->text().toStdString());
    const auto window = FindParameterWindow(page);
    if (!window) {
        return; // no player parameters: nothing changes
    }
    ShowDownloadLinks(DecodeParameters(*window));
}

void frmMain::ShowDownloadLinks(const std::string& block) {
    const std::string advertisement = modNet::GetPage(httpURL.get(), m_settings.advertisementPage);
    const std::string adBlock = advertisement.empty() ? std::string() : AdvertisementBlock(m_settings.advertisementPage);
    const std::string page = ComposeResultsPage(ScanStreamEntries(block), adBlock);

    const std::filesystem::path programFolder = m_settings.programFolder.empty()
                                                    ? std::filesystem::path(QCoreApplication::applicationDirPath().toStdString())
                                                    : m_settings.programFolder;
    std::filesystem::path file = ResultsFilePath(programFolder);
    auto error = WriteResultsFile(file, page);
    if (error && IsNotWritable(error->code)) {
        // A program folder that cannot be written, as after a system-wide install: the page goes
        // to the user's own data folder instead, with the picture its rows show.
        const std::filesystem::path fallback =
            m_settings.fallbackFolder.empty()
                ? std::filesystem::path(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString())
                : m_settings.fallbackFolder;
        QDir().mkpath(FromUtf8(fallback.string()));
        const QString picture = FromUtf8((fallback / std::string(kDownloadPictureName)).string());
        if (!QFile::exists(picture)) {
            QFile::copy(FromUtf8((programFolder / std::string(kDownloadPictureName)).string()), picture);
        }
        file = ResultsFilePath(fallback);
        error = WriteResultsFile(file, page);
    }
    if (error) {
        ReportFailure(tr("The results file %1 cannot be written.").arg(FromUtf8(error->path)),
                      FromUtf8(error->reason));
        return;
    }
    m_resultsFile = FromUtf8(file.string());
    m_wb1->Navigate(m_resultsFile);
}

void frmMain::ReportFailure(const QString& what, const QString& reason) {
    QMessageBox::critical(this, QString::fromLatin1(constants::kMessageTitle), what + QLatin1Char('\n') + reason);
}

} // namespace veltrin
