#pragma once

#include "forms/form.h"

#include <QObject>
#include <QUndoStack>

namespace Designer {

// The form being designed and its undo history. Every change goes through
// edit(), as one step the user can undo; steps that continue one gesture (a
// drag, a run of arrow presses, typing into one number) share a merge key and
// undo as one.
class FormDocument : public QObject
{
    Q_OBJECT
public:
    // Boxes stay at least this big, in millimetres, so that one can still be grabbed.
    static constexpr double MinBoxSide = 1;

    explicit FormDocument(Forms::Form form, QObject *parent = nullptr);

    const Forms::Form &form() const { return m_form; }
    QUndoStack &undoStack() { return m_undo; }

    // Makes after the form as one undoable step named text; nothing when it
    // changes nothing.
    void edit(const QString &text, const Forms::Form &after, const QString &mergeKey = QString());

    void setField(int index, const Forms::FormField &field, const QString &text,
                  const QString &mergeKey = QString());
    // Moves the field's box by delta mm, kept on the page.
    void moveField(int index, QPointF delta, const QString &mergeKey);
    // Grows the box's width and height by delta mm, kept on the page and at least MinBoxSide.
    void resizeField(int index, QPointF delta, const QString &mergeKey);
    // The field's box from x, y, width and height as typed.
    void setFieldBox(int index, const QRectF &box, const QString &mergeKey);
    // Its index.
    int addField(const Forms::FormField &field);
    void removeField(int index);

    // Called by the undo steps only.
    void apply(const Forms::Form &form);

Q_SIGNALS:
    void changed();

private:
    // The box within the page, its sides at least MinBoxSide.
    QRectF keptOnPage(const QRectF &box) const;

    Forms::Form m_form;
    QUndoStack m_undo;
};

} // namespace Designer
