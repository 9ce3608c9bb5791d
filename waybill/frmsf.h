#pragma once

#include "waybill/waybillwindow.h"

class Platform;

// The SF Express (顺丰快递) waybill window.
class frmSF : public Waybill::Window
{
    Q_OBJECT
public:
    frmSF(Platform &platform, const Waybill::FieldReader &read);

    // Its fields, also for printing it without the window.
    static const Waybill::Description &description();
};
