#include "platform/widgets.h"

#include "platform/application.h"
#include "platform/qt_support.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <exception>
#include <utility>

namespace platform {

namespace {

// Shows an exception from an event handler and lets the loop go on. The
// handler's exception never travels through the toolkit's own frames.
void Report(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        if (Application* app = Application::Instance())
            app->ShowException(error);
        else
            throw;
    } catch (...) {
        if (Application* app = Application::Instance())
            app->ShowMessageText("Unknown exception");
        else
            throw;
    }
}

// Painted controls (labels, the image control) sit below the push buttons
// of the same window, whatever order they were made in.
void KeepButtonsOnTop(QWidget* parent) {
    if (parent == nullptr) return;
    for (QAbstractButton* button :
         parent->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        button->raise();
    }
}

QWidget* ParentOf(Form& owner) {
    return owner.Native();
}

class FormWidget : public QWidget {
  public:
    FormWidget(QSize client, bool fixedBorder) : client_(client), fixedBorder_(fixedBorder) {}

    Canvas::Impl* surface = nullptr;
    std::function<void()> onClose;
    std::function<void()> onFirstPaint;

  protected:
    // The surface is at least as large as the client area and already holds
    // the background, so it is the only thing painted: the widget does not
    // fill its background first.
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        const QRectF area = event->rect();
        if (surface == nullptr) {
            painter.fillRect(area, ToQColor(ButtonFaceColour()));
            return;
        }
        // The surface holds device pixels; the event speaks window units.
        const qreal ratio = surface->image.devicePixelRatio();
        painter.drawImage(area, surface->image,
                          QRectF(area.topLeft() * ratio, area.size() * ratio));
        if (onFirstPaint) {
            // After this paint has reached the screen, not during it.
            QMetaObject::invokeMethod(this, std::move(onFirstPaint), Qt::QueuedConnection);
            onFirstPaint = nullptr;
        }
    }

    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const QSize now = event->size();
        const bool zoomed = (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) != 0;
        // The border is fixed: only maximising may change the client size.
        // A drag that got through the window manager is undone.
        if (fixedBorder_ && !zoomed && now != client_) {
            resize(client_);
            return;
        }
        Grow(now);
    }

    void closeEvent(QCloseEvent* event) override {
        QWidget::closeEvent(event);
        if (event->isAccepted() && onClose) onClose();
    }

  private:
    // A larger client area gets a larger surface; what was drawn stays at
    // the top left, the new part has the background colour.
    void Grow(QSize now) {
        if (surface == nullptr) return;
        QImage& image = surface->image;
        const qreal ratio = image.devicePixelRatio();
        const QSize device = (QSizeF(now) * ratio).toSize();
        if (device.width() <= image.width() && device.height() <= image.height()) return;
        QImage larger(std::max(device.width(), image.width()),
                      std::max(device.height(), image.height()), QImage::Format_RGB32);
        larger.setDevicePixelRatio(ratio);
        larger.fill(ToQColor(ButtonFaceColour()));
        QPainter painter(&larger);
        painter.drawImage(0, 0, image);
        painter.end();
        image = std::move(larger);
    }

    QSize client_;
    bool fixedBorder_;
};

// The mnemonic clicks at once, as a press of the key does on the window
// system the layout comes from, rather than after the toolkit's 100 ms
// press animation: the handler has run when the key event returns.
class MnemonicButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::Shortcut && isEnabled() && isVisible()) {
            if (focusPolicy() != Qt::NoFocus) setFocus(Qt::ShortcutFocusReason);
            click();
            return true;
        }
        return QPushButton::event(event);
    }
};

class ImageWidget : public QWidget {
  public:
    using QWidget::QWidget;
    Canvas::Impl* picture = nullptr;

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (picture == nullptr || picture->image.isNull()) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(event->rect(), picture->image, event->rect());
    }
};

Font DefaultControlFont() {
    return MakeFont("MS Sans Serif", 11, DEFAULT_CHARSET, WindowTextColour());
}

void ApplyFont(QWidget* widget, const Font& font) {
    widget->setFont(ToQFont(font.record));
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ToQColor(font.colour));
    palette.setColor(QPalette::ButtonText, ToQColor(font.colour));
    widget->setPalette(palette);
}

} // namespace

// ---------------------------------------------------------------- Control

Control::Control(QWidget* widget) : widget_(widget) {
    // The parent may destroy the widget first (a control left alive past its
    // window); then there is nothing left to delete here.
    QObject::connect(widget_, &QObject::destroyed, [this] { widget_ = nullptr; });
}

Control::~Control() {
    QWidget* widget = std::exchange(widget_, nullptr);
    delete widget;
}

int Control::Left() const {
    return widget_->x();
}
int Control::Top() const {
    return widget_->y();
}
int Control::Width() const {
    return widget_->width();
}
int Control::Height() const {
    return widget_->height();
}
void Control::SetLeft(int left) {
    widget_->move(left, widget_->y());
}
void Control::SetTop(int top) {
    widget_->move(widget_->x(), top);
}
void Control::SetWidth(int width) {
    widget_->resize(std::max(width, 0), widget_->height());
}
void Control::SetHeight(int height) {
    widget_->resize(widget_->width(), std::max(height, 0));
}
void Control::SetBounds(int left, int top, int width, int height) {
    widget_->setGeometry(left, top, std::max(width, 0), std::max(height, 0));
}

// ---------------------------------------------------------------- Label

Label::Label(Form& owner) : Control(new QLabel(ParentOf(owner))) {
    auto* label = static_cast<QLabel*>(widget_);
    label->setTextFormat(Qt::PlainText);
    label->setMargin(0);
    label->setIndent(0);
    label->setFocusPolicy(Qt::NoFocus);
    label->setAutoFillBackground(true);
    ApplyFont(label, DefaultControlFont());
    label->adjustSize();
    label->show();
    KeepButtonsOnTop(label->parentWidget());
}

void Label::SetCaption(std::string_view utf8) {
    auto* label = static_cast<QLabel*>(widget_);
    label->setText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    label->adjustSize();
}

std::string Label::Caption() const {
    return static_cast<const QLabel*>(widget_)->text().toStdString();
}

void Label::SetFont(const Font& font) {
    ApplyFont(widget_, font);
    widget_->adjustSize();
}

// ---------------------------------------------------------------- Button

Button::Button(Form& owner) : Control(new MnemonicButton(ParentOf(owner))) {
    auto* button = static_cast<QPushButton*>(widget_);
    button->setAutoDefault(false);
    ApplyFont(button, DefaultControlFont());
    QObject::connect(button, &QAbstractButton::clicked, [this] {
        if (OnClick) Report(OnClick);
    });
    button->show();
    button->raise();
}

void Button::SetCaption(std::string_view utf8) {
    static_cast<QPushButton*>(widget_)->setText(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::string Button::Caption() const {
    return static_cast<const QPushButton*>(widget_)->text().toStdString();
}

void Button::SetFont(const Font& font) {
    ApplyFont(widget_, font);
}

void Button::SetSoleFocus() {
    QWidget* window = widget_->window();
    for (QWidget* other : window->findChildren<QWidget*>()) {
        if (other != widget_) other->setFocusPolicy(Qt::NoFocus);
    }
    widget_->setFocusPolicy(Qt::StrongFocus);
    widget_->setFocus(Qt::OtherFocusReason);
}

void Button::Click() {
    static_cast<QPushButton*>(widget_)->click();
}

// ---------------------------------------------------------------- ImageControl

ImageControl::ImageControl(Form& owner) : Control(new ImageWidget(ParentOf(owner))) {
    widget_->setFocusPolicy(Qt::NoFocus);
    widget_->show();
    KeepButtonsOnTop(widget_->parentWidget());
}

ImageControl::~ImageControl() {
    if (widget_ != nullptr) static_cast<ImageWidget*>(widget_)->picture = nullptr;
}

Canvas& ImageControl::GetCanvas() {
    if (!canvas_) {
        // The picture is made on first use, at the control's size then.
        QImage picture(std::max(Width(), 0), std::max(Height(), 0), QImage::Format_RGB32);
        picture.fill(Qt::white);
        auto impl = std::make_unique<Canvas::Impl>(std::move(picture), DefaultControlFont());
        auto* widget = static_cast<ImageWidget*>(widget_);
        impl->changed = [widget](const QRect& area) { widget->update(area); };
        widget->picture = impl.get();
        canvas_ = std::make_unique<Canvas>(std::move(impl));
        widget->update();
    }
    return *canvas_;
}

bool ImageControl::HasPicture() const {
    return canvas_ != nullptr;
}

// ---------------------------------------------------------------- Form

Form::Form(const FormLayout& layout)
    : Control(new FormWidget(QSize(layout.clientWidth, layout.clientHeight), layout.fixedBorder)) {
    auto* widget = static_cast<FormWidget*>(widget_);
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (layout.maximizeBox) flags |= Qt::WindowMaximizeButtonHint;
    if (layout.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
    widget->setWindowFlags(flags);
    widget->setWindowTitle(QString::fromStdString(layout.caption));

    const QColor face = ToQColor(ButtonFaceColour());
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, face);
    widget->setPalette(palette); // the labels' background comes from here
    widget->setAttribute(Qt::WA_OpaquePaintEvent);

    const QSize client(std::max(layout.clientWidth, 0), std::max(layout.clientHeight, 0));
    widget->resize(client);
    // Not setFixedSize: equal minimum and maximum sizes make window managers
    // drop the maximise box. The minimum keeps the client from shrinking and
    // the widget itself undoes any other change while not maximised.
    if (layout.fixedBorder) widget->setMinimumSize(client);

    // At a higher pixel density the surface has more device pixels per
    // window unit, so text drawn on it is set at the larger size rather than
    // blown up afterwards.
    const qreal ratio = widget->devicePixelRatioF();
    QImage surface((QSizeF(client) * ratio).toSize(), QImage::Format_RGB32);
    surface.setDevicePixelRatio(ratio);
    surface.fill(face);
    auto impl = std::make_unique<Canvas::Impl>(std::move(surface), layout.font);
    impl->changed = [widget](const QRect& area) { widget->update(area); };
    widget->surface = impl.get();
    canvas_ = std::make_unique<Canvas>(std::move(impl));
    widget->setFont(ToQFont(layout.font.record));

    centred_ = layout.centred;
}

Form::~Form() {
    if (widget_ != nullptr) {
        auto* widget = static_cast<FormWidget*>(widget_);
        widget->surface = nullptr;
        widget->onClose = nullptr;
    }
}

Canvas& Form::GetCanvas() {
    return *canvas_;
}

void Form::Show() {
    if (centred_ && !shown_) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            // Centre the whole window, frame included, where the frame is
            // already known.
            widget_->winId();
            QMargins frame;
            if (const QWindow* window = widget_->windowHandle()) frame = window->frameMargins();
            const QSize outer = widget_->size().grownBy(frame);
            const QRect area = screen->availableGeometry();
            const QRect placed = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, outer, area);
            widget_->move(placed.topLeft());
        }
    }
    shown_ = true;
    widget_->show();
    widget_->activateWindow();
}

RgbImage Form::GrabClient() {
    return ToRgbImage(widget_->grab().toImage());
}

void Form::Close() {
    if (widget_ != nullptr) widget_->close();
}

void Form::AfterNextPaint(std::function<void()> then) {
    static_cast<FormWidget*>(widget_)->onFirstPaint = std::move(then);
}

void Form::SetClosedHook(std::function<void()> hook) {
    if (widget_ != nullptr) static_cast<FormWidget*>(widget_)->onClose = std::move(hook);
}

} // namespace platform
