#pragma once
// The design-time property sets the two printing windows store for their component instances.

#include <zendrik/designtime.h>

namespace demo {

// The start window's instance: Tahoma, body 9.75 pt, header and footer 8.25 pt, title 15.75 pt.
const zendrik::DesignTimeProperties& startWindowProperties();
// The advanced window's instance: Verdana 8.25 pt for all four fonts.
const zendrik::DesignTimeProperties& advancedWindowProperties();

} // namespace demo
