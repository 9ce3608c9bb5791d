#pragma once

#include <QUrl>
#include <QWidget>

// An advertisement pane: blank until told to load a page.
class AdPane : public QWidget
{
    Q_OBJECT
public:
    explicit AdPane(QWidget *parent = nullptr);
    // Starts loading and returns at once.
    void navigate(const QUrl &url);
};
