#include "window/preferences_dialog.h"

#include "core/stream_entries.h"
#include "window/constants.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

namespace veltrin {

PreferencesDialog::PreferencesDialog(const UserSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_folder(new QLineEdit(this)), m_quality(new QComboBox(this)),
      m_clipboard(new QComboBox(this)), m_atOnce(new QSpinBox(this)), m_keep(new QComboBox(this)),
      m_login(new QCheckBox(tr("Start Veltrin when I log in"), this)) {
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

    auto* form = new QFormLayout;
    // A row of a layout gets no buddy of its own: the label names the folder box.
    auto* folderLabel = new QLabel(tr("Download folder:"), this);
    folderLabel->setBuddy(m_folder);
    form->addRow(folderLabel, folderRow);
    form->addRow(tr("Preferred quality:"), m_quality);
    form->addRow(tr("Copied links:"), m_clipboard);
    form->addRow(tr("Keep:"), m_keep);
    form->addRow(tr("Downloads at once:"), m_atOnce);
    form->addRow(m_login);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
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
