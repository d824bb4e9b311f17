#pragma once

#include "desktop/user_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace veltrin {

// The user's choices: where downloads go, which quality, what the clipboard watcher does and what
// its automatic way keeps, how many downloads run at once over how many connections each and how
// fast, whether the program starts at login, and how it reaches the web. OK keeps them only when
// they can be kept: a folder that downloads cannot go to, an autostart entry that cannot be
// written, or a proxy without a host, is said and the dialog stays.
class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    PreferencesDialog(const UserSettings& settings, QWidget* parent = nullptr);

    // The settings as chosen; the start at login is written by OK itself.
    UserSettings Chosen() const;

    QLineEdit* FolderBox() const { return m_folder; }
    QComboBox* QualityBox() const { return m_quality; }
    QComboBox* ClipboardBox() const { return m_clipboard; }
    QSpinBox* AtOnceBox() const { return m_atOnce; }
    QComboBox* KeepBox() const { return m_keep; }
    QCheckBox* LoginBox() const { return m_login; }
    QSpinBox* ConnectionsBox() const { return m_connections; }
    QCheckBox* LimitBox() const { return m_limitOn; }
    QDoubleSpinBox* LimitRateBox() const { return m_limit; }
    QRadioButton* ProxyButton(ProxyMode mode) const;
    QComboBox* ProxyKindBox() const { return m_proxyKind; }
    QLineEdit* ProxyHostBox() const { return m_proxyHost; }
    QSpinBox* ProxyPortBox() const { return m_proxyPort; }
    QLineEdit* ProxyUserBox() const { return m_proxyUser; }
    QLineEdit* ProxyPasswordBox() const { return m_proxyPassword; }

    void accept() override;

private:
    void ChooseFolder();

    UserSettings m_settings;
    QLineEdit* m_folder;
    QComboBox* m_quality;
    QComboBox* m_clipboard;
    QSpinBox* m_atOnce;
    QComboBox* m_keep;
    QCheckBox* m_login;
    QSpinBox* m_connections;
    QCheckBox* m_limitOn;
    QDoubleSpinBox* m_limit;
    QRadioButton* m_direct;
    QRadioButton* m_system;
    QRadioButton* m_manual;
    QComboBox* m_proxyKind;
    QLineEdit* m_proxyHost;
    QSpinBox* m_proxyPort;
    QLineEdit* m_proxyUser;
    QLineEdit* m_proxyPassword;
};

} // namespace veltrin
