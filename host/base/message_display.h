// How the front end shows a message box on a terminal.
#pragma once

#include <string>
#include <vector>

namespace welkor {

// The message as UTF-8 lines: the display codes of the "STOP!!!" box become
// layout (0x01 "t…" 0x01 sets tab stops, 0x02 … 0x01 highlights as *…*).
std::string renderMessage(const std::string& title, const std::string& mazoviaText);
// The same layout, one UTF-8 line each, without the title.
std::vector<std::string> messageLines(const std::string& mazoviaText);

}  // namespace welkor
