#pragma once

#include <QDialog>

class frmMain;

class frmSF : public QDialog
{
    Q_OBJECT
public:
    explicit frmSF(frmMain &main);
};
