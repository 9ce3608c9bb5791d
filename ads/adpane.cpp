#include "ads/adpane.h"

AdPane::AdPane(QWidget *parent) : QWidget(parent) {}

void AdPane::navigate(const QUrl &) {}
