#pragma once
// The one layout of the programs' --help texts. The manual pages are made
// from this output at build time (packaging/make-manpage.cmake), so the layout is
// fixed:
//
//   usage: NAME ITEM ITEM ...          wrapped at spaces outside brackets,
//          ITEM ...                    continued under the first item
//   <blank>
//   description paragraphs             wrapped, a blank line between them
//   <blank>
//   Options:
//     SYNOPSIS          text           two spaces in; text from column 24,
//                       more text      continued there; a synopsis too long
//                                      for its column puts the text below

#include <string>
#include <string_view>
#include <vector>

namespace support {

struct HelpRow {
    std::string_view synopsis;  // "--device COMn=PATH"
    std::string_view text;      // plain sentences, wrapped when printed
};

inline constexpr std::size_t kHelpWidth = 79;
inline constexpr std::size_t kHelpTextColumn = 24;

// `usage` is the whole usage line ("usage: kestrana [FILE] ..."); paragraphs
// of `description` are separated by "\n\n".
std::string FormatHelp(std::string_view usage, std::string_view description,
                       const std::vector<HelpRow>& rows);

// Options named in a usage line or a synopsis, in order: "--device", "--help".
std::vector<std::string> OptionNames(std::string_view text);

}  // namespace support
