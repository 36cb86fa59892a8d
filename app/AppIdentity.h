#pragma once

namespace Vantrel::App {

// Who the program says it is: command line, window title, About box.
inline constexpr char applicationName[] = "Vantrel";
inline constexpr char organisationName[] = "KVL";
inline constexpr char applicationVersion[] = "2.0.0 - ac75928";
inline constexpr char commandLineDescription[] = "%1, a Holmvik application.";

// Build date and time as "Oct 14 2025T12:41:23".
inline constexpr char buildStamp[] = __DATE__ "T" __TIME__;

} // namespace Vantrel::App
