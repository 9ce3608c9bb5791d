#include "waybill/frmsf.h"

using Waybill::Field;
using Waybill::FieldReader;

frmSF::frmSF(Platform &platform, const FieldReader &read) : Waybill::Window(description(), platform, read)
{
    setObjectName(QStringLiteral("frmSF"));
}

const Waybill::Description &frmSF::description()
{
    // The boxes of the SF Express paper waybill that take the sender and the recipient.
    static const Waybill::Description sf{
        9900,
        6810,
        u"顺丰快递运单",
        u"顺丰快递",
        u"SF",
        {
            {u"txtSent", 1080, 1800, 2415, 255, 12, false, Field::Fixed,
             [](const FieldReader &main) { return main(u"txtSent"); }},
            {u"txtName", 4080, 1680, 975, 255, 12, false, Field::Fixed,
             [](const FieldReader &main) { return main(u"txtName"); }},
            // The sender's street starts a line of its own.
            {u"txtAdd", 1080, 2280, 3615, 735, 12, false, Field::Fixed,
             [](const FieldReader &main) { return Waybill::addressText(main, u"", u"\r\n"); }},
            // The sender's phone prints spaced out: "021" as "0 2 1 ".
            {u"txtTel", 2280, 3000, 2205, 180, 9, true, Field::Auto,
             [](const FieldReader &main) { return Waybill::spacedOut(main(u"txtTel")); }},
            {u"txtSentTo", 1080, 4080, 2415, 255, 12, false, Field::Fixed,
             [](const FieldReader &main) { return main(u"txtSentTo"); }},
            {u"txtNameTo", 4080, 3960, 975, 255, 12, false, Field::Fixed,
             [](const FieldReader &main) { return main(u"txtNameTo"); }},
            {u"txtAddTo", 1080, 4560, 3615, 735, 12, false, Field::Fixed,
             [](const FieldReader &main) { return Waybill::addressText(main, u"To"); }},
            {u"txtTelTo", 2280, 5280, 2760, 210, 10.5, true, Field::Auto,
             [](const FieldReader &main) { return main(u"txtTelTo"); }},
        }};
    return sf;
}
