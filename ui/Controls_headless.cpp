// The control set without a window: the controls keep their own state, and
// message boxes are recorded.
#include "ui/Controls.h"

std::unique_ptr<TControlPeer> THeadlessControls::CreatePeer(TControl&) {
    return nullptr;
}

void THeadlessControls::ShowMessage(const UnicodeString& AText) {
    FMessages.push_back(AText);
    ++FOpen;
    struct TClose {
        int& Open;
        ~TClose() { --Open; }
    } LClose{FOpen};
    OnMessageBox(AText);
}

THeadlessControls& HeadlessControls() {
    static THeadlessControls LControls;
    return LControls;
}
