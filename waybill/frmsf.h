#pragma once

#include "waybill/waybillwindow.h"

class frmMain;

// The SF Express (顺丰快递) waybill window.
class frmSF : public Waybill::Window
{
    Q_OBJECT
public:
    explicit frmSF(frmMain &main);

private:
    static const Waybill::Description &description();
};
