#include "contactgenerator.h"

#include "platform/textcodec.h"

#include <QFile>
#include <QSet>

namespace {

const QStringList Cities{"上海", "北京", "深圳", "广州", "杭州", "成都", "武汉", "南京", "苏州", "天津",
                         "重庆", "西安", "长沙", "郑州", "青岛", "厦门", "宁波", "无锡", "佛山", "东莞"};
const QStringList Brands{"华强", "金达", "宏远", "新世纪", "恒通", "瑞丰", "博雅", "鑫源", "天成", "长江",
                         "东方", "星辰", "万家", "安泰",   "汇丰", "嘉禾", "明珠", "盛世", "永信", "和美"};
const QStringList Trades{"电子", "贸易", "服饰", "食品", "科技", "印刷",
                         "物流", "建材", "医药", "文化", "家居", "茶业"};
const QStringList Forms{"有限公司", "商行", "工作室", "股份有限公司", "经营部", "店"};
const QStringList Surnames{"张", "王", "李", "赵", "刘", "陈", "杨", "黄", "周", "吴",
                           "徐", "孙", "马", "朱", "胡", "郭", "何", "林", "罗", "高"};
const QStringList Given{"伟", "芳", "娜", "敏", "静", "丽",   "强", "磊",   "军",   "洋",   "勇",   "艳",
                        "杰", "娟", "涛", "明", "超", "秀英", "华", "建国", "晓东", "海燕", "志强", "春梅"};
const QStringList LatinCompanies{"Acme Trading", "Blue Harbor",       "Orient Star",  "Pacific Rim",
                                 "Golden Gate",  "Silk Road Imports", "Lotus Design", "Panda Express Parts"};
const QStringList LatinPeople{"Wang Wei", "Li Na",   "Zhang Min", "Chen Jie",
                              "Tom Lee",  "Anna Wu", "David Lin"};
const QStringList Districts{"浦东新区", "朝阳区", "南山区", "天河区", "西湖区", "武侯区", "江汉区", "鼓楼区"};
const QStringList Provinces{"上海市", "北京市", "广东省", "浙江省", "四川省", "湖北省", "江苏省", "天津市"};
const QStringList Streets{"人民路", "中山路", "解放路", "建设路", "科技园", "新华路", "和平路", "长江路"};

} // namespace

quint32 ContactGenerator::next()
{
    // xorshift32: fast, repeatable, good enough for spreading names.
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

QString ContactGenerator::pick(const QStringList &words)
{
    return words[static_cast<int>(next() % static_cast<quint32>(words.size()))];
}

QStringList ContactGenerator::makeContact()
{
    const bool latin = next() % 5 == 0;
    const QString company = latin ? pick(LatinCompanies) + QStringLiteral(" Co")
                                  : pick(Cities) + pick(Brands) + pick(Trades) + pick(Forms);
    const QString person = latin ? pick(LatinPeople) : pick(Surnames) + pick(Given);
    const QString phone = QStringLiteral("1%1").arg(next() % 10000000000ULL, 10, 10, QLatin1Char('0'));
    const QString street = pick(Streets) + QString::number(next() % 999 + 1) + QStringLiteral("号");
    return {company,         person, pick(Provinces), pick(Cities) + QStringLiteral("市"),
            pick(Districts), street, phone.left(11),  QString::number(100000 + next() % 800000)};
}

QStringList ContactGenerator::writeContacts(const QString &folder, const QStringList &keys, int count)
{
    QStringList written;
    QSet<QString> seen;
    written.reserve(count);
    while (written.size() < count) {
        QStringList values = makeContact();
        QString key = values[0] + QStringLiteral(" - ") + values[1];
        for (int branch = 2; seen.contains(key.toCaseFolded()); ++branch) {
            values[0] = values[0].section(QLatin1Char('#'), 0, 0) + QStringLiteral("#%1").arg(branch);
            key = values[0] + QStringLiteral(" - ") + values[1];
        }
        seen.insert(key.toCaseFolded());
        QByteArray bytes = "[Pellory]\r\n";
        for (int i = 0; i < keys.size(); ++i)
            bytes += TextCodec::encode(QString(keys[i] + QLatin1Char('=') + values[i])) + "\r\n";
        QFile file(folder + QLatin1Char('/') + key + QStringLiteral(".dat"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        written.append(key);
    }
    return written;
}
