#pragma once

#include <windows.h>

class CCmdTarget;

// One row of a message table: the message, its notification code and control id where they
// apply, and a function that unpacks the parameters for the member handler.
struct AFX_MSGMAP_ENTRY {
    UINT message;
    UINT code;
    UINT id;
    LRESULT (*handler)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* baseMap;
    const AFX_MSGMAP_ENTRY* entries;  // ends with a row whose handler is null
};

// Owns a static message table; derived classes chain theirs to their base class's.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Runs the first matching handler of this class or its bases; false when none matched.
    bool OnCmdMsg(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT* result);

    static const AFX_MSGMAP* GetThisMessageMap();

protected:
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

#define DECLARE_MESSAGE_MAP()                              \
public:                                                    \
    static const AFX_MSGMAP* GetThisMessageMap();          \
                                                           \
protected:                                                 \
    const AFX_MSGMAP* GetMessageMap() const override;

// The rows are captureless lambdas, so the table is a constant array of plain function
// pointers, and the handlers may stay protected members of the class.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                  \
    {                                                                                \
        using ThisClass = theClass;                                                  \
        using TheBaseClass = baseClass;                                              \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                   \
            {0, 0, 0, nullptr}};                                            \
        static const AFX_MSGMAP map = {TheBaseClass::GetThisMessageMap(), entries}; \
        return &map;                                                        \
    }

// Menu items and buttons both send code 0.
#define ON_COMMAND(id, memberFxn)                                                          \
    {WM_COMMAND, 0, (id), [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {             \
         static_cast<ThisClass*>(target)->memberFxn();                                    \
         return 0;                                                                         \
     }},

#define ON_BN_CLICKED(id, memberFxn)                                                       \
    {WM_COMMAND, BN_CLICKED, (id), [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {    \
         static_cast<ThisClass*>(target)->memberFxn();                                    \
         return 0;                                                                         \
     }},

#define ON_NOTIFY(notifyCode, id, memberFxn)                                                       \
    {WM_NOTIFY, static_cast<UINT>(notifyCode), (id),                                               \
     [](CCmdTarget* target, WPARAM, LPARAM lParam) -> LRESULT {                                    \
         LRESULT result = 0;                                                                       \
         static_cast<ThisClass*>(target)->memberFxn(reinterpret_cast<NMHDR*>(lParam), &result);  \
         return result;                                                                            \
     }},

#define ON_WM_PAINT()                                                        \
    {WM_PAINT, 0, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {    \
         static_cast<ThisClass*>(target)->OnPaint();                        \
         return 0;                                                           \
     }},

#define ON_WM_SYSCOMMAND()                                                               \
    {WM_SYSCOMMAND, 0, 0, [](CCmdTarget* target, WPARAM wParam, LPARAM lParam) -> LRESULT { \
         static_cast<ThisClass*>(target)->OnSysCommand(static_cast<UINT>(wParam), lParam); \
         return 0;                                                                       \
     }},

#define ON_WM_QUERYDRAGICON()                                                         \
    {WM_QUERYDRAGICON, 0, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {     \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(target)->OnQueryDragIcon()); \
     }},

#define ON_WM_LBUTTONDBLCLK()                                                                  \
    {WM_LBUTTONDBLCLK, 0, 0, [](CCmdTarget* target, WPARAM wParam, LPARAM lParam) -> LRESULT { \
         const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; \
         static_cast<ThisClass*>(target)->OnLButtonDblClk(static_cast<UINT>(wParam), point);  \
         return 0;                                                                             \
     }},
