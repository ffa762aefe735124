#include "pages.h"

#include "sitetext.h"

#include <QRegularExpression>

#include <array>

using namespace Qt::StringLiterals;

namespace marketsim {

namespace {

const QString kSiteName = u"Zandorp ビジネスマッチング"_s;

QString shell(const QString& title, const QString& body) {
    return uR"(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">
<html lang="ja">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">
<title>%1 | %2</title>
</head>
<body bgcolor="#ffffff">
<table width="100%" cellpadding="4" cellspacing="0"><tr>
<td bgcolor="#003366"><font color="#ffffff" size="4"><b>%2</b></font></td>
<td bgcolor="#003366" align="right"><a href="/?menu=my_top&amp;act=top"><font color="#ffffff">マイビジネス</font></a></td>
</tr></table>
%3
<hr>
<p align="center"><font size="2">Copyright Zandorp Co., Ltd.</font></p>
</body>
</html>
)"_s.arg(title.toHtmlEscaped(), kSiteName, body);
}

QString sortLine(SortType current) {
    const std::array<std::pair<SortType, QString>, 3> sorts{{
        {SortType::Registered, u"登録が新しい順"_s},
        {SortType::Limited, u"締切が近い順"_s},
        {SortType::Bidding, u"見積件数が多い順"_s},
    }};
    QStringList parts;
    for (const auto& [sort, label] : sorts)
        parts.append(sort == current ? u"<b>%1</b>"_s.arg(label) : label);
    return parts.join(u" ／ "_s);
}

// The rows a trouble adds to the list.
QString troubleRows(const PageTrouble& trouble) {
    QString rows;
    if (trouble.kind == PageTrouble::Entries) {
        for (int i = 1; i <= trouble.amount; ++i) {
            MarketRequest request;
            request.id = QString::number(700000 + i);
            request.title = u"大量の新着依頼 %1"_s.arg(i);
            request.deadline = QDate(2026, 11, 1);
            request.isNew = true;
            rows += requestEntry(request) + u'\n';
        }
    } else if (trouble.kind == PageTrouble::Large) {
        MarketRequest request;
        request.title = u"過去の依頼"_s;
        request.deadline = QDate(2026, 11, 1);
        request.id = u"600000"_s;
        const qint64 rowBytes = encodeSiteText(requestEntry(request)).size() + 1;
        const qint64 count = qint64(trouble.amount) * 1024 * 1024 / rowBytes;
        rows.reserve(qsizetype(count * (requestEntry(request).size() + 1)));
        for (qint64 i = 0; i < count; ++i) {
            request.id = QString::number(600000 + i % 100000);
            rows += requestEntry(request) + u'\n';
        }
    }
    return rows;
}

// The script a trouble puts after the list: the page's own load waits for it.
QString troubleScript(const SearchPage& page) {
    switch (page.trouble.kind) {
    case PageTrouble::EndlessScript:
        return u"<script>for(;;){}</script>"_s;
    case PageTrouble::Alert:
        return u"<script>alert('お知らせ');</script>"_s;
    case PageTrouble::Confirm:
        return u"<script>confirm('このページを表示しますか？');</script>"_s;
    case PageTrouble::Prompt:
        return u"<script>prompt('キーワードを入力してください', '');</script>"_s;
    case PageTrouble::Tamper:
        // A page's own script replacing the built-ins that a reader of its
        // markup could use: joins of 256 M characters, nothing replaced, one
        // character a substring.
        return u"<script>Array.prototype.join = function () { return 'x'.repeat(1 << 28); };"
               "String.prototype.replace = function () { return ''; };"
               "String.prototype.substring = function () { return 'a'; };</script>"_s;
    case PageTrouble::Navigate:
        // The page posts its own search again 25 ms after it is shown, and so
        // does every page that answers it: it navigates itself all the time.
        return uR"(<form name="again" method="post" action="/">
<input type="hidden" name="menu" value="browse"><input type="hidden" name="act" value="search_request">
<input type="hidden" name="type" value="category"><input type="hidden" name="key" value="%1">
<input type="hidden" name="condition" value="present"><input type="hidden" name="sort_type" value="%2">
<input type="hidden" name="sort_button" value="display"></form>
<script>setTimeout(function () { document.forms.again.submit(); }, 25);</script>)"_s.arg(page.key.toHtmlEscaped(),
                                                                                         sortTypeName(page.sort));
    default:
        return {};
    }
}

} // namespace

QString requestEntry(const MarketRequest& request) {
    return u"<tr><td><a href=\"/browse/request/%1\">%2</a>%3</td><td>締切 %4</td>"
           u"<td><font size=\"2\">見積件数</font> %5件</td></tr>"_s.arg(
               request.id, request.title.toHtmlEscaped(),
               request.isNew ? u" <img src=\"/img/new.gif\" alt=\"NEW\">"_s : QString(),
               request.deadline.toString(u"yyyy/MM/dd"_s), QString::number(request.quotes));
}

QString searchResultPage(const SearchPage& page) {
    const QString name = page.caption.isEmpty() ? u"カテゴリ「%1」"_s.arg(page.key) : page.caption;
    QString rows;
    for (const MarketRequest& request : page.requests)
        rows += requestEntry(request) + u'\n';
    rows += troubleRows(page.trouble);
    if (rows.isEmpty())
        rows = u"<tr><td colspan=\"3\">該当する案件はありません</td></tr>\n"_s;
    QString popular;
    for (const PopularLink& link : page.popular) {
        popular += u"<li><a href=\"/browse/request/%1\">%2</a>%3</li>\n"_s.arg(
            link.id, link.title.toHtmlEscaped(), link.isNew ? u" <img src=\"/img/new.gif\" alt=\"NEW\">"_s : QString());
    }
    const QString body = uR"(<h2>%1 の依頼一覧</h2>
<p>並び順: %2（全%3件）</p>
<table class="request-list" border="1" cellpadding="4" cellspacing="0">
<tr><th>依頼内容</th><th>締切</th><th>見積</th></tr>
%4</table>
<h3>人気の依頼</h3>
<ul class="popular">
%5</ul>
%6)"_s.arg(name.toHtmlEscaped(), sortLine(page.sort), QString::number(page.requests.size()), rows, popular,
           troubleScript(page));
    const QString html = shell(u"%1の依頼一覧"_s.arg(name), body);
    return page.upperCaseTags ? withUpperCaseTags(html) : html;
}

QString requestDetailPage(const QString& id, const MarketRequest* request) {
    QString body = u"<h2>案件番号 %1</h2>\n"_s.arg(id.toHtmlEscaped());
    if (request) {
        body += u"<p>%1</p>\n<p>締切 %2 ／ 見積件数 %3件</p>\n"_s.arg(request->title.toHtmlEscaped(),
                                                                      request->deadline.toString(u"yyyy/MM/dd"_s),
                                                                      QString::number(request->quotes));
    } else {
        body += u"<p>この案件の詳細は公開されていません。</p>\n"_s;
    }
    body += u"<p><a href=\"/?menu=my_top&amp;act=top\">見積りを提出するにはログインしてください</a></p>"_s;
    return shell(u"案件番号 %1"_s.arg(id), body);
}

QString myTopPage(const QString& account) {
    return shell(u"マイビジネス"_s, uR"(<h2>マイビジネス トップ</h2>
<p>ログイン中のアカウント: <b>%1</b></p>
<ul>
<li>提出した見積り: 0件</li>
<li>お気に入りの依頼: 0件</li>
</ul>)"_s.arg(account.toHtmlEscaped()));
}

QString loginFailedPage() {
    return shell(u"ログイン"_s, uR"(<h2>ログイン</h2>
<p><font color="#cc0000">ログインに失敗しました。メールアドレスまたはパスワードが正しくありません。</font></p>
<form method="post" action="/?menu=my_top&amp;act=login&amp;query=menu%3Dmy_top%26act%3Dtop">
<p>メールアドレス <input type="text" name="email"></p>
<p>パスワード <input type="password" name="pass1"></p>
<p><input type="submit" name="sbmLogin" value="next"></p>
</form>)"_s);
}

QString topPage() {
    return shell(u"トップ"_s, u"<h2>%1</h2>\n<p>企業と発注者をつなぐ見積り依頼サイトです。</p>"_s.arg(kSiteName));
}

QString serverErrorPage() {
    return shell(
        u"エラー"_s,
        u"<h2>500 Internal Server Error</h2>\n<p>ただいまアクセスが集中しています。しばらくしてから再度お試しください。</p>"_s);
}

QString notFoundPage() {
    return shell(u"ページが見つかりません"_s,
                 u"<h2>404 Not Found</h2>\n<p>お探しのページは見つかりませんでした。</p>"_s);
}

QString badRequestPage() {
    return shell(u"エラー"_s, u"<h2>400 Bad Request</h2>\n<p>リクエストの内容が正しくありません。</p>"_s);
}

QString withUpperCaseTags(const QString& html) {
    static const QRegularExpression tagName(u"<(/?)([A-Za-z][A-Za-z0-9]*)"_s);
    QString out;
    qsizetype last = 0;
    for (const QRegularExpressionMatch& match : tagName.globalMatch(html)) {
        out += QStringView(html).mid(last, match.capturedStart(2) - last);
        out += match.captured(2).toUpper();
        last = match.capturedEnd(2);
    }
    out += QStringView(html).mid(last);
    return out;
}

} // namespace marketsim
