#include "window/controls.h"

#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleHints>

#include <limits>

namespace veltrin {

namespace {

// Qt's own interface for a label with a picture says "image" and offers no action.
class AccessiblePictureButton : public QAccessibleWidget {
public:
    explicit AccessiblePictureButton(Picture* box) : QAccessibleWidget(box, QAccessible::Button) {}

    QStringList actionNames() const override { return QStringList(pressAction()) + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override {
        if (name == pressAction()) {
            Q_EMIT static_cast<Picture*>(widget())->Click();
        } else {
            QAccessibleWidget::doAction(name);
        }
    }
};

QAccessibleInterface* PictureButtonFactory(const QString& className, QObject* object) {
    const auto* box = qobject_cast<Picture*>(object);
    return className == QLatin1String(Picture::staticMetaObject.className()) && box && box->IsButton()
               ? new AccessiblePictureButton(static_cast<Picture*>(object))
               : nullptr;
}

} // namespace

Picture::Picture(const QString& resource, QWidget* parent, bool button) : QLabel(parent), m_button(button) {
    static const bool installed = (QAccessible::installFactory(PictureButtonFactory), true);
    static_cast<void>(installed);
    const QPixmap picture(resource);
    setPixmap(picture);
    setFixedSize(picture.deviceIndependentSize().toSize());
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
}

void Picture::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void Picture::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        const QPoint centre = rect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, centre, mapToGlobal(centre), event->modifiers());
        QCoreApplication::sendEvent(this, &menu);
        return;
    }
    QLabel::keyPressEvent(event);
}

void Picture::mouseReleaseEvent(QMouseEvent* event) {
    const bool clicked = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (clicked) {
        Q_EMIT Click();
    }
}

LinkEdit::LinkEdit(QWidget* parent)
    : QLineEdit(parent), m_desktopFlashTime(QGuiApplication::styleHints()->cursorFlashTime()) {
    // A link box has no length limit of its own; Qt's default would cut at 32767 characters.
    setMaxLength(std::numeric_limits<int>::max());
    // A link needs no glyph shaping, and without it a pasted text of megabytes lays out and
    // paints in half the time.
    QFont plain = font();
    plain.setStyleStrategy(QFont::PreferNoShaping);
    setFont(plain);
    // Each paint of such a text takes a noticeable moment: it does not blink.
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (text().size() > kLongText) {
            m_blinkTimeout.stop();
            QGuiApplication::styleHints()->setCursorFlashTime(0);
        }
    });
    m_blinkTimeout.setSingleShot(true);
    m_blinkTimeout.setInterval(kBlinkTimeoutMs);
    // Line edits follow the flash time as it changes; 0 leaves the caret on without blinking.
    connect(&m_blinkTimeout, &QTimer::timeout, this, [] { QGuiApplication::styleHints()->setCursorFlashTime(0); });
}

LinkEdit::~LinkEdit() { QGuiApplication::styleHints()->setCursorFlashTime(m_desktopFlashTime); }

bool LinkEdit::CaretBlinks() const { return QGuiApplication::styleHints()->cursorFlashTime() > 0; }

void LinkEdit::Wake() {
    if (text().size() > kLongText) {
        return;
    }
    if (QGuiApplication::styleHints()->cursorFlashTime() != m_desktopFlashTime) {
        QGuiApplication::styleHints()->setCursorFlashTime(m_desktopFlashTime);
    }
    m_blinkTimeout.start();
}

void LinkEdit::mousePressEvent(QMouseEvent* event) {
    Wake();
    QLineEdit::mousePressEvent(event);
}

void LinkEdit::focusInEvent(QFocusEvent* event) {
    Wake();
    QLineEdit::focusInEvent(event);
}

void LinkEdit::keyPressEvent(QKeyEvent* event) {
    Wake();
    QLineEdit::keyPressEvent(event);
}

NonReentrantTimer::NonReentrantTimer(int intervalMs, QObject* parent) : QObject(parent) {
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &NonReentrantTimer::OnTimeout);
}

void NonReentrantTimer::OnTimeout() {
    if (m_inHandler) {
        return;
    }
    m_inHandler = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_inHandler};
    Q_EMIT Tick();
}

} // namespace veltrin
