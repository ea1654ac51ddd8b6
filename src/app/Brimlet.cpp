#include "app/Brimlet.h"

#include <QApplication>
#include <QDir>

#include "host/QtHost.h"
#include "host/Untrapped.h"
#include "ui/Form1.h"

namespace brimlet {

int runBrimlet(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brimlet"));

    QtHost host;
    Form1 form(host, QDir::currentPath());
    runUntrapped(host, [&] { form.Form_Load(); });
    return QApplication::exec();
}

}  // namespace brimlet
