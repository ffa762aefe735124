// market-sim: a stand-in for the Zandorp marketplace web site, for tests and demos, on 127.0.0.1.
//
// Pages (Shift_JIS HTML):
//   POST /                 category search; form body menu=browse&act=search_request&type=category
//                          &key=KEY&condition=present&sort_type=registered|limited|bidding&sort_button=display
//                          (KEY: "+" for a space, %XX bytes, code page 932). Answers the request list of the
//                          category: registered = newest first, limited = nearest deadline first,
//                          bidding = most quotes first; an unknown key gives "該当する案件はありません".
//   POST /?menu=my_top&act=login&query=...   login; form body email=ID&pass1=PW&sbmLogin=next. The right
//                          account gives the personal top page and a session cookie, a wrong one a
//                          login-failed page (status 200).
//   GET /                  top page.     GET /browse/request/ID   request detail.
//   GET /img/new.gif       the new icon. Anything else: 404.
// Both ports serve the same pages; the login is meant for HTTPS, the search for HTTP. Tag names are
// written in capitals on the pages of some categories and in lower case on others (fixed per key).
//
// Options:
//   --http-port N, --https-port N   listening ports on 127.0.0.1 (default 0: any free port)
//   --log FILE          append one JSON object per received request per line, flushed at once:
//                       {"time","scheme":"http"|"https","method","path","query","headers":{name:value},
//                        "body_hex","body_len"}
//   --categories FILE   category list ("key,second,caption" lines, code page 932). With a list only its
//                       keys have requests; without one every non-empty key has some and pages name the key.
//   --seed N            seed of the generated requests (default 1): same seed, same pages
//   --add-every S       every S seconds add one new-marked request to every category listed or used (0: never)
//   --account ID, --password PW   the account that can log in (demo@zandorp.example / demo-pass)
//
// Start-up prints one line:  READY http=PORT https=PORT spki=BASE64
// (spki: base64 of the SHA-256 of the certificate's DER SubjectPublicKeyInfo, for Chromium's
// --ignore-certificate-errors-spki-list). Errors at start-up go to stderr, exit status 2 (bad options or
// files) or 1 (certificate or ports).
//
// Commands on stdin, one per line; each is answered by one line "OK ..." or "ERR ..." on stdout.
// KEY is the decoded category key (UTF-8), without spaces.
//   add KEY ID               add a new-marked request ID (letters of any script, digits, "-", "_", and
//                            symbols such as an emoji, which the page writes as &#N;) as the newest of KEY;
//                            a request of KEY with the same ID is replaced
//   fail KEY MODE [COUNT]    the next COUNT searches of KEY (default 1, "always": every one, 0: none more)
//                            fail with MODE: 500 (status 500 page), stall (read the request, never answer,
//                            keep the connection open), drop (close the connection without an answer),
//                            login (a redirect to the login page, as a logged-out session gets) or
//                            empty (status 200 with an empty body)
//   delay KEY MS             answer searches of KEY after MS milliseconds; "delay KEY 0" ends it
//                            (a search that is also set to fail fails after the delay)
//   page KEY KIND [N]        from now on the result pages of KEY carry KIND: endless (a script that never
//                            ends, after the list), alert, confirm or prompt (that dialog, after the list),
//                            entries N (N more new-marked entries, IDs 700001 up), large N (N megabytes
//                            more of entries that are not new), tamper (a script that replaces
//                            Array.prototype.join and String.prototype.replace and substring), navigate
//                            (the page posts its own search again 25 ms after it is shown, so it navigates
//                            itself all the time); plain ends it
//   clear KEY                drop every request of KEY
//   quit                     exit
// The simulator also exits when stdin reaches end-of-file, so it never outlives its harness.

#include "catalog.h"
#include "certificate.h"
#include "console.h"
#include "server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace marketsim;

namespace {

void fail(const QString& message) {
    std::fprintf(stderr, "market-sim: %s\n", qPrintable(message));
}

bool readNumber(const QCommandLineParser& parser, const QString& option, qint64 max, qint64* value) {
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    *value = parser.value(option).toLongLong(&ok);
    if (!ok || *value < 0 || *value > max) {
        fail(u"--%1 には 0 から %2 までの整数を指定してください: %3"_s.arg(option).arg(max).arg(parser.value(option)));
        return false;
    }
    return true;
}

// Runs one stdin command and returns its answer line.
QString runCommand(const QString& line, Catalog& catalog, MarketServer& server, bool* quit) {
    static const QRegularExpression spaces(u"\\s+"_s);
    // Nothing that means something in markup or a URL: no quote, angle
    // bracket, ampersand, slash, question mark or white space.
    static const QRegularExpression idPattern(u"^[\\p{L}\\p{N}\\p{So}_-]+$"_s);
    const QStringList words = line.split(spaces, Qt::SkipEmptyParts);
    const QString command = words.value(0);
    const auto number = [](const QString& text, int* value) {
        bool ok = false;
        *value = text.toInt(&ok);
        return ok && *value >= 0;
    };
    if (command == u"add") {
        if (words.size() != 3 || !idPattern.match(words[2]).hasMatch())
            return u"ERR usage: add KEY ID (ID of letters, digits, symbols, - and _)"_s;
        catalog.add(words[1], words[2]);
        return u"OK add %1 %2"_s.arg(words[1], words[2]);
    }
    if (command == u"fail") {
        const QString mode = words.value(2);
        FailMode failMode = mode == u"500"     ? FailMode::ServerError
                            : mode == u"stall" ? FailMode::Stall
                            : mode == u"drop"  ? FailMode::Drop
                            : mode == u"login" ? FailMode::LoggedOut
                            : mode == u"empty" ? FailMode::Empty
                                               : FailMode::None;
        int count = 1;
        const QString countText = words.value(3, u"1"_s);
        if (countText == u"always")
            count = -1;
        else if (!number(countText, &count))
            failMode = FailMode::None;
        if (words.size() < 3 || words.size() > 4 || failMode == FailMode::None)
            return u"ERR usage: fail KEY 500|stall|drop|login|empty [COUNT|always]"_s;
        server.setFailure(words[1], failMode, count);
        return u"OK fail %1 %2 %3"_s.arg(words[1], mode, countText);
    }
    if (command == u"delay") {
        int milliseconds = 0;
        if (words.size() != 3 || !number(words[2], &milliseconds))
            return u"ERR usage: delay KEY MS"_s;
        server.setDelay(words[1], milliseconds);
        return u"OK delay %1 %2"_s.arg(words[1]).arg(milliseconds);
    }
    if (command == u"page") {
        static const QHash<QString, PageTrouble::Kind> kinds{
            {u"plain"_s, PageTrouble::None},       {u"endless"_s, PageTrouble::EndlessScript},
            {u"alert"_s, PageTrouble::Alert},      {u"confirm"_s, PageTrouble::Confirm},
            {u"prompt"_s, PageTrouble::Prompt},    {u"entries"_s, PageTrouble::Entries},
            {u"large"_s, PageTrouble::Large},      {u"tamper"_s, PageTrouble::Tamper},
            {u"navigate"_s, PageTrouble::Navigate}};
        const QString kind = words.value(2);
        const bool counted = kind == u"entries" || kind == u"large";
        int amount = 0;
        if (words.size() != (counted ? 4 : 3) || !kinds.contains(kind) ||
            (counted && (!number(words[3], &amount) || amount > (kind == u"large" ? 1024 : 1000000))))
            return u"ERR usage: page KEY endless|alert|confirm|prompt|tamper|navigate|entries N|large MB|plain"_s;
        server.setTrouble(words[1], {kinds.value(kind), amount});
        return u"OK %1"_s.arg(line.trimmed());
    }
    if (command == u"clear") {
        if (words.size() != 2)
            return u"ERR usage: clear KEY"_s;
        catalog.clear(words[1]);
        return u"OK clear %1"_s.arg(words[1]);
    }
    if (command == u"quit" && words.size() == 1) {
        *quit = true;
        return u"OK quit"_s;
    }
    return u"ERR unknown command: %1"_s.arg(line);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"market-sim"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Zandorp marketplace simulator on 127.0.0.1"_s);
    parser.addHelpOption();
    parser.addOptions({
        {u"http-port"_s, u"HTTP port (0: any free port)"_s, u"N"_s, u"0"_s},
        {u"https-port"_s, u"HTTPS port (0: any free port)"_s, u"N"_s, u"0"_s},
        {u"log"_s, u"Append one JSON line per request to FILE"_s, u"FILE"_s},
        {u"categories"_s, u"Category list (key,second,caption; code page 932)"_s, u"FILE"_s},
        {u"seed"_s, u"Seed of the generated requests"_s, u"N"_s, u"1"_s},
        {u"add-every"_s, u"Add a new request to every category every S seconds (0: never)"_s, u"S"_s, u"0"_s},
        {u"account"_s, u"Account ID that can log in"_s, u"ID"_s, u"demo@zandorp.example"_s},
        {u"password"_s, u"Password of that account"_s, u"PW"_s, u"demo-pass"_s},
    });
    parser.process(app);

    qint64 httpPort = 0, httpsPort = 0, seed = 1, addEvery = 0;
    if (!readNumber(parser, u"http-port"_s, 65535, &httpPort) ||
        !readNumber(parser, u"https-port"_s, 65535, &httpsPort) ||
        !readNumber(parser, u"seed"_s, 0xffffffffLL, &seed) || !readNumber(parser, u"add-every"_s, 86400, &addEvery))
        return 2;

    Catalog catalog{quint32(seed)};
    QString error;
    if (parser.isSet(u"categories"_s) && !catalog.loadCategories(parser.value(u"categories"_s), &error)) {
        fail(error);
        return 2;
    }

    MarketServer server(&catalog, {parser.value(u"account"_s), parser.value(u"password"_s)});
    if (parser.isSet(u"log"_s) && !server.openLog(parser.value(u"log"_s), &error)) {
        fail(error);
        return 2;
    }

    const std::optional<ServerIdentity> identity = makeServerIdentity(&error);
    if (!identity) {
        fail(error);
        return 1;
    }

    auto* http = new QTcpServer(&server);
    if (!http->listen(QHostAddress::LocalHost, quint16(httpPort))) {
        fail(u"HTTP ポート %1 で待ち受けできません: %2"_s.arg(httpPort).arg(http->errorString()));
        return 1;
    }
    server.bind(http);

    auto* https = new QSslServer(&server);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(identity->certificate);
    tls.setPrivateKey(identity->privateKey);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    https->setSslConfiguration(tls);
    if (!https->listen(QHostAddress::LocalHost, quint16(httpsPort))) {
        fail(u"HTTPS ポート %1 で待ち受けできません: %2"_s.arg(httpsPort).arg(https->errorString()));
        return 1;
    }
    server.bind(https);

    QTimer addTimer;
    if (addEvery > 0) {
        QObject::connect(&addTimer, &QTimer::timeout, &addTimer, [&catalog] { catalog.addToEveryCategory(); });
        addTimer.start(std::chrono::seconds(addEvery));
    }

    Console console;
    bool quitting = false;
    QObject::connect(&console, &Console::lineReceived, &app, [&](const QString& line) {
        if (quitting || line.isEmpty())
            return;
        Console::say(runCommand(line, catalog, server, &quitting));
        if (quitting)
            QCoreApplication::quit();
    });
    QObject::connect(&console, &Console::endOfInput, &app, &QCoreApplication::quit);

    Console::say(u"READY http=%1 https=%2 spki=%3"_s.arg(http->serverPort())
                     .arg(https->serverPort())
                     .arg(QString::fromLatin1(identity->spkiSha256Base64)));
    return app.exec();
}
