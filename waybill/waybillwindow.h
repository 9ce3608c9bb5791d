#pragma once

#include "waybill/printsettings.h"

#include <QDialog>
#include <QLabel>

#include <functional>
#include <vector>

class Platform;
class QPainter;
class QPrinter;
class QPushButton;
class QTextLayout;

namespace Waybill {

// Reads one of the main window's contact fields by name ("txtSent", ...).
using FieldReader = std::function<QString(QStringView)>;

// One waybill field: the box on the paper it prints into and what goes into it.
struct Field
{
    // Fixed: keeps its box and wraps inside it. Auto: one line, as wide as its text.
    enum Sizing { Fixed, Auto };

    QStringView name;
    // Twips from the client area's top-left corner. An auto field keeps only
    // its left and top; its size follows its text.
    int left, top, width, height;
    qreal points;
    bool bold;
    Sizing sizing;
    QString (*fill)(const FieldReader &main);
};

// One courier's paper waybill.
struct Description
{
    int clientWidth, clientHeight; // twips
    QStringView jobTitle;
    QStringView courier;         // as the user knows it: "顺丰快递"
    QStringView settingsSection; // its print settings: "SF"
    std::vector<Field> fields;
};

// The main window's province, city, district and street of one side ("" for the
// sender, "To" for the recipient), with beforeStreet between district and street.
QString addressText(const FieldReader &main, QStringView side, QStringView beforeStreet = {});
// Every character followed by one blank: "021" gives "0 2 1 ".
QString spacedOut(const QString &text);

// The text of one waybill field, drawn as it prints: from the top-left corner,
// broken into lines at the field's width, and no line shown that does not fit.
class FieldLabel : public QLabel
{
    Q_OBJECT
public:
    FieldLabel(const Field &field, QWidget *parent);

    // Shows text; an auto field takes the width of the text and the height of one line.
    void fill(const QString &text);
    // The lines as they show, line breaks and blanks kept.
    QStringList shownLines() const;
    // Paints the field with its top-left corner at the painter's origin.
    void paint(QPainter &painter) const;
    Field::Sizing sizing() const { return m_sizing; }
    // A fixed field whose text does not fit: a line is left out. Marked with a
    // red frame on screen, never on paper.
    bool isCut() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Lays out the lines that show; cut tells whether a line was left out.
    int layOut(QTextLayout &layout, bool *cut = nullptr) const;

    Field::Sizing m_sizing;
};

// A waybill's client area filled from read, as its window prints it, but never
// shown: for printing many waybills without opening a window for each.
class Sheet
{
public:
    Sheet(const Description &description, const FieldReader &read);
    // The fields cut short, as the window names them when it asks.
    QStringList cutFields() const;
    // Paints the client area in its own pixels, as the window prints it.
    void paint(QPainter &painter) const;

private:
    QWidget m_client;
};

// What every waybill window has, a courier's and a user's form alike: a modal
// window the size of its page, with 打印, 退出 and 设置 at the same places
// leading the tab order, that prints its page as one page through its own print
// settings.
class PrintWindow : public QDialog
{
    Q_OBJECT
public:
    // Hides the buttons and prints the page on printer, placed as the print
    // settings say; then closes. When printing fails the user is told what
    // failed, the buttons come back and the window stays open. True when printed.
    bool printOn(QPrinter &printer);
    // Adds a check that runs when 打印 is pressed, after the question about cut
    // fields and before printing; one that returns false stops the print, and
    // the window stays open with its buttons.
    void addPrintCheck(std::function<bool()> check);
    const PrintSettings &printSettings() const { return m_settings; }

Q_SIGNALS:
    // After a page went to the printer, named as the user knows it.
    void printed(const QString &printerName);

protected:
    // name: the waybill as the user knows it ("顺丰快递", a form's name), for the
    // settings dialog; jobTitle: the print job's title.
    PrintWindow(Platform &platform, QSize pixels, QString settingsSection, QString name, QString jobTitle,
                PrintSettings settings);
    void keyPressEvent(QKeyEvent *event) override;
    Platform &platform() const { return m_platform; }

    // Runs first when 打印 is pressed.
    virtual void aboutToPrint() {}
    // The names of the fields cut short, for the user; empty when all fit.
    virtual QStringList cutFields() const = 0;
    // The page as it prints, in the window's pixels.
    virtual void paintPage(QPainter &painter) const = 0;
    // The page's size and each field's caption and box, in millimetres, for the
    // settings dialog's preview.
    virtual QSizeF pageMm() const = 0;
    virtual QList<std::pair<QString, QRectF>> fieldBoxesMm() const = 0;

    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *cmdSettings = nullptr;

private:
    void Command1_Click();
    void Command2_Click();
    void cmdSettings_Click();
    void showButtons(bool shown);

    Platform &m_platform;
    QString m_settingsSection;
    QString m_name;
    QString m_jobTitle;
    PrintSettings m_settings;
    std::vector<std::function<bool()>> m_printChecks;
};

// A waybill window: a true-size model of one courier's paper waybill, filled from
// the main window's fields when it opens, that prints its client area as one page.
class Window : public PrintWindow
{
    Q_OBJECT
protected:
    Window(const Description &description, Platform &platform, const FieldReader &read);

private:
    QStringList cutFields() const override;
    void paintPage(QPainter &painter) const override;
    QSizeF pageMm() const override;
    QList<std::pair<QString, QRectF>> fieldBoxesMm() const override;
};

} // namespace Waybill
