#pragma once
// The advanced window's option lists as data: each list's entries in index order with the value
// ApplySettings sends for it, the entry the load step selects, and what is sent when nothing is
// selected. Paper sizes and bins are the component's own tables.

#include <QList>
#include <QString>

namespace demo {

struct ListEntry {
    QString text;
    int value;
};

struct OptionList {
    const char* name; // the control
    QList<ListEntry> entries;
    int selected;   // after the load step
    int unselected; // sent when nothing is selected
};

struct AdvancedWindowLists {
    // Filled by the load step in this order.
    OptionList quality;
    OptionList paperSize;
    OptionList orientation;
    OptionList paperBin;
    OptionList copies;
    // Size lists: the entry's text is what is sent.
    OptionList titleSize;
    OptionList textSize;
    OptionList headerSize;
    OptionList footerSize;
    OptionList lineSpacing;
};

const AdvancedWindowLists& advancedWindowLists();

} // namespace demo
