#include "waybill/frmsf.h"

#include "shell/frmmain.h"

frmSF::frmSF(frmMain &) : QDialog(nullptr) {}
