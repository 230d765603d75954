#pragma once
// The main window: the plot control, the run button and seventeen labels.
#include "platform/widgets.h"
#include "raster/surface.h"
#include "ximage/Ximage3.h"

namespace display {

class TForm1 : public platform::Form {
  public:
    TForm1();
    ~TForm1() override;

    TXImage3 xmg;
    platform::Button Button1;
    platform::Label Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label10,
        Label11, Label12, Label13;
    platform::Label Label14, Label15, Label16, Label17;

    void FormCreate(platform::Form* sender);
    void Button1Click(platform::Control* sender);

    // Bitmap 0 of xmg, the raster the plot is drawn into; valid from the
    // bitmap's last ResizeBmp on.
    raster::Surface PlotSurface() const;
};

// The main window, set before its constructor runs.
extern TForm1* Form1;

} // namespace display
