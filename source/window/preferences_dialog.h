#pragma once

#include "desktop/user_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace veltrin {

// The user's choices: where downloads go, which quality, what the clipboard watcher does and what
// its automatic way keeps, how many downloads run at once, and whether the program starts at login. OK keeps them only
// when they can be kept: a folder that downloads cannot go to, or an autostart entry that cannot be written, is said
// and the dialog stays.
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
};

} // namespace veltrin
