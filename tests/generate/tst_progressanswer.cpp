#include "generate/KanvoProgressAnswer.h"

#include <QTest>
#include <limits>

class TestProgressAnswer : public QObject {
    Q_OBJECT
private slots:
    // -1 in "percent" means the answer is dropped.
    void answerBecomesPercentage_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("percent");
        QTest::newRow("truncated-not-rounded") << QByteArray(R"({"progress":0.29})") << 28;
        QTest::newRow("half") << QByteArray(R"({"progress":0.5,"eta_relative":3})") << 50;
        QTest::newRow("done") << QByteArray(R"({"progress":1.0})") << 100;
        QTest::newRow("negative-is-not-clamped") << QByteArray(R"({"progress":-0.2})") << -20;
        QTest::newRow("above-one-is-not-clamped") << QByteArray(R"({"progress":1.5})") << 150;
        QTest::newRow("negative-truncates-toward-zero")
            << QByteArray(R"({"progress":-0.299})") << -29;
        QTest::newRow("string-number") << QByteArray(R"({"progress":"0.5"})") << 50;
        QTest::newRow("string-with-leading-number")
            << QByteArray(R"({"progress":" 0.75 done"})") << 75;
        QTest::newRow("string-without-number") << QByteArray(R"({"progress":"busy"})") << 0;
        QTest::newRow("missing-member-is-zero") << QByteArray(R"({"detail":"Not Found"})") << 0;
        QTest::newRow("huge-string-saturates")
            << QByteArray(R"({"progress":"1e300"})") << std::numeric_limits<int>::max();
        QTest::newRow("null-dropped") << QByteArray(R"({"progress":null})") << -1;
        QTest::newRow("array-dropped") << QByteArray(R"({"progress":[0.5]})") << -1;
        QTest::newRow("object-dropped") << QByteArray(R"({"progress":{"v":0.5}})") << -1;
        QTest::newRow("boolean-dropped") << QByteArray(R"({"progress":true})") << -1;
        QTest::newRow("top-level-array-dropped") << QByteArray(R"([{"progress":0.5}])") << -1;
        QTest::newRow("top-level-number-dropped") << QByteArray("0.5") << -1;
        QTest::newRow("not-json-dropped") << QByteArray("<html>busy</html>") << -1;
        QTest::newRow("truncated-json-dropped") << QByteArray(R"({"progress":0.5)") << -1;
        QTest::newRow("empty-body-dropped") << QByteArray() << -1;
    }

    void answerBecomesPercentage() {
        QFETCH(QByteArray, body);
        QFETCH(int, percent);
        const std::optional<double> progress = KanvoProgressAnswer::progress(body);
        if (percent == -1) {
            QVERIFY(!progress);
        } else {
            QVERIFY(progress);
            QCOMPARE(KanvoProgressAnswer::percent(*progress), percent);
        }
    }
};

QTEST_GUILESS_MAIN(TestProgressAnswer)
#include "tst_progressanswer.moc"
