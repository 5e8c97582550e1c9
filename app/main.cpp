#include <memory>

#include "app/formmain.h"
#include "platform/application.h"
#include "platform/programpaths.h"

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vidazorov"));
    SetApplicationTitle(QStringLiteral("Vidazorov-ZavEzazi"));
    auto form = std::make_unique<TFormMain>();
    form->CreateCfgDialog();
    form->show();
    const int rc = QApplication::exec();
    form.reset();  // writes the settings and the exit protocol
    return rc;
}
