#pragma once

#include <QDialog>

#include <array>

class AddressParser;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// 粘贴识别地址: the user pastes an address as copied from an order or a chat, checks
// and corrects the fields it was split into, and puts them into the sender's or the
// recipient's fields of the main window. Saving stays with that side's 新增/修改.
class PasteAddressDialog : public QDialog
{
    Q_OBJECT
public:
    enum Side { Sender, Recipient };

    PasteAddressDialog(const AddressParser &parser, const QString &pastedText, QWidget *parent = nullptr);

    Side side() const;
    // The eight fields in the order of a contact file's keys.
    QStringList fields() const;

Q_SIGNALS:
    // 填入 was pressed.
    void filled(PasteAddressDialog::Side side, const QStringList &fields);

private:
    void txtPasted_Change();
    void field_Edit(QLineEdit *field);
    void cmdFill_Click();

    const AddressParser &m_parser;
    QPlainTextEdit *txtPasted = nullptr;
    QRadioButton *optSender = nullptr;
    QRadioButton *optRecipient = nullptr;
    std::array<QLineEdit *, 8> m_fields{};
    QPushButton *cmdFill = nullptr;
    QPushButton *cmdCancel = nullptr;
};
