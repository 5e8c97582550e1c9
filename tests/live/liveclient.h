#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QtGlobal>

// Plain clients of the live server for its tests: blocking calls on sockets of their own, since
// the server answers from its own thread.

struct HttpAnswer {
    int status = 0;  // 0: no answer (the connection closed or timed out)
    QMap<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
};

// Sends a request as given (request line, headers and the blank line) and reads one answer.
HttpAnswer HttpExchange(quint16 port, const QByteArray& request);
HttpAnswer HttpGet(quint16 port, const QString& path);

// A POSIX socket connected to 127.0.0.1:port, with a receive buffer as small as the kernel
// allows when small is set; -1 when the connection fails.
int ConnectRaw(quint16 port, bool smallReceiveBuffer = false);
// Whether the server has closed the connection (reads and throws away what arrives meanwhile
// when drain is set), waiting at most timeoutMs.
bool WaitClosed(int fd, int timeoutMs, bool drain = true);
// The opening of a WebSocket handshake for path, as a browser sends it.
QByteArray WebSocketUpgrade(const QString& path);
