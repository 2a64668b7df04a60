#include "common/ProjectDbAccess.h"
#include "common/TestUtil.h"
#include "storage/VoskProDb.h"

#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using TestUtil::openRaw;
using TestUtil::scalar;

namespace {

// A unit vector whose cosine distance to (1, 0, 0, 0) is d.
VoskSpk atDistance(double d)
{
    const double c = 1.0 - d;
    return {float(c), float(std::sqrt(1.0 - c * c)), 0, 0};
}

const VoskSpk kBase{1, 0, 0, 0};

}

class TestVoskSpeakers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void cosineDistance_data();
    void cosineDistance();
    void vpJsonRoundTrip();
    void vpFromBrokenJson_data();
    void vpFromBrokenJson();
    void palette_data();
    void palette();
    void paletteIsDistinctAndWellFormed();

    void firstResultCreatesSpeakerOne();
    void lengthClass_data();
    void lengthClass();
    void shortResultsShareFirstShortSpeaker();
    void distanceThreshold_data();
    void distanceThreshold();
    void longerResultReplacesVector_data();
    void longerResultReplacesVector();
    void userNameSurvivesMatches();
    void itemIdOnlyForConversions();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<VoskProDb> m_db;
    QString dataPath() const { return m_dir->filePath("data"); }
};

void TestVoskSpeakers::initTestCase()
{
    TestUtil::requireSandboxedHome();
}

void TestVoskSpeakers::init()
{
    m_db.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = std::make_unique<VoskProDb>();
    QVERIFY2(m_db->open(dataPath()), qPrintable(m_db->lastErr));
}

void TestVoskSpeakers::cosineDistance_data()
{
    QTest::addColumn<VoskSpk>("a");
    QTest::addColumn<VoskSpk>("b");
    QTest::addColumn<float>("expected");
    QTest::newRow("same direction") << VoskSpk{1, 2, 3} << VoskSpk{2, 4, 6} << 0.0f;
    QTest::newRow("orthogonal") << VoskSpk{1, 0} << VoskSpk{0, 3} << 1.0f;
    QTest::newRow("opposite") << VoskSpk{1, -1} << VoskSpk{-2, 2} << 2.0f;
    QTest::newRow("sixty degrees") << VoskSpk{1, 0, 0, 0} << VoskSpk{1, 1, 1, 1} << 0.5f;
    QTest::newRow("different lengths") << VoskSpk{1, 0} << VoskSpk{0, 1, 0} << 0.0f;
    QTest::newRow("both empty") << VoskSpk{} << VoskSpk{} << 0.0f;
    QTest::newRow("zero vector") << VoskSpk{0, 0} << VoskSpk{0, 1} << 0.0f;
    QTest::newRow("zero vector second") << VoskSpk{0, 1} << VoskSpk{0, 0} << 0.0f;
}

void TestVoskSpeakers::cosineDistance()
{
    QFETCH(VoskSpk, a);
    QFETCH(VoskSpk, b);
    QFETCH(float, expected);
    QCOMPARE(VoskProDb::vpCosineDistance(a, b), expected);
    QCOMPARE(VoskProDb::vpCosineDistance(b, a), expected);
}

void TestVoskSpeakers::vpJsonRoundTrip()
{
    const VoskSpk vp{0.125f, -3.5f, 1e-7f, 12345.678f, 0};
    const QByteArray json = VoskProDb::vpToJson(vp);
    QVERIFY(json.startsWith("[\n")); // the indented form
    QCOMPARE(VoskProDb::vpFromJson(QString::fromUtf8(json)), vp);
    QCOMPARE(VoskProDb::vpFromJson(QString::fromUtf8(VoskProDb::vpToJson({}))), VoskSpk{});
}

void TestVoskSpeakers::vpFromBrokenJson_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<VoskSpk>("expected");
    QTest::newRow("empty") << QString() << VoskSpk{};
    QTest::newRow("broken") << "[1, 2" << VoskSpk{};
    QTest::newRow("object") << "{\"a\": 1}" << VoskSpk{};
    QTest::newRow("non-numbers") << "[1, \"x\", null, 2]" << VoskSpk{1, 0, 0, 2};
}

void TestVoskSpeakers::vpFromBrokenJson()
{
    QFETCH(QString, text);
    QFETCH(VoskSpk, expected);
    QCOMPARE(VoskProDb::vpFromJson(text), expected);
}

void TestVoskSpeakers::palette_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<QString>("color");
    QTest::newRow("0") << qint64(0) << "#A22A2B";
    QTest::newRow("1") << qint64(1) << "#010101";
    QTest::newRow("2") << qint64(2) << "#0000FD";
    QTest::newRow("30") << qint64(30) << "#FFD700";
    QTest::newRow("54") << qint64(54) << "#81FFD5";
    QTest::newRow("55") << qint64(55) << "#A22A2B";
    QTest::newRow("56") << qint64(56) << "#010101";
    QTest::newRow("-1 as unsigned") << qint64(-1) << "#FF8248"; // 2^64-1 mod 55 = 15
}

void TestVoskSpeakers::palette()
{
    QFETCH(qint64, id);
    QFETCH(QString, color);
    QCOMPARE(QString::fromLatin1(VoskProDb::speakerColor(id)), color);
}

void TestVoskSpeakers::paletteIsDistinctAndWellFormed()
{
    const QRegularExpression form("^#[0-9A-F]{6}$");
    QSet<QString> seen;
    for (int i = 0; i < 55; ++i) {
        const QString c = QString::fromLatin1(VoskProDb::speakerColor(i));
        QVERIFY2(form.match(c).hasMatch(), qPrintable(c));
        seen.insert(c);
    }
    QCOMPARE(seen.size(), 55);
}

void TestVoskSpeakers::firstResultCreatesSpeakerOne()
{
    const VoskSpeakerInfo s = m_db->matchSpeaker(kBase, 800, 0);
    QCOMPARE(s.id, qint64(1));
    QCOMPARE(s.name, QString("Speaker 1"));
    QCOMPARE(s.color, QString("#010101"));

    const QList<VoskSpeakerInfo> all = m_db->loadSpeakers();
    QCOMPARE(all.size(), 1);
    QCOMPARE(all[0].id, s.id);
    QCOMPARE(all[0].name, s.name);
    QCOMPARE(all[0].color, s.color);

    auto raw = openRaw(dataPath());
    QCOMPARE(VoskProDb::vpFromJson(scalar(*raw, "select vp from speaker").toString()), kBase);
    QCOMPARE(scalar(*raw, "select frames from speaker").toLongLong(), 800);
    QVERIFY(scalar(*raw, "select name from speaker").isNull());
}

void TestVoskSpeakers::lengthClass_data()
{
    QTest::addColumn<int>("firstFrames");
    QTest::addColumn<int>("secondFrames");
    QTest::addColumn<bool>("sameSpeaker");
    // The second result has the same vector; only its length class differs.
    QTest::newRow("499 then 499") << 499 << 499 << true;
    QTest::newRow("499 then 500") << 499 << 500 << false;
    QTest::newRow("500 then 499") << 500 << 499 << false;
    QTest::newRow("500 then 500") << 500 << 500 << true;
    QTest::newRow("0 then 1") << 0 << 1 << true;
}

void TestVoskSpeakers::lengthClass()
{
    QFETCH(int, firstFrames);
    QFETCH(int, secondFrames);
    QFETCH(bool, sameSpeaker);
    const qint64 first = m_db->matchSpeaker(kBase, firstFrames, 0).id;
    const qint64 second = m_db->matchSpeaker(kBase, secondFrames, 0).id;
    QVERIFY(first > 0 && second > 0);
    QCOMPARE(second == first, sameSpeaker);
}

void TestVoskSpeakers::shortResultsShareFirstShortSpeaker()
{
    const qint64 longSpk = m_db->matchSpeaker(kBase, 900, 0).id;
    const qint64 shortSpk = m_db->matchSpeaker({0, 1, 0, 0}, 100, 0).id;
    QVERIFY(shortSpk != longSpk);
    // However far apart, short results never create a second short speaker.
    QCOMPARE(m_db->matchSpeaker({0, 0, 1, 0}, 499, 0).id, shortSpk);
    QCOMPARE(m_db->matchSpeaker({-1, 0, 0, 0}, 10, 0).id, shortSpk);
    QCOMPARE(m_db->matchSpeaker({}, 10, 0).id, shortSpk);
    QCOMPARE(m_db->loadSpeakers().size(), 2);
}

void TestVoskSpeakers::distanceThreshold_data()
{
    QTest::addColumn<VoskSpk>("vp");
    QTest::addColumn<bool>("matches");
    QTest::newRow("same") << kBase << true;
    QTest::newRow("0.3") << atDistance(0.3) << true;
    QTest::newRow("just below 0.5") << VoskSpk{1, 1, 1, 0.999f} << true;
    QTest::newRow("exactly 0.5") << VoskSpk{1, 1, 1, 1} << false;
    QTest::newRow("0.7") << atDistance(0.7) << false;
    QTest::newRow("other length") << VoskSpk{0, 1} << true; // not comparable: distance 0
}

void TestVoskSpeakers::distanceThreshold()
{
    QFETCH(VoskSpk, vp);
    QFETCH(bool, matches);
    const float d = VoskProDb::vpCosineDistance(kBase, vp);
    if (QByteArray(QTest::currentDataTag()) == "just below 0.5")
        QVERIFY2(d < 0.5f && d > 0.499f, qPrintable(QString::number(d, 'g', 9)));
    if (QByteArray(QTest::currentDataTag()) == "exactly 0.5")
        QCOMPARE(d, 0.5f);

    const qint64 stored = m_db->matchSpeaker(kBase, 600, 0).id;
    const VoskSpeakerInfo s = m_db->matchSpeaker(vp, 600, 0);
    QVERIFY(s.id > 0);
    QCOMPARE(s.id == stored, matches);
    QCOMPARE(m_db->loadSpeakers().size(), matches ? 1 : 2);
}

void TestVoskSpeakers::longerResultReplacesVector_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("more frames") << 701 << true;
    QTest::newRow("equal frames") << 700 << false;
    QTest::newRow("fewer frames") << 650 << false;
}

void TestVoskSpeakers::longerResultReplacesVector()
{
    QFETCH(int, frames);
    QFETCH(bool, replaced);
    const qint64 id = m_db->matchSpeaker(kBase, 700, 4).id;
    const VoskSpk closer = atDistance(0.1);
    QCOMPARE(m_db->matchSpeaker(closer, frames, 9).id, id);

    auto raw = openRaw(dataPath());
    const VoskSpk storedVp = VoskProDb::vpFromJson(scalar(*raw, "select vp from speaker").toString());
    QCOMPARE(storedVp, replaced ? closer : kBase);
    QCOMPARE(scalar(*raw, "select frames from speaker").toInt(), replaced ? frames : 700);
    QCOMPARE(scalar(*raw, "select item_id from speaker").toLongLong(), 4); // never touched by a match
}

void TestVoskSpeakers::userNameSurvivesMatches()
{
    const qint64 id = m_db->matchSpeaker(kBase, 600, 0).id;
    QVERIFY(m_db->updateSpeakerName(id, "Dr. Müller"));
    // A longer result rewrites the vector but not the name.
    const VoskSpeakerInfo s = m_db->matchSpeaker(atDistance(0.2), 1200, 0);
    QCOMPARE(s.id, id);
    QCOMPARE(s.name, QString("Dr. Müller"));
    QCOMPARE(m_db->loadSpeakers().at(0).name, QString("Dr. Müller"));

    QVERIFY(m_db->updateSpeakerName(id, QString()));
    QCOMPARE(m_db->matchSpeaker(kBase, 600, 0).name, QString("Speaker %1").arg(id));
    QCOMPARE(m_db->loadSpeakers().at(0).name, QString("Speaker %1").arg(id));
}

void TestVoskSpeakers::itemIdOnlyForConversions()
{
    const qint64 live = m_db->matchSpeaker(kBase, 600, 0).id;
    const qint64 conv = m_db->matchSpeaker({0, 1, 0, 0}, 600, 42).id;
    QVERIFY(live != conv);
    auto raw = openRaw(dataPath());
    QVERIFY(scalar(*raw, QString("select item_id from speaker where id=%1").arg(live)).isNull());
    QCOMPARE(scalar(*raw, QString("select item_id from speaker where id=%1").arg(conv)).toLongLong(), 42);
}

QTEST_GUILESS_MAIN(TestVoskSpeakers)
#include "tst_vosk_speakers.moc"
