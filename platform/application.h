#pragma once

#include <QApplication>

// Call before the application object exists. Under X11 the toolkit hands every repaint to the
// server in shared memory and must then wait for the server to confirm the copy before it may paint
// into that memory again: a round trip to the server and three thread switches for every tick of
// the running clock, and the GUI thread stalls whenever the server is slow. Sent over the socket, a
// digit's 16 KB picture costs less than that wait, and nothing waits for the server. Large repaints
// (a resize, a scrolled grid) cost more this way, about 0.7 ms for a full 1000 x 740 window, which
// nobody sees. A value the user set for QT_XCB_NO_MITSHM is left alone.
void PreferSocketImageTransfer();

// The application object: a last line of defence that keeps an exception escaping any event
// handler from ending the program.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
