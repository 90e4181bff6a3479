#include "comm/PortDevices.h"

#include "support/Profile.h"

#include <array>
#include <mutex>

namespace {

struct RunOverrides {
    std::mutex mutex;
    std::array<std::string, kLastPortSlot + 1> paths;  // index = slot
};

RunOverrides& Overrides()
{
    static RunOverrides overrides;
    return overrides;
}

bool ValidSlot(int slot) { return slot >= kFirstPortSlot && slot <= kLastPortSlot; }

std::string EntryName(int slot) { return "Device" + std::to_string(slot); }

}  // namespace

std::string DevicePathForSlot(int slot)
{
    if (!ValidSlot(slot))
        return {};
    {
        RunOverrides& overrides = Overrides();
        std::lock_guard lock(overrides.mutex);
        if (!overrides.paths[static_cast<std::size_t>(slot)].empty())
            return overrides.paths[static_cast<std::size_t>(slot)];
    }
    std::string stored = support::GetProfileString(kPortSection, EntryName(slot), "");
    if (!stored.empty())
        return stored;
    return "/dev/ttyS" + std::to_string(slot - 1);
}

bool SetRunDevicePath(int slot, std::string path)
{
    if (!ValidSlot(slot))
        return false;
    RunOverrides& overrides = Overrides();
    std::lock_guard lock(overrides.mutex);
    overrides.paths[static_cast<std::size_t>(slot)] = std::move(path);
    return true;
}

bool StoreDevicePath(int slot, std::string_view path)
{
    if (!ValidSlot(slot))
        return false;
    if (!support::WriteProfileString(kPortSection, EntryName(slot), path))
        return false;
    RunOverrides& overrides = Overrides();
    std::lock_guard lock(overrides.mutex);
    overrides.paths[static_cast<std::size_t>(slot)].clear();
    return true;
}

void ClearRunDevicePaths()
{
    RunOverrides& overrides = Overrides();
    std::lock_guard lock(overrides.mutex);
    for (std::string& path : overrides.paths)
        path.clear();
}
