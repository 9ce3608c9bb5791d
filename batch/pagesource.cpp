#include "batch/pagesource.h"

#include "batch/printbatch.h"
#include "forms/formlibrary.h"
#include "forms/formpainter.h"
#include "forms/frmform.h"
#include "platform/platform.h"
#include "waybill/waybillwindow.h"

#include <QFileInfo>

#include <optional>

namespace {

class CourierPages : public PageSource
{
public:
    CourierPages(Platform &platform, const QString &key)
        : m_platform(platform), m_key(key), m_description(*PrintBatch::description(key))
    {
    }

    QString caption() const override { return m_description.courier.toString(); }
    QString courier() const override { return PrintBatch::courierOf(m_key); }
    QString shippingName() const override { return PrintBatch::shippingName(m_key); }
    Waybill::PrintSettings settings() const override
    {
        return Waybill::PrintSettings::load(m_platform, m_description.settingsSection.toString());
    }
    QStringList cutFields(const FieldReader &read) const override
    {
        return Waybill::Sheet(m_description, read).cutFields();
    }
    void paint(QPainter &painter, const FieldReader &read) const override
    {
        Waybill::Sheet(m_description, read).paint(painter);
    }

private:
    Platform &m_platform;
    QString m_key;
    const Waybill::Description &m_description;
};

class FormPages : public PageSource
{
public:
    FormPages(Platform &platform, const QString &fileName) : m_platform(platform), m_fileName(fileName)
    {
        std::optional<Forms::Form> form = Forms::FormLibrary(platform).load(fileName, &m_problem);
        if (form) {
            m_form = std::move(*form);
            m_painter = std::make_unique<Forms::FormPainter>(m_form);
        } else if (m_problem.isEmpty()) {
            m_problem = QStringLiteral("快递单模板“%1”无法读取。").arg(fileName);
        }
    }

    QString problem() const override { return m_problem; }
    QString caption() const override
    {
        return m_painter ? m_form.name : QFileInfo(m_fileName).completeBaseName();
    }
    // As the form's own window writes it into the journal.
    QString courier() const override { return caption(); }
    QString shippingName() const override { return caption(); }
    QString formId() const override { return m_painter ? m_form.id : QString(); }
    Waybill::PrintSettings settings() const override { return frmForm::loadSettings(m_platform, m_form); }
    QStringList askedLabels() const override
    {
        return m_painter ? Forms::askedLabels(m_form) : QStringList();
    }
    void setAnswers(const QHash<QString, QString> &answers) override { m_answers = answers; }
    QStringList cutFields(const FieldReader &read) const override
    {
        return m_painter ? m_painter->overflowingFields(values(read)) : QStringList();
    }
    void paint(QPainter &painter, const FieldReader &read) const override
    {
        // On paper the fields alone: the picture is the form the printer is loaded with.
        // A landscape form is drawn turned on the page, as its own window prints it.
        if (!m_painter)
            return;
        if (!m_turned) {
            const Waybill::PrintSettings used = settings();
            m_turned = Forms::FormPainter::turnedOnPage(m_form, used.paper, used.landscape);
        }
        m_painter->paintOnPage(painter, values(read), *m_turned, Forms::FormPainter::NoBackground);
    }

private:
    Forms::FormValues values(const FieldReader &read) const
    {
        Forms::FormValues values;
        values.contact = read;
        values.asked = m_answers;
        // A parcel of several says which it is where the form asks for 件数.
        const QString parcel = read(u"parcel");
        if (!parcel.isEmpty() && values.asked.contains(QStringLiteral("件数")))
            values.asked.insert(QStringLiteral("件数"), parcel);
        return values;
    }

    Platform &m_platform;
    QString m_fileName;
    QString m_problem;
    Forms::Form m_form;
    std::unique_ptr<Forms::FormPainter> m_painter;
    QHash<QString, QString> m_answers;
    mutable std::optional<bool> m_turned;
};

} // namespace

std::unique_ptr<PageSource> PageSource::open(Platform &platform, const QString &key)
{
    if (PrintBatch::forms().contains(key))
        return std::make_unique<CourierPages>(platform, key);
    return std::make_unique<FormPages>(platform, key);
}
