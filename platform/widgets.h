#pragma once
// Window, labels, push button and image control. The native widgets stay
// behind this header; Native() hands them to tests and to the platform itself.
#include "platform/canvas.h"
#include "platform/gdi.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QWidget;

namespace platform {

class Form;

class Control {
  public:
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int left);
    void SetTop(int top);
    void SetWidth(int width);
    void SetHeight(int height);
    void SetBounds(int left, int top, int width, int height);

    QWidget* Native() const { return widget_; }

  protected:
    explicit Control(QWidget* widget);
    QWidget* widget_;
};

// Sizes itself to its text whenever the text is set.
class Label : public Control {
  public:
    explicit Label(Form& owner);
    void SetCaption(std::string_view utf8);
    std::string Caption() const;
    void SetFont(const Font& font);
};

// "&" in the caption marks the keyboard mnemonic.
class Button : public Control {
  public:
    explicit Button(Form& owner);
    void SetCaption(std::string_view utf8);
    std::string Caption() const;
    void SetFont(const Font& font);
    // Makes this the first control in the tab order and the only one that
    // takes keyboard focus.
    void SetSoleFocus();
    // The click handler; also reached through the mnemonic.
    std::function<void()> OnClick;
    // Raises the click event as a user's click would.
    void Click();
};

// Paints its own picture unscaled at its top-left corner. The picture is
// created at the control's current size on the first access to its canvas.
class ImageControl : public Control {
  public:
    explicit ImageControl(Form& owner);
    ~ImageControl() override;
    Canvas& GetCanvas();
    bool HasPicture() const;

  private:
    std::unique_ptr<Canvas> canvas_;
};

struct FormLayout {
    std::string caption;
    int clientWidth = 0;
    int clientHeight = 0;
    bool fixedBorder = true; // single border, not resizable by dragging
    bool maximizeBox = true;
    bool minimizeBox = false;
    bool centred = true; // first placement centred on the desktop
    Font font;           // the window's own font, used by its canvas
};

// A top-level window with a retained client-sized drawing surface filled with
// the button-face colour; the surface is repainted from, so what is drawn on
// it survives any repaint.
class Form : public Control {
  public:
    explicit Form(const FormLayout& layout);
    ~Form() override;

    Canvas& GetCanvas();
    // The creation event, raised by Application::CreateForm once the window
    // and all its controls exist.
    std::function<void()> OnCreate;

    void Show();
    // The client area as the user would see it now, child controls included.
    RgbImage GrabClient();
    // Closes the window as its close box would; closing the main form ends
    // the application's loop.
    void Close();
    // Runs `then` once, from the event loop, after the window's next paint.
    void AfterNextPaint(std::function<void()> then);

  private:
    friend class Application;
    // Called after the window has been closed; the application ends its
    // loop when the main form closes.
    void SetClosedHook(std::function<void()> hook);

    std::unique_ptr<Canvas> canvas_;
    bool centred_ = true;
    bool shown_ = false;
};

} // namespace platform
