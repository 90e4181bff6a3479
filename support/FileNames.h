#pragma once
// Small file-system steps shared by the settings store and the log writer.
// Each failure comes back as a described text: what was tried, on which file
// or folder, and why.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace support {

// Creates `folder` and any missing parents with `mode`. False with `failure`
// set when a part cannot be made or the result is not a folder; `what` names
// the folder's use in that text ("Cannot create settings folder /x: ...").
bool MakeFolders(const std::string& folder, mode_t mode, std::string_view what,
                 std::string& failure);

// Renames `from` to `to` unless `to` exists (errno EEXIST then). Works on file
// systems without RENAME_NOREPLACE through link and unlink.
bool RenameNoReplace(const std::string& from, const std::string& to);

// "event1206.log" numbered n: "event1206.<n>.log"; a name without an extension
// gets ".<n>" at its end. Folders in the path are kept.
std::string NumberedName(const std::string& path, unsigned n);

}  // namespace support
