#pragma once

#include "designer/filepicker.h"

#include <QDialog>

class Platform;
class QComboBox;
class QPushButton;
class QTreeWidget;

namespace Forms {
class FormLibrary;
}

namespace Designer {

class frmFormEditor;

// 快递单模板: the user's forms, to make, change, copy, delete, bring in and send
// out, and to give one of the main window's six courier buttons.
class frmFormList : public QDialog
{
    Q_OBJECT
public:
    frmFormList(Platform &platform, Forms::FormLibrary &library, FilePicker picker,
                QWidget *parent = nullptr);

    // Reads the forms folder again, keeping the chosen form chosen.
    void reload(const QString &choose = QString());
    // The editor open now, if any.
    frmFormEditor *editor() const;

Q_SIGNALS:
    // A form was saved, deleted or given a button: the main window's buttons follow.
    void formsChanged();

private:
    void lstForms_SelectionChanged();
    void cmdNew_Click();
    void cmdEdit_Click();
    void cmdCopy_Click();
    void cmdDelete_Click();
    void cmdImport_Click();
    void cmdExport_Click();
    void cboSlot_Change();
    void editor_Saved(const QString &fileName);

    // The chosen form's file name; empty when none is chosen.
    QString chosen() const;
    void openEditor(const QString &fileName);
    void warn(const QString &text);

    Platform &m_platform;
    Forms::FormLibrary &m_library;
    FilePicker m_picker;
    bool m_filling = false;

    QTreeWidget *lstForms;
    QComboBox *cboPreset;
    QPushButton *cmdNew;
    QPushButton *cmdEdit;
    QPushButton *cmdCopy;
    QPushButton *cmdDelete;
    QPushButton *cmdImport;
    QPushButton *cmdExport;
    QComboBox *cboSlot;
    QPushButton *cmdClose;
};

} // namespace Designer
