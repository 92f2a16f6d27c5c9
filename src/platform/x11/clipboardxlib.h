#pragma once

#include <QByteArray>

#include <optional>

// Xlib's connection type, declared here so that no X11 header leaks out of this folder's
// .cpp files.
struct _XDisplay;

namespace corvane::xlib {

// The display Qt's application uses, else the DISPLAY variable's; empty when neither is known.
QByteArray applicationDisplayName();

// Opens a private connection to the display. Protocol errors on it (a window that vanished,
// an owner's bogus atom) are ignored rather than ending the process, as Xlib's default
// handler would. Nothing when the display cannot be opened.
_XDisplay *openDisplay(const QByteArray &name);

// Closes a connection opened by openDisplay.
void closeDisplay(_XDisplay *display);

// A window property: its type atom, its format (8, 16 or 32) and its items as bytes, where
// 16- and 32-bit items are packed in host order at their own width.
struct Property
{
    unsigned long type = 0;
    int format = 0;
    QByteArray bytes;
};

// Reads a whole property of a window, in pieces when it is large, deleting it afterwards
// when asked. Nothing when it does not exist, the window is gone or it exceeds maxBytes.
std::optional<Property> readProperty(_XDisplay *display, unsigned long window,
    unsigned long property, bool deleteIt, qsizetype maxBytes);

// Asks the window manager to activate a window, as a pager or task bar acting for the user
// would (source 2), which window managers obey without their focus-stealing prevention.
void requestActivation(_XDisplay *display, unsigned long window);

} // namespace corvane::xlib
