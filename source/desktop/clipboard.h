#pragma once

#include <QObject>
#include <QString>

namespace veltrin {

// The clipboard's plain text. On X11 a read waits for the program that owns the clipboard, for
// seconds when that program hangs, so the text is read anew only after the desktop has reported
// a change, and otherwise the last text read is given again. The X11 primary selection is not
// the clipboard and is never read.
class ClipboardText : public QObject {
    Q_OBJECT
public:
    explicit ClipboardText(QObject* parent = nullptr);

    // Empty when the clipboard holds no text.
    QString Text();
    // Whether this program put the text there, as the results page's "Copy link address" does.
    bool Ours() const;

Q_SIGNALS:
    // The desktop reported a change of the clipboard.
    void Changed();

private:
    bool m_changed = true;
    QString m_text;
};

} // namespace veltrin
