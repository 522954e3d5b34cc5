#pragma once

#include "form.h"

namespace demo {

class FormStart : public Form {
    Q_OBJECT
public:
    FormStart();

protected:
    void createControls(QWidget* client) override;
};

} // namespace demo
