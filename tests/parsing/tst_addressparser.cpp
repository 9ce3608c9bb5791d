#include "addressbook/parsing/addressparser.h"
#include "addressbook/parsing/regiontable.h"
#include "orders/orderfile.h"

#include <QFile>
#include <QTest>

using Field = ParsedAddress::Field;

class AddressParserTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void split_data();
    void split();
    void doubts_data();
    void doubts();
    void towns_data();
    void towns();
    void renamed_data();
    void renamed();
    void renamedTable();
    void brokenTownTable();
    void orderFileAddress_data();
    void orderFileAddress();
    void everyDistrict();
    void brokenTable();

private:
    RegionTable m_table;
};

void AddressParserTest::initTestCase()
{
    QString error;
    QVERIFY2(m_table.load(&error), qPrintable(error));
    QCOMPARE(m_table.count(RegionTable::Province), 31);
    QVERIFY(m_table.townCount() > 40000);
}

// Expected: company, person, province, city, district, street, phone, postcode.
void AddressParserTest::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    auto row = [](const char *name, const char *text, QStringList expected) {
        QTest::newRow(name) << QString::fromUtf8(text) << expected;
    };
    // One for every province-level region.
    row("北京", "张伟 13912345678 北京市朝阳区建国路88号SOHO现代城A座1201",
        {"", "张伟", "北京市", "北京市", "朝阳区", "建国路88号SOHO现代城A座1201", "13912345678", ""});
    row("天津 labelled, line breaks",
        "收货人：李娜\n手机号码：15822223333\n所在地区：天津市 和平区\n详细地址：南京路219号天津中心30层",
        {"", "李娜", "天津市", "天津市", "和平区", "南京路219号天津中心30层", "15822223333", ""});
    row("河北 landline", "河北省石家庄市长安区中山东路108号 王强 0311-86012345",
        {"", "王强", "河北省", "石家庄市", "长安区", "中山东路108号", "0311-86012345", ""});
    row("山西 short forms, +86 with spaces", "山西太原小店区长风街1号 赵敏 +86 138 0351 2345",
        {"", "赵敏", "山西省", "太原市", "小店区", "长风街1号", "13803512345", ""});
    row("内蒙古 commas, postcode", "内蒙古呼和浩特市赛罕区大学西街235号，孙丽，13947112345，010020",
        {"", "孙丽", "内蒙古自治区", "呼和浩特市", "赛罕区", "大学西街235号", "13947112345", "010020"});
    row("辽宁 dashes", "辽宁省大连市中山区人民路23号 周杰 186-4112-3456",
        {"", "周杰", "辽宁省", "大连市", "中山区", "人民路23号", "18641123456", ""});
    row("吉林 province and city alike", "吉林省吉林市船营区北京路1号 吴刚 13604321234",
        {"", "吴刚", "吉林省", "吉林市", "船营区", "北京路1号", "13604321234", ""});
    row("黑龙江", "黑龙江省哈尔滨市南岗区西大直街92号 郑爽 13945012345 150001",
        {"", "郑爽", "黑龙江省", "哈尔滨市", "南岗区", "西大直街92号", "13945012345", "150001"});
    row("上海 city written twice", "上海市上海市浦东新区张江路88号 陈静 021-50801234",
        {"", "陈静", "上海市", "上海市", "浦东新区", "张江路88号", "021-50801234", ""});
    row("江苏 short city, shared district name", "南京鼓楼区中山北路30号 刘洋 13776543210",
        {"", "刘洋", "江苏省", "南京市", "鼓楼区", "中山北路30号", "13776543210", ""});
    row("浙江 province left out", "杭州市西湖区文三路478号华星时代广场 何欢 15967101234",
        {"", "何欢", "浙江省", "杭州市", "西湖区", "文三路478号华星时代广场", "15967101234", ""});
    row("安徽", "安徽省合肥市蜀山区长江西路130号 马超 13855112345",
        {"", "马超", "安徽省", "合肥市", "蜀山区", "长江西路130号", "13855112345", ""});
    row("福建", "福建省福州市鼓楼区五四路158号 林芳 13905912345 350003",
        {"", "林芳", "福建省", "福州市", "鼓楼区", "五四路158号", "13905912345", "350003"});
    row("江西", "江西省南昌市东湖区八一大道333号 胡军 13907912345",
        {"", "胡军", "江西省", "南昌市", "东湖区", "八一大道333号", "13907912345", ""});
    row("山东 district beginning with 市", "山东省青岛市市南区香港中路61号 高峰 0532-85912345",
        {"", "高峰", "山东省", "青岛市", "市南区", "香港中路61号", "0532-85912345", ""});
    row("河南", "河南省郑州市金水区花园路6号 罗兰 13703712345",
        {"", "罗兰", "河南省", "郑州市", "金水区", "花园路6号", "13703712345", ""});
    row("湖北", "湖北省武汉市洪山区珞喻路1037号 梁红 13807112345 430074",
        {"", "梁红", "湖北省", "武汉市", "洪山区", "珞喻路1037号", "13807112345", "430074"});
    row("湖南", "湖南省长沙市岳麓区麓山南路932号 宋佳 13975112345",
        {"", "宋佳", "湖南省", "长沙市", "岳麓区", "麓山南路932号", "13975112345", ""});
    row("广东 name and phone first", "张三 13812345678 广东省深圳市南山区科技园科苑路15号",
        {"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "13812345678", ""});
    row("广西 short form", "广西南宁市青秀区民族大道100号 韦丽 13977112345",
        {"", "韦丽", "广西壮族自治区", "南宁市", "青秀区", "民族大道100号", "13977112345", ""});
    row("海南", "海南省海口市美兰区海甸岛人民大道58号 符强 13876012345",
        {"", "符强", "海南省", "海口市", "美兰区", "海甸岛人民大道58号", "13876012345", ""});
    row("重庆", "重庆市渝中区解放碑邹容路68号 谭晶 023-63812345",
        {"", "谭晶", "重庆市", "重庆市", "渝中区", "解放碑邹容路68号", "023-63812345", ""});
    row("四川 province left out", "成都市武侯区人民南路四段12号 杜甫 18628012345",
        {"", "杜甫", "四川省", "成都市", "武侯区", "人民南路四段12号", "18628012345", ""});
    row("贵州", "贵州省贵阳市云岩区中华北路242号 龙梅 13985112345",
        {"", "龙梅", "贵州省", "贵阳市", "云岩区", "中华北路242号", "13985112345", ""});
    row("云南", "云南省昆明市五华区东风西路11号 段誉 13888012345 650032",
        {"", "段誉", "云南省", "昆明市", "五华区", "东风西路11号", "13888012345", "650032"});
    row("西藏 short form", "西藏拉萨市城关区北京中路48号 次仁 13908912345",
        {"", "次仁", "西藏自治区", "拉萨市", "城关区", "北京中路48号", "13908912345", ""});
    row("陕西", "陕西省西安市雁塔区小寨东路1号 党军 029-85212345",
        {"", "党军", "陕西省", "西安市", "雁塔区", "小寨东路1号", "029-85212345", ""});
    row("甘肃", "甘肃省兰州市城关区天水南路222号 牛雪 13919312345",
        {"", "牛雪", "甘肃省", "兰州市", "城关区", "天水南路222号", "13919312345", ""});
    row("青海", "青海省西宁市城西区五四大街17号 马海 13997112345",
        {"", "马海", "青海省", "西宁市", "城西区", "五四大街17号", "13997112345", ""});
    row("宁夏 short form", "宁夏银川市兴庆区解放东街1号 金花 13995112345",
        {"", "金花", "宁夏回族自治区", "银川市", "兴庆区", "解放东街1号", "13995112345", ""});
    row("新疆", "新疆维吾尔自治区乌鲁木齐市天山区光明路1号 艾力 13999112345",
        {"", "艾力", "新疆维吾尔自治区", "乌鲁木齐市", "天山区", "光明路1号", "13999112345", ""});

    // Prefectures, county-level cities, regions left out.
    row("autonomous prefecture", "吉林省延边朝鲜族自治州延吉市光明街1号 金哲 13904331234",
        {"", "金哲", "吉林省", "延边朝鲜族自治州", "延吉市", "光明街1号", "13904331234", ""});
    row("prefecture by short form", "延边延吉市人民路5号 朴敏 13904332345",
        {"", "朴敏", "吉林省", "延边朝鲜族自治州", "延吉市", "人民路5号", "13904332345", ""});
    row("prefecture in Yunnan", "云南省西双版纳傣族自治州景洪市宣慰大道10号 岩温 13908691234",
        {"", "岩温", "云南省", "西双版纳傣族自治州", "景洪市", "宣慰大道10号", "13908691234", ""});
    row("county-level city under its province", "湖北省仙桃市沔阳大道1号 彭军 13872812345",
        {"", "彭军", "湖北省", "仙桃市", "", "沔阳大道1号", "13872812345", ""});
    row("province and city left out", "浦东新区张江路88号 陈静 13912345678",
        {"", "陈静", "上海市", "上海市", "浦东新区", "张江路88号", "13912345678", ""});
    row("province left out, short city", "深圳南山区科技园科苑路15号 张三 13812345678",
        {"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "13812345678", ""});
    row("short municipality and district", "北京 海淀 中关村大街27号 刘备 13111112222",
        {"", "刘备", "北京市", "北京市", "海淀区", "中关村大街27号", "13111112222", ""});

    // Labelled forms.
    row("ASCII colons and commas", "姓名:王芳,电话:13611112222,地址:浙江省杭州市余杭区文一西路969号",
        {"", "王芳", "浙江省", "杭州市", "余杭区", "文一西路969号", "13611112222", ""});
    row("full-width colons, company, postcode",
        "收件单位：杭州博雅文化工作室\n收件人：陈杰\n联系电话：0571-"
        "88881234\n收件地址：浙江省杭州市西湖区文二路391号\n邮编：310012",
        {"杭州博雅文化工作室", "陈杰", "浙江省", "杭州市", "西湖区", "文二路391号", "0571-88881234",
         "310012"});
    row("labelled with noise",
        "【收货信息】收货人: 赵六，手机号码: 159 8765 4321，所在地区: 四川省 成都市 锦江区，详细地址: "
        "春熙路88号 谢谢！",
        {"", "赵六", "四川省", "成都市", "锦江区", "春熙路88号", "15987654321", ""});
    row("slashes between regions",
        "收货人：周八 手机：13600002222 所在地区：山东省/济南市/市中区 详细地址：经七路1号",
        {"", "周八", "山东省", "济南市", "市中区", "经七路1号", "13600002222", ""});
    row("labels in spaces", "姓名： 孙七  电话： 13700001111  地址： 江苏省苏州市姑苏区人民路100号",
        {"", "孙七", "江苏省", "苏州市", "姑苏区", "人民路100号", "13700001111", ""});

    // Phones, postcodes, order and noise.
    row("+86 and dashes", "李雷 +86-138-1234-5678 江苏省苏州市姑苏区人民路100号",
        {"", "李雷", "江苏省", "苏州市", "姑苏区", "人民路100号", "13812345678", ""});
    row("86 without plus", "韩梅 8613812345678 江苏省无锡市梁溪区中山路1号",
        {"", "韩梅", "江苏省", "无锡市", "梁溪区", "中山路1号", "13812345678", ""});
    row("landline in brackets, postcode", "韩梅梅 (010)62751234 北京市海淀区颐和园路5号 100871",
        {"", "韩梅梅", "北京市", "北京市", "海淀区", "颐和园路5号", "010-62751234", "100871"});
    row("landline with a blank", "广东省深圳市福田区深南大道6008号 王五 0755 83761234",
        {"", "王五", "广东省", "深圳市", "福田区", "深南大道6008号", "0755-83761234", ""});
    row("full-width digits", "赵云 １３８１２３４５６７８ 广东省广州市越秀区北京路1号",
        {"", "赵云", "广东省", "广州市", "越秀区", "北京路1号", "13812345678", ""});
    row("name glued after the house number", "广东省广州市天河区天河路385号张伟13800138000",
        {"", "张伟", "广东省", "广州市", "天河区", "天河路385号", "13800138000", ""});
    row("name glued before the regions", "刘强13500001111广东省珠海市香洲区情侣路1号",
        {"", "刘强", "广东省", "珠海市", "香洲区", "情侣路1号", "13500001111", ""});
    row("regions repeated in the detail",
        "广东省 深圳市 福田区 广东省深圳市福田区深南大道6008号 李四 13922223333",
        {"", "李四", "广东省", "深圳市", "福田区", "深南大道6008号", "13922223333", ""});
    row("company in free text",
        "深圳恒通科技有限公司 李娜 0755-87654321 广东省深圳市南山区科技园南区1号楼 518057",
        {"深圳恒通科技有限公司", "李娜", "广东省", "深圳市", "南山区", "科技园南区1号楼", "0755-87654321",
         "518057"});
    row("line breaks, name last", "13512345678\n浙江省宁波市鄞州区钱湖北路1号\n钱多多",
        {"", "钱多多", "浙江省", "宁波市", "鄞州区", "钱湖北路1号", "13512345678", ""});
    row("road named after the district", "广东省深圳市南山区南山大道1001号 张三 13812345678",
        {"", "张三", "广东省", "深圳市", "南山区", "南山大道1001号", "13812345678", ""});
    // Web shops' hidden numbers: the extension is part of the number.
    row("extension after a dash", "张三 13812345678-7804 广东省深圳市南山区科技园科苑路15号",
        {"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "13812345678-7804", ""});
    row("extension after 转", "广东省深圳市南山区科技园科苑路15号 张三 13812345678转7804",
        {"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "13812345678转7804", ""});
    row("masked number, extension in brackets", "张三 138****5678[7804] 广东省深圳市南山区科技园科苑路15号",
        {"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "138****5678[7804]", ""});
    row("分机号 after the number",
        "收货人：张三\n手机号码：13812345678 分机号 7804\n详细地址：广东省深圳市南山区科苑路15号",
        {"", "张三", "广东省", "深圳市", "南山区", "科苑路15号", "13812345678 分机号7804", ""});
    row("landline in two groups", "王五 0755-8765-4321 广东省深圳市福田区深南大道6008号",
        {"", "王五", "广东省", "深圳市", "福田区", "深南大道6008号", "0755-87654321", ""});
    // A labelled name, then the address without a label on the same line.
    row("labelled name, address after a blank", "收件人：张三 广东省深圳市南山区科技园科苑路15号 13812345678",
        {"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "13812345678", ""});
    row("labelled name, address after a comma", "收货人: 李四，广东省广州市天河区天河路385号，13800138000",
        {"", "李四", "广东省", "广州市", "天河区", "天河路385号", "13800138000", ""});
    row("labelled name glued to the address", "收件人：张三广东省深圳市南山区科技园科苑路15号 13812345678",
        {"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "13812345678", ""});
    // A place after a blank is part of the street; a company only on a line of its own.
    row("university after a blank", "浙江省 杭州市 西湖区 浙江大学玉泉校区 张三 13812345678",
        {"", "张三", "浙江省", "杭州市", "西湖区", "浙江大学玉泉校区", "13812345678", ""});
    row("university after the house number", "湖北省武汉市洪山区珞喻路1037号 华中科技大学 梁红 13807112345",
        {"", "梁红", "湖北省", "武汉市", "洪山区", "珞喻路1037号华中科技大学", "13807112345", ""});
    row("hospital, bank and works",
        "四川省 成都市 武侯区 国学巷37号 华西医院 工商银行 五金厂 杜甫 18628012345",
        {"", "杜甫", "四川省", "成都市", "武侯区", "国学巷37号华西医院工商银行五金厂", "18628012345", ""});
    row("company on the street's line", "广东省深圳市南山区科苑路15号 某某科技有限公司 张三 13812345678",
        {"", "张三", "广东省", "深圳市", "南山区", "科苑路15号某某科技有限公司", "13812345678", ""});
    row("company on a line of its own",
        "张三 13812345678\n广东省深圳市南山区科苑路15号\n深圳恒通科技有限公司",
        {"深圳恒通科技有限公司", "张三", "广东省", "深圳市", "南山区", "科苑路15号", "13812345678", ""});
    // The division table's own levels, districts shared by several cities, brackets.
    row("county-level city after the table's placeholder",
        "湖北省 省直辖县级行政区划 潜江市 园林路1号 彭军 13872812345",
        {"", "彭军", "湖北省", "潜江市", "", "园林路1号", "13872812345", ""});
    row("shared district, nothing tells which", "南山区科技园科苑路15号 张三 13812345678",
        {"", "张三", "", "", "南山区", "科技园科苑路15号", "13812345678", ""});
    row("shared district, city written after", "南山区科技园科苑路15号 深圳 张三 13812345678",
        {"", "张三", "广东省", "深圳市", "南山区", "科技园科苑路15号", "13812345678", ""});
    row("shared district, province written before", "黑龙江 张三 13812345678 南山区麓林路1号",
        {"", "张三", "黑龙江省", "鹤岗市", "南山区", "麓林路1号", "13812345678", ""});
    row("postcode in brackets", "浙江省杭州市西湖区文二路391号(310012) 陈杰 13812345678",
        {"", "陈杰", "浙江省", "杭州市", "西湖区", "文二路391号", "13812345678", "310012"});
    row("postcode in full-width brackets", "浙江省杭州市西湖区文二路391号（310012） 陈杰 13812345678",
        {"", "陈杰", "浙江省", "杭州市", "西湖区", "文二路391号", "13812345678", "310012"});
    row("chat noise", "亲，麻烦发顺丰 谢谢 收货人张飞 电话13712345678 地址河南省洛阳市老城区中州东路1号",
        {"", "张飞", "河南省", "洛阳市", "老城区", "中州东路1号", "13712345678", ""});
}

void AddressParserTest::split()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    const AddressParser parser(m_table);
    QCOMPARE(parser.parse(text).fields(), expected);
}

void AddressParserTest::doubts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("unsure");
    QTest::newRow("sure") << QStringLiteral("张三 13812345678 广东省深圳市南山区科技园科苑路15号")
                          << QList<int>{};
    QTest::newRow("district in four cities") << QStringLiteral("鼓楼区中山路1号 张三 13812345678")
                                             << QList<int>{Field::Province, Field::City, Field::District};
    QTest::newRow("district of another city")
        << QStringLiteral("广东省深圳市海淀区中关村1号 张三 13812345678")
        << QList<int>{Field::Province, Field::City, Field::District};
    QTest::newRow("no phone") << QStringLiteral("张三 广东省深圳市南山区科技园") << QList<int>{Field::Phone};
    QTest::newRow("number broken by a line")
        << QStringLiteral("张三 1381234\n5678 广东省深圳市南山区科技园") << QList<int>{Field::Phone};
    QTest::newRow("two phones") << QStringLiteral("张三 13812345678 13987654321 广东省深圳市南山区科技园")
                                << QList<int>{Field::Phone};
    QTest::newRow("two names") << QStringLiteral("张三 李四 13812345678 广东省深圳市南山区科技园")
                               << QList<int>{Field::Person};
    QTest::newRow("no regions") << QStringLiteral("张三 13812345678 科苑路15号")
                                << QList<int>{Field::Province, Field::City, Field::District};
    QTest::newRow("no district") << QStringLiteral("张三 13812345678 广东省深圳市科苑路15号")
                                 << QList<int>{Field::District};
    QTest::newRow("shared district") << QStringLiteral("南山区科技园科苑路15号 张三 13812345678")
                                     << QList<int>{Field::Province, Field::City, Field::District};
    QTest::newRow("shared district, city named")
        << QStringLiteral("南山区科技园科苑路15号 深圳 张三 13812345678") << QList<int>{};
    QTest::newRow("nothing after the regions")
        << QStringLiteral("张三 13812345678 浙江省杭州市西湖区") << QList<int>{Field::Street};
    QTest::newRow("only a company after the regions")
        << QStringLiteral("张三 13812345678 浙江省杭州市西湖区\n某某科技有限公司")
        << QList<int>{Field::Street};
    QTest::newRow("labelled name that is an address")
        << QStringLiteral("收件人：科苑路15号 广东省深圳市南山区 13812345678")
        << QList<int>{Field::Person, Field::Street};
}

void AddressParserTest::doubts()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, unsure);
    const ParsedAddress parsed = AddressParser(m_table).parse(text);
    QList<int> found;
    for (int f = 0; f < ParsedAddress::FieldCount; ++f) {
        if (parsed.unsure(Field(f)))
            found.append(f);
    }
    QCOMPARE(found, unsure);
}

// The town level: it stays in the street, tells the district where the text leaves
// it out, and never decides alone what the rest of the text does not.
void AddressParserTest::towns_data()
{
    QTest::addColumn<QString>("text");
    // Expected: province, city, district, town, street.
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QList<int>>("unsure");
    auto row = [](const char *name, const char *text, QStringList expected, QList<int> unsure) {
        QTest::newRow(name) << QString::fromUtf8(text) << expected << unsure;
    };
    const QStringList yuehai{"广东省", "深圳市", "南山区", "粤海街道", "粤海街道科技园科苑路15号"};
    row("after its district", "广东省深圳市南山区粤海街道科技园科苑路15号 张三 13812345678", yuehai, {});
    row("district left out", "广东深圳粤海街道科技园科苑路15号 张三 13812345678", yuehai, {});
    row("tells a shared district", "南山区粤海街道科技园科苑路15号 张三 13812345678", yuehai, {});
    row("alone, found once", "粤海街道科技园科苑路15号 张三 13812345678", yuehai, {});
    row("municipality, district left out", "北京市东华门街道南池子大街1号 张三 13812345678",
        {"北京市", "北京市", "东城区", "东华门街道", "东华门街道南池子大街1号"}, {});
    row("county after its county", "广东省佛山市南海区狮山镇 某某五金厂 张三 13812345678",
        {"广东省", "佛山市", "南海区", "狮山镇", "狮山镇某某五金厂"}, {});
    row("named after its county by the statistics", "河南省焦作市博爱县许良镇建设街3号 李娜 18109518638",
        {"河南省", "焦作市", "博爱县", "博爱县许良镇", "许良镇建设街3号"}, {});
    row("county's name kept in the town's", "山东省菏泽市成武县成武县党集镇幸福路235号 赵敏 18108980146",
        {"山东省", "菏泽市", "成武县", "成武县党集镇", "成武县党集镇幸福路235号"}, {});
    row("longer than a district's short form", "内蒙古自治区鄂尔多斯市准格尔召镇文化巷293号 陈静 18102312348",
        {"内蒙古自治区", "鄂尔多斯市", "准格尔旗", "准格尔召镇", "准格尔召镇文化巷293号"}, {});
    row("before a district of that name elsewhere", "河北省承德市钢城街道建设街139号 赵敏 18101092822",
        {"河北省", "承德市", "双滦区", "钢城街道", "钢城街道建设街139号"}, {});
    row("a town beats regions read from its own name",
        "杨磊 19102320267 鄂托克旗内蒙古鄂托克经济开发区新华路294号",
        {"内蒙古自治区", "鄂尔多斯市", "鄂托克旗", "内蒙古鄂托克经济开发区",
         "内蒙古鄂托克经济开发区新华路294号"},
        {});
    row("of another district", "广东省深圳市福田区粤海街道科技园 张三 13812345678",
        {"广东省", "深圳市", "福田区", "", "粤海街道科技园"}, {Field::District});
    row("repeated in the province", "甘肃省城关镇人民路1号 张三 13812345678",
        {"甘肃省", "", "", "", "城关镇人民路1号"}, {Field::City, Field::District});
    row("repeated, alone", "城关镇人民路1号 张三 13812345678", {"", "", "", "", "城关镇人民路1号"},
        {Field::Province, Field::City, Field::District});
    row("against the city named", "南山区粤海街道科技园 黑龙江 张三 13812345678",
        {"", "", "南山区", "", "粤海街道科技园"}, {Field::Province, Field::City, Field::District});
}

void AddressParserTest::towns()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QFETCH(QList<int>, unsure);
    const ParsedAddress parsed = AddressParser(m_table).parse(text);
    QCOMPARE((QStringList{parsed.value(Field::Province), parsed.value(Field::City),
                          parsed.value(Field::District), parsed.town, parsed.value(Field::Street)}),
             expected);
    QList<int> found;
    for (int f = Field::Province; f <= Field::District; ++f) {
        if (parsed.unsure(Field(f)))
            found.append(f);
    }
    QCOMPARE(found, unsure);
}

// Old names map to today's regions.
void AddressParserTest::renamed_data()
{
    QTest::addColumn<QString>("text");
    // Expected: province, city, district.
    QTest::addColumn<QStringList>("expected");
    auto row = [](const char *name, const char *text, QStringList expected) {
        QTest::newRow(name) << QString::fromUtf8(text) << expected;
    };
    row("renamed city", "湖北省襄樊市樊城区人民路1号 张三 13812345678", {"湖北省", "襄阳市", "樊城区"});
    row("districts merged into one", "天津塘沽区解放路1号 张三 13812345678",
        {"天津市", "天津市", "滨海新区"});
    row("merged district", "北京市崇文区崇文门外大街1号 张三 13812345678", {"北京市", "北京市", "东城区"});
    row("county now a district", "四川省成都市郫县犀浦镇1号 张三 13812345678",
        {"四川省", "成都市", "郫都区"});
    row("district now a street office", "广东省中山市石岐区孙文中路1号 张三 13812345678",
        {"广东省", "中山市", "石岐街道"});
}

void AddressParserTest::renamed()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    const ParsedAddress parsed = AddressParser(m_table).parse(text);
    QCOMPARE((QStringList{parsed.value(Field::Province), parsed.value(Field::City),
                          parsed.value(Field::District)}),
             expected);
    QVERIFY(!parsed.unsure(Field::District));
}

// Every old name stands for the one region its row names, and no line is lost.
void AddressParserTest::renamedTable()
{
    QFile file(QStringLiteral(":/regions/renamed.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    int rows = 0;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'#'))
            continue;
        ++rows;
        const QStringList cells = line.split(u'\t');
        const RegionTable::Refs &refs = m_table.find(cells.value(1));
        QVERIFY2(refs.size() == 1, qPrintable(line));
        QCOMPARE(m_table.region(refs.first().level, refs.first().index).code, cells.first());
    }
    QVERIFY(rows >= 40);
    RegionTable table;
    QVERIFY(table.loadJson(R"([{"code": "11", "name": "北京市", "children": []}])"));
    QString error;
    QVERIFY(!table.loadRenamed("11\t燕京\n99\t某某县\n", &error));
    QVERIFY(error.contains(u'2'));
}

// A town line for a district the table lacks is refused whole, with its line.
void AddressParserTest::brokenTownTable()
{
    RegionTable table;
    QVERIFY(
        table.loadJson(R"([{"code": "11", "name": "北京市", "children": [{"code": "1101", "name": "市辖区",
        "children": [{"code": "110101", "name": "东城区"}]}]}])"));
    QVERIFY(table.loadTowns("110101\t东华门街道 景山街道\n"));
    QCOMPARE(table.townCount(), 2);
    QCOMPARE(table.findTowns(u"景山街道").size(), 1);
    QString error;
    QVERIFY(!table.loadTowns("110101\t东华门街道\n999999\t某某镇\n", &error));
    QVERIFY2(error.contains(u'2'), qPrintable(error));
    QCOMPARE(table.townCount(), 0);
    QVERIFY(table.findTowns(u"东华门街道").isEmpty());
}

// An order file's address column is an address and nothing else: whatever follows
// the regions is the street.
void AddressParserTest::orderFileAddress_data()
{
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QStringList>("cells");
    // Expected: province, city, district, street, postcode, company.
    QTest::addColumn<QStringList>("expected");
    const QStringList whole{"收货人", "手机", "收货地址"};
    const QStringList columns{"收货人", "手机", "省", "市", "区", "详细地址"};
    QTest::newRow("university after a blank")
        << whole << QStringList{"张三", "13812345678", "浙江省 杭州市 西湖区 浙江大学玉泉校区"}
        << QStringList{"浙江省", "杭州市", "西湖区", "浙江大学玉泉校区", "", ""};
    QTest::newRow("university after the house number")
        << whole << QStringList{"梁红", "13807112345", "湖北省 武汉市 洪山区 珞喻路1037号 华中科技大学"}
        << QStringList{"湖北省", "武汉市", "洪山区", "珞喻路1037号华中科技大学", "", ""};
    QTest::newRow("company after the house number")
        << whole << QStringList{"张三", "13812345678", "广东省 深圳市 南山区 科苑路15号 某某科技有限公司"}
        << QStringList{"广东省", "深圳市", "南山区", "科苑路15号某某科技有限公司", "", ""};
    QTest::newRow("company alone after the regions")
        << whole << QStringList{"张三", "13812345678", "广东省深圳市南山区 深圳恒通科技有限公司"}
        << QStringList{"广东省", "深圳市", "南山区", "深圳恒通科技有限公司", "", ""};
    QTest::newRow("name-like word after the house number")
        << whole << QStringList{"张三", "13812345678", "广东省深圳市南山区科苑路15号 南门"}
        << QStringList{"广东省", "深圳市", "南山区", "科苑路15号南门", "", ""};
    QTest::newRow("placeholder city column")
        << columns
        << QStringList{"彭军", "13872812345", "湖北省", "省直辖县级行政区划", "潜江市", "园林路1号"}
        << QStringList{"湖北省", "潜江市", "", "园林路1号", "", ""};
    QTest::newRow("municipality's placeholder city column")
        << columns << QStringList{"陈静", "13912345678", "上海市", "市辖区", "浦东新区", "张江路88号"}
        << QStringList{"上海市", "上海市", "浦东新区", "张江路88号", "", ""};
    QTest::newRow("postcode in brackets")
        << columns << QStringList{"陈杰", "13812345678", "浙江省", "杭州市", "西湖区", "文二路391号(310012)"}
        << QStringList{"浙江省", "杭州市", "西湖区", "文二路391号", "310012", ""};
}

void AddressParserTest::orderFileAddress()
{
    QFETCH(QStringList, header);
    QFETCH(QStringList, cells);
    QFETCH(QStringList, expected);
    const AddressParser parser(m_table);
    const OrderFileResult result = OrderFileReader(parser).fromTable({header, cells});
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.rows.size(), 1);
    const OrderRow &row = result.rows.first();
    QCOMPARE((QStringList{row.province, row.city, row.district, row.street, row.postcode,
                          row.company == row.name ? QString() : row.company}),
             expected);
    QVERIFY2(!row.isUnsure(OrderRow::Street), qPrintable(row.unsureReasons.join(u' ')));
}

// Every district of the table comes back as itself, after its province and city
// written in full and in short ("广东深圳").
void AddressParserTest::everyDistrict()
{
    const AddressParser parser(m_table);
    auto shortened = [](QString name) {
        if (name.size() > 2 && (name.endsWith(u'省') || name.endsWith(u'市')))
            name.chop(1);
        return name;
    };
    QStringList wrong;
    for (int d = 0; d < m_table.count(RegionTable::District); ++d) {
        const int city = m_table.region(RegionTable::District, d).parent;
        const int province = m_table.region(RegionTable::City, city).parent;
        const RegionTable::Names names = m_table.names(province, city, d);
        const QString provinceName = m_table.region(RegionTable::Province, province).name;
        const QString cityName =
            m_table.isPlaceholderCity(city) ? QString() : m_table.region(RegionTable::City, city).name;
        const QString rest =
            m_table.region(RegionTable::District, d).name + QStringLiteral("幸福路8号 张三 13812345678");
        for (const QString &text :
             {provinceName + cityName + rest, shortened(provinceName) + shortened(cityName) + rest}) {
            const ParsedAddress parsed = parser.parse(text);
            const QStringList got{parsed.value(Field::Province), parsed.value(Field::City),
                                  parsed.value(Field::District), parsed.value(Field::Street),
                                  parsed.value(Field::Person)};
            if (got != QStringList{names.province, names.city, names.district, QStringLiteral("幸福路8号"),
                                   QStringLiteral("张三")})
                wrong.append(text + QStringLiteral(" -> ") + got.join(u'/'));
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
}

void AddressParserTest::brokenTable()
{
    RegionTable table;
    QString error;
    QVERIFY(!table.loadJson("[{\"code\": \"11\"", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(table.isEmpty());
    // Without regions the rest still splits.
    const ParsedAddress parsed =
        AddressParser(table).parse(QStringLiteral("张三 13812345678 广东省深圳市南山区科苑路15号"));
    QCOMPARE(parsed.value(Field::Person), QStringLiteral("张三"));
    QCOMPARE(parsed.value(Field::Phone), QStringLiteral("13812345678"));
    QVERIFY(parsed.unsure(Field::Province));
}

QTEST_GUILESS_MAIN(AddressParserTest)
#include "tst_addressparser.moc"
