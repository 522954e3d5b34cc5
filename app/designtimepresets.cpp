#include "designtimepresets.h"

namespace demo {

namespace {
zendrik::StoredFont tahoma(double size) {
    return zendrik::StoredFont{QStringLiteral("Tahoma"), size};
}

zendrik::StoredFont verdana(double size) {
    return zendrik::StoredFont{QStringLiteral("Verdana"), size};
}
} // namespace

const zendrik::DesignTimeProperties& startWindowProperties() {
    static const zendrik::DesignTimeProperties props{926, 926, tahoma(9.75), tahoma(8.25), tahoma(8.25), tahoma(15.75)};
    return props;
}

const zendrik::DesignTimeProperties& advancedWindowProperties() {
    static const zendrik::DesignTimeProperties props{926,           926,           verdana(8.25),
                                                     verdana(8.25), verdana(8.25), verdana(8.25)};
    return props;
}

} // namespace demo
