#pragma once

#include "addressbook/contactstore.h"
#include "platform/profile.h"
#include "tools/pasteaddressdialog.h"

#include <QHash>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace Waybill {
class PrintWindow;
}
namespace Forms {
class FormLibrary;
struct Form;
} // namespace Forms
class AdPane;
class PasswordStore;
class QFileSystemWatcher;
class QTimer;
class SyncService;
struct SyncReport;
class FileChooser;
class PrintJournal;
class AddressParser;
class ContactBook;
class PickerList;
class Platform;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class RecipientGroups;
class RegionTable;

// The main window: the sender book, the recipient book with its groups, the
// courier buttons and the two advertisement panes. It owns the address book's
// store, whose current path its hidden label `path` shows, and skipNextChange.
class PackingWindows;
class frmBatch;

class frmMain : public QWidget
{
    Q_OBJECT
public:
    // adServer: host (or host:port) of the advertising web server; empty leaves
    // the panes blank.
    // chooser: the file dialogs of import and export; the system's own when none is given.
    // passwords: where the sync password is kept; the desktop's secret store when none is given.
    frmMain(Platform &platform, QString adServer, QWidget *parent = nullptr, FileChooser *chooser = nullptr,
            PasswordStore *passwords = nullptr);
    ~frmMain() override;

    // The start-up sequence. False when a storage folder could not be created:
    // the user has been told why and the window must not be shown.
    bool Form_Load();
    void showCentred();

    ContactStore &store() { return m_store; }

    // The address book's operations under their classic names, on the store.
    QString currentPath() const;
    void setCurrentPath(const QString &path);
    QString ReadContactValue(const QString &section, const QString &key, const QString &defaultValue);
    StoreResult WriteContactValue(const QString &section, const QString &key, const QString &value);
    StoreResult WriteContactValues(const QString &section, const Profile::Values &values);
    static QString ContactNameFromFile(const QString &fileName);
    // Adds an entry for every contact file of the folder named by the current path.
    void ContactListing(PickerList &target);

    // The text of one of the sixteen contact fields, by its name ("txtSent", ...).
    QString fieldText(QStringView fieldName) const;

    Platform &platform() const { return m_platform; }
    Forms::FormLibrary &forms() { return *m_forms; }
    // Shows the courier slots 3 to 8 that hold a form, captioned with its name
    // and the slot's Alt key, and hides the others; after the forms changed.
    void refreshFormSlots();
    bool skipNextChange = false;

private:
    // One row of a preview frame: a label and, mostly, the text field beside it.
    struct FieldRow
    {
        const char *labelName;
        const char *caption;
        QRect labelTwips;
        int labelTab;
        const char *fieldName; // nullptr for a label alone
        QRect fieldTwips;
        int fieldTab;
    };

    void buildLayout();
    void buildSenderArea();
    void buildRecipientArea();
    void buildCourierColumn();
    void addPreviewRows(QWidget *preview, const std::vector<FieldRow> &rows, const QColor &colour);
    void applyTabOrder();
    void connectHandlers();
    QList<QLineEdit *> fieldsFor(const QStringList &keys) const;

    void cmbSent_Click();
    void cmbSent_Change();
    void cmbSent_KeyDown(int key);
    void cmdNew_Click();
    void cmdDel_Click();
    void cmdSentIndex_Click();
    void cmbTo_Click();
    void cmbTo_Change();
    void cmbTo_KeyDown(int key);
    void cmdNewTo_Click();
    void cmdDelTo_Click();
    void Combo1_Click();
    void cmdNew2_Click();
    void cmdDel2_Click();
    void cmdSF_Click();
    void cmdYD_Click();
    // The courier slots 3 to 8, each opening the form it holds.
    void Command3_Click();
    void Command1_Click();
    void Command2_Click();
    void Command4_Click();
    void Command6_Click();
    void Command5_Click();
    void openFormInSlot(int slot);
    // Lists the forms in no slot in the 工具 menu.
    void mnuTools_AboutToShow();

    // The 工具 button and its menu.
    void buildToolsMenu();
    void cmdTools_Click();
    void actPaste_Triggered();
    void actImport_Triggered();
    void actExport_Triggered();
    void actJournal_Triggered();
    void actForms_Triggered();
    void actBatch_Triggered();
    void actCheck_Triggered();
    void actDayClose_Triggered();
    // The batch window, started by start (offering the saved batch, or opening one at a row).
    void runBatchWindow(QWidget *parent, const std::function<void(frmBatch &)> &start);
    PackingWindows packingWindows();
    // Made on first use: the region table takes a moment to read.
    const AddressParser &addressParser();
    void frmImport_Imported(const QString &group);
    // Opens the courier's waybill window filled by read; what it prints goes into
    // the journal, and a second waybill for the same recipient today is asked about.
    // formId: the user's form a journal entry was printed on; empty for a
    // courier's own waybill, or an entry from before forms had ids in the journal.
    void openWaybill(const QString &courier, const std::function<QString(QStringView)> &read,
                     const QString &formId = QString());
    // The same for a user's form; its name stands for the courier in the journal.
    void openForm(const Forms::Form &form, const std::function<QString(QStringView)> &read);
    // Runs a waybill window: the same-day check before printing, the journal after.
    void showWaybill(Waybill::PrintWindow &form, const QString &courier,
                     const std::function<QString(QStringView)> &read, const QString &formId = QString());
    // The same-day question before printing, and the journal entry after it.
    std::function<bool()> sameDayCheck(const QString &courier,
                                       const std::function<QString(QStringView)> &read);
    void recordPrint(const QString &courier, const std::function<QString(QStringView)> &read,
                     const QString &printer, const QString &formId);
    void pasteDialog_Filled(PasteAddressDialog::Side side, const QStringList &fields);
    void actSyncSettings_Triggered();
    void actSyncNow_Triggered();
    void sync_Started();
    void sync_Progressed();
    void sync_Finished(const SyncReport &report);
    void store_GroupDeleted(const QString &group);
    void watcher_DirectoryChanged();
    void refreshTimer_Timeout();
    // With a server set, the lists follow what a sync or another PC changes in the
    // folders; without one nothing is watched, as before.
    void followFolders();
    void showSyncStatus();

    Platform &m_platform;
    ContactStore m_store;
    std::unique_ptr<FileChooser> m_ownChooser;
    FileChooser &m_chooser;
    std::unique_ptr<PrintJournal> m_journal;
    std::unique_ptr<Forms::FormLibrary> m_forms;
    QString m_adServer;
    QHash<QString, QLineEdit *> m_fields;

    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QGroupBox *Frame5 = nullptr;
    QGroupBox *Frame6 = nullptr;
    QLabel *path = nullptr;
    PickerList *cmbSent = nullptr;
    PickerList *cmbTo = nullptr;
    QComboBox *Combo1 = nullptr;
    QPushButton *cmdNew = nullptr;
    QPushButton *cmdDel = nullptr;
    QPushButton *cmdSentIndex = nullptr;
    QPushButton *cmdNewTo = nullptr;
    QPushButton *cmdDelTo = nullptr;
    QPushButton *cmdNew2 = nullptr;
    QPushButton *cmdDel2 = nullptr;
    QPushButton *cmdSF = nullptr;
    QPushButton *cmdYD = nullptr;
    AdPane *WebBrowser1 = nullptr;
    AdPane *WebBrowser2 = nullptr;

    std::unique_ptr<ContactBook> m_senders;
    std::unique_ptr<ContactBook> m_recipients;
    std::unique_ptr<RecipientGroups> m_groups;

    QPushButton *cmdTools = nullptr;
    QMenu *m_toolsMenu = nullptr;
    // The menu entries of the forms in no slot, remade each time the menu opens.
    QList<QAction *> m_formActions;
    // Read the first time an address is pasted, not at start-up.
    std::unique_ptr<RegionTable> m_regions;
    std::unique_ptr<AddressParser> m_addressParser;

    std::unique_ptr<PasswordStore> m_ownPasswords;
    std::unique_ptr<SyncService> m_sync;
    QAction *actSyncNow = nullptr;
    QAction *actSyncStatus = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_refreshTimer = nullptr;
};
