// What the page's script does for the C++ side: the calls into it, which
// PageBridge.js hands on to the page (vardel.js). Texts are UTF-16, as the
// engine and the window keep them; bytes are copied before the call returns.
#pragma once

#include <cstdint>

extern "C" {

// The serial port: queues the bytes on the port's writer, in order. False
// when no port is open or its writer has failed.
bool vardel_page_write(const std::uint8_t* bytes, std::uint32_t length);
void vardel_page_debug(const char16_t* line);

// The window: built once from its template, then changed control by control.
void vardel_page_create_window(const char16_t* caption, int width, int height);
void vardel_page_add_control(int id, int kind, const char16_t* text, int x, int y, int width,
                             int height, int style);
void vardel_page_set_text(int control, const char16_t* text);
void vardel_page_enable(int control, bool enable);
void vardel_page_set_bar(int control, int position);
void vardel_page_start_timer(int timer, std::uint32_t periodMs);
void vardel_page_show_icon(int resource);
void vardel_page_window_ended(int result);

// Milliseconds since the page began, with fractions.
double vardel_page_now();
}
