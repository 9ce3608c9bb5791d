#include "designer/formdocument.h"

#include "designer/pagemapping.h"

#include <QUndoCommand>

#include <algorithm>

namespace Designer {

namespace {

// One step: the whole form before and after. A form is small (its picture's
// bytes are shared, not copied), and one kind of step serves every edit.
class FormEdit : public QUndoCommand
{
public:
    FormEdit(FormDocument &document, const QString &text, Forms::Form before, Forms::Form after,
             QString mergeKey)
        : QUndoCommand(text), m_document(document), m_before(std::move(before)), m_after(std::move(after)),
          m_mergeKey(std::move(mergeKey))
    {
    }

    void undo() override { m_document.apply(m_before); }
    void redo() override { m_document.apply(m_after); }
    int id() const override { return m_mergeKey.isEmpty() ? -1 : 1; }
    bool mergeWith(const QUndoCommand *other) override
    {
        const auto *next = static_cast<const FormEdit *>(other);
        if (next->m_mergeKey != m_mergeKey)
            return false;
        m_after = next->m_after;
        setObsolete(m_after == m_before);
        return true;
    }

private:
    FormDocument &m_document;
    Forms::Form m_before;
    Forms::Form m_after;
    QString m_mergeKey;
};

} // namespace

FormDocument::FormDocument(Forms::Form form, QObject *parent) : QObject(parent), m_form(std::move(form)) {}

void FormDocument::edit(const QString &text, const Forms::Form &after, const QString &mergeKey)
{
    if (after == m_form)
        return;
    m_undo.push(new FormEdit(*this, text, m_form, after, mergeKey));
}

void FormDocument::apply(const Forms::Form &form)
{
    m_form = form;
    Q_EMIT changed();
}

void FormDocument::setField(int index, const Forms::FormField &field, const QString &text,
                            const QString &mergeKey)
{
    if (index < 0 || index >= int(m_form.fields.size()))
        return;
    Forms::Form after = m_form;
    after.fields[index] = field;
    edit(text, after, mergeKey);
}

QRectF FormDocument::keptOnPage(const QRectF &box) const
{
    const QSizeF paper = m_form.paper;
    const double w = std::clamp(box.width(), MinBoxSide, paper.width());
    const double h = std::clamp(box.height(), MinBoxSide, paper.height());
    const double x = std::clamp(box.x(), 0.0, paper.width() - w);
    const double y = std::clamp(box.y(), 0.0, paper.height() - h);
    return roundMm(QRectF(x, y, w, h));
}

void FormDocument::moveField(int index, QPointF delta, const QString &mergeKey)
{
    if (index < 0 || index >= int(m_form.fields.size()))
        return;
    Forms::FormField field = m_form.fields[index];
    field.box = keptOnPage(field.box.translated(delta));
    setField(index, field, QStringLiteral("移动字段"), mergeKey);
}

void FormDocument::resizeField(int index, QPointF delta, const QString &mergeKey)
{
    if (index < 0 || index >= int(m_form.fields.size()))
        return;
    Forms::FormField field = m_form.fields[index];
    QRectF box = field.box;
    box.setSize(box.size() + QSizeF(delta.x(), delta.y()));
    // Growing past the page's edge stops at the edge rather than pushing the box back.
    box.setWidth(std::min(box.width(), m_form.paper.width() - box.x()));
    box.setHeight(std::min(box.height(), m_form.paper.height() - box.y()));
    field.box = keptOnPage(box);
    setField(index, field, QStringLiteral("改变字段大小"), mergeKey);
}

void FormDocument::setFieldBox(int index, const QRectF &box, const QString &mergeKey)
{
    if (index < 0 || index >= int(m_form.fields.size()))
        return;
    Forms::FormField field = m_form.fields[index];
    field.box = keptOnPage(box);
    setField(index, field, QStringLiteral("改变字段位置"), mergeKey);
}

int FormDocument::addField(const Forms::FormField &field)
{
    Forms::Form after = m_form;
    Forms::FormField added = field;
    added.box = keptOnPage(field.box);
    after.fields.push_back(added);
    edit(QStringLiteral("添加字段"), after);
    return int(m_form.fields.size()) - 1;
}

void FormDocument::removeField(int index)
{
    if (index < 0 || index >= int(m_form.fields.size()))
        return;
    Forms::Form after = m_form;
    after.fields.erase(after.fields.begin() + index);
    edit(QStringLiteral("删除字段"), after);
}

} // namespace Designer
