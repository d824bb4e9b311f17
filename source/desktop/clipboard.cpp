#include "desktop/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace veltrin {

ClipboardText::ClipboardText(QObject* parent) : QObject(parent) {
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        m_changed = true;
        Q_EMIT Changed();
    });
}

QString ClipboardText::Text() {
    if (m_changed) {
        m_changed = false;
        m_text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    }
    return m_text;
}

bool ClipboardText::Ours() const { return QGuiApplication::clipboard()->ownsClipboard(); }

} // namespace veltrin
