// Small helpers over the standard and common controls the dialogs use. Each
// takes the control's window handle (Dialog::Item(id) gives it).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform {

// Any window's text (statics, edits, buttons).
std::wstring WindowText(HWND window);
void SetWindowTextView(HWND window, std::wstring_view text);

// --- Buttons --------------------------------------------------------------
// Shows `icon` on a push button (adds BS_ICON); the icon must outlive the button.
void ButtonSetIcon(HWND button, HICON icon);

// --- Check boxes ---------------------------------------------------------
bool IsChecked(HWND checkBox);
void SetChecked(HWND checkBox, bool checked);

// --- Combo boxes (drop-down lists) ---------------------------------------
void ComboClear(HWND combo);
// Appends a line; returns its index, or -1 on failure.
int ComboAdd(HWND combo, std::wstring_view text);
int ComboCount(HWND combo);
// The selected line, or -1 when nothing is selected.
int ComboSelection(HWND combo);
// -1 clears the selection.
void ComboSetSelection(HWND combo, int index);
std::wstring ComboItemText(HWND combo, int index);

// --- Trackbars (sliders) -------------------------------------------------
void SliderSetRange(HWND slider, int minimum, int maximum, bool redraw = true);
void SliderSetPosition(HWND slider, int position);
int SliderPosition(HWND slider);

// --- IP address controls -------------------------------------------------
// Dotted IPv4 text "a.b.c.d"; text that is not such an address clears the control.
bool IpAddressSet(HWND control, std::wstring_view dotted);
// The dotted text, or an empty text when the control's fields are all blank.
std::wstring IpAddressText(HWND control);
void IpAddressClear(HWND control);

// --- Progress bars -------------------------------------------------------
// Marquee mode (adds PBS_MARQUEE to the style), stepping every `stepMs` ms.
void ProgressMarquee(HWND progress, bool on, UINT stepMs = 50);

}  // namespace platform
