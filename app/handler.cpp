#include "app/handler.h"

#include <QDir>
#include <exception>

namespace velkoria {

namespace {

QString profileProblemText(const BrowserError& error) {
    switch (error.problem) {
    case BrowserError::Problem::FileInTheWay:
        return QStringLiteral("同じ名前のファイルがあります");
    case BrowserError::Problem::NotAFolder:
        return QStringLiteral("%1 はフォルダではなくファイルです").arg(QDir::toNativeSeparators(error.problemPath));
    case BrowserError::Problem::ReadOnlyDrive:
        return QStringLiteral("読み取り専用のドライブにあります");
    case BrowserError::Problem::DiskFull:
        return QStringLiteral("ディスクの空きがありません");
    case BrowserError::Problem::NoPermission:
        return QStringLiteral("書き込む権限がありません");
    case BrowserError::Problem::None:
    case BrowserError::Problem::NotWritable:
        break;
    }
    return QStringLiteral("書き込めません");
}

QString startStageText(const BrowserError& error) {
    switch (error.stage) {
    case BrowserError::Stage::NoPage:
        return QStringLiteral("のページに接続できません。\n") +
               (error.cause ? browserFailure(*error.cause).description() : QString());
    case BrowserError::Stage::NoAnswer:
        return QStringLiteral("が %1 秒以内に応答しません。").arg(error.seconds);
    case BrowserError::Stage::EndedAtOnce:
    case BrowserError::Stage::None:
        break;
    }
    return QStringLiteral("が起動直後に終了しました。");
}

} // namespace

RuntimeError browserFailure(const BrowserError& error) {
    const QString folder = QDir::toNativeSeparators(error.path);
    switch (error.kind()) {
    case BrowserError::Kind::Gone:
        return makeError(BrowserGone);
    case BrowserError::Kind::NoAnswer:
        return makeError(AutomationError, QStringLiteral("ブラウザが応答しません (%1)").arg(error.command));
    case BrowserError::Kind::Refused:
        return makeError(AutomationError, QStringLiteral("ブラウザがコマンドを拒否しました (%1): %2 [%3]")
                                              .arg(error.command, error.message)
                                              .arg(error.code));
    case BrowserError::Kind::ScriptFailed:
        return makeError(AutomationError,
                         QStringLiteral("ページを読み取れません (%1): %2").arg(error.command, error.message));
    case BrowserError::Kind::NoPage:
        return makeError(AutomationError, QStringLiteral("ブラウザのページに接続できません (応答がありません)。"));
    case BrowserError::Kind::NotFound:
        if (error.path.isEmpty())
            return makeError(CannotStartBrowser,
                             QStringLiteral("ブラウザ (Chrome, Edge, Chromium) が見つかりません。"
                                            "velkoria.ini の [browser] executable に実行ファイルを指定してください。"));
        return makeError(CannotStartBrowser, QStringLiteral("ブラウザが見つかりません: %1").arg(error.path));
    case BrowserError::Kind::CannotRun:
        return makeError(CannotStartBrowser,
                         QStringLiteral("ブラウザを起動できません: %1\n%2").arg(folder, error.message));
    case BrowserError::Kind::ProfileUnusable:
        return makeError(CannotStartBrowser,
                         QStringLiteral("ブラウザ用のフォルダ %1 を使えません (%2)。"
                                        "このフォルダを作成して書き込めるようにしてから、Velkoria を起動してください。")
                             .arg(folder, profileProblemText(error)));
    case BrowserError::Kind::ProfileInUse: {
        const QString holder = error.process > 0 ? QStringLiteral(" (プロセス %1) ").arg(error.process) : QString();
        return makeError(CannotStartBrowser,
                         QStringLiteral("ブラウザ用のフォルダ %1 は、実行中の別のブラウザ%2が使っています。"
                                        "同じフォルダの Velkoria がすでに起動していないか確かめてください。")
                             .arg(folder, holder));
    }
    case BrowserError::Kind::StartFailed: {
        QString detail = QStringLiteral("ブラウザ %1 %2").arg(folder, startStageText(error));
        // The exit code tells a crash or a missing DLL (0xC0000135) from a refusal.
        if (error.exitCode >= 0x80000000)
            detail += QStringLiteral("\n終了コード: 0x%1").arg(QString::number(error.exitCode, 16).toUpper());
        else if (error.exitCode >= 0)
            detail += QStringLiteral("\n終了コード: %1").arg(error.exitCode);
        if (!error.message.isEmpty())
            detail += u'\n' + error.message;
        return makeError(CannotStartBrowser, detail);
    }
    }
    return makeError(AutomationError, QString::fromUtf8(error.what()));
}

QString uncaughtErrorText(const RuntimeError& error) {
    return QStringLiteral("実行時エラー '%1':\n\n%2").arg(error.number()).arg(error.description());
}

void runHandler(MessageSink& messages, ProgramEnd& end, const std::function<void()>& handler) {
    // Once the program is ending (its last box is up), nothing runs any more:
    // not a timer tick, not a click in a window behind the box.
    if (end.ending())
        return;
    QString text; // the box that ends the program, if the handler failed
    int exitCode = 1;
    try {
        handler();
        return;
    } catch (const BrowserGoneError&) {
        // The user closed the browser: a clean end, whatever the handler was doing.
        text = closedBrowserMessage();
        exitCode = 0;
    } catch (const BrowserError& error) {
        text = uncaughtErrorText(browserFailure(error));
    } catch (const RuntimeError& error) {
        text = uncaughtErrorText(error);
    } catch (const std::bad_alloc&) {
        text = uncaughtErrorText(makeError(OutOfMemory));
    } catch (const std::exception& error) {
        // No exception may leave a handler into the event loop.
        text = uncaughtErrorText(makeError(InternalError, QString::fromLocal8Bit(error.what())));
    }
    end.beginEnding(exitCode);
    messages.show(text);
    end.endNow(exitCode);
}

} // namespace velkoria
