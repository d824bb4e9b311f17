#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace veltrin {

// A picture: shown at its own pixel size, it takes the focus like a control.
// It has no pressed, hover or focus look, and reports only a completed mouse click. One made as a
// button is a push button to assistive technologies too, whose press action is a click.
class Picture : public QLabel {
    Q_OBJECT
public:
    explicit Picture(const QString& resource, QWidget* parent = nullptr, bool button = false);
    bool IsButton() const { return m_button; }

Q_SIGNALS:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The Menu key and Shift+F10 ask for a context menu, as on any control with the focus.
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_pressed = false;
    bool m_button;
};

// The single-line link box. Like the desktop's own text boxes, its caret stops blinking after a
// while without input: a blinking caret repaints the window twice a second for as long as it sits
// there.
class LinkEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit LinkEdit(QWidget* parent = nullptr);
    // The caret's flash time is the whole application's: it goes back to the desktop's.
    ~LinkEdit() override;

    static constexpr int kBlinkTimeoutMs = 10000;
    static constexpr qsizetype kLongText = 10000;
    void SetBlinkTimeout(int ms) { m_blinkTimeout.setInterval(ms); }
    bool CaretBlinks() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void Wake();

    QTimer m_blinkTimeout;
    int m_desktopFlashTime;
};

// A timer whose tick is not delivered while the handler of an earlier one is still running, as
// when that handler waits in a modal box, whose own event loop would deliver further ticks.
class NonReentrantTimer : public QObject {
    Q_OBJECT
public:
    NonReentrantTimer(int intervalMs, QObject* parent);

    // Starts ticking; a timer that ticks already keeps its rhythm.
    void Start() {
        if (!m_timer.isActive()) {
            m_timer.start();
        }
    }
    void Stop() { m_timer.stop(); }
    bool IsActive() const { return m_timer.isActive(); }

Q_SIGNALS:
    void Tick();

private:
    void OnTimeout();

    QTimer m_timer;
    bool m_inHandler = false;
};

} // namespace veltrin
