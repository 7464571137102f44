// The control set on Qt Widgets: one widget per control at the layout's
// absolute position and size, in a window of fixed client size.
#include "ui/Controls_qt.h"
#include "ui/Bitmap.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStatusBar>
#include <QWidget>

#include <algorithm>

namespace {

QString ToQString(const UnicodeString& AText) {
    return QString::fromUtf16(AText.data(), static_cast<qsizetype>(AText.size()));
}

QFont ToQFont(const TFont& AFont) {
    QFont LFont(ToQString(AFont.Name));
    LFont.setPixelSize(AFont.Height);
    return LFont;
}

QColor ToQColor(uint32_t ARGB) {
    return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | ARGB));
}

QWidget* ParentWidget(const TControl& AControl);

// The part ARect of the bitmap (clipped to it).
QImage BitmapToImage(const TBitmap& ABitmap, TRect ARect) {
    ARect = IntersectRect(ARect, ABitmap.ClientRect());
    QImage LImage(ARect.Width(), ARect.Height(), QImage::Format_RGB32);
    const std::vector<TColor>& LPixels = ABitmap.Pixels();
    for (int32_t Y = 0; Y < ARect.Height(); ++Y) {
        auto* LLine = reinterpret_cast<QRgb*>(LImage.scanLine(Y));
        const TColor* LSource =
            LPixels.data() + static_cast<size_t>(ARect.Top + Y) * ABitmap.Width() + ARect.Left;
        for (int32_t X = 0; X < ARect.Width(); ++X)
            LLine[X] = 0xFF000000u | LSource[X];
    }
    return LImage;
}

// The widget of one control; the widget itself belongs to its parent widget
// (or, for a form, to the peer).
class TQtPeer : public TControlPeer {
public:
    TQtPeer(TControl& AControl, QWidget* AWidget) : FControl(AControl), FWidget(AWidget) {
        FWidget->setObjectName(ToQString(AControl.Name()));
        ApplyBounds();
    }
    ~TQtPeer() override { delete FWidget.data(); }

    QWidget* Widget() const { return FWidget.data(); }

    void Changed(TControlChange AWhat) override {
        if (!FWidget)
            return;
        if (AWhat == TControlChange::ccBounds)
            ApplyBounds();
        else
            Update(AWhat);
    }

protected:
    virtual void ApplyBounds() {
        FWidget->setGeometry(FControl.Left(), FControl.Top(), FControl.Width(), FControl.Height());
    }
    virtual void Update(TControlChange) {}

    TControl& FControl;
    QPointer<QWidget> FWidget;
};

class TQtFormPeer : public TQtPeer {
public:
    explicit TQtFormPeer(TForm& AForm) : TQtPeer(AForm, new QWidget), FForm(AForm) {
        FWidget->setAttribute(Qt::WA_DeleteOnClose, false);
        FWidget->setAutoFillBackground(true);
        ApplyBounds();
        for (TControlChange LWhat :
             {TControlChange::ccCaption, TControlChange::ccFont, TControlChange::ccColor})
            Update(LWhat);
    }

protected:
    void ApplyBounds() override {
        FWidget->setFixedSize(FForm.ClientWidth(), FForm.ClientHeight());
    }
    void Update(TControlChange AWhat) override {
        switch (AWhat) {
        case TControlChange::ccCaption:
            FWidget->setWindowTitle(ToQString(FForm.Caption()));
            break;
        case TControlChange::ccFont:
            FWidget->setFont(ToQFont(FForm.Font()));
            break;
        case TControlChange::ccColor: {
            QPalette LPalette = FWidget->palette();
            LPalette.setColor(QPalette::Window, ToQColor(SysColorToRGB(FForm.Color())));
            FWidget->setPalette(LPalette);
            break;
        }
        case TControlChange::ccVisible:
            if (FForm.Showing()) {
                ApplyTabOrder();
                PlaceOnScreen();
                FWidget->show();
            }
            break;
        default:
            break;
        }
    }

private:
    // Centres the window on its screen, but never with its caption above or
    // left of the usable area: a window manager that puts the client area at
    // 0,0 would push the title bar off the screen.
    void PlaceOnScreen() {
        const QScreen* LScreen = FWidget->screen();
        if (!LScreen)
            return;
        const QRect LArea = LScreen->availableGeometry();
        const QSize LSize = FWidget->size();
        const int LLeft = LArea.left() + std::max(0, (LArea.width() - LSize.width()) / 2);
        const int LTop = LArea.top() + std::max(0, (LArea.height() - LSize.height()) / 2);
        // A window's position is that of its frame.
        FWidget->move(LLeft, LTop);
    }

    void ApplyTabOrder() {
        std::vector<TControl*> LOrdered;
        for (TControl* LChild : FForm.Children())
            if (LChild->TabOrder() >= 0 && dynamic_cast<TQtPeer*>(LChild->Peer()))
                LOrdered.push_back(LChild);
        std::stable_sort(LOrdered.begin(), LOrdered.end(),
                         [](TControl* A, TControl* B) { return A->TabOrder() < B->TabOrder(); });
        for (size_t I = 1; I < LOrdered.size(); ++I)
            QWidget::setTabOrder(static_cast<TQtPeer*>(LOrdered[I - 1]->Peer())->Widget(),
                                 static_cast<TQtPeer*>(LOrdered[I]->Peer())->Widget());
        if (!LOrdered.empty())
            static_cast<TQtPeer*>(LOrdered.front()->Peer())->Widget()->setFocus();
    }

    TForm& FForm;
};

class TQtLabelPeer : public TQtPeer {
public:
    TQtLabelPeer(TLabel& ALabel, QWidget* AParent)
        : TQtPeer(ALabel, new QLabel(AParent)), FLabel(ALabel) {
        Update(TControlChange::ccCaption);
    }

protected:
    void Update(TControlChange) override {
        static_cast<QLabel*>(Widget())->setText(ToQString(FLabel.Caption()));
    }

private:
    TLabel& FLabel;
};

class TQtComboPeer : public TQtPeer {
public:
    TQtComboPeer(TComboBox& ACombo, QWidget* AParent)
        : TQtPeer(ACombo, new QComboBox(AParent)), FCombo(ACombo) {
        Box()->setEditable(false);
        Update(TControlChange::ccItems);
        // Only the user's picks: programmatic changes come from the model.
        QObject::connect(Box(), &QComboBox::activated,
                         [this](int AIndex) { FCombo.Select(AIndex); });
    }

protected:
    void Update(TControlChange AWhat) override {
        if (AWhat == TControlChange::ccItems) {
            Box()->clear();
            for (const UnicodeString& LItem : FCombo.Items())
                Box()->addItem(ToQString(LItem));
        }
        Box()->setCurrentIndex(FCombo.ItemIndex());
    }

private:
    QComboBox* Box() const { return static_cast<QComboBox*>(Widget()); }
    TComboBox& FCombo;
};

class TQtButtonPeer : public TQtPeer {
public:
    TQtButtonPeer(TButton& AButton, QWidget* AParent)
        : TQtPeer(AButton, new QPushButton(AParent)), FButton(AButton) {
        for (TControlChange LWhat :
             {TControlChange::ccCaption, TControlChange::ccFont, TControlChange::ccEnabled})
            Update(LWhat);
        QObject::connect(static_cast<QPushButton*>(Widget()), &QPushButton::clicked,
                         [this] { FButton.Click(); });
    }

protected:
    void Update(TControlChange AWhat) override {
        auto* LButton = static_cast<QPushButton*>(Widget());
        if (AWhat == TControlChange::ccCaption)
            LButton->setText(ToQString(FButton.Caption()));
        else if (AWhat == TControlChange::ccFont)
            LButton->setFont(ToQFont(FButton.Font()));
        else if (AWhat == TControlChange::ccEnabled)
            ApplyEnabled(*LButton);
    }

private:
    // Qt hands the focus of a button being disabled to the next control,
    // the memo, where keys would edit the transcript. The window itself
    // keeps it instead, and gives it back when the button is enabled again.
    void ApplyEnabled(QPushButton& AButton) {
        QWidget* LWindow = AButton.window();
        if (!FButton.Enabled()) {
            if (AButton.hasFocus())
                LWindow->setFocus(Qt::OtherFocusReason);
            AButton.setEnabled(false);
            return;
        }
        AButton.setEnabled(true);
        if (LWindow->focusWidget() == LWindow)
            AButton.setFocus(Qt::OtherFocusReason);
    }

    TButton& FButton;
};

class TQtMemoPeer : public TQtPeer {
public:
    TQtMemoPeer(TMemo& AMemo, QWidget* AParent)
        : TQtPeer(AMemo, new QPlainTextEdit(AParent)), FMemo(AMemo) {
        Edit()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Edit()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Editable, but Tab moves on to the next control.
        Edit()->setTabChangesFocus(true);
        Update(TControlChange::ccLines);
    }

protected:
    void Update(TControlChange AWhat) override {
        if (AWhat != TControlChange::ccLines)
            return;
        const auto& LLines = FMemo.Lines();
        for (; FShown < LLines.size(); ++FShown)
            Edit()->appendPlainText(ToQString(LLines[FShown]));
    }

private:
    QPlainTextEdit* Edit() const { return static_cast<QPlainTextEdit*>(Widget()); }
    TMemo& FMemo;
    size_t FShown = 0;
};

class TQtStatusBarPeer : public TQtPeer {
public:
    TQtStatusBarPeer(TStatusBar& ABar, QWidget* AParent)
        : TQtPeer(ABar, new QStatusBar(AParent)), FBar(ABar) {
        static_cast<QStatusBar*>(Widget())->setSizeGripEnabled(false);
        // The memo reaches under the bar; the bar hides it, as a docked
        // status bar does.
        Widget()->setAutoFillBackground(true);
        Update(TControlChange::ccPanels);
    }

protected:
    void ApplyBounds() override {
        TQtPeer::ApplyBounds();
        Widget()->raise();
    }

    void Update(TControlChange AWhat) override {
        if (AWhat != TControlChange::ccPanels)
            return;
        auto* LBar = static_cast<QStatusBar*>(Widget());
        for (QLabel* LPanel : FPanels)
            delete LPanel;
        FPanels.clear();
        // The last panel runs on to the bar's right edge, as a status bar's
        // last part does, so that its caption shows whole.
        const auto& LPanels = FBar.Panels();
        for (size_t I = 0; I < LPanels.size(); ++I) {
            const bool LLast = I + 1 == LPanels.size();
            auto* LLabel = new QLabel(ToQString(LPanels[I].Text), LBar);
            if (LLast)
                LLabel->setMinimumWidth(LPanels[I].Width);
            else
                LLabel->setFixedWidth(LPanels[I].Width);
            LLabel->setFrameShape(QFrame::Panel);
            LLabel->setFrameShadow(QFrame::Sunken);
            LBar->addWidget(LLabel, LLast ? 1 : 0);
            FPanels.push_back(LLabel);
        }
    }

private:
    TStatusBar& FBar;
    std::vector<QPointer<QLabel>> FPanels;
};

// Shows the control's bitmap as it is, pixel for pixel.
class TBitmapWidget : public QWidget {
public:
    TBitmapWidget(TGraphicControl& AControl, QWidget* AParent)
        : QWidget(AParent), FControl(AControl) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    // Only the part asked for is converted and drawn.
    void paintEvent(QPaintEvent* AEvent) override {
        const TBitmap* LBitmap = FControl.Picture();
        if (!LBitmap)
            return;
        const QRect R = AEvent->rect();
        QPainter LPainter(this);
        LPainter.drawImage(R.topLeft(),
                           BitmapToImage(*LBitmap, Bounds(R.x(), R.y(), R.width(), R.height())));
    }

private:
    TGraphicControl& FControl;
};

class TQtGraphicPeer : public TQtPeer {
public:
    TQtGraphicPeer(TGraphicControl& AControl, QWidget* AParent)
        : TQtPeer(AControl, new TBitmapWidget(AControl, AParent)), FGraphic(AControl) {}

protected:
    void Update(TControlChange AWhat) override {
        // At once, so that each new picture is on the screen before the next
        // change is handled; only the part that changed.
        if (AWhat != TControlChange::ccPicture)
            return;
        const TRect R = FGraphic.ChangedRect();
        if (!R.IsEmpty())
            Widget()->repaint(R.Left, R.Top, R.Width(), R.Height());
    }

private:
    TGraphicControl& FGraphic;
};

// Room a title bar needs beside its text: icon, close button and the
// window manager's margins, generously.
constexpr int CTitleBarExtra = 160;

// A message box sizes itself to its text alone; a short text leaves the
// title cut off. A spacer across the box's grid keeps it wide enough.
void WidenForTitle(QMessageBox& ABox) {
    auto* LGrid = qobject_cast<QGridLayout*>(ABox.layout());
    if (!LGrid)
        return;
    QFont LTitleFont = ABox.font();
    LTitleFont.setBold(true);
    const int LWidth =
        QFontMetrics(LTitleFont).horizontalAdvance(ABox.windowTitle()) + CTitleBarExtra;
    LGrid->addItem(new QSpacerItem(LWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                   LGrid->rowCount(), 0, 1, LGrid->columnCount());
}

class TQtControls : public TControlBackend {
public:
    std::unique_ptr<TControlPeer> CreatePeer(TControl& AControl) override {
        if (auto* LForm = dynamic_cast<TForm*>(&AControl))
            return std::make_unique<TQtFormPeer>(*LForm);
        QWidget* LParent = ParentWidget(AControl);
        if (!LParent)
            return nullptr;
        if (auto* LLabel = dynamic_cast<TLabel*>(&AControl))
            return std::make_unique<TQtLabelPeer>(*LLabel, LParent);
        if (auto* LCombo = dynamic_cast<TComboBox*>(&AControl))
            return std::make_unique<TQtComboPeer>(*LCombo, LParent);
        if (auto* LButton = dynamic_cast<TButton*>(&AControl))
            return std::make_unique<TQtButtonPeer>(*LButton, LParent);
        if (auto* LMemo = dynamic_cast<TMemo*>(&AControl))
            return std::make_unique<TQtMemoPeer>(*LMemo, LParent);
        if (auto* LBar = dynamic_cast<TStatusBar*>(&AControl))
            return std::make_unique<TQtStatusBarPeer>(*LBar, LParent);
        if (auto* LGraphic = dynamic_cast<TGraphicControl*>(&AControl))
            return std::make_unique<TQtGraphicPeer>(*LGraphic, LParent);
        return nullptr;
    }

    void ShowMessage(const UnicodeString& AText) override {
        QMessageBox LBox(QMessageBox::Information, QCoreApplication::applicationName(),
                         ToQString(AText), QMessageBox::Ok, QApplication::activeWindow());
        WidenForTitle(LBox);
        LBox.exec();
    }

    uint32_t SysColorToRGB(TSysColor AColor) const override {
        const QPalette LPalette = QApplication::palette();
        QColor LColor;
        switch (AColor) {
        case TSysColor::scBtnFace:
            LColor = LPalette.color(QPalette::Button);
            break;
        case TSysColor::scBtnShadow:
            LColor = LPalette.color(QPalette::Dark);
            break;
        case TSysColor::scBtnHighlight:
            LColor = LPalette.color(QPalette::Light);
            break;
        case TSysColor::scWindow:
            LColor = LPalette.color(QPalette::Base);
            break;
        }
        return LColor.rgb() & 0xFFFFFFu;
    }
};

QWidget* ParentWidget(const TControl& AControl) {
    const TControl* LParent = AControl.Parent();
    auto* LPeer = LParent ? dynamic_cast<TQtPeer*>(LParent->Peer()) : nullptr;
    return LPeer ? LPeer->Widget() : nullptr;
}

} // namespace

std::unique_ptr<TControlBackend> CreateQtControls() {
    return std::make_unique<TQtControls>();
}

bool SaveFormScreenshot(const TForm& AForm, const std::filesystem::path& AFile) {
    auto* LPeer = dynamic_cast<TQtPeer*>(AForm.Peer());
    if (!LPeer || !LPeer->Widget())
        return false;
    return LPeer->Widget()->grab().save(QString::fromStdString(AFile.string()), "PNG");
}
