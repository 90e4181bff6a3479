#pragma once
// The folder the day's logs are written in: the working folder unless the
// command line names another one (--log-dir).

#include <string>
#include <string_view>

namespace support {

// "" means the working folder. Set once at start-up, before any log opens.
void SetLogFolder(std::string folder);
const std::string& LogFolder();

// `name` placed in the log folder ("event1206.log" -> "DIR/event1206.log").
std::string LogFilePath(std::string_view name);

// Creates `folder` (with its parents) if missing and checks that files can be
// made in it. False with `failure` naming the folder and the reason.
bool PrepareLogFolder(const std::string& folder, std::string& failure);

}  // namespace support
