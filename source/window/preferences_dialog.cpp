#include "window/preferences_dialog.h"

#include "core/stream_entries.h"
#include "window/constants.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

namespace veltrin {

namespace {

// The limit is told in MB a second, 1024 x 1024 bytes, as --limit-rate's M.
constexpr double kMegabyte = 1024.0 * 1024.0;

} // namespace

PreferencesDialog::PreferencesDialog(const UserSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_folder(new QLineEdit(this)), m_quality(new QComboBox(this)),
      m_clipboard(new QComboBox(this)), m_atOnce(new QSpinBox(this)), m_keep(new QComboBox(this)),
      m_login(new QCheckBox(tr("Start Veltrin when I log in"), this)), m_connections(new QSpinBox(this)),
      m_limitOn(new QCheckBox(tr("Limit downloads to"), this)), m_limit(new QDoubleSpinBox(this)),
      m_direct(new QRadioButton(tr("Direct"), this)),
      m_system(new QRadioButton(tr("Use the system's proxy settings"), this)),
      m_manual(new QRadioButton(tr("Use this proxy:"), this)), m_proxyKind(new QComboBox(this)),
      m_proxyHost(new QLineEdit(this)), m_proxyPort(new QSpinBox(this)), m_proxyUser(new QLineEdit(this)),
      m_proxyPassword(new QLineEdit(this)) {
    setWindowTitle(tr("Veltrin Preferences"));

    m_folder->setText(QDir::toNativeSeparators(DownloadFolder(settings)));
    // Wide enough for a usual path to show whole.
    m_folder->setMinimumWidth(m_folder->fontMetrics().averageCharWidth() * 36);
    auto* browse = new QPushButton(tr("Choose\u2026"), this);
    browse->setAccessibleDescription(tr("Chooses the download folder in a dialog"));
    connect(browse, &QPushButton::clicked, this, &PreferencesDialog::ChooseFolder);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);

    m_quality->addItem(tr("The best on the page"), -1);
    for (std::size_t row = 0; row < QualityTable.size(); ++row) {
        m_quality->addItem(
            QString::fromLatin1(QualityTable[row].label.data(), static_cast<qsizetype>(QualityTable[row].label.size())),
            static_cast<int>(row));
    }
    m_quality->setCurrentIndex(m_quality->findData(settings.preferredQuality));

    m_clipboard->addItem(tr("Ask before downloading"), static_cast<int>(ClipboardWay::Ask));
    m_clipboard->addItem(tr("Download automatically"), static_cast<int>(ClipboardWay::Automatic));
    m_clipboard->addItem(tr("Don't watch the clipboard"), static_cast<int>(ClipboardWay::Off));
    m_clipboard->setCurrentIndex(m_clipboard->findData(static_cast<int>(settings.clipboard)));

    m_keep->addItem(tr("the video"), static_cast<int>(KeepForm::Video));
    m_keep->addItem(tr("the sound only"), static_cast<int>(KeepForm::Sound));
    m_keep->addItem(tr("the sound as MP3"), static_cast<int>(KeepForm::Mp3));
    m_keep->setCurrentIndex(m_keep->findData(static_cast<int>(settings.keep)));
    m_keep->setAccessibleDescription(tr("What downloading automatically keeps"));
    // Only the automatic way keeps what this says: the save dialog asks each time.
    const auto automatic = [this] {
        m_keep->setEnabled(m_clipboard->currentData().toInt() == static_cast<int>(ClipboardWay::Automatic));
    };
    connect(m_clipboard, &QComboBox::currentIndexChanged, this, automatic);
    automatic();

    m_atOnce->setRange(UserSettings::kFewestAtOnce, UserSettings::kMostAtOnce);
    m_atOnce->setValue(settings.atOnce);
    m_login->setChecked(AutostartEnabled());

    m_connections->setRange(UserSettings::kFewestConnections, UserSettings::kMostConnections);
    m_connections->setValue(settings.connections);
    m_limit->setRange(0.1, 10000);
    m_limit->setDecimals(1);
    m_limit->setSuffix(tr(" MB/s"));
    m_limit->setAccessibleName(tr("Speed limit"));
    m_limitOn->setChecked(settings.speedLimit > 0);
    m_limit->setValue(settings.speedLimit > 0 ? static_cast<double>(settings.speedLimit) / kMegabyte : 5);
    connect(m_limitOn, &QCheckBox::toggled, m_limit, &QWidget::setEnabled);
    m_limit->setEnabled(m_limitOn->isChecked());
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(m_limitOn);
    limitRow->addWidget(m_limit, 1);

    const ProxyChoice& proxy = settings.proxy;
    m_proxyKind->addItem(QStringLiteral("HTTP"), static_cast<int>(ProxyScheme::Http));
    m_proxyKind->addItem(QStringLiteral("HTTPS"), static_cast<int>(ProxyScheme::Https));
    m_proxyKind->addItem(QStringLiteral("SOCKS5"), static_cast<int>(ProxyScheme::Socks5h));
    m_proxyKind->setCurrentIndex(std::max(0, m_proxyKind->findData(static_cast<int>(proxy.scheme))));
    m_proxyKind->setAccessibleName(tr("Proxy kind"));
    m_proxyHost->setText(QString::fromStdString(proxy.host));
    m_proxyHost->setPlaceholderText(tr("host"));
    m_proxyHost->setAccessibleName(tr("Proxy host"));
    m_proxyPort->setRange(1, 65535);
    m_proxyPort->setValue(proxy.port > 0 ? proxy.port : 3128);
    m_proxyPort->setAccessibleName(tr("Proxy port"));
    m_proxyUser->setText(QString::fromStdString(proxy.user));
    m_proxyUser->setPlaceholderText(tr("none"));
    m_proxyPassword->setEchoMode(QLineEdit::Password);
    m_proxyPassword->setText(QString::fromStdString(proxy.password));
    (proxy.mode == ProxyMode::Manual   ? m_manual
     : proxy.mode == ProxyMode::System ? m_system
                                       : m_direct)
        ->setChecked(true);
    const auto byHand = [this] {
        for (QWidget* w :
             std::initializer_list<QWidget*>{m_proxyKind, m_proxyHost, m_proxyPort, m_proxyUser, m_proxyPassword}) {
            w->setEnabled(m_manual->isChecked());
        }
    };
    connect(m_manual, &QRadioButton::toggled, this, byHand);
    byHand();
    auto* proxyRow = new QHBoxLayout;
    proxyRow->addWidget(m_proxyKind);
    proxyRow->addWidget(m_proxyHost, 1);
    proxyRow->addWidget(new QLabel(tr("Port:"), this));
    proxyRow->addWidget(m_proxyPort);
    auto* proxyForm = new QFormLayout;
    proxyForm->addRow(tr("User:"), m_proxyUser);
    proxyForm->addRow(tr("Password:"), m_proxyPassword);
    auto* connection = new QGroupBox(tr("Connection"), this);
    auto* connectionLayout = new QVBoxLayout(connection);
    connectionLayout->addWidget(m_direct);
    connectionLayout->addWidget(m_system);
    connectionLayout->addWidget(m_manual);
    connectionLayout->addLayout(proxyRow);
    connectionLayout->addLayout(proxyForm);

    auto* form = new QFormLayout;
    // A row of a layout gets no buddy of its own: the label names the folder box.
    auto* folderLabel = new QLabel(tr("Download folder:"), this);
    folderLabel->setBuddy(m_folder);
    form->addRow(folderLabel, folderRow);
    form->addRow(tr("Preferred quality:"), m_quality);
    form->addRow(tr("Copied links:"), m_clipboard);
    form->addRow(tr("Keep:"), m_keep);
    form->addRow(tr("Downloads at once:"), m_atOnce);
    form->addRow(tr("Connections for each download:"), m_connections);
    form->addRow(limitRow);
    form->addRow(m_login);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(connection);
    layout->addWidget(buttons);
}

QRadioButton* PreferencesDialog::ProxyButton(ProxyMode mode) const {
    return mode == ProxyMode::Manual ? m_manual : mode == ProxyMode::System ? m_system : m_direct;
}

void PreferencesDialog::ChooseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Download folder"), m_folder->text());
    if (!folder.isEmpty()) {
        m_folder->setText(QDir::toNativeSeparators(folder));
    }
}

UserSettings PreferencesDialog::Chosen() const {
    UserSettings chosen = m_settings;
    const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(m_folder->text().trimmed()));
    // The desktop's own folder is kept as no choice, so that it follows the desktop.
    chosen.downloadFolder = folder.isEmpty() || folder == QDir::cleanPath(DesktopDownloadFolder()) ? QString() : folder;
    chosen.preferredQuality = m_quality->currentData().toInt();
    chosen.clipboard = static_cast<ClipboardWay>(m_clipboard->currentData().toInt());
    chosen.atOnce = m_atOnce->value();
    chosen.keep = static_cast<KeepForm>(m_keep->currentData().toInt());
    chosen.connections = m_connections->value();
    chosen.speedLimit = m_limitOn->isChecked() ? static_cast<std::int64_t>(m_limit->value() * kMegabyte) : 0;
    ProxyChoice& proxy = chosen.proxy;
    proxy.mode = m_manual->isChecked()   ? ProxyMode::Manual
                 : m_system->isChecked() ? ProxyMode::System
                                         : ProxyMode::Direct;
    proxy.scheme = static_cast<ProxyScheme>(m_proxyKind->currentData().toInt());
    // An IPv6 address may come in the brackets of an address.
    QString host = m_proxyHost->text().trimmed();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    proxy.host = host.toStdString();
    proxy.port = m_proxyPort->value();
    proxy.user = m_proxyUser->text().trimmed().toStdString();
    proxy.password = proxy.user.empty() ? std::string() : m_proxyPassword->text().toStdString();
    return chosen;
}

void PreferencesDialog::accept() {
    const UserSettings chosen = Chosen();
    const QString folder = DownloadFolder(chosen);
    const QString title = QString::fromLatin1(constants::kMessageTitle);
    if (!QDir::isAbsolutePath(folder)) {
        QMessageBox::warning(this, title,
                             tr("The download folder must be a full path, such as %1.")
                                 .arg(QDir::toNativeSeparators(DesktopDownloadFolder())));
        return;
    }
    if (const auto problem = FolderProblem(folder)) {
        QMessageBox::warning(this, title, tr("Downloads cannot go to that folder: %1").arg(*problem));
        return;
    }
    const std::string& host = chosen.proxy.host;
    if (chosen.proxy.mode == ProxyMode::Manual &&
        (host.empty() || host.find_first_of(" /@?#[]") != std::string::npos)) {
        QMessageBox::warning(this, title,
                             tr("The proxy needs a host: a name such as proxy.example.org, or an address."));
        m_proxyHost->setFocus();
        return;
    }
    if (m_login->isChecked() != AutostartEnabled()) {
        if (const auto failure = SetAutostart(m_login->isChecked())) {
            m_login->setChecked(AutostartEnabled());
            QMessageBox::warning(this, title, *failure);
            return;
        }
    }
    QDialog::accept();
}

} // namespace veltrin
