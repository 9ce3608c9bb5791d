#include "shell/pickerlist.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>

class PickerList::Model : public QAbstractListModel
{
public:
    struct Entry
    {
        QString text;
        QString folded; // shares text's data when folding changes nothing
    };

    using QAbstractListModel::QAbstractListModel;

    static Entry makeEntry(QString text)
    {
        QString folded = text.toCaseFolded();
        if (folded == text)
            folded = text;
        return {std::move(text), std::move(folded)};
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(entries.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole && index.isValid() && index.row() < rowCount())
            return entries[index.row()].text;
        return {};
    }

    void insert(int row, QString text)
    {
        beginInsertRows(QModelIndex(), row, row);
        entries.insert(entries.begin() + row, makeEntry(std::move(text)));
        endInsertRows();
    }

    void remove(int row)
    {
        beginRemoveRows(QModelIndex(), row, row);
        entries.erase(entries.begin() + row);
        endRemoveRows();
    }

    // Texts must be sorted.
    void reset(QStringList texts)
    {
        beginResetModel();
        entries.clear();
        entries.shrink_to_fit();
        entries.reserve(texts.size());
        for (QString &text : texts)
            entries.push_back(makeEntry(std::move(text)));
        endResetModel();
    }

    std::vector<Entry> entries;
};

PickerList::PickerList(QWidget *parent)
    : QWidget(parent), m_model(new Model(this)), m_edit(new QLineEdit(this)), m_view(new QListView(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit);
    layout->addWidget(m_view);

    m_view->setModel(m_model);
    m_view->setUniformItemSizes(true);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setFocusPolicy(Qt::NoFocus);
    m_view->viewport()->installEventFilter(this);
    m_edit->installEventFilter(this);
    setFocusProxy(m_edit);
    setFocusPolicy(Qt::StrongFocus);

    connect(m_edit, &QLineEdit::textEdited, this, [this] {
        followEditLine();
        Q_EMIT changed();
    });
}

int PickerList::count() const
{
    return static_cast<int>(m_model->entries.size());
}

QString PickerList::entry(int index) const
{
    return (index >= 0 && index < count()) ? m_model->entries[index].text : QString();
}

QStringList PickerList::entries() const
{
    QStringList texts;
    texts.reserve(count());
    for (const auto &e : m_model->entries)
        texts.append(e.text);
    return texts;
}

void PickerList::addEntry(const QString &text)
{
    auto &entries = m_model->entries;
    const auto place =
        std::upper_bound(entries.begin(), entries.end(), text,
                         [this](const QString &t, const auto &e) { return m_collation.lessThan(t, e.text); });
    const int row = static_cast<int>(place - entries.begin());
    m_model->insert(row, text);
    if (m_selected >= row)
        ++m_selected;
    showSelection();
}

void PickerList::addEntries(QStringList texts)
{
    if (texts.isEmpty())
        return;
    const bool hadEntries = !m_model->entries.empty();
    if (hadEntries) {
        // Rare: the list already holds entries. Sort them all together once.
        texts += entries();
        m_selected = -1;
    }
    m_collation.sort(texts);
    m_model->reset(std::move(texts));
    if (hadEntries)
        followEditLine();
}

void PickerList::removeEntry(int index)
{
    if (index < 0 || index >= count())
        return;
    m_model->remove(index);
    if (m_selected == index)
        m_selected = -1;
    else if (m_selected > index)
        --m_selected;
    showSelection();
}

void PickerList::clear()
{
    m_model->reset({});
    m_selected = -1;
    m_edit->clear();
}

void PickerList::selectIndex(int index)
{
    if (index < 0 || index >= count()) {
        m_selected = -1;
        showSelection();
        return;
    }
    m_selected = index;
    showSelection();
    m_edit->setText(m_model->entries[index].text);
    m_edit->selectAll();
    Q_EMIT picked();
}

int PickerList::findPrefix(QStringView text) const
{
    if (text.isEmpty())
        return -1;
    const QString folded = text.toString().toCaseFolded();
    const auto &entries = m_model->entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].folded.startsWith(folded))
            return static_cast<int>(i);
    }
    return -1;
}

QString PickerList::text() const
{
    return m_edit->text();
}

void PickerList::replaceSelection(const QString &text)
{
    // QLineEdit::insert keeps the user's undo history; it reports the change as an
    // edit, which is exactly the notification wanted here.
    m_edit->insert(text);
}

void PickerList::setSelection(int start, int length)
{
    m_edit->setSelection(start, length);
}

void PickerList::relist(QStringList texts)
{
    const QString text = m_edit->text();
    const int start = m_edit->selectionStart();
    const int length = static_cast<int>(m_edit->selectedText().size());
    const int cursor = m_edit->cursorPosition();
    clear();
    addEntries(std::move(texts));
    m_edit->setText(text);
    if (start >= 0)
        m_edit->setSelection(start, length);
    else
        m_edit->setCursorPosition(cursor);
    followEditLine();
}

void PickerList::followEditLine()
{
    const QString folded = m_edit->text().toCaseFolded();
    if (m_selected >= 0 && m_model->entries[m_selected].folded == folded)
        return;
    m_selected = -1;
    if (!folded.isEmpty()) {
        const auto &entries = m_model->entries;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].folded == folded) {
                m_selected = static_cast<int>(i);
                break;
            }
        }
    }
    showSelection();
}

void PickerList::showSelection()
{
    if (m_selected < 0) {
        m_view->selectionModel()->clear();
        return;
    }
    const QModelIndex index = m_model->index(m_selected);
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_view->scrollTo(index);
}

bool PickerList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        Q_EMIT keyDown(key);
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && count() > 0) {
            const int next =
                key == Qt::Key_Down ? std::min(m_selected + 1, count() - 1) : std::max(m_selected - 1, 0);
            if (next != m_selected)
                selectIndex(next);
            return true;
        }
    } else if (watched == m_view->viewport() &&
               (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        // The list's selection is ours to keep in step with the edit line; a click
        // picks the entry under the mouse, nothing more.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            const QModelIndex index = m_view->indexAt(mouse->position().toPoint());
            if (index.isValid() && event->type() == QEvent::MouseButtonPress)
                selectIndex(index.row());
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
