#include "platform/clock.h"
#include "storage/notedocument.h"

#include <QTest>

namespace {

// A large note as another application might leave it: a front-matter header, about 1 MB of mixed
// Japanese and ASCII markdown, and Joplin's unfenced metadata at the end without a final newline.
QString largeNote()
{
    const QStringList samples = {
        QStringLiteral("## 第%1章 設計メモ"),
        QStringLiteral("- [ ] レビュー依頼 #%1 を確認する"),
        QStringLiteral("- [x] Fixed the parser for item %1, see [link](https://example.com/%1)"),
        QStringLiteral("本文の段落 %1: 今日は **太字** と `code` を含む文章を書いた。"),
        QStringLiteral("> Quote %1: plain ASCII text with a colon: inside it.\n"),
    };
    QString text =
        QStringLiteral("---\ntitle: \"大きなノート\"\ncreated: 2023-04-01T08:15:30.120Z\n"
                       "tags:\n  - bench\n---\n\n");
    qsizetype utf8Bytes = 0;
    for (int i = 0; utf8Bytes < 1024 * 1024; ++i) {
        const QString line = samples[i % samples.size()].arg(i) + u'\n';
        utf8Bytes += line.toUtf8().size();
        text += line;
    }
    text += QStringLiteral("\nid: 8a7b6c5d4e3f21009f8e7d6c5b4a3928\n"
                           "parent_id: 1c2d3e4f5a6b7c8d9e0f1a2b3c4d5e6f\n"
                           "created_time: 2023-04-01T08:15:30.120Z\n"
                           "updated_time: 2023-04-02T21:04:11.987Z\n"
                           "source_application: net.cozic.joplin-desktop\n"
                           "user_created_time: 2023-04-01T08:15:30.120Z\n"
                           "markup_language: 1\n"
                           "type_: 1");
    return text;
}

} // namespace

class BenchNoteDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void parseLargeNote();
    void buildSaveTextForLargeNote();

private:
    FixedClock m_clock{QDateTime(QDate(2024, 5, 1), QTime(3, 0), QTimeZone::utc()),
                       QTimeZone("Asia/Tokyo")};
    QString m_text;
};

void BenchNoteDocument::initTestCase()
{
    Clock::setCurrent(&m_clock);
    m_text = largeNote();
    qInfo("note: %lld UTF-8 bytes, %lld lines", qint64(m_text.toUtf8().size()),
          qint64(m_text.count(u'\n') + 1));
}

void BenchNoteDocument::cleanupTestCase()
{
    Clock::setCurrent(nullptr);
}

void BenchNoteDocument::parseLargeNote()
{
    NoteDocumentParts parts;
    QBENCHMARK
    {
        parts = parseNoteDocument(m_text);
    }
    QVERIFY(parts.obsidian);
    QVERIFY(parts.joplinIsTrailing);
}

void BenchNoteDocument::buildSaveTextForLargeNote()
{
    const NoteDocumentParts parts = parseNoteDocument(m_text);
    QString saved;
    QBENCHMARK
    {
        const NoteFrontMatter header = completeHeaderForSave(
            parts.obsidian, QStringLiteral("大きなノート"), parts.joplinYAML, {}, m_clock.now());
        saved = buildNoteSaveText(header, parts.body, parts.joplinYAML, parts.joplinIsTrailing);
    }
    QCOMPARE(parseNoteDocument(saved).body, parts.body);
}

QTEST_GUILESS_MAIN(BenchNoteDocument)
#include "bench_notedocument.moc"
