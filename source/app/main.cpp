#include "window/frm_main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrin"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    veltrin::frmMain window;
    window.Form_Load();
    return QApplication::exec();
}
