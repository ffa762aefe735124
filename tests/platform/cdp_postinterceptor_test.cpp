#include "platform/cdp/postinterceptor.h"

#include <QJsonArray>
#include <QtTest>

using velkoria::cdp::PostInterceptor;

namespace {

QJsonObject paused(const QString& id, const QString& frame, const QString& type = QStringLiteral("Document")) {
    return {{QStringLiteral("requestId"), id},
            {QStringLiteral("frameId"), frame},
            {QStringLiteral("resourceType"), type},
            {QStringLiteral("request"),
             QJsonObject{{QStringLiteral("url"), QStringLiteral("http://market.test/")},
                         {QStringLiteral("method"), QStringLiteral("GET")},
                         {QStringLiteral("headers"),
                          QJsonObject{{QStringLiteral("Accept"), QStringLiteral("text/html")},
                                      {QStringLiteral("content-type"), QStringLiteral("text/plain")},
                                      {QStringLiteral("Upgrade-Insecure-Requests"), QStringLiteral("1")}}}}}};
}

QStringList sentHeaders(const QJsonObject& params) {
    QStringList lines;
    for (const QJsonValue& header : params.value(u"headers").toArray())
        lines << header[u"name"].toString() + QStringLiteral(": ") + header[u"value"].toString();
    return lines;
}

const QJsonObject untouched(const QString& id) {
    return {{QStringLiteral("requestId"), id}};
}

} // namespace

class PostInterceptorTest : public QObject {
    Q_OBJECT

private slots:
    void headerLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QString type = QStringLiteral("Content-Type: application/x-www-form-urlencoded");
        QTest::newRow("the program's one line") << type + QStringLiteral("\r\n") << QStringList{type};
        QTest::newRow("without line end") << type << QStringList{type};
        QTest::newRow("two lines, blank line, LF only")
            << QStringLiteral("A: 1\r\n\r\nB:2\n") << QStringList{QStringLiteral("A: 1"), QStringLiteral("B: 2")};
        QTest::newRow("colon in the value")
            << QStringLiteral("X-Time: 12:30\r\n") << QStringList{QStringLiteral("X-Time: 12:30")};
        QTest::newRow("no name or no colon skipped") << QStringLiteral(": v\r\nnocolon\r\n  \r\n") << QStringList{};
        QTest::newRow("empty") << QString() << QStringList{};
    }
    void headerLines() {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QStringList lines;
        for (const auto& header : PostInterceptor::parseHeaderLines(text))
            lines << header.name + QStringLiteral(": ") + header.value;
        QCOMPARE(lines, expected);
    }

    void firstMainFramePauseBecomesThePost() {
        PostInterceptor interceptor;
        QByteArray body("a=1+2&b=%41&c=");
        body += char(0x80);
        body += char(0xb1);
        body += char(0xff);
        interceptor.arm(
            QStringLiteral("http://market.test/"), body,
            PostInterceptor::parseHeaderLines(QStringLiteral("Content-Type: application/x-www-form-urlencoded\r\n")));
        const QJsonObject params =
            interceptor.continueParams(paused(QStringLiteral("job-1"), QStringLiteral("MAIN")), QStringLiteral("MAIN"));
        QCOMPARE(params.value(u"requestId").toString(), QStringLiteral("job-1"));
        QCOMPARE(params.value(u"method").toString(), QStringLiteral("POST"));
        QCOMPARE(QByteArray::fromBase64(params.value(u"postData").toString().toLatin1()), body);
        // The request's own headers stay; the caller's line replaces a header
        // of the same name whatever its case.
        QCOMPARE(sentHeaders(params),
                 (QStringList{QStringLiteral("Accept: text/html"), QStringLiteral("Upgrade-Insecure-Requests: 1"),
                              QStringLiteral("Content-Type: application/x-www-form-urlencoded")}));

        // Used once: the next pause (a redirect hop, the user's link) goes on as it is.
        QCOMPARE(
            interceptor.continueParams(paused(QStringLiteral("job-2"), QStringLiteral("MAIN")), QStringLiteral("MAIN")),
            untouched(QStringLiteral("job-2")));
    }

    void otherPausesContinueUntouched() {
        PostInterceptor interceptor;
        // Asked as written in the settings: the browser writes the host in
        // lower case and an empty path as "/".
        interceptor.arm(QStringLiteral("http://Market.test"), "x=1", {});
        // An iframe's document, another resource type, the response stage.
        QCOMPARE(
            interceptor.continueParams(paused(QStringLiteral("a"), QStringLiteral("CHILD")), QStringLiteral("MAIN")),
            untouched(QStringLiteral("a")));
        QCOMPARE(
            interceptor.continueParams(paused(QStringLiteral("b"), QStringLiteral("MAIN"), QStringLiteral("Script")),
                                       QStringLiteral("MAIN")),
            untouched(QStringLiteral("b")));
        QJsonObject response = paused(QStringLiteral("c"), QStringLiteral("MAIN"));
        response.insert(QStringLiteral("responseStatusCode"), 200);
        QCOMPARE(interceptor.continueParams(response, QStringLiteral("MAIN")), untouched(QStringLiteral("c")));
        // The page navigating itself meanwhile (a refresh, a script's redirect
        // elsewhere), and a redirect hop: the body (a password) goes to none.
        for (const QString& elsewhere :
             {QStringLiteral("http://market.test/?refresh"), QStringLiteral("http://evil.test/")}) {
            QJsonObject own = paused(QStringLiteral("e"), QStringLiteral("MAIN"));
            QJsonObject request = own.value(u"request").toObject();
            request.insert(QStringLiteral("url"), elsewhere);
            own.insert(QStringLiteral("request"), request);
            QCOMPARE(interceptor.continueParams(own, QStringLiteral("MAIN")), untouched(QStringLiteral("e")));
        }
        QJsonObject hop = paused(QStringLiteral("f"), QStringLiteral("MAIN"));
        hop.insert(QStringLiteral("redirectedRequestId"), QStringLiteral("f0"));
        QCOMPARE(interceptor.continueParams(hop, QStringLiteral("MAIN")), untouched(QStringLiteral("f")));
        // The main frame's pause still gets the body afterwards.
        QCOMPARE(interceptor.continueParams(paused(QStringLiteral("d"), QStringLiteral("MAIN")), QStringLiteral("MAIN"))
                     .value(u"method")
                     .toString(),
                 QStringLiteral("POST"));
    }

    void unarmedOrDisarmedLeavesEverythingAlone() {
        PostInterceptor interceptor;
        QCOMPARE(
            interceptor.continueParams(paused(QStringLiteral("a"), QStringLiteral("MAIN")), QStringLiteral("MAIN")),
            untouched(QStringLiteral("a")));
        interceptor.arm(QStringLiteral("http://market.test/"), "x=1", {});
        interceptor.disarm();
        QCOMPARE(
            interceptor.continueParams(paused(QStringLiteral("b"), QStringLiteral("MAIN")), QStringLiteral("MAIN")),
            untouched(QStringLiteral("b")));
    }
};

QTEST_GUILESS_MAIN(PostInterceptorTest)
#include "cdp_postinterceptor_test.moc"
