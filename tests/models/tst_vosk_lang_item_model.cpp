#include "common/TestUtil.h"
#include "models/VoskLangItemModel.h"
#include "storage/LangDb.h"

#include <QAbstractItemModelTester>
#include <QtTest>

class TestVoskLangItemModel : public QObject
{
    Q_OBJECT

private:
    // Row of the language with code fn, or -1.
    static int rowOf(const VoskLangItemModel &m, const QString &fn)
    {
        for (int r = 0; r < m.rowCount(); ++r)
            if (m.index(r, 0).data(VoskLangItemModel::FnRole).toString() == fn)
                return r;
        return -1;
    }

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QVERIFY(LangDb::instance()->lastErr().isEmpty());
    }

    void roleNames()
    {
        VoskLangItemModel m;
        const QHash<int, QByteArray> roles = m.roleNames();
        QCOMPARE(roles.size(), 6);
        const QList<QByteArray> names{"idx", "id", "name", "fn", "has_s", "has_h"};
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(roles.value(257 + i), names.at(i));
    }

    void wholeCatalogue()
    {
        VoskLangItemModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(m.rowCount(), 24);
        QCOMPARE(m.columnCount(), 1);
        QCOMPARE(m.rowCount(m.index(0, 0)), 0);
        QVERIFY(!m.index(24, 0).isValid());
        QVERIFY(!m.index(0, 1).isValid());
        QVERIFY(!m.parent(m.index(3, 0)).isValid());
    }

    void rowValues_data()
    {
        QTest::addColumn<QString>("fn");
        QTest::addColumn<qlonglong>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("hasS");
        QTest::addColumn<bool>("hasH");
        QTest::newRow("both") << "en" << 1LL << "English" << true << true;
        QTest::newRow("large only") << "gr" << 8LL << QStringLiteral("ελληνικά (ellēniká)") << false << true;
        QTest::newRow("standard only") << "tr" << 9LL << QStringLiteral("Türkçe") << true << false;
    }
    void rowValues()
    {
        QFETCH(QString, fn);
        QFETCH(qlonglong, id);
        QFETCH(QString, name);
        QFETCH(bool, hasS);
        QFETCH(bool, hasH);

        VoskLangItemModel m;
        const int row = rowOf(m, fn);
        QVERIFY(row >= 0);
        const QModelIndex i = m.index(row, 0);
        QCOMPARE(i.data(VoskLangItemModel::IdxRole).toInt(), row);
        QCOMPARE(i.data(VoskLangItemModel::IdRole).toLongLong(), id);
        QCOMPARE(i.data(VoskLangItemModel::NameRole).toString(), name);
        QCOMPARE(i.data(VoskLangItemModel::HasSRole), QVariant(hasS));
        QCOMPARE(i.data(VoskLangItemModel::HasHRole), QVariant(hasH));
        QVERIFY(!i.data(Qt::DisplayRole).isValid());
        QVERIFY(!i.data(VoskLangItemModel::HasHRole + 1).isValid());
        QVERIFY(!m.data(QModelIndex(), VoskLangItemModel::NameRole).isValid());
    }

    void search_data()
    {
        QTest::addColumn<QString>("kw");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("english name") << "Germ" << QStringList{"de"};
        QTest::newRow("native name") << QStringLiteral("日本") << QStringList{"ja"};
        QTest::newRow("several") << "ish" << QStringList{"en", "es", "pl", "sv", "tr"};
        QTest::newRow("nothing") << "zzzz" << QStringList{};
    }
    void search()
    {
        QFETCH(QString, kw);
        QFETCH(QStringList, codes);

        VoskLangItemModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy removed(&m, &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
        m.search(kw);
        QStringList got;
        for (int r = 0; r < m.rowCount(); ++r)
            got << m.index(r, 0).data(VoskLangItemModel::FnRole).toString();
        got.sort();
        QCOMPARE(got, codes);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).mid(1), (QVariantList{0, 23}));
        QCOMPARE(inserted.count(), codes.isEmpty() ? 0 : 1);
        if (!codes.isEmpty())
            QCOMPARE(inserted.at(0).mid(1), (QVariantList{0, codes.size() - 1}));

        // From an empty list nothing is announced as removed; an empty
        // keyword brings every language back.
        m.search(QStringLiteral("zzzz"));
        removed.clear();
        m.search(QString());
        QCOMPARE(removed.count(), 0);
        QCOMPARE(m.rowCount(), 24);
    }
};

QTEST_GUILESS_MAIN(TestVoskLangItemModel)
#include "tst_vosk_lang_item_model.moc"
