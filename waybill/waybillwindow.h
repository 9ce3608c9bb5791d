#pragma once

#include <QDialog>
#include <QLabel>

#include <functional>
#include <vector>

class frmMain;
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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int layOut(QTextLayout &layout) const;

    Field::Sizing m_sizing;
};

// A waybill window: a true-size model of one courier's paper waybill, filled from
// the main window's fields when it opens, that prints its client area as one page.
class Window : public QDialog
{
    Q_OBJECT
public:
    // Hides both buttons and prints the client area as one page on printer; then
    // closes. When printing fails the user is told what failed, the buttons come
    // back and the window stays open. True when printed.
    bool printOn(QPrinter &printer);

protected:
    Window(const Description &description, frmMain &main);
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Command1_Click();
    void Command2_Click();
    // What went wrong, for the user; empty when the page went to the printer.
    QString printClientArea(QPrinter &printer);
    // The client area as it shows, hidden controls left out, in its own pixels.
    void paintClientArea(QPainter &painter) const;

    Platform &m_platform;
    QString m_jobTitle;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
};

} // namespace Waybill
