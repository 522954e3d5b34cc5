#include "FormStart/FormStart.h"
#include "application.h"
#include "windowregistry.h"

int main(int argc, char** argv) {
    demo::DemoApplication app(argc, argv);
    demo::window<demo::FormStart>().showForm();
    return app.exec();
}
