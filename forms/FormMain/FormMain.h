#pragma once

#include "form.h"

namespace demo {

class FormMain : public Form {
    Q_OBJECT
public:
    FormMain();

protected:
    void createControls(QWidget* client) override;
};

} // namespace demo
