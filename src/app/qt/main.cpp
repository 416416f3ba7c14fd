#include <QApplication>
#include <csignal>

#include "app/qt/Form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Past a file-size limit a write fails with an error (reported) instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    mae::Form1 window;
    if (!window.Load()) return 1;
    window.show();
    return app.exec();
}
