#pragma once

#include "shell/collation.h"

#include <QAbstractListModel>
#include <QWidget>

#include <vector>

class QLineEdit;
class QListView;

// A combo box of the "simple" kind: an edit line with its list always open below
// it. The list keeps itself sorted (Collation). The list's selected entry follows
// the edit line: it is the entry equal to the line's text, case ignored, or none.
//
// Notifications, all delivered synchronously:
//   picked()     an entry became selected, by a click, an arrow key or selectIndex();
//   changed()    the edit line's text changed by typing, or by replaceSelection();
//   keyDown(key) a key went down in the edit line, before the line handles it.
class PickerList : public QWidget
{
    Q_OBJECT
public:
    explicit PickerList(QWidget *parent = nullptr);

    QLineEdit *editLine() const { return m_edit; }
    QListView *listView() const { return m_view; }

    int count() const;
    QString entry(int index) const;
    QStringList entries() const;
    void addEntry(const QString &text);
    // Sorts once and inserts in bulk.
    void addEntries(QStringList texts);
    void removeEntry(int index);
    // Empties the list and the edit line, without notifications.
    void clear();
    // Lists the entries as they are now; the edit line keeps its text and its
    // selected completion, the list's selection follows it, without notifications.
    void relist(QStringList texts);

    int selectedIndex() const { return m_selected; }
    // Selects as the user would: the edit line shows the entry and picked() runs
    // before this returns. An index out of range clears the selection.
    void selectIndex(int index);

    // The first entry from the top that begins with text, case ignored; -1 when
    // none. The empty text begins no entry.
    int findPrefix(QStringView text) const;

    QString text() const;
    // Replaces the edit line's selected text (inserts at the caret when nothing
    // is selected); changed() runs before this returns.
    void replaceSelection(const QString &text);
    void setSelection(int start, int length);

Q_SIGNALS:
    void picked();
    void changed();
    void keyDown(int key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class Model;

    void followEditLine();
    void showSelection();

    Collation m_collation;
    Model *m_model;
    QLineEdit *m_edit;
    QListView *m_view;
    int m_selected = -1;
};
