#include "platform/naturalorder.h"

#include <QTest>

#include <QRandomGenerator>

#include <clocale>

// Registered once per locale: the order must be the same under each of them. The lists that
// use it (note list, folder tree, search, quick open) are tested under both locales as well.
class TestCollation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // A locale the C library lacks would leave the process under C without a word.
        const QByteArray wanted = qgetenv("LC_ALL");
        if (!wanted.isEmpty())
            QCOMPARE(QByteArray(std::setlocale(LC_ALL, nullptr)), wanted);
    }

    void naturalOrder_data()
    {
        QTest::addColumn<QStringList>("pair"); // in their order
        QTest::addColumn<bool>("tie");         // compare() calls them equal

        QTest::newRow("letter case is ignored") << QStringList{"a.md", "B.md"} << false;
        QTest::newRow("numbers by value, letter case aside")
            << QStringList{"Item 2.md", "item 10.md"} << false;
        QTest::newRow("full-width digits by value") << QStringList{"２.md", "10.md"} << false;
        QTest::newRow("kana before kanji") << QStringList{"かきく.md", "愛.md"} << false;
        // 会 comes before 愛 in code points; read aloud, あい comes before かいぎ.
        QTest::newRow("common kanji by reading") << QStringList{"愛.md", "会議.md"} << false;
        QTest::newRow("names equal but for case") << QStringList{"A.md", "a.md"} << true;
        QTest::newRow("hiragana and katakana spellings")
            << QStringList{"あいう.md", "アイウ.md"} << true;
    }

    void naturalOrder()
    {
        QFETCH(QStringList, pair);
        QFETCH(bool, tie);
        const QString &first = pair.at(0), &second = pair.at(1);
        const auto sign = [](int value) { return (value > 0) - (value < 0); };
        const int expected = tie ? 0 : -1;
        QCOMPARE(sign(NaturalOrder::compare(first, second)), expected);
        QCOMPARE(sign(NaturalOrder::compare(second, first)), -expected);
        QCOMPARE(sign(NaturalOrder::sortKey(first).compare(NaturalOrder::sortKey(second))),
                 expected);
    }

    // Plain ASCII names are ordered from a table rather than by the collator: the answer must be
    // the collator's own (its keys), for names built to stress what the table has to get right:
    // punctuation against digits and letters, numbers with leading zeros, letter case, one name
    // the start of the other.
    void plainNamesOrderAsTheCollatorDoes()
    {
        QVERIFY(NaturalOrder::isPlain(u"2024-05-01 (1).md"));
        QVERIFY(!NaturalOrder::isPlain(u"会議.md"));
        QVERIFY(!NaturalOrder::isPlain(u"tab\there"));
        QVERIFY(!NaturalOrder::isPlain(QString(300, u'7')));

        const QString alphabet = QStringLiteral(" !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~0019aAbBzZ");
        QRandomGenerator random(20261207);
        const auto name = [&] {
            QString made = QStringLiteral("Notes/");
            const int length = int(random.bounded(1, 8));
            for (int i = 0; i < length; ++i)
                made += alphabet.at(random.bounded(qsizetype(alphabet.size())));
            return made;
        };
        const auto sign = [](int value) { return (value > 0) - (value < 0); };
        for (int round = 0; round < 20000; ++round) {
            const QString a = name();
            // Half the pairs share a beginning, so the comparison starts deep in a name.
            const QString b =
                round % 2 ? name() : QString(a.first(random.bounded(a.size())) + name());
            QVERIFY(NaturalOrder::isPlain(a) && NaturalOrder::isPlain(b));
            const int expected = sign(NaturalOrder::sortKey(a).compare(NaturalOrder::sortKey(b)));
            if (sign(NaturalOrder::compare(a, b)) != expected)
                QFAIL(qPrintable(
                    QStringLiteral("\"%1\" against \"%2\": expected %3").arg(a, b).arg(expected)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCollation)
#include "tst_collation.moc"
