#pragma once
// A symbolic link to the far end under a name the user chooses, so a program
// can keep one device path while simulators stop and start behind it: to that
// program the device goes away and comes back.

#include <string>

namespace devsim {

class FarEndLink {
public:
    FarEndLink() = default;
    FarEndLink(const FarEndLink&) = delete;
    FarEndLink& operator=(const FarEndLink&) = delete;
    ~FarEndLink() { Remove(); }

    // Points `path` at `target`, replacing a link or file of that name in one
    // rename. False (and `error` set, naming `path`) when it cannot be made.
    bool Make(const std::string& path, const std::string& target, std::string& error);

    // Removes the link if it still points to the target; a link another
    // simulator has put there since stays. Errors go to standard error.
    void Remove();

private:
    std::string m_path;    // empty: nothing made
    std::string m_target;
};

}  // namespace devsim
