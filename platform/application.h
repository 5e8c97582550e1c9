#pragma once

#include <QApplication>

// The application object: a last line of defence that keeps an exception escaping any event
// handler from ending the program.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
