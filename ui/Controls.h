// The control set of the main window: form, label, pick-only combo box, push
// button, append-only memo, two-panel status bar, a graphic control that
// shows a bitmap, and the modal message box.
//
// The classes here hold the whole state of each control. A backend shows
// them: when a form is shown, the installed TControlBackend makes one peer
// per control, and every later change of a control is passed to its peer.
// Without peers (the headless backend) the controls simply keep their state,
// which tests read back.
#pragma once

#include "platform/MessageLoop.h"
#include "platform/Object.h"
#include "platform/Text.h"
#include "ui/Bitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

// A font by family name and character height in pixels.
struct TFont {
    UnicodeString Name = u"Tahoma";
    int32_t Height = 11;
    bool operator==(const TFont&) const = default;
};

// The system colours that the window uses; the backend resolves them.
enum class TSysColor : uint8_t { scBtnFace, scBtnShadow, scBtnHighlight, scWindow };

// 0x00RRGGBB of a system colour on the installed backend.
uint32_t SysColorToRGB(TSysColor AColor);

// What changed on a control, so that a peer updates only that.
enum class TControlChange : uint8_t {
    ccBounds,
    ccCaption,
    ccFont,
    ccEnabled,
    ccItems,
    ccItemIndex,
    ccLines,
    ccPanels,
    ccPicture,
    ccColor,
    ccVisible,
};

class TControl;

// The visible counterpart of one control, made by a backend.
class TControlPeer {
public:
    virtual ~TControlPeer() = default;
    virtual void Changed(TControlChange AWhat) = 0;
};

class TControl : public TObject {
    SP_CLASS(TControl, TObject)
public:
    // AParent is the form (or other container) the control sits on; it must
    // outlive the control. Null for a form.
    TControl(TControl* AParent, UnicodeString AName);
    ~TControl() override;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    const UnicodeString& Name() const { return FName; }
    TControl* Parent() const { return FParent; }
    // The controls placed on this one, in creation order.
    const std::vector<TControl*>& Children() const { return FChildren; }

    int32_t Left() const { return FLeft; }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);

    int32_t TabOrder() const { return FTabOrder; }
    void SetTabOrder(int32_t AValue) { FTabOrder = AValue; }

    // Runs once after the window's layout has been applied.
    virtual void Loaded() {}

    TControlPeer* Peer() const { return FPeer.get(); }
    // Makes the peers of this control and all its children (once).
    void CreatePeers();

protected:
    void Changed(TControlChange AWhat);

private:
    void RemoveChild(TControl* AChild);

    TControl* FParent = nullptr;
    UnicodeString FName;
    std::vector<TControl*> FChildren;
    int32_t FLeft = 0;
    int32_t FTop = 0;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FTabOrder = -1;
    std::unique_ptr<TControlPeer> FPeer;
};

// The window. Its bounds are its client area: width and height are the
// client size and stay fixed.
class TForm : public TControl {
    SP_CLASS(TForm, TControl)
public:
    explicit TForm(UnicodeString AName);
    ~TForm() override;

    const UnicodeString& Caption() const { return FCaption; }
    void SetCaption(const UnicodeString& AValue);
    int32_t ClientWidth() const { return Width(); }
    int32_t ClientHeight() const { return Height(); }
    void SetClientSize(int32_t AWidth, int32_t AHeight);
    const TFont& Font() const { return FFont; }
    void SetFont(const TFont& AValue);
    TSysColor Color() const { return FColor; }
    void SetColor(TSysColor AValue);

    // Makes the peers and shows the window.
    void Show();
    bool Showing() const { return FShowing; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;

protected:
    // A form calls these at the end of its construction and at the start of
    // its destruction, while its controls exist.
    void DoCreate();
    void DoDestroy();

private:
    UnicodeString FCaption;
    TFont FFont;
    TSysColor FColor = TSysColor::scBtnFace;
    bool FShowing = false;
    bool FCreated = false;
    bool FDestroyed = false;
};

class TLabel : public TControl {
    SP_CLASS(TLabel, TControl)
public:
    using TControl::TControl;
    const UnicodeString& Caption() const { return FCaption; }
    void SetCaption(const UnicodeString& AValue);

private:
    UnicodeString FCaption;
};

// A drop-down list the user can only pick from: its text is that of the
// selected entry, or empty.
class TComboBox : public TControl {
    SP_CLASS(TComboBox, TControl)
public:
    using TControl::TControl;
    const std::vector<UnicodeString>& Items() const { return FItems; }
    // Replaces the entries; leaves no selection.
    void SetItems(std::vector<UnicodeString> AItems);
    int32_t ItemIndex() const { return FItemIndex; }
    // -1, or an index out of range, clears the selection.
    void SetItemIndex(int32_t AValue);
    UnicodeString Text() const;
    // The user picked an entry (called by a peer, or by a test).
    void Select(int32_t AIndex);
    TNotifyEvent OnChange;

private:
    std::vector<UnicodeString> FItems;
    int32_t FItemIndex = -1;
};

class TButton : public TControl {
    SP_CLASS(TButton, TControl)
public:
    using TControl::TControl;
    const UnicodeString& Caption() const { return FCaption; }
    void SetCaption(const UnicodeString& AValue);
    const TFont& Font() const { return FFont; }
    void SetFont(const TFont& AValue);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool AValue);
    // The user pressed the button: runs OnClick when the button is enabled.
    void Click();
    TNotifyEvent OnClick;

private:
    UnicodeString FCaption;
    TFont FFont;
    bool FEnabled = true;
};

// A multi-line text box to which lines are only ever appended.
class TMemo : public TControl {
    SP_CLASS(TMemo, TControl)
public:
    using TControl::TControl;
    const std::vector<UnicodeString>& Lines() const { return FLines; }
    void Append(const UnicodeString& ALine);

private:
    std::vector<UnicodeString> FLines;
};

// A panel of the status bar. The last one's width is its least: the
// backends let it run on to the bar's right edge.
struct TStatusPanel {
    int32_t Width = 0;
    UnicodeString Text;
};

class TStatusBar : public TControl {
    SP_CLASS(TStatusBar, TControl)
public:
    using TControl::TControl;
    const std::vector<TStatusPanel>& Panels() const { return FPanels; }
    void SetPanels(std::vector<TStatusPanel> APanels);

private:
    std::vector<TStatusPanel> FPanels;
};

// A windowless control that shows a bitmap it paints itself. A derived
// control owns the bitmap, draws into it in Paint, and shows it with
// SetPicture; the backend copies it to the screen as it is.
class TGraphicControl : public TControl {
    SP_CLASS(TGraphicControl, TControl)
public:
    using TControl::TControl;
    // The bitmap on show, or null; its size is the control's.
    const TBitmap* Picture() const { return FPicture; }
    // Paints now and shows the result.
    void Repaint();
    // How often the picture has been shown anew.
    uint64_t PictureVersion() const { return FPictureVersion; }
    // The part of the picture that changed last time; a backend may show
    // just that part anew.
    const TRect& ChangedRect() const { return FChangedRect; }

protected:
    virtual void Paint() {}
    void SetPicture(const TBitmap* APicture);
    // The picture's pixels changed, all of them or only those in AChanged:
    // the backend shows it anew.
    void PictureChanged();
    void PictureChanged(const TRect& AChanged);

private:
    const TBitmap* FPicture = nullptr;
    uint64_t FPictureVersion = 0;
    TRect FChangedRect;
};

// Shows AText in a modal message box and returns once it is closed. While it
// is open the thread's loop goes on delivering timer ticks and messages.
void ShowMessage(const UnicodeString& AText);

// A backend of the control set.
class TControlBackend {
public:
    virtual ~TControlBackend() = default;
    // The peer of AControl, made when its form is shown; null for none.
    virtual std::unique_ptr<TControlPeer> CreatePeer(TControl& AControl) = 0;
    virtual void ShowMessage(const UnicodeString& AText) = 0;
    virtual uint32_t SysColorToRGB(TSysColor AColor) const;
};

// The installed backend; the headless one when none is installed.
TControlBackend& ControlBackend();
// Installs ABackend (not owned; it must outlive its use); null restores the
// headless backend.
void SetControlBackend(TControlBackend* ABackend);

// No window: controls keep their state and message boxes are recorded. A
// test answers a box in OnMessageBox, which runs while the box is "open"
// (it may pump the loop there); without a handler a box closes at once.
class THeadlessControls : public TControlBackend {
public:
    std::unique_ptr<TControlPeer> CreatePeer(TControl& AControl) override;
    void ShowMessage(const UnicodeString& AText) override;

    const std::vector<UnicodeString>& Messages() const { return FMessages; }
    void ClearMessages() { FMessages.clear(); }
    // Message boxes open right now (nested boxes count each).
    int OpenMessageBoxes() const { return FOpen; }

    TEvent<void(const UnicodeString& AText)> OnMessageBox;

private:
    std::vector<UnicodeString> FMessages;
    int FOpen = 0;
};

// The backend used when none is installed.
THeadlessControls& HeadlessControls();
