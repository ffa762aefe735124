#include "tests/support/programrun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>
#include <sys/stat.h>

namespace velkoria::test {

namespace {
QString buildDir() {
    return QStringLiteral(VELKORIA_BUILD_DIR);
}
constexpr int kClientHeight = 694;
} // namespace

QString builtProgram() {
    return buildDir() + u"/program/velkoria";
}
QString builtSimulator() {
    return buildDir() + u"/market-sim";
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

QString runTool(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    // Window titles are UTF-8: xdotool's patterns need a UTF-8 locale.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LC_ALL"_qs, u"C.UTF-8"_qs);
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList findWindows(const QStringList& options, bool shownOnly) {
    QStringList search{u"search"_qs, u"--all"_qs};
    if (shownOnly)
        search << u"--onlyvisible"_qs;
    return runTool(u"xdotool"_qs, search + options).split(u'\n', Qt::SkipEmptyParts);
}

QStringList messageBoxes(const QStringList& options) {
    QStringList boxes;
    for (const QString& window : findWindows(options + QStringList{u"--name"_qs, u"^Velkoria$"_qs})) {
        const QString info = runTool(u"xwininfo"_qs, {u"-id"_qs, window});
        if (QRegularExpression(u"Height:\\s+(\\d+)"_qs).match(info).captured(1).toInt() < kClientHeight)
            boxes << window;
    }
    return boxes;
}

// ---- Simulator

Simulator::~Simulator() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel(); // it ends at the end of its input
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool Simulator::start(const QStringList& args) {
    QStringList all{u"--http-port"_qs, u"0"_qs,     u"--https-port"_qs,
                    u"0"_qs,           u"--log"_qs, m_dir.filePath(u"requests.jsonl"_qs)};
    if (!args.contains(u"--categories"_qs))
        all << u"--categories"_qs << QStringLiteral(VELKORIA_SOURCE_DIR) + u"/data/category.txt";
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setReadChannel(QProcess::StandardOutput);
    m_process.start(builtSimulator(), all + args);
    if (!m_process.waitForStarted(5000))
        return false;
    const QString ready = readLine(20000);
    const QRegularExpression re(u"^READY http=(\\d+) https=(\\d+) spki=(\\S+)$"_qs);
    const auto m = re.match(ready);
    if (!m.hasMatch())
        return false;
    httpPort = m.captured(1).toInt();
    httpsPort = m.captured(2).toInt();
    spki = m.captured(3);
    return true;
}

QString Simulator::command(const QString& line) {
    m_process.write(QString(line + u'\n').toUtf8());
    m_process.waitForBytesWritten(2000);
    return readLine(5000);
}

QString Simulator::readLine(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine() && !deadline.hasExpired())
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    return QString::fromUtf8(m_process.readLine()).trimmed();
}

QList<QJsonObject> Simulator::requests() const {
    QList<QJsonObject> out;
    QFile log(m_dir.filePath(u"requests.jsonl"_qs));
    if (!log.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : log.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            out.append(QJsonDocument::fromJson(line).object());
    return out;
}

QUrl Simulator::url(const QString& path) const {
    return QUrl(u"http://127.0.0.1:%1%2"_qs.arg(httpPort).arg(path));
}

QList<QJsonObject> Simulator::requestsWithBody(const QByteArray& text) const {
    QList<QJsonObject> out;
    for (const QJsonObject& r : requests())
        if (QByteArray::fromHex(r.value(u"body_hex"_qs).toString().toLatin1()).contains(text))
            out.append(r);
    return out;
}

// ---- ProgramRun

ProgramRun::ProgramRun() = default;

ProgramRun::~ProgramRun() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    // The browser follows the program within a few seconds; let it finish
    // writing its profile before the folder is removed.
    waitFor(
        [this] {
            return runTool(u"pgrep"_qs, {u"-f"_qs, u"--"_qs, u"--user-data-dir="_qs + folder()}).isEmpty();
        },
        8000);
}

void ProgramRun::prepare(const Simulator& sim, int loadTimeoutSeconds) {
    QFile::copy(builtProgram(), file(u"velkoria"_qs));
    // The installation data from the sources: build/program/button_info.txt is
    // whatever the developer last saved there.
    const QDir data(QStringLiteral(VELKORIA_SOURCE_DIR) + u"/data"_qs);
    for (const QString& name : {u"category.txt"_qs, u"button_info.txt"_qs})
        QFile::copy(data.filePath(name), file(name));
    QFile ini(file(u"velkoria.ini"_qs));
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[marketplace]\nsearch_url=http://127.0.0.1:%1/\nlogin_url=https://127.0.0.1:%2/\n"
                             "[browser]\narguments=--no-sandbox --test-type --ignore-certificate-errors-spki-list=%3\n"
                             "load_timeout_seconds=%4\n")
                  .arg(sim.httpPort)
                  .arg(sim.httpsPort)
                  .arg(sim.spki)
                  .arg(loadTimeoutSeconds)
                  .toUtf8());
}

bool ProgramRun::start(int timeoutMs, bool early) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VELKORIA_MESSAGE_LOG"_qs, file(u"messages.log"_qs));
    env.remove(u"QT_QPA_PLATFORM"_qs);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    if (m_starter)
        m_starter(m_process);
    else
        m_process.start(file(u"velkoria"_qs), {});
    if (!m_process.waitForStarted(5000))
        return false;
    m_window = waitForWindow(u"^Velkoria$"_qs, timeoutMs);
    if (!m_starter && !early && !m_window.isEmpty()) {
        // Not a failure when it never comes: a box or the program's end tells more.
        waitFor(
            [&] {
                for (const QString& w : findWindows({u"--class"_qs, u"chromium"_qs}, false))
                    if (runTool(u"xprop"_qs, {u"-id"_qs, w, u"WM_STATE"_qs}).contains(u"Iconic"_qs))
                        return true;
                return !running() || !messages().isEmpty();
            },
            timeoutMs);
    }
    return !m_window.isEmpty();
}

int ProgramRun::waitForEnd(int timeoutMs) {
    if (!m_process.waitForFinished(timeoutMs) && running())
        return -1;
    return m_process.exitCode();
}

QPoint ProgramRun::windowOrigin(const QString& window) {
    // xwininfo, not xdotool getwindowgeometry: under a reparenting window
    // manager the latter counts the frame's offset twice.
    const QString info = runTool(u"xwininfo"_qs, {u"-id"_qs, window});
    const auto x = QRegularExpression(u"Absolute upper-left X:\\s+(-?\\d+)"_qs).match(info);
    const auto y = QRegularExpression(u"Absolute upper-left Y:\\s+(-?\\d+)"_qs).match(info);
    return {x.captured(1).toInt(), y.captured(1).toInt()};
}

QPoint ProgramRun::clientOrigin() const {
    const QString info = runTool(u"xwininfo"_qs, {u"-id"_qs, m_window});
    const auto h = QRegularExpression(u"Height:\\s+(\\d+)"_qs).match(info);
    // The client area is the window's bottom part, under the menu bar.
    return windowOrigin(m_window) + QPoint(0, h.captured(1).toInt() - kClientHeight);
}

void ProgramRun::clickInWindow(const QString& window, QPoint point) {
    runTool(u"xdotool"_qs, {u"windowactivate"_qs, u"--sync"_qs, window});
    const QPoint at = windowOrigin(window) + point;
    runTool(u"xdotool"_qs, {u"mousemove"_qs, QString::number(at.x()), QString::number(at.y()), u"click"_qs, u"1"_qs});
}

void ProgramRun::closeBox(const QString& box) {
    // A click on its text first: a box shown while another program was
    // active takes the keyboard only then.
    clickInWindow(box, {10, 10});
    runTool(u"xdotool"_qs, {u"key"_qs, u"Return"_qs});
}

void ProgramRun::clickClient(QPoint point) {
    // Brought to the front first: the shown browser may lie over the window.
    clickInWindow(m_window, clientOrigin() - windowOrigin(m_window) + point);
}

void ProgramRun::screenshot(const QString& path) {
    runTool(u"import"_qs, {u"-window"_qs, u"root"_qs, path});
}

QStringList ProgramRun::windows(const QString& titlePattern) const {
    return findWindows({u"--pid"_qs, QString::number(m_process.processId()), u"--name"_qs, titlePattern});
}

QString ProgramRun::waitForWindow(const QString& titlePattern, int timeoutMs) const {
    QString found;
    waitFor(
        [&] {
            found = windows(titlePattern).value(0);
            return !found.isEmpty() || !running();
        },
        timeoutMs);
    return found;
}

// Control centres from the window's design: frami3 lies at (8, 200), Frame3 at (8, 392) inside it.
void ProgramRun::clickQuickButton(int n) {
    clickClient({100, 228 + 32 * (n - 1)});
}
void ProgramRun::clickMyBusiness() {
    clickClient({100, 32});
}
void ProgramRun::clickScanLabel() {
    clickClient({96, 652});
}
void ProgramRun::clickEdit() {
    clickClient({100, 568});
}

void ProgramRun::typeText(const QString& text) {
    runTool(u"xdotool"_qs, {u"type"_qs, u"--delay"_qs, u"30"_qs, text});
}

void ProgramRun::key(const QString& keys) {
    runTool(u"xdotool"_qs, {u"key"_qs, keys});
}

QStringList ProgramRun::messages() const {
    QFile log(file(u"messages.log"_qs));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList out = QString::fromUtf8(log.readAll()).split(u'\n');
    out.removeAll(QString());
    return out;
}

bool ProgramRun::waitForMessages(int count, int timeoutMs) {
    return waitFor([&] { return messages().size() >= count; }, timeoutMs);
}

bool ProgramRun::dismissMessage() {
    const QStringList ours{u"--pid"_qs, QString::number(m_process.processId())};
    QString box;
    if (!waitFor([&] { return !(box = messageBoxes(ours).value(0)).isEmpty(); }, 10000))
        return false;
    closeBox(box);
    // Gone, so that the next call meets the next box.
    return waitFor([&] { return !windows(u"^Velkoria$"_qs).contains(box); }, 10000);
}

QStringList ProgramRun::scan() {
    const auto inode = [this] {
        struct stat st {};
        return ::stat(QFile::encodeName(file(u"new_item.txt"_qs)).constData(), &st) == 0 ? st.st_ino : 0;
    };
    const ino_t before = inode();
    const qsizetype shown = messages().size();
    qsizetype dismissed = shown;
    clickScanLabel();
    bool stuck = false;
    const bool finished = waitFor(
        [&] {
            if (messages().size() <= dismissed)
                return inode() != before && inode() != 0;
            stuck = !dismissMessage();
            ++dismissed;
            return stuck;
        },
        90000);
    QStringList texts = messages().mid(shown);
    if (!finished || stuck)
        texts.append(u"(unfinished)"_qs);
    return texts;
}

bool ProgramRun::browserShown() const {
    return !findWindows({u"--class"_qs, u"chromium"_qs}).isEmpty();
}

QByteArray ProgramRun::processOutput() {
    return m_process.readAll();
}

} // namespace velkoria::test
