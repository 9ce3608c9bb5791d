#pragma once

#include "waybill/waybillwindow.h"

class Platform;

// The Yunda Express (韵达快递) waybill window.
class frmYD : public Waybill::Window
{
    Q_OBJECT
public:
    frmYD(Platform &platform, const Waybill::FieldReader &read);

    // Its fields, also for printing it without the window.
    static const Waybill::Description &description();
};
