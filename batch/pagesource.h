#pragma once

#include "waybill/printsettings.h"

#include <QHash>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Platform;

// What a batch prints its pages with: one of the couriers' waybills the program
// knows, or a form of the user's. The batch names it by key: "SF" or "YD" for a
// courier, the form's file name in the forms folder for a form.
class PageSource
{
public:
    using FieldReader = std::function<QString(QStringView)>;

    // Never null: a form whose file cannot be read gives a source whose problem()
    // says why, and that prints nothing.
    static std::unique_ptr<PageSource> open(Platform &platform, const QString &key);
    virtual ~PageSource() = default;

    // Why nothing can be printed with it; empty when it can.
    virtual QString problem() const { return QString(); }
    // As the user knows it: 顺丰快递, or the form's name.
    virtual QString caption() const = 0;
    // As the print journal names the courier: 顺丰, or the form's name.
    virtual QString courier() const = 0;
    // As web shops list the courier in their shipping files: 顺丰速运.
    virtual QString shippingName() const = 0;
    // The id of the user's form it prints, as the journal records it; empty for a courier's own.
    virtual QString formId() const { return QString(); }
    virtual Waybill::PrintSettings settings() const = 0;

    // The values asked for when printing, by label, and the answers to them.
    virtual QStringList askedLabels() const { return {}; }
    virtual void setAnswers(const QHash<QString, QString> &) {}

    // The captions of the fields whose text does not fit; couriers and forms
    // each check the way their own windows do.
    virtual QStringList cutFields(const FieldReader &read) const = 0;
    // Paints one page for the values read, in client pixels as Waybill::printPage gives them.
    virtual void paint(QPainter &painter, const FieldReader &read) const = 0;
};
