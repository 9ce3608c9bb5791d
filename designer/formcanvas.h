#pragma once

#include "designer/pagemapping.h"

#include <QImage>
#include <QWidget>

namespace Designer {

class FormDocument;

// The page being designed: the picture of the blank form, each field's box with
// its caption, the chosen field marked, with a handle at its lower right corner
// to resize it by. Fields are chosen, moved and resized with the mouse or the
// keys: arrows move the chosen field 0.1 mm a press (1 mm with Shift), Ctrl with
// the arrows resizes it, Page Down / Page Up choose the next or previous field,
// Delete removes it.
class FormCanvas : public QWidget
{
    Q_OBJECT
public:
    static constexpr double Step = 0.1;      // mm an arrow press
    static constexpr double LargeStep = 1.0; // with Shift
    static constexpr int HandleSize = 7;     // pixels

    FormCanvas(FormDocument &document, QWidget *parent);

    const PageMapping &mapping() const { return m_mapping; }
    void setZoom(double zoom);
    int selected() const { return m_selected; }
    void setSelected(int index);
    // The next click on the page is taken as a point, given by pointPicked,
    // rather than choosing or moving a field. From the keys: a cross starts at
    // from, the arrows move it (0.1 mm, 1 mm with Shift, 10 mm with Ctrl) and
    // Enter takes it; Escape gives up.
    void pickPoint(QPointF from);
    bool picking() const { return m_picking; }
    QPointF pickCross() const { return m_pickAt; }

    QSize sizeHint() const override;
    // The form's picture as the page shows it; null when none or it cannot be decoded.
    const QImage &picture() const { return m_picture; }

Q_SIGNALS:
    void selectionChanged(int index);
    void pointPicked(QPointF mm);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void document_Changed();
    QRectF handleRect(int index) const;
    void endPicking();
    int fieldAt(QPointF pixels) const;

    enum class Drag { None, Move, Resize };

    FormDocument &m_document;
    PageMapping m_mapping;
    int m_selected = -1;
    bool m_picking = false;
    QPointF m_pickAt; // mm: the cross the keys move while picking
    Drag m_drag = Drag::None;
    QPointF m_pressMm;   // where the drag began
    QPointF m_movedMm;   // how far the field has gone with it so far
    int m_dragCount = 0; // tells one drag's undo step from the next
    QByteArray m_pictureBytes;
    QImage m_picture;
};

} // namespace Designer
