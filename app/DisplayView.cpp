#include "app/DisplayView.h"

TDisplayView::TDisplayView(TControl* AParent, UnicodeString AName, TFramedControl& AControl)
    : TGraphicControl(AParent, std::move(AName)), FControl(AControl) {
    FControl.OnPainted = Bind(this, &TDisplayView::OnMyPainted);
    Show(FControl.Surface().ClientRect());
}

TDisplayView::~TDisplayView() {
    FControl.OnPainted = nullptr;
}

void TDisplayView::OnMyPainted() {
    Show(FControl.PaintedRect());
}

void TDisplayView::Show(const TRect& AChanged) {
    SetBounds(FControl.Left(), FControl.Top(), FControl.Width(), FControl.Height());
    SetPicture(&FControl.Surface());
    PictureChanged(AChanged);
}
