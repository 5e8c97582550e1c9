#include "tests/live/liveclient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTcpSocket>

HttpAnswer HttpExchange(quint16 port, const QByteArray& request) {
    HttpAnswer a;
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(5000)) return a;
    s.write(request);
    s.waitForBytesWritten(5000);
    QByteArray data;
    qsizetype headerEnd = -1;
    qint64 length = -1;
    auto complete = [&] {
        if (headerEnd < 0 && (headerEnd = data.indexOf("\r\n\r\n")) >= 0) {
            const QList<QByteArray> lines = data.left(headerEnd).split('\n');
            a.status = lines.value(0).split(' ').value(1).toInt();
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    a.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                     lines[i].mid(colon + 1).trimmed());
            }
            length = a.headers.value("content-length", "-1").toLongLong();
        }
        return headerEnd >= 0 && length >= 0 && data.size() - headerEnd - 4 >= length;
    };
    QElapsedTimer t;
    t.start();
    while (!complete() && t.elapsed() < 10000) {
        const bool more = s.waitForReadyRead(200);
        // Taken also when the connection ended: an answer may come with its end.
        data += s.readAll();
        if (!more && s.state() != QAbstractSocket::ConnectedState) {
            complete();
            break;
        }
    }
    if (headerEnd < 0) return HttpAnswer{};
    a.body = data.mid(headerEnd + 4, length >= 0 ? length : -1);
    return a;
}

HttpAnswer HttpGet(quint16 port, const QString& path) {
    return HttpExchange(port, "GET " + path.toUtf8() +
                                  " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

int ConnectRaw(quint16 port, bool smallReceiveBuffer) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (smallReceiveBuffer) {
        const int size = 1;  // the kernel rounds it up to its minimum
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool WaitClosed(int fd, int timeoutMs, bool drain) {
    QElapsedTimer t;
    t.start();
    do {
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, timeoutMs > 0 ? 50 : 0);
        if (n <= 0) continue;
        if (p.revents & (POLLERR | POLLHUP)) return true;
        if (!drain && !(p.revents & POLLHUP)) {
            // Peek: an end of stream is a read of 0 bytes even with data unread before it.
            char c;
            const ssize_t r = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (r == 0) return true;
            if (r < 0 && errno != EAGAIN) return true;
            if (timeoutMs > 0) ::usleep(20000);
            continue;
        }
        char buf[65536];
        const ssize_t r = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (r == 0 || (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return true;
    } while (t.elapsed() < timeoutMs);
    return false;
}

QByteArray WebSocketUpgrade(const QString& path) {
    return "GET " + path.toUtf8() +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
}
