#pragma once

#include "platform/cdp/transport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <functional>

namespace velkoria::test {

// A transport driven by the test: it hands out the queued messages, then
// nothing (or the pipe's end once closeInput() was called), and records what
// the client wrote. onWrite may queue the browser's answer; readable() is what
// the event loop calls when something has arrived.
class FakeTransport : public cdp::Transport {
public:
    bool write(const QByteArray& message) override {
        if (outputClosed)
            return false;
        const QJsonObject command = QJsonDocument::fromJson(message).object();
        written.append(command);
        if (onWrite)
            onWrite(command);
        return true;
    }
    ReadResult read(QByteArray& message) override {
        ++reads;
        if (!incoming.isEmpty()) {
            message = incoming.takeFirst();
            return ReadResult::Message;
        }
        if (chatty) {
            message = R"({"method":"Network.dataReceived","params":{}})";
            return ReadResult::Message;
        }
        return inputClosed ? ReadResult::Closed : ReadResult::Empty;
    }
    void setReadableHandler(std::function<void()> handler) override { readable = std::move(handler); }
    void close() override { inputClosed = outputClosed = true; }

    void queue(const QJsonObject& message) { incoming.append(QJsonDocument(message).toJson(QJsonDocument::Compact)); }
    void reply(qint64 id, const QJsonObject& result) {
        queue({{QStringLiteral("id"), id}, {QStringLiteral("result"), result}});
    }
    void event(const QString& method, const QJsonObject& params = {}, const QString& sessionId = {}) {
        QJsonObject message{{QStringLiteral("method"), method}, {QStringLiteral("params"), params}};
        if (!sessionId.isEmpty())
            message.insert(QStringLiteral("sessionId"), sessionId);
        queue(message);
    }
    void closeInput() { inputClosed = true; }

    QList<QByteArray> incoming;
    QList<QJsonObject> written;
    std::function<void(const QJsonObject&)> onWrite;
    std::function<void()> readable;
    bool inputClosed = false;
    bool outputClosed = false;
    int reads = 0;
    bool chatty = false; // a browser that keeps sending events and never answers
};

} // namespace velkoria::test
