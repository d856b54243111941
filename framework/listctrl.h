#pragma once

#include "framework/wnd.h"

#include <commctrl.h>
#include <string>

// A list view control; each call is one message to it.
class CListCtrl : public CWnd {
public:
    int InsertItem(int item, const char* text)
    {
        LVITEMA row = {};
        row.mask = LVIF_TEXT;
        row.iItem = item;
        row.pszText = const_cast<char*>(text);
        return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)));
    }

    int GetSelectionMark() const { return static_cast<int>(SendMessage(LVM_GETSELECTIONMARK)); }

    std::string GetItemText(int item, int subItem) const
    {
        std::string text(64, '\0');
        for (;;) {
            LVITEMA row = {};
            row.iSubItem = subItem;
            row.pszText = &text[0];
            row.cchTextMax = static_cast<int>(text.size());
            const int length = static_cast<int>(SendMessage(LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&row)));
            // A full buffer may mean a cut text: try again with a larger one.
            if (length < static_cast<int>(text.size()) - 1) {
                text.resize(length);
                return text;
            }
            text.resize(text.size() * 2);
        }
    }
};
