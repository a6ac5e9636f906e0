// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What goes to a "++" adapter and what comes back from it, as text, without a port.
namespace zelmor::link::detail {

// ESC before every byte the adapter would take as a line end, an escape or a "++" command.
std::string escaped(std::string_view bytes);

// Takes the first whole line (up to LF) off `inbox` and returns it without surrounding blanks
// and CRs; nothing, and `inbox` unchanged, when no line has ended yet.
std::optional<std::string> takeLine(std::string& inbox);

// Matched loosely: Prologix answers "Prologix GPIB-USB Controller version 6.107", AR488 puts
// its name anywhere in a string its owner may have changed.
bool isVersion(std::string_view line);
// Old firmware's answer to a "++" command it does not know.
bool isUnrecognized(std::string_view line);
// What ++fndl answers: "7", "3,5:1,11" (pri:sec), nothing when nobody listens.
bool isListenerList(std::string_view line);
// Whether a ++fndl list holds the address; a secondary address may come as 0..31 or 96..126.
bool listed(std::string_view list, std::int32_t pad, std::int32_t sad);

}  // namespace zelmor::link::detail
