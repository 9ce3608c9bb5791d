#pragma once

#include "designer/filepicker.h"
#include "forms/form.h"

#include <QDialog>

class Platform;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFontComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;

namespace Forms {
class FormLibrary;
}

namespace Designer {

class FormCanvas;
class FormDocument;

// The editor of one form: the page with the picture of the blank form behind
// the fields, a palette to add fields from, each field's box and lettering as
// numbers and choices, the picture opened and aligned, undo and redo, a test
// print, and 保存 into the forms folder.
class frmFormEditor : public QDialog
{
    Q_OBJECT
public:
    // fileName: the form's file in the library, empty for one not saved yet.
    frmFormEditor(Platform &platform, Forms::FormLibrary &library, const Forms::Form &form, QString fileName,
                  FilePicker picker, QWidget *parent);
    ~frmFormEditor() override;

    // The whole page at 100 % beside the panels; the least size is smaller.
    QSize sizeHint() const override;

    FormDocument &document() { return *m_document; }
    FormCanvas &canvas() { return *m_canvas; }
    const QString &fileName() const { return m_fileName; }
    // Saves into the library; tells the user and gives false when it cannot.
    bool save();

Q_SIGNALS:
    void saved(const QString &fileName);

public Q_SLOTS:
    // Asks to save a changed form first.
    void reject() override;

private:
    void buildPageBar(QGridLayout *grid);
    QWidget *buildFieldPanel();
    QWidget *buildPicturePanel();

    void document_Changed();
    void canvas_SelectionChanged(int index);
    void canvas_PointPicked(QPointF mm);
    void txtName_EditingFinished();
    void spnPaper_ValueChanged();
    void chkLandscape_Toggled();
    void cboZoom_Change();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void lstFields_CurrentRowChanged(int row);
    void spnBox_ValueChanged();
    void txtText_EditingFinished();
    void fieldStyle_Changed();
    void cmdPicture_Click();
    void cmdRemovePicture_Click();
    void cmdPick1_Click();
    void cmdPick2_Click();
    void spnOnPage_ValueChanged();
    void cmdAlign_Click();
    void cmdTestPrint_Click();
    void cmdSettings_Click();
    void cmdSave_Click();

    // 对齐底图 once both points are taken on the picture.
    void enableAlign();
    // What is typed into the controls and not yet taken, into the form.
    void commitTyped();
    // The chosen field's values into its controls, without their handlers.
    void showField();
    // The field as the style controls show it.
    Forms::FormField fieldFromControls(const Forms::FormField &field) const;

    Platform &m_platform;
    // The resolution of the form's printer, for the module width it will use;
    // asked once, when a barcode field is first shown. 0 until then.
    mutable int m_printerDpi = 0;
    int printerDpi() const;
    Forms::FormLibrary &m_library;
    QString m_fileName;
    FilePicker m_picker;
    FormDocument *m_document;
    bool m_showing = false; // the controls are being filled from the form
    QSize m_wholePage;
    int m_pickedPoint = 0;             // which alignment point the next click on the page gives
    bool m_picked[2] = {false, false}; // each alignment point taken on the picture shown now
    QByteArray m_pictureShown;

    FormCanvas *m_canvas;
    QScrollArea *m_scroll;
    QLineEdit *txtName;
    QDoubleSpinBox *spnPaperWidth;
    QDoubleSpinBox *spnPaperHeight;
    QCheckBox *chkLandscape;
    QComboBox *cboZoom;
    QComboBox *cboKind;
    QPushButton *cmdAdd;
    QListWidget *lstFields;
    QPushButton *cmdRemove;
    QDoubleSpinBox *spnX;
    QDoubleSpinBox *spnY;
    QDoubleSpinBox *spnWidth;
    QDoubleSpinBox *spnHeight;
    QLabel *lblText;
    QLineEdit *txtText;
    QFontComboBox *cboFont;
    QDoubleSpinBox *spnSize;
    QCheckBox *chkBold;
    QComboBox *cboHAlign;
    QComboBox *cboVAlign;
    QComboBox *cboFit;
    QDoubleSpinBox *spnPitch;
    QCheckBox *chkShowText;
    QDoubleSpinBox *spnModule;
    QComboBox *cboErrorLevel;
    QLabel *lblModule;
    QPushButton *cmdPicture;
    QPushButton *cmdRemovePicture;
    QDoubleSpinBox *spnOnPage[4]; // the two points where they lie on the page now: x1, y1, x2, y2
    QDoubleSpinBox *spnOnForm[4]; // and where they truly are
    QPushButton *cmdPick1;
    QPushButton *cmdPick2;
    QPushButton *cmdAlign;
    QPushButton *cmdUndo;
    QPushButton *cmdRedo;
    QCheckBox *chkFaint;
    QPushButton *cmdTestPrint;
    QPushButton *cmdSettings;
    QPushButton *cmdSave;
    QPushButton *cmdClose;
};

} // namespace Designer
