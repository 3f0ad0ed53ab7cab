// What Windows does to a single file or folder name. A version label becomes a folder name and
// each manifest path piece becomes a name below it; both must name exactly the entry they spell,
// never another one and never a device.
#pragma once

#include <string_view>

namespace nelo {

// True for the names Windows maps to devices whatever folder they are in: CON, PRN, AUX, NUL,
// COM0-COM9, LPT0-LPT9 (also with the superscript digits ¹²³), CONIN$ and CONOUT$, in any letter
// case, alone or followed by "." and more ("nul.txt"), and with blanks before that dot.
bool is_reserved_device_name(std::string_view name);

// True when `name` (UTF-8) is one ordinary name that Windows keeps as spelled: not empty, not
// "." or "..", no path separator or other character that Windows refuses in a name, no trailing
// "." or blank (Windows drops those, so the name would alias a shorter one), and no device name.
bool is_plain_windows_name(std::string_view name);

// True for a name in the form Windows gives the short (8.3) names it makes for long ones: at
// most eight characters with a "~" and a digit among them, then at most one "." and three more.
// Such a name can be the short name of another file of the same folder, and then names that
// file as well.
bool has_short_name_form(std::string_view name);

}  // namespace nelo
