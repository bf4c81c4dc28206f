// The program's own notifications: command events whose event type and id are
// the same number, always queued to the terminal panel and handled on the GUI
// thread. Button and window ids of the panel.
#pragma once

#include <wx/event.h>

inline const wxEventTypeTag<wxCommandEvent> EVT_EDIT_PARAMETERS(2001);
inline const wxEventTypeTag<wxCommandEvent> EVT_AUTOCONNECT(2007);
inline const wxEventTypeTag<wxCommandEvent> EVT_LINK_LOST(2008);
inline const wxEventTypeTag<wxCommandEvent> EVT_RECORD_END(5124);
inline const wxEventTypeTag<wxCommandEvent> EVT_CONNECT_OK(7001);
inline const wxEventTypeTag<wxCommandEvent> EVT_CONNECT_FAILED(7002);

enum {
    ID_TERMINAL_PANEL = 2000,
    ID_CONNECT = 2002,
    ID_DISCONNECT = 2003,
    ID_START = 2004,
    ID_STOP = 2005,
    ID_PRINT_REPORT = 2006,
};

/// A command event of one of the program's own types, with id = type.
inline wxCommandEvent MakeProgramEvent(wxEventType type) {
    return wxCommandEvent(type, type);
}
