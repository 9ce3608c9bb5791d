#pragma once

#include "waybill/waybillwindow.h"

class frmMain;

// The Yunda Express (韵达快递) waybill window.
class frmYD : public Waybill::Window
{
    Q_OBJECT
public:
    explicit frmYD(frmMain &main);

private:
    static const Waybill::Description &description();
};
