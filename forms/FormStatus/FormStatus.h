#pragma once

#include "form.h"

namespace demo {

class FormStatus : public Form {
    Q_OBJECT
public:
    FormStatus();

protected:
    void createControls(QWidget* client) override;
};

} // namespace demo
