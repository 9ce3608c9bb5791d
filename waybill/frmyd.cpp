#include "waybill/frmyd.h"

#include "shell/frmmain.h"

frmYD::frmYD(frmMain &) : QDialog(nullptr) {}
