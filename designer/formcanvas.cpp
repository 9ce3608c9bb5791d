#include "designer/formcanvas.h"

#include "designer/formdocument.h"
#include "forms/formpicture.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace Designer {

FormCanvas::FormCanvas(FormDocument &document, QWidget *parent) : QWidget(parent), m_document(document)
{
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("版面"));
    setBackgroundRole(QPalette::Dark);
    setAutoFillBackground(true);
    connect(&m_document, &FormDocument::changed, this, &FormCanvas::document_Changed);
    document_Changed();
}

void FormCanvas::setZoom(double zoom)
{
    m_mapping = PageMapping(zoom);
    setFixedSize(sizeHint());
    update();
}

QSize FormCanvas::sizeHint() const
{
    return m_mapping.canvasSize(m_document.form().paper).toSize() + QSize(1, 1);
}

void FormCanvas::setSelected(int index)
{
    if (index < -1 || index >= int(m_document.form().fields.size()))
        index = -1;
    if (index == m_selected)
        return;
    m_selected = index;
    update();
    Q_EMIT selectionChanged(index);
}

void FormCanvas::pickPoint(QPointF from)
{
    m_picking = true;
    m_pickAt = from;
    setCursor(Qt::CrossCursor);
    setFocus();
    update();
}

void FormCanvas::endPicking()
{
    m_picking = false;
    unsetCursor();
    update();
}

void FormCanvas::document_Changed()
{
    const Forms::Form &form = m_document.form();
    if (!form.picture.isSharedWith(m_pictureBytes)) {
        m_pictureBytes = form.picture;
        // Decoded once, no finer than paper needs: the zoom draws it larger or smaller.
        m_picture =
            m_pictureBytes.isEmpty()
                ? QImage()
                : Forms::FormPicture::decode(
                      m_pictureBytes,
                      Forms::FormPicture::pixelsFor(form.picturePlace.size()).expandedTo(QSize(1, 1)));
    }
    setFixedSize(sizeHint());
    if (m_selected >= int(form.fields.size()))
        setSelected(int(form.fields.size()) - 1);
    update();
}

QRectF FormCanvas::handleRect(int index) const
{
    const QPointF corner = m_mapping.toPixels(m_document.form().fields[index].box).bottomRight();
    return QRectF(corner - QPointF(HandleSize, HandleSize) / 2, QSizeF(HandleSize, HandleSize));
}

int FormCanvas::fieldAt(QPointF pixels) const
{
    const auto &fields = m_document.form().fields;
    // The topmost, the one drawn last, first; the chosen one before all others.
    if (m_selected >= 0 && m_mapping.toPixels(fields[m_selected].box).contains(pixels))
        return m_selected;
    for (int i = int(fields.size()) - 1; i >= 0; --i) {
        if (m_mapping.toPixels(fields[i].box).contains(pixels))
            return i;
    }
    return -1;
}

void FormCanvas::paintEvent(QPaintEvent *)
{
    const Forms::Form &form = m_document.form();
    QPainter painter(this);
    const QRectF page = m_mapping.toPixels(QRectF(QPointF(0, 0), form.paper));
    painter.fillRect(page, Qt::white);
    if (!m_picture.isNull()) {
        painter.save();
        painter.setClipRect(page);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(m_mapping.toPixels(form.picturePlace), m_picture);
        painter.restore();
    }
    painter.setPen(Qt::black);
    painter.drawRect(page);

    QFont font = this->font();
    font.setPixelSize(std::max(9, qRound(3 * m_mapping.pixelsPerMm())));
    painter.setFont(font);
    for (int i = 0; i < int(form.fields.size()); ++i) {
        const Forms::FormField &field = form.fields[i];
        const QRectF box = m_mapping.toPixels(field.box);
        const bool chosen = i == m_selected;
        painter.fillRect(box, chosen ? QColor(255, 80, 40, 50) : QColor(40, 110, 255, 35));
        painter.setPen(QPen(chosen ? QColor(220, 40, 0) : QColor(30, 90, 220), chosen ? 2 : 1));
        painter.drawRect(box);
        painter.setPen(QColor(20, 40, 120));
        painter.drawText(box.adjusted(2, 1, -2, -1), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         Forms::fieldCaption(field));
    }
    if (m_selected >= 0)
        painter.fillRect(handleRect(m_selected), QColor(220, 40, 0));
    if (m_picking) {
        const QPointF cross = m_mapping.toPixels(m_pickAt);
        painter.setPen(QPen(QColor(0, 150, 0), 1));
        painter.drawLine(QPointF(cross.x(), page.top()), QPointF(cross.x(), page.bottom()));
        painter.drawLine(QPointF(page.left(), cross.y()), QPointF(page.right(), cross.y()));
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DashLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void FormCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF at = event->position();
    if (m_picking) {
        endPicking();
        Q_EMIT pointPicked(m_mapping.toMm(at));
        return;
    }
    if (m_selected >= 0 && handleRect(m_selected).contains(at)) {
        m_drag = Drag::Resize;
    } else {
        setSelected(fieldAt(at));
        m_drag = m_selected >= 0 ? Drag::Move : Drag::None;
    }
    m_pressMm = m_mapping.toMm(at);
    m_movedMm = QPointF();
    ++m_dragCount;
}

void FormCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (m_drag == Drag::None || m_selected < 0)
        return;
    // The field follows the mouse in steps of a tenth of a millimetre; what the
    // step cuts off is made up on the next move, so the field does not drift.
    const QPointF total = m_mapping.toMm(event->position()) - m_pressMm;
    const QPointF target(roundMm(qRound(total.x() * 10) / 10.0), roundMm(qRound(total.y() * 10) / 10.0));
    const QPointF step = target - m_movedMm;
    if (step.isNull())
        return;
    const QString key = QStringLiteral("drag %1").arg(m_dragCount);
    const QRectF before = m_document.form().fields[m_selected].box;
    if (m_drag == Drag::Move)
        m_document.moveField(m_selected, step, key);
    else
        m_document.resizeField(m_selected, step, key);
    const QRectF after = m_document.form().fields[m_selected].box;
    // At the page's edge the field stops; the mouse's lead is not counted.
    m_movedMm += m_drag == Drag::Move
                     ? after.topLeft() - before.topLeft()
                     : QPointF(after.width() - before.width(), after.height() - before.height());
}

void FormCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_drag = Drag::None;
}

void FormCanvas::keyPressEvent(QKeyEvent *event)
{
    const int count = int(m_document.form().fields.size());
    switch (event->key()) {
    case Qt::Key_PageDown:
        if (count > 0)
            setSelected((m_selected + 1) % count);
        return;
    case Qt::Key_PageUp:
        if (count > 0)
            setSelected(m_selected <= 0 ? count - 1 : m_selected - 1);
        return;
    case Qt::Key_Delete:
        if (m_selected >= 0)
            m_document.removeField(m_selected);
        return;
    case Qt::Key_Escape:
        if (m_picking) {
            endPicking();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_picking) {
            endPicking();
            Q_EMIT pointPicked(m_pickAt);
            return;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (m_selected < 0 && !m_picking)
            break;
        double step = event->modifiers() & Qt::ShiftModifier ? LargeStep : Step;
        if (m_picking && (event->modifiers() & Qt::ControlModifier))
            step = 10;
        QPointF delta;
        switch (event->key()) {
        case Qt::Key_Left:
            delta = QPointF(-step, 0);
            break;
        case Qt::Key_Right:
            delta = QPointF(step, 0);
            break;
        case Qt::Key_Up:
            delta = QPointF(0, -step);
            break;
        default:
            delta = QPointF(0, step);
            break;
        }
        if (m_picking) {
            m_pickAt += delta;
            update();
            return;
        }
        // A run of presses on one field is one step to undo.
        if (event->modifiers() & Qt::ControlModifier)
            m_document.resizeField(m_selected, delta, QStringLiteral("keys size %1").arg(m_selected));
        else
            m_document.moveField(m_selected, delta, QStringLiteral("keys move %1").arg(m_selected));
        return;
    }
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

} // namespace Designer
