#include "ui/Controls.h"

#include <algorithm>

TControl::TControl(TControl* AParent, UnicodeString AName)
    : FParent(AParent), FName(std::move(AName)) {
    if (FParent)
        FParent->FChildren.push_back(this);
}

TControl::~TControl() {
    // The peer goes first, while the parent's peer still exists.
    FPeer.reset();
    if (FParent)
        FParent->RemoveChild(this);
    for (TControl* LChild : FChildren)
        LChild->FParent = nullptr;
}

void TControl::RemoveChild(TControl* AChild) {
    FChildren.erase(std::remove(FChildren.begin(), FChildren.end(), AChild), FChildren.end());
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight)
        return;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    Changed(TControlChange::ccBounds);
}

void TControl::CreatePeers() {
    if (!FPeer)
        FPeer = ControlBackend().CreatePeer(*this);
    for (TControl* LChild : FChildren)
        LChild->CreatePeers();
}

void TControl::Changed(TControlChange AWhat) {
    if (FPeer)
        FPeer->Changed(AWhat);
}

TForm::TForm(UnicodeString AName) : TControl(nullptr, std::move(AName)) {}

TForm::~TForm() {
    DoDestroy();
}

void TForm::SetCaption(const UnicodeString& AValue) {
    if (AValue == FCaption)
        return;
    FCaption = AValue;
    Changed(TControlChange::ccCaption);
}

void TForm::SetClientSize(int32_t AWidth, int32_t AHeight) {
    SetBounds(Left(), Top(), AWidth, AHeight);
}

void TForm::SetFont(const TFont& AValue) {
    if (AValue == FFont)
        return;
    FFont = AValue;
    Changed(TControlChange::ccFont);
}

void TForm::SetColor(TSysColor AValue) {
    if (AValue == FColor)
        return;
    FColor = AValue;
    Changed(TControlChange::ccColor);
}

void TForm::Show() {
    CreatePeers();
    if (!FShowing) {
        FShowing = true;
        Changed(TControlChange::ccVisible);
    }
}

void TForm::DoCreate() {
    if (FCreated)
        return;
    FCreated = true;
    OnCreate(this);
}

void TForm::DoDestroy() {
    if (FDestroyed || !FCreated)
        return;
    FDestroyed = true;
    OnDestroy(this);
}

void TLabel::SetCaption(const UnicodeString& AValue) {
    if (AValue == FCaption)
        return;
    FCaption = AValue;
    Changed(TControlChange::ccCaption);
}

void TComboBox::SetItems(std::vector<UnicodeString> AItems) {
    FItems = std::move(AItems);
    FItemIndex = -1;
    Changed(TControlChange::ccItems);
}

void TComboBox::SetItemIndex(int32_t AValue) {
    if (AValue < 0 || AValue >= static_cast<int32_t>(FItems.size()))
        AValue = -1;
    if (AValue == FItemIndex)
        return;
    FItemIndex = AValue;
    Changed(TControlChange::ccItemIndex);
}

UnicodeString TComboBox::Text() const {
    return FItemIndex >= 0 ? FItems[static_cast<size_t>(FItemIndex)] : UnicodeString();
}

void TComboBox::Select(int32_t AIndex) {
    if (AIndex < 0 || AIndex >= static_cast<int32_t>(FItems.size()) || AIndex == FItemIndex)
        return;
    SetItemIndex(AIndex);
    OnChange(this);
}

void TButton::SetCaption(const UnicodeString& AValue) {
    if (AValue == FCaption)
        return;
    FCaption = AValue;
    Changed(TControlChange::ccCaption);
}

void TButton::SetFont(const TFont& AValue) {
    if (AValue == FFont)
        return;
    FFont = AValue;
    Changed(TControlChange::ccFont);
}

void TButton::SetEnabled(bool AValue) {
    if (AValue == FEnabled)
        return;
    FEnabled = AValue;
    Changed(TControlChange::ccEnabled);
}

void TButton::Click() {
    if (FEnabled)
        OnClick(this);
}

void TMemo::Append(const UnicodeString& ALine) {
    FLines.push_back(ALine);
    Changed(TControlChange::ccLines);
}

void TStatusBar::SetPanels(std::vector<TStatusPanel> APanels) {
    FPanels = std::move(APanels);
    Changed(TControlChange::ccPanels);
}

void TGraphicControl::Repaint() {
    Paint();
    PictureChanged();
}

void TGraphicControl::PictureChanged() {
    PictureChanged(FPicture ? FPicture->ClientRect() : TRect{});
}

void TGraphicControl::PictureChanged(const TRect& AChanged) {
    FChangedRect = AChanged;
    ++FPictureVersion;
    Changed(TControlChange::ccPicture);
}

void TGraphicControl::SetPicture(const TBitmap* APicture) {
    FPicture = APicture;
}

void ShowMessage(const UnicodeString& AText) {
    ControlBackend().ShowMessage(AText);
}

uint32_t SysColorToRGB(TSysColor AColor) {
    return ControlBackend().SysColorToRGB(AColor);
}

uint32_t TControlBackend::SysColorToRGB(TSysColor AColor) const {
    switch (AColor) {
    case TSysColor::scBtnFace:
        return 0xF0F0F0;
    case TSysColor::scBtnShadow:
        return 0xA0A0A0;
    case TSysColor::scBtnHighlight:
        return 0xFFFFFF;
    case TSysColor::scWindow:
        return 0xFFFFFF;
    }
    return 0;
}

namespace {
TControlBackend* GBackend = nullptr;
}

TControlBackend& ControlBackend() {
    return GBackend ? *GBackend : HeadlessControls();
}

void SetControlBackend(TControlBackend* ABackend) {
    GBackend = ABackend;
}
