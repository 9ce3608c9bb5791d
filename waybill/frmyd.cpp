#include "waybill/frmyd.h"

using Waybill::Field;
using Waybill::FieldReader;

frmYD::frmYD(Platform &platform, const FieldReader &read) : Waybill::Window(description(), platform, read)
{
    setObjectName(QStringLiteral("frmYD"));
}

const Waybill::Description &frmYD::description()
{
    // The Yunda paper waybill: the sender's block on the left half, the
    // recipient's on the right, with a box of its own for the destination city.
    static const Waybill::Description yd{
        12390,
        6600,
        u"韵达快递运单",
        u"韵达快递",
        u"YD",
        {
            {u"txtName", 1440, 1080, 975, 255, 12, false, Field::Fixed,
             [](const FieldReader &main) { return main(u"txtName"); }},
            {u"txtSent", 1680, 1440, 4335, 255, 12, false, Field::Fixed,
             [](const FieldReader &main) { return main(u"txtSent"); }},
            {u"txtAdd", 1320, 1800, 3975, 735, 12, false, Field::Fixed,
             [](const FieldReader &main) { return Waybill::addressText(main, u""); }},
            {u"txtTel", 1800, 3120, 1485, 240, 12, true, Field::Auto,
             [](const FieldReader &main) { return main(u"txtTel"); }},
            {u"txtCTo", 6480, 1080, 1455, 255, 12, false, Field::Fixed,
             [](const FieldReader &main) { return main(u"txtCTo"); }},
            {u"txtTelTo", 9600, 1080, 1485, 240, 12, true, Field::Auto,
             [](const FieldReader &main) { return main(u"txtTelTo"); }},
            {u"txtSentTo", 6720, 1440, 4455, 255, 12, false, Field::Fixed,
             [](const FieldReader &main) { return main(u"txtSentTo"); }},
            {u"txtAddTo", 6720, 1800, 3855, 1335, 12, false, Field::Fixed,
             [](const FieldReader &main) { return Waybill::addressText(main, u"To"); }},
            {u"txtNameTo", 6720, 3240, 1200, 240, 12, false, Field::Auto,
             [](const FieldReader &main) { return main(u"txtNameTo"); }},
        }};
    return yd;
}
