#pragma once

#include <QDialog>

class frmMain;

class frmYD : public QDialog
{
    Q_OBJECT
public:
    explicit frmYD(frmMain &main);
};
