// Puts a framed control (the LED display) on a form: shows the surface it
// paints, at its bounds, each time it has painted (the part it changed).
#pragma once

#include "app/widgets/FramedControl.h"
#include "ui/Controls.h"

class TDisplayView : public TGraphicControl {
    SP_CLASS(TDisplayView, TGraphicControl)
public:
    // AControl must outlive the view.
    TDisplayView(TControl* AParent, UnicodeString AName, TFramedControl& AControl);
    ~TDisplayView() override;

    const TFramedControl& Control() const { return FControl; }

private:
    void OnMyPainted();
    // Shows the surface, of which AChanged is new.
    void Show(const TRect& AChanged);

    TFramedControl& FControl;
};
